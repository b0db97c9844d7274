#pragma once
#include <maya/MStandInArray.h>
#include <maya/MDagPath.h>

extern template class MStandInArray<MDagPath>;

class MDagPathArray : public MStandInArray<MDagPath> {
public:
  using MStandInArray<MDagPath>::MStandInArray;
};
