#pragma once
// Function set for matrix data objects (values of matrix plugs).
#include <maya/MFnBase.h>
#include <maya/MMatrix.h>

class MFnMatrixData : public MFnBase {
public:
  MFnMatrixData();
  MFnMatrixData(const MObject& object, MStatus* ReturnStatus = nullptr);
  MFn::Type type() const override;

  MObject create(const MMatrix& matrix, MStatus* ReturnStatus = nullptr);
  MObject create(MStatus* ReturnStatus = nullptr);
  // The matrix held; the identity when unattached.
  const MMatrix& matrix(MStatus* ReturnStatus = nullptr) const;
  MStatus set(const MMatrix& matrix);
};
