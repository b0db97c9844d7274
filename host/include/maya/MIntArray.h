#pragma once
#include <maya/MStandInArray.h>

extern template class MStandInArray<int>;

class MIntArray : public MStandInArray<int> {
public:
  using MStandInArray<int>::MStandInArray;
};
