#pragma once
// Function set for DAG nodes (the world, transforms, joints, shapes). Attaching by path
// remembers the path; attaching by object uses the node's first path (instance 0).
#include <maya/MDagPath.h>
#include <maya/MFnDependencyNode.h>

class MFnDagNode : public MFnDependencyNode {
public:
  enum { kNextPos = 0xffffffff };

  MFnDagNode();
  MFnDagNode(const MObject& object, MStatus* ReturnStatus = NULL);
  MFnDagNode(const MDagPath& path, MStatus* ReturnStatus = NULL);
  MFnDagNode(const MFnDagNode& other);
  MFnDagNode& operator=(const MFnDagNode& other);
  ~MFnDagNode() override;
  MFn::Type type() const override;

  MStatus setObject(const MObject& object) override;
  virtual MStatus setObject(const MDagPath& path);

  // Creates a DAG node of the type under parent (null: the world).
  MObject create(const MString& typeName, const MObject& parent = MObject::kNullObj,
                 MStatus* ReturnStatus = NULL);
  MObject create(const MString& typeName, const MString& name,
                 const MObject& parent = MObject::kNullObj, MStatus* ReturnStatus = NULL);

  MStatus getPath(MDagPath& path) const;
  MDagPath dagPath(MStatus* ReturnStatus = NULL) const;
  MStatus getAllPaths(MDagPathArray& paths) const;
  unsigned int instanceCount(bool total, MStatus* ReturnStatus = NULL) const;
  bool isInstanced(bool indirect = true, MStatus* ReturnStatus = NULL) const;

  unsigned int parentCount(MStatus* ReturnStatus = NULL) const;
  MObject parent(unsigned int index, MStatus* ReturnStatus = NULL) const;
  unsigned int childCount(MStatus* ReturnStatus = NULL) const;
  MObject child(unsigned int index, MStatus* ReturnStatus = NULL) const;
  // Adds child under this node at position index among its children (kNextPos: last).
  // keepExistingParents = true makes an instance (a further path); false moves it here
  // from its current parents.
  MStatus addChild(const MObject& child, unsigned int index = kNextPos, bool keepExistingParents = false);
  // Takes child from under this node; a child left with no parent goes to the world.
  MStatus removeChild(const MObject& child);
  bool hasChild(const MObject& node, MStatus* ReturnStatus = NULL) const;
  bool hasParent(const MObject& node, MStatus* ReturnStatus = NULL) const;
  bool isChildOf(const MObject& node, MStatus* ReturnStatus = NULL) const;
  bool isParentOf(const MObject& node, MStatus* ReturnStatus = NULL) const;

  MString fullPathName(MStatus* ReturnStatus = NULL) const;
  MString partialPathName(MStatus* ReturnStatus = NULL) const;
  bool isIntermediateObject(MStatus* ReturnStatus = NULL) const;
  MStatus setIntermediateObject(bool isIntermediate);
  MMatrix transformationMatrix(MStatus* ReturnStatus = NULL) const;

protected:
  // Path the set works on: the attached path, or the node's first path.
  bool workingPath(MDagPath& path) const;
  MDagPath m_path;
  bool m_hasPath;
};
