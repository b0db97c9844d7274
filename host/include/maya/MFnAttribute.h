#pragma once
// Function set for attribute objects.
#include <maya/MFnBase.h>
#include <maya/MString.h>

class MFnAttribute : public MFnBase {
public:
  MFnAttribute();
  MFnAttribute(const MObject& attribute, MStatus* ReturnStatus = NULL);
  MFn::Type type() const override;

  MString name(MStatus* ReturnStatus = NULL) const;
  bool isArray(MStatus* ReturnStatus = NULL) const;
  bool isReadable(MStatus* ReturnStatus = NULL) const;
  bool isWritable(MStatus* ReturnStatus = NULL) const;
  MObject parent(MStatus* ReturnStatus = NULL) const;
};
