#pragma once
#include <maya/MStandInArray.h>
#include <maya/MObject.h>

extern template class MStandInArray<MObject>;

class MObjectArray : public MStandInArray<MObject> {
public:
  using MStandInArray<MObject>::MStandInArray;
};
