#pragma once
#include <maya/MStandInArray.h>
#include <maya/MFloatVector.h>

extern template class MStandInArray<MFloatVector>;

class MFloatVectorArray : public MStandInArray<MFloatVector> {
public:
  using MStandInArray<MFloatVector>::MStandInArray;
};
