#pragma once
// A path through the DAG from the top (below the world) to a node. The world's own path
// has length 0. With instancing a node has one path per route from the world; paths are
// numbered in parent insertion order (instance numbers).
#include <maya/MMatrix.h>
#include <maya/MObject.h>
#include <maya/MString.h>

namespace standin {
namespace core {
struct PathStep;
}
}  // namespace standin

class MDagPath {
public:
  MDagPath();  // invalid
  MDagPath(const MDagPath& other);
  ~MDagPath();
  MDagPath& operator=(const MDagPath& other);

  // Last node of the path (the world for the world path); kNullObj + failure if invalid.
  MObject node(MStatus* ReturnStatus = nullptr) const;
  // For a shape its parent transform; for a transform or joint itself; fails for the world.
  MObject transform(MStatus* ReturnStatus = nullptr) const;
  unsigned int length(MStatus* ReturnStatus = nullptr) const;
  bool isValid(MStatus* ReturnStatus = nullptr) const;
  // Removes the last num nodes; popping past the world path fails with kInvalidParameter.
  MStatus pop(unsigned int num = 1);
  // Appends a child of the current last node.
  MStatus push(const MObject& child);
  unsigned int childCount(MStatus* ReturnStatus = nullptr) const;
  MObject child(unsigned int index, MStatus* ReturnStatus = nullptr) const;

  MString fullPathName(MStatus* ReturnStatus = nullptr) const;
  MString partialPathName(MStatus* ReturnStatus = nullptr) const;
  unsigned int instanceNumber(MStatus* ReturnStatus = nullptr) const;

  MMatrix inclusiveMatrix(MStatus* ReturnStatus = nullptr) const;
  MMatrix exclusiveMatrix(MStatus* ReturnStatus = nullptr) const;
  MMatrix inclusiveMatrixInverse(MStatus* ReturnStatus = nullptr) const;
  MMatrix exclusiveMatrixInverse(MStatus* ReturnStatus = nullptr) const;

  bool operator==(const MDagPath& other) const;
  bool operator!=(const MDagPath& other) const { return !(*this == other); }

  static MStatus getAllPathsTo(const MObject& node, MDagPathArray& paths);
  static MStatus getAPathTo(const MObject& node, MDagPath& path);

private:
  friend struct standin::core::Access;
  standin::core::PathStep* m_step;  // the last step (null for the world's path), one reference
  bool m_valid;
};
