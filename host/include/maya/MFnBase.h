#pragma once
// Base of all function sets. A set attaches to an object when the object is alive and has
// the set's required type; otherwise it stays unattached and every method fails with
// kInvalidParameter. Sets hold only handles and may be copied or byte-relocated.
#include <maya/MObject.h>

class MFnBase {
public:
  MFnBase();
  MFnBase(const MFnBase& other);
  MFnBase& operator=(const MFnBase& other);
  virtual ~MFnBase();

  virtual MFn::Type type() const;
  virtual MStatus setObject(const MObject& object);
  MObject object(MStatus* ReturnStatus = NULL) const;
  bool hasObj(const MObject& object) const;
  bool hasObj(MFn::Type type) const;

protected:
  // Attaches when compatible with required; otherwise detaches and returns kInvalidParameter.
  MStatus attach(const MObject& object, MFn::Type required);
  MObject m_object;
};
