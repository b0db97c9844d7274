#pragma once
#include <maya/MStandInArray.h>
#include <maya/MFloatPoint.h>

extern template class MStandInArray<MFloatPoint>;

class MFloatPointArray : public MStandInArray<MFloatPoint> {
public:
  using MStandInArray<MFloatPoint>::MStandInArray;
};
