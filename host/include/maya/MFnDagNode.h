#pragma once
// Function set for DAG nodes (the world, transforms, joints, shapes). Attaching by path
// remembers the path; attaching by object uses the node's first path (instance 0).
#include <maya/MDagPath.h>
#include <maya/MFnDependencyNode.h>

class MFnDagNode : public MFnDependencyNode {
public:
  enum { kNextPos = 0xffffffff };

  MFnDagNode();
  MFnDagNode(const MObject& object, MStatus* ReturnStatus = nullptr);
  MFnDagNode(const MDagPath& path, MStatus* ReturnStatus = nullptr);
  MFnDagNode(const MFnDagNode& other);
  MFnDagNode& operator=(const MFnDagNode& other);
  ~MFnDagNode() override;
  MFn::Type type() const override;

  MStatus setObject(const MObject& object) override;
  virtual MStatus setObject(const MDagPath& path);

  // Creates a DAG node of the type under parent (null: the world).
  MObject create(const MString& typeName, const MObject& parent = MObject::kNullObj, MStatus* ReturnStatus = nullptr);
  MObject create(const MString& typeName, const MString& name, const MObject& parent = MObject::kNullObj,
                 MStatus* ReturnStatus = nullptr);

  MStatus getPath(MDagPath& path) const;
  MDagPath dagPath(MStatus* ReturnStatus = nullptr) const;
  MStatus getAllPaths(MDagPathArray& paths) const;
  unsigned int instanceCount(bool total, MStatus* ReturnStatus = nullptr) const;
  bool isInstanced(bool indirect = true, MStatus* ReturnStatus = nullptr) const;

  unsigned int parentCount(MStatus* ReturnStatus = nullptr) const;
  MObject parent(unsigned int index, MStatus* ReturnStatus = nullptr) const;
  unsigned int childCount(MStatus* ReturnStatus = nullptr) const;
  MObject child(unsigned int index, MStatus* ReturnStatus = nullptr) const;
  // Adds child under this node at position index among its children (kNextPos: last).
  // keepExistingParents = true makes an instance (a further path); false moves it here
  // from its current parents.
  MStatus addChild(const MObject& child, unsigned int index = kNextPos, bool keepExistingParents = false);
  // Takes child from under this node; a child left with no parent goes to the world.
  MStatus removeChild(const MObject& child);
  bool hasChild(const MObject& node, MStatus* ReturnStatus = nullptr) const;
  bool hasParent(const MObject& node, MStatus* ReturnStatus = nullptr) const;
  bool isChildOf(const MObject& node, MStatus* ReturnStatus = nullptr) const;
  bool isParentOf(const MObject& node, MStatus* ReturnStatus = nullptr) const;

  MString fullPathName(MStatus* ReturnStatus = nullptr) const;
  MString partialPathName(MStatus* ReturnStatus = nullptr) const;
  bool isIntermediateObject(MStatus* ReturnStatus = nullptr) const;
  MStatus setIntermediateObject(bool isIntermediate);
  MMatrix transformationMatrix(MStatus* ReturnStatus = nullptr) const;

protected:
  // Path the set works on: the attached path, or the node's first path.
  bool workingPath(MDagPath& path) const;
  MDagPath m_path;
  bool m_hasPath;
};
