#pragma once
#include <maya/MObject.h>
#include <maya/MStandInArray.h>

extern template class MStandInArray<MObject>;

class MObjectArray : public MStandInArray<MObject> {
public:
  using MStandInArray<MObject>::MStandInArray;
};
