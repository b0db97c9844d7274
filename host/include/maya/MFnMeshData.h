#pragma once
// Function set for mesh data objects (independent geometry values).
#include <maya/MFnBase.h>

class MFnMeshData : public MFnBase {
public:
  MFnMeshData();
  MFnMeshData(const MObject& object, MStatus* ReturnStatus = nullptr);
  MFn::Type type() const override;
  // A new empty mesh data object; fill it with MFnMesh::create(..., owner).
  MObject create(MStatus* ReturnStatus = nullptr);
};
