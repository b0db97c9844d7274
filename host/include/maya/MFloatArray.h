#pragma once
#include <maya/MStandInArray.h>

extern template class MStandInArray<float>;

class MFloatArray : public MStandInArray<float> {
public:
  using MStandInArray<float>::MStandInArray;
};
