#pragma once
#include <maya/MPlug.h>
#include <maya/MStandInArray.h>

extern template class MStandInArray<MPlug>;

class MPlugArray : public MStandInArray<MPlug> {
public:
  using MStandInArray<MPlug>::MStandInArray;
};
