#pragma once
// DG modifier with DAG operations.
#include <maya/MDGModifier.h>

class MDagModifier : public MDGModifier {
public:
  MDagModifier();
  ~MDagModifier() override;

  using MDGModifier::createNode;
  // Makes a DAG node under parent (null: the world) at once.
  MObject createNode(const MString& typeName, const MObject& parent, MStatus* ReturnStatus = nullptr);
  // Queues moving node (a DAG node) under newParent (null: the world; otherwise a
  // transform that is not node itself nor below it). The node leaves all its current
  // parents, keeps its local matrix and is renamed if a new sibling has its name.
  MStatus reparentNode(const MObject& node, const MObject& newParent = MObject::kNullObj);
};
