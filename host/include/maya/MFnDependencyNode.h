#pragma once
// Function set for dependency nodes (every node type). Refuses data objects, components
// and attributes.
#include <maya/MFnBase.h>
#include <maya/MPlug.h>
#include <maya/MString.h>

class MFnDependencyNode : public MFnBase {
public:
  MFnDependencyNode();
  MFnDependencyNode(const MObject& object, MStatus* ReturnStatus = nullptr);
  MFn::Type type() const override;

  // Creates a node of a known type name ("transform", "joint", "mesh", "skinCluster",
  // "tweak", "objectSet", "shadingEngine", "lambert", "phong", "blinn"). DAG types are
  // created under the world. The set attaches to the new node.
  MObject create(const MString& typeName, MStatus* ReturnStatus = nullptr);
  MObject create(const MString& typeName, const MString& name, MStatus* ReturnStatus = nullptr);

  MString name(MStatus* ReturnStatus = nullptr) const;
  // Renames. A DAG node's name must differ from its siblings' and from every non-DAG
  // node's; a non-DAG node's from every node's. A clash appends or increments a trailing
  // number ("a" -> "a1", "a1" -> "a2"); the name actually given is returned. "" or a
  // name containing '|' is refused (kInvalidParameter, name unchanged). Bytes are kept
  // as they are. Default names ("jointN", "transformN", "<type>N") are unique among
  // all nodes.
  MString setName(const MString& name, bool createNamespace = false, MStatus* ReturnStatus = nullptr);
  MString typeName(MStatus* ReturnStatus = nullptr) const;
  MPlug findPlug(const MString& attrName, MStatus* ReturnStatus = nullptr) const;
  MPlug findPlug(const MString& attrName, bool wantNetworkedPlug, MStatus* ReturnStatus = nullptr) const;
  MObject attribute(const MString& attrName, MStatus* ReturnStatus = nullptr) const;
  unsigned int attributeCount(MStatus* ReturnStatus = nullptr) const;
  MObject attribute(unsigned int index, MStatus* ReturnStatus = nullptr) const;
  bool hasAttribute(const MString& attrName, MStatus* ReturnStatus = nullptr) const;
  MStatus getConnections(MPlugArray& plugs) const;
};
