#pragma once
// Function set for sets: objectSets (deformer sets among them) and shading groups.
// - Shading group: addMember(path, faces) assigns those faces of that instance (taking
//   them from any other group); addMember(path) assigns all faces; removeMember unassigns.
// - Deformer set (linked to a deformer through usedBy): membership is per vertex of each
//   deformed geometry; a non-member vertex is not deformed. Removing a non-member succeeds.
// - Any other objectSet: a list of (path or node, optional component) items.
#include <maya/MDagPath.h>
#include <maya/MFnDependencyNode.h>
#include <maya/MSelectionList.h>

class MFnSet : public MFnDependencyNode {
public:
  MFnSet();
  MFnSet(const MObject& object, MStatus* ReturnStatus = nullptr);
  MFn::Type type() const override;

  MObject create(const MSelectionList& members, MStatus* ReturnStatus = nullptr);
  MStatus addMember(const MDagPath& path, const MObject& component = MObject::kNullObj);
  MStatus addMember(const MObject& node);
  MStatus addMembers(const MSelectionList& list);
  MStatus removeMember(const MDagPath& path, const MObject& component);
  MStatus removeMember(const MObject& node);
  MStatus getMembers(MSelectionList& members, bool flatten) const;
  // Null component: the object is a member at all. Otherwise every element is a member.
  bool isMember(const MDagPath& path, const MObject& component = MObject::kNullObj,
                MStatus* ReturnStatus = nullptr) const;
  bool isMember(const MObject& node, MStatus* ReturnStatus = nullptr) const;
  MStatus clear();
};
