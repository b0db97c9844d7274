#pragma once
// Iterates live nodes having a type (kInvalid: every node), in creation order. Data
// objects are never nodes, so kMesh yields mesh shapes only (intermediate ones too).
#include <maya/MObject.h>

class MItDependencyNodes {
public:
  MItDependencyNodes(MFn::Type filter = MFn::kInvalid, MStatus* ReturnStatus = nullptr);
  MItDependencyNodes(const MItDependencyNodes&) = delete;
  MItDependencyNodes& operator=(const MItDependencyNodes&) = delete;
  ~MItDependencyNodes();

  MStatus reset(MFn::Type filter = MFn::kInvalid);
  bool isDone(MStatus* ReturnStatus = nullptr) const;
  MStatus next();
  // kNullObj + failure once done.
  MObject item(MStatus* ReturnStatus = nullptr) const;
  MObject thisNode(MStatus* ReturnStatus = nullptr) const { return item(ReturnStatus); }

private:
  MObjectArray* m_items;
  unsigned int m_position;
};
