#pragma once
// A path through the DAG from the top (below the world) to a node. The world's own path
// has length 0. With instancing a node has one path per route from the world; paths are
// numbered in parent insertion order (instance numbers).
#include <maya/MMatrix.h>
#include <maya/MObject.h>
#include <maya/MString.h>

namespace standin { namespace core { struct PathStep; } }

class MDagPath {
public:
  MDagPath(); // invalid
  MDagPath(const MDagPath& other);
  ~MDagPath();
  MDagPath& operator=(const MDagPath& other);

  // Last node of the path (the world for the world path); kNullObj + failure if invalid.
  MObject node(MStatus* ReturnStatus = NULL) const;
  // For a shape its parent transform; for a transform or joint itself; fails for the world.
  MObject transform(MStatus* ReturnStatus = NULL) const;
  unsigned int length(MStatus* ReturnStatus = NULL) const;
  bool isValid(MStatus* ReturnStatus = NULL) const;
  // Removes the last num nodes; popping past the world path fails with kInvalidParameter.
  MStatus pop(unsigned int num = 1);
  // Appends a child of the current last node.
  MStatus push(const MObject& child);
  unsigned int childCount(MStatus* ReturnStatus = NULL) const;
  MObject child(unsigned int index, MStatus* ReturnStatus = NULL) const;

  MString fullPathName(MStatus* ReturnStatus = NULL) const;
  MString partialPathName(MStatus* ReturnStatus = NULL) const;
  unsigned int instanceNumber(MStatus* ReturnStatus = NULL) const;

  MMatrix inclusiveMatrix(MStatus* ReturnStatus = NULL) const;
  MMatrix exclusiveMatrix(MStatus* ReturnStatus = NULL) const;
  MMatrix inclusiveMatrixInverse(MStatus* ReturnStatus = NULL) const;
  MMatrix exclusiveMatrixInverse(MStatus* ReturnStatus = NULL) const;

  bool operator==(const MDagPath& other) const;
  bool operator!=(const MDagPath& other) const { return !(*this == other); }

  static MStatus getAllPathsTo(const MObject& node, MDagPathArray& paths);
  static MStatus getAPathTo(const MObject& node, MDagPath& path);

private:
  friend struct standin::core::Access;
  standin::core::PathStep* m_step; // the last step (null for the world's path), one reference
  bool m_valid;
};
