// MDGModifier / MDagModifier: queued graph edits.
#include "Core.h"

#include <maya/MDagModifier.h>

#include <functional>

using namespace standin::core;

namespace standin::core {
struct ModifierQueue {
  std::vector<std::function<MStatus()>> ops;
};
}  // namespace standin::core

namespace {
Node* plugOwner(const MPlug& p) { return Access::attr(p) ? Access::node(p.node()) : nullptr; }
}  // namespace

MDGModifier::MDGModifier() : m_queue(new ModifierQueue()) {}
MDGModifier::~MDGModifier() { delete m_queue; }
void* MDGModifier::operator new(std::size_t size) { return ::operator new(size); }
void MDGModifier::operator delete(void* p) noexcept { ::operator delete(p); }

MObject MDGModifier::createNode(const MString& typeName, MStatus* st) {
  Node* n = standin::core::createNode(str(typeName), nullptr, "");
  setStatus(st, n ? MStatus::kSuccess : MStatus::kInvalidParameter);
  return n ? Access::make(n) : MObject();
}

MStatus MDGModifier::deleteNode(const MObject& node) {
  if (!Access::node(node)) return MStatus::kInvalidParameter;
  m_queue->ops.push_back([node] {
    Node* n = Access::node(node);
    if (!n || n->isWorld()) return MStatus(MStatus::kInvalidParameter);
    standin::core::deleteNode(n);
    return MStatus(MStatus::kSuccess);
  });
  return MStatus::kSuccess;
}

MStatus MDGModifier::connect(const MPlug& source, const MPlug& destination) {
  if (!plugOwner(source) || !plugOwner(destination)) return MStatus::kInvalidParameter;
  m_queue->ops.push_back([source, destination] {
    return standin::core::connect(plugOwner(source), Access::key(source), plugOwner(destination),
                                  Access::key(destination));
  });
  return MStatus::kSuccess;
}

MStatus MDGModifier::connect(const MObject& sourceNode, const MObject& sourceAttr, const MObject& destNode,
                             const MObject& destAttr) {
  return connect(MPlug(sourceNode, sourceAttr), MPlug(destNode, destAttr));
}

MStatus MDGModifier::disconnect(const MPlug& source, const MPlug& destination) {
  if (!plugOwner(source) || !plugOwner(destination)) return MStatus::kInvalidParameter;
  m_queue->ops.push_back([source, destination] {
    return standin::core::disconnect(plugOwner(source), Access::key(source), plugOwner(destination),
                                     Access::key(destination));
  });
  return MStatus::kSuccess;
}

MStatus MDGModifier::renameNode(const MObject& node, const MString& newName) {
  if (!Access::node(node)) return MStatus::kInvalidParameter;
  m_queue->ops.push_back([node, newName] { return standin::core::renameNode(Access::node(node), str(newName)); });
  return MStatus::kSuccess;
}

MStatus MDGModifier::doIt() {
  std::vector<std::function<MStatus()>> ops;
  ops.swap(m_queue->ops);
  for (auto& op : ops) {
    MStatus s = op();
    if (!s) return s;
  }
  return MStatus::kSuccess;
}

MDagModifier::MDagModifier() {}
MDagModifier::~MDagModifier() {}

MObject MDagModifier::createNode(const MString& typeName, const MObject& parent, MStatus* st) {
  const NodeType* t = nodeType(str(typeName));
  Node* p = parent.isNull() ? nullptr : Access::node(parent);
  if (!t || !t->dag || (!parent.isNull() && (!p || !p->hasFn(MFn::kTransform)))) {
    setStatus(st, MStatus::kInvalidParameter);
    return MObject();
  }
  setStatus(st, MStatus::kSuccess);
  return Access::make(standin::core::createNode(t, p, ""));
}

MStatus MDagModifier::reparentNode(const MObject& node, const MObject& newParent) {
  Node* n = Access::node(node);
  if (!n || !n->isDag() || n->isWorld()) return MStatus::kInvalidParameter;
  if (!newParent.isNull()) {
    Node* p = Access::node(newParent);
    if (!p || !p->hasFn(MFn::kTransform) || p == n || isAncestor(n, p)) return MStatus::kInvalidParameter;
  }
  m_queue->ops.push_back([node, newParent] {
    Node* c = Access::node(node);
    Node* p = newParent.isNull() ? scene().world : Access::node(newParent);
    if (!c || !p || p == c || isAncestor(c, p)) return MStatus(MStatus::kInvalidParameter);
    return standin::core::addChild(p, c, false);
  });
  return MStatus::kSuccess;
}
