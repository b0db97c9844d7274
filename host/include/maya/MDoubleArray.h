#pragma once
#include <maya/MStandInArray.h>

extern template class MStandInArray<double>;

class MDoubleArray : public MStandInArray<double> {
public:
  using MStandInArray<double>::MStandInArray;
};
