#pragma once
// Function set for transforms and joints: the local matrix.
#include <maya/MFnDagNode.h>
#include <maya/MTransformationMatrix.h>

class MFnTransform : public MFnDagNode {
public:
  MFnTransform();
  MFnTransform(const MObject& object, MStatus* ReturnStatus = NULL);
  MFnTransform(const MDagPath& path, MStatus* ReturnStatus = NULL);
  MFn::Type type() const override;

  // Makes a transform ("transformN") under parent (null: the world) and attaches to it.
  MObject create(const MObject& parent = MObject::kNullObj, MStatus* ReturnStatus = NULL);

  MTransformationMatrix transformation(MStatus* ReturnStatus = NULL) const;
  // Replaces the local matrix exactly; world matrices below follow on the next read.
  MStatus set(const MTransformationMatrix& transformation);
};
