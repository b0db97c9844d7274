#pragma once
#include <maya/MFloatVector.h>
#include <maya/MStandInArray.h>

extern template class MStandInArray<MFloatVector>;

class MFloatVectorArray : public MStandInArray<MFloatVector> {
public:
  using MStandInArray<MFloatVector>::MStandInArray;
};
