#pragma once
// Function set for single-indexed components (mesh vertices or polygons).
#include <maya/MFnBase.h>
#include <maya/MIntArray.h>

class MFnSingleIndexedComponent : public MFnBase {
public:
  MFnSingleIndexedComponent();
  MFnSingleIndexedComponent(const MObject& object, MStatus* ReturnStatus = nullptr);
  MFn::Type type() const override;

  // type: kMeshVertComponent or kMeshPolygonComponent.
  MObject create(MFn::Type componentType, MStatus* ReturnStatus = nullptr);
  MStatus addElement(int element);
  MStatus addElements(const MIntArray& elements);
  MStatus getElements(MIntArray& elements) const;
  int elementCount(MStatus* ReturnStatus = nullptr) const;
  int element(int index, MStatus* ReturnStatus = nullptr) const;
  bool isEmpty(MStatus* ReturnStatus = nullptr) const;
  MFn::Type componentType(MStatus* ReturnStatus = nullptr) const;
};
