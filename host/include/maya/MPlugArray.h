#pragma once
#include <maya/MStandInArray.h>
#include <maya/MPlug.h>

extern template class MStandInArray<MPlug>;

class MPlugArray : public MStandInArray<MPlug> {
public:
  using MStandInArray<MPlug>::MStandInArray;
};
