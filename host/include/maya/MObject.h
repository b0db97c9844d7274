#pragma once
// Handle to a scene entity: a node, an attribute, a data object (mesh or matrix data), a
// component or a plug-in. Holds one counted reference; copies share the entity. Two
// handles are equal iff they refer to the same entity. A handle to a deleted node stays
// non-null, but function sets refuse it.
#include <maya/MFn.h>
#include <maya/MStatus.h>

namespace standin {
namespace core {
struct Entity;
struct Access;
}  // namespace core
}  // namespace standin

class MObject {
public:
  constexpr MObject() : m_entity(nullptr) {}
  MObject(const MObject& other);
  ~MObject();
  MObject& operator=(const MObject& other);

  bool isNull() const { return m_entity == nullptr; }
  MFn::Type apiType() const;
  bool hasFn(MFn::Type type) const;
  bool operator==(const MObject& other) const { return m_entity == other.m_entity; }
  bool operator!=(const MObject& other) const { return m_entity != other.m_entity; }

  static const MObject kNullObj;

private:
  friend struct standin::core::Access;
  standin::core::Entity* m_entity;
};
