#pragma once
#include <maya/MDagPath.h>
#include <maya/MStandInArray.h>

extern template class MStandInArray<MDagPath>;

class MDagPathArray : public MStandInArray<MDagPath> {
public:
  using MStandInArray<MDagPath>::MStandInArray;
};
