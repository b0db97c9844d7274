#pragma once
#include <maya/MStandInArray.h>
#include <maya/MString.h>

extern template class MStandInArray<MString>;

class MStringArray : public MStandInArray<MString> {
public:
  using MStandInArray<MString>::MStandInArray;
};
