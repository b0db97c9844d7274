#pragma once
// Function set for joints.
#include <maya/MFnTransform.h>

class MFnIkJoint : public MFnTransform {
public:
  MFnIkJoint();
  MFnIkJoint(const MObject& object, MStatus* ReturnStatus = nullptr);
  MFnIkJoint(const MDagPath& path, MStatus* ReturnStatus = nullptr);
  MFn::Type type() const override;

  // Makes a joint ("jointN", identity local matrix) under parent, which must be null (the
  // scene root) or a transform or joint (else kInvalidParameter), and attaches to it.
  MObject create(const MObject& parent = MObject::kNullObj, MStatus* ReturnStatus = nullptr);
};
