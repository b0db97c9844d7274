#pragma once
#include <maya/MFloatPoint.h>
#include <maya/MStandInArray.h>

extern template class MStandInArray<MFloatPoint>;

class MFloatPointArray : public MStandInArray<MFloatPoint> {
public:
  using MStandInArray<MFloatPoint>::MStandInArray;
};
