#pragma once
// Walks the dependency graph downstream from a node or a plug, depth first, pre-order,
// following outgoing connections in creation order and visiting each node once; the
// root node comes first. From a plug the first hop follows only that plug's connections
// (its elements and children included); later hops follow every outgoing connection of
// the reached node. A filter hides items but does not stop the walk. Upstream and
// breadth-first walks are supported too.
#include <maya/MObject.h>
#include <maya/MPlug.h>

class MItDependencyGraph {
public:
  enum Direction { kDownstream = 0, kUpstream = 1 };
  enum Traversal { kDepthFirst = 0, kBreadthFirst = 1 };
  enum Level { kNodeLevel = 0, kPlugLevel = 1 };

  MItDependencyGraph(const MObject& rootNode, MFn::Type filter = MFn::kInvalid, Direction direction = kDownstream,
                     Traversal traversal = kDepthFirst, Level level = kNodeLevel, MStatus* ReturnStatus = nullptr);
  MItDependencyGraph(const MPlug& rootPlug, MFn::Type filter = MFn::kInvalid, Direction direction = kDownstream,
                     Traversal traversal = kDepthFirst, Level level = kPlugLevel, MStatus* ReturnStatus = nullptr);
  MItDependencyGraph(const MItDependencyGraph&) = delete;
  MItDependencyGraph& operator=(const MItDependencyGraph&) = delete;
  ~MItDependencyGraph();

  bool isDone(MStatus* ReturnStatus = nullptr) const;
  MStatus next();
  MStatus reset();
  MObject currentItem(MStatus* ReturnStatus = nullptr) const;
  MObject thisNode(MStatus* ReturnStatus = nullptr) const { return currentItem(ReturnStatus); }

private:
  MObjectArray* m_items;
  unsigned int m_position;
};
