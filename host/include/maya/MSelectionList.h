#pragma once
// Ordered list of items: DAG paths (optionally with a component) and dependency nodes.
#include <maya/MDagPath.h>
#include <maya/MObject.h>
#include <maya/MString.h>

namespace standin {
namespace core {
struct SelectionItems;
}
}  // namespace standin

class MSelectionList {
public:
  MSelectionList();
  MSelectionList(const MSelectionList& other);
  ~MSelectionList();
  MSelectionList& operator=(const MSelectionList& other);

  unsigned int length(MStatus* ReturnStatus = nullptr) const;
  bool isEmpty(MStatus* ReturnStatus = nullptr) const;
  MStatus clear();

  // A DAG node is stored as its first path.
  MStatus add(const MObject& object, bool mergeWithExisting = false);
  MStatus add(const MDagPath& path, const MObject& component = MObject::kNullObj, bool mergeWithExisting = false);
  // Adds the nodes a name resolves to: a full path, a partial path or a short name.
  MStatus add(const MString& name, bool searchChildNamespaces = false);
  MStatus remove(unsigned int index);

  // True iff the list holds exactly this path as a whole-object item (no component when
  // component is null); ancestors do not count.
  bool hasItem(const MDagPath& item, const MObject& component = MObject::kNullObj,
               MStatus* ReturnStatus = nullptr) const;
  bool hasItem(const MObject& item, MStatus* ReturnStatus = nullptr) const;

  MStatus getDagPath(unsigned int index, MDagPath& path, MObject& component) const;
  MStatus getDagPath(unsigned int index, MDagPath& path) const;
  MStatus getDependNode(unsigned int index, MObject& node) const;

private:
  friend struct standin::core::Access;
  standin::core::SelectionItems* m_items;
};
