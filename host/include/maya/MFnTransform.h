#pragma once
// Function set for transforms and joints: the local matrix.
#include <maya/MFnDagNode.h>
#include <maya/MTransformationMatrix.h>

class MFnTransform : public MFnDagNode {
public:
  MFnTransform();
  MFnTransform(const MObject& object, MStatus* ReturnStatus = nullptr);
  MFnTransform(const MDagPath& path, MStatus* ReturnStatus = nullptr);
  MFn::Type type() const override;

  // Makes a transform ("transformN") under parent (null: the world) and attaches to it.
  MObject create(const MObject& parent = MObject::kNullObj, MStatus* ReturnStatus = nullptr);

  MTransformationMatrix transformation(MStatus* ReturnStatus = nullptr) const;
  // Replaces the local matrix exactly; world matrices below follow on the next read.
  MStatus set(const MTransformationMatrix& transformation);
};
