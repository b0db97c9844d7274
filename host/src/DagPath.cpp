// MDagPath: node sequences through the DAG, their names and matrices.
#include "Core.h"

#include <maya/MDagPathArray.h>

using namespace standin::core;

MDagPath::MDagPath() : m_nodes(nullptr), m_length(0), m_valid(false) {}

MDagPath::MDagPath(const MDagPath& o) : m_nodes(nullptr), m_length(0), m_valid(false) { *this = o; }

MDagPath::~MDagPath() {
  for (unsigned i = 0; i < m_length; ++i) release(m_nodes[i]);
  delete[] m_nodes;
}

MDagPath& MDagPath::operator=(const MDagPath& o) {
  if (this == &o) return *this;
  Entity** copy = o.m_length ? new Entity*[o.m_length] : nullptr;
  for (unsigned i = 0; i < o.m_length; ++i) {
    copy[i] = o.m_nodes[i];
    retain(copy[i]);
  }
  for (unsigned i = 0; i < m_length; ++i) release(m_nodes[i]);
  delete[] m_nodes;
  m_nodes = copy;
  m_length = o.m_length;
  m_valid = o.m_valid;
  return *this;
}

namespace {
// The path's nodes when it still describes a route through the live DAG.
bool liveNodes(const MDagPath& p, std::vector<Node*>& nodes) {
  if (!Access::pathValidFlag(p)) return false;
  nodes = Access::nodes(p);
  Node* parent = scene().world;
  for (Node* n : nodes) {
    if (!n->alive) return false;
    bool linked = false;
    for (Node* q : n->parents) linked |= q == parent;
    if (!linked) return false;
    parent = n;
  }
  return true;
}
} // namespace

MObject MDagPath::node(MStatus* st) const {
  std::vector<Node*> v;
  if (!liveNodes(*this, v)) {
    setStatus(st, MStatus::kFailure);
    return MObject();
  }
  setStatus(st, MStatus::kSuccess);
  return Access::make(v.empty() ? scene().world : v.back());
}

MObject MDagPath::transform(MStatus* st) const {
  std::vector<Node*> v;
  if (!liveNodes(*this, v) || v.empty()) {
    setStatus(st, MStatus::kFailure);
    return MObject();
  }
  for (size_t i = v.size(); i > 0; --i)
    if (v[i - 1]->hasFn(MFn::kTransform)) {
      setStatus(st, MStatus::kSuccess);
      return Access::make(v[i - 1]);
    }
  setStatus(st, MStatus::kFailure);
  return MObject();
}

unsigned int MDagPath::length(MStatus* st) const {
  setStatus(st, m_valid ? MStatus::kSuccess : MStatus::kFailure);
  return m_length;
}

bool MDagPath::isValid(MStatus* st) const {
  std::vector<Node*> v;
  setStatus(st, MStatus::kSuccess);
  return liveNodes(*this, v);
}

MStatus MDagPath::pop(unsigned int num) {
  if (!m_valid || num > m_length) return MStatus::kInvalidParameter;
  for (unsigned i = m_length - num; i < m_length; ++i) release(m_nodes[i]);
  m_length -= num;
  return MStatus::kSuccess;
}

MStatus MDagPath::push(const MObject& child) {
  std::vector<Node*> v;
  Node* c = Access::node(child);
  if (!liveNodes(*this, v) || !c) return MStatus::kInvalidParameter;
  Node* last = v.empty() ? scene().world : v.back();
  bool linked = false;
  for (Node* q : c->parents) linked |= q == last;
  if (!linked) return MStatus::kInvalidParameter;
  v.push_back(c);
  *this = Access::makePath(v);
  return MStatus::kSuccess;
}

unsigned int MDagPath::childCount(MStatus* st) const {
  std::vector<Node*> v;
  if (!liveNodes(*this, v)) {
    setStatus(st, MStatus::kFailure);
    return 0;
  }
  setStatus(st, MStatus::kSuccess);
  return (unsigned)(v.empty() ? scene().world : v.back())->children.size();
}

MObject MDagPath::child(unsigned int i, MStatus* st) const {
  std::vector<Node*> v;
  if (!liveNodes(*this, v)) {
    setStatus(st, MStatus::kFailure);
    return MObject();
  }
  Node* last = v.empty() ? scene().world : v.back();
  if (i >= last->children.size()) {
    setStatus(st, MStatus::kInvalidParameter);
    return MObject();
  }
  setStatus(st, MStatus::kSuccess);
  return Access::make(last->children[i]);
}

MString MDagPath::fullPathName(MStatus* st) const {
  std::vector<Node*> v;
  if (!liveNodes(*this, v)) {
    setStatus(st, MStatus::kFailure);
    return MString();
  }
  setStatus(st, MStatus::kSuccess);
  return MString(standin::core::fullPathName(v).c_str());
}

MString MDagPath::partialPathName(MStatus* st) const {
  std::vector<Node*> v;
  if (!liveNodes(*this, v)) {
    setStatus(st, MStatus::kFailure);
    return MString();
  }
  setStatus(st, MStatus::kSuccess);
  return MString(standin::core::partialPathName(v).c_str());
}

unsigned int MDagPath::instanceNumber(MStatus* st) const {
  std::vector<Node*> v;
  if (!liveNodes(*this, v)) {
    setStatus(st, MStatus::kFailure);
    return 0;
  }
  if (v.empty()) {
    setStatus(st, MStatus::kSuccess);
    return 0;
  }
  auto paths = allPaths(v.back());
  for (size_t i = 0; i < paths.size(); ++i)
    if (paths[i] == v) {
      setStatus(st, MStatus::kSuccess);
      return (unsigned)i;
    }
  setStatus(st, MStatus::kFailure);
  return 0;
}

MMatrix MDagPath::inclusiveMatrix(MStatus* st) const {
  std::vector<Node*> v;
  if (!liveNodes(*this, v)) {
    setStatus(st, MStatus::kFailure);
    return MMatrix();
  }
  setStatus(st, MStatus::kSuccess);
  return standin::core::inclusiveMatrix(v);
}

MMatrix MDagPath::exclusiveMatrix(MStatus* st) const {
  std::vector<Node*> v;
  if (!liveNodes(*this, v)) {
    setStatus(st, MStatus::kFailure);
    return MMatrix();
  }
  setStatus(st, MStatus::kSuccess);
  if (!v.empty()) v.pop_back();
  return standin::core::inclusiveMatrix(v);
}

MMatrix MDagPath::inclusiveMatrixInverse(MStatus* st) const { return inclusiveMatrix(st).inverse(); }
MMatrix MDagPath::exclusiveMatrixInverse(MStatus* st) const { return exclusiveMatrix(st).inverse(); }

bool MDagPath::operator==(const MDagPath& o) const {
  if (m_valid != o.m_valid || m_length != o.m_length) return false;
  for (unsigned i = 0; i < m_length; ++i)
    if (m_nodes[i] != o.m_nodes[i]) return false;
  return true;
}

MStatus MDagPath::getAllPathsTo(const MObject& node, MDagPathArray& paths) {
  paths.clear();
  Node* n = Access::node(node);
  if (!n || !n->isDag()) return MStatus::kInvalidParameter;
  for (const auto& p : allPaths(n)) paths.append(Access::makePath(p));
  return MStatus::kSuccess;
}

MStatus MDagPath::getAPathTo(const MObject& node, MDagPath& path) {
  Node* n = Access::node(node);
  if (!n || !n->isDag()) {
    path = MDagPath();
    return MStatus::kInvalidParameter;
  }
  auto paths = allPaths(n);
  if (paths.empty()) return MStatus::kFailure;
  path = Access::makePath(paths.front());
  return MStatus::kSuccess;
}
