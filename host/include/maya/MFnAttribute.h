#pragma once
// Function set for attribute objects.
#include <maya/MFnBase.h>
#include <maya/MString.h>

class MFnAttribute : public MFnBase {
public:
  MFnAttribute();
  MFnAttribute(const MObject& attribute, MStatus* ReturnStatus = nullptr);
  MFn::Type type() const override;

  MString name(MStatus* ReturnStatus = nullptr) const;
  bool isArray(MStatus* ReturnStatus = nullptr) const;
  bool isReadable(MStatus* ReturnStatus = nullptr) const;
  bool isWritable(MStatus* ReturnStatus = nullptr) const;
  MObject parent(MStatus* ReturnStatus = nullptr) const;
};
