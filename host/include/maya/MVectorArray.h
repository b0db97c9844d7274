#pragma once
#include <maya/MStandInArray.h>
#include <maya/MVector.h>

extern template class MStandInArray<MVector>;

class MVectorArray : public MStandInArray<MVector> {
public:
  using MStandInArray<MVector>::MStandInArray;
};
