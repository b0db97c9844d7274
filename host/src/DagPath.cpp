// MDagPath: node sequences through the DAG, their names and matrices.
#include "Core.h"

#include <maya/MDagPathArray.h>

using namespace standin::core;

MDagPath::MDagPath() : m_step(nullptr), m_valid(false) {}

MDagPath::MDagPath(const MDagPath& o) : m_step(o.m_step), m_valid(o.m_valid) { retainStep(m_step); }

MDagPath::~MDagPath() { releaseStep(m_step); }

// The new step is retained before the old one is released, so self-assignment is safe.
MDagPath& MDagPath::operator=(const MDagPath& o) {  // NOLINT(bugprone-unhandled-self-assignment)
  retainStep(o.m_step);
  releaseStep(m_step);
  m_step = o.m_step;
  m_valid = o.m_valid;
  return *this;
}

namespace {
// The path's last step when the path still describes a route through the live DAG (null
// with true for the world's path). A node's own instance 0, as kept on the node, is live
// by construction; any other path is checked node by node.
bool liveStep(const MDagPath& p, PathStep*& step) {
  step = Access::step(p);
  if (!Access::pathValidFlag(p)) return false;
  if (!step) return true;
  if (step->node->alive && step == step->node->firstPath) return true;
  for (PathStep* s = step; s; s = s->up) {
    Node* n = s->node;
    if (!n->alive) return false;
    Node* parent = s->up ? s->up->node : scene().world;
    bool linked = false;
    for (Node* q : n->parents) linked |= q == parent;
    if (!linked) return false;
  }
  return true;
}

Node* lastNode(PathStep* s) { return s ? s->node : scene().world; }

// The path's nodes, top first.
std::vector<Node*> nodesOf(PathStep* s) {
  std::vector<Node*> v(s ? s->length : 0);
  for (; s; s = s->up) v[s->length - 1] = s->node;
  return v;
}
}  // namespace

MObject MDagPath::node(MStatus* st) const {
  PathStep* s;
  if (!liveStep(*this, s)) {
    setStatus(st, MStatus::kFailure);
    return MObject();
  }
  setStatus(st, MStatus::kSuccess);
  return Access::make(lastNode(s));
}

MObject MDagPath::transform(MStatus* st) const {
  PathStep* s;
  if (!liveStep(*this, s) || !s) {
    setStatus(st, MStatus::kFailure);
    return MObject();
  }
  for (; s; s = s->up)
    if (s->node->hasFn(MFn::kTransform)) {
      setStatus(st, MStatus::kSuccess);
      return Access::make(s->node);
    }
  setStatus(st, MStatus::kFailure);
  return MObject();
}

unsigned int MDagPath::length(MStatus* st) const {
  setStatus(st, m_valid ? MStatus::kSuccess : MStatus::kFailure);
  return m_step ? m_step->length : 0;
}

bool MDagPath::isValid(MStatus* st) const {
  PathStep* s;
  setStatus(st, MStatus::kSuccess);
  return liveStep(*this, s);
}

MStatus MDagPath::pop(unsigned int num) {
  if (!m_valid || num > length()) return MStatus::kInvalidParameter;
  PathStep* s = m_step;
  for (unsigned i = 0; i < num; ++i) s = s->up;
  retainStep(s);
  releaseStep(m_step);
  m_step = s;
  return MStatus::kSuccess;
}

MStatus MDagPath::push(const MObject& child) {
  PathStep* s;
  Node* c = Access::node(child);
  if (!liveStep(*this, s) || !c) return MStatus::kInvalidParameter;
  Node* last = lastNode(s);
  bool linked = false;
  for (Node* q : c->parents) linked |= q == last;
  if (!linked) return MStatus::kInvalidParameter;
  PathStep* pushed = newStep(c, s);
  retainStep(pushed);
  releaseStep(m_step);
  m_step = pushed;
  return MStatus::kSuccess;
}

unsigned int MDagPath::childCount(MStatus* st) const {
  PathStep* s;
  if (!liveStep(*this, s)) {
    setStatus(st, MStatus::kFailure);
    return 0;
  }
  setStatus(st, MStatus::kSuccess);
  return (unsigned)lastNode(s)->children.size();
}

MObject MDagPath::child(unsigned int i, MStatus* st) const {
  PathStep* s;
  if (!liveStep(*this, s)) {
    setStatus(st, MStatus::kFailure);
    return MObject();
  }
  Node* last = lastNode(s);
  if (i >= last->children.size()) {
    setStatus(st, MStatus::kInvalidParameter);
    return MObject();
  }
  setStatus(st, MStatus::kSuccess);
  return Access::make(last->children[i]);
}

MString MDagPath::fullPathName(MStatus* st) const {
  PathStep* s;
  if (!liveStep(*this, s)) {
    setStatus(st, MStatus::kFailure);
    return MString();
  }
  setStatus(st, MStatus::kSuccess);
  return MString(standin::core::fullPathName(nodesOf(s)).c_str());
}

MString MDagPath::partialPathName(MStatus* st) const {
  PathStep* s;
  if (!liveStep(*this, s)) {
    setStatus(st, MStatus::kFailure);
    return MString();
  }
  setStatus(st, MStatus::kSuccess);
  return MString(standin::core::partialPathName(nodesOf(s)).c_str());
}

unsigned int MDagPath::instanceNumber(MStatus* st) const {
  PathStep* s;
  if (!liveStep(*this, s)) {
    setStatus(st, MStatus::kFailure);
    return 0;
  }
  setStatus(st, MStatus::kSuccess);
  if (!s || s == firstPath(s->node)) return 0;
  const std::vector<Node*> v = nodesOf(s);
  auto paths = allPaths(v.back());
  for (size_t i = 0; i < paths.size(); ++i)
    if (paths[i] == v) return (unsigned)i;
  setStatus(st, MStatus::kFailure);
  return 0;
}

MMatrix MDagPath::inclusiveMatrix(MStatus* st) const {
  PathStep* s;
  if (!liveStep(*this, s)) {
    setStatus(st, MStatus::kFailure);
    return MMatrix();
  }
  setStatus(st, MStatus::kSuccess);
  return standin::core::inclusiveMatrix(s);
}

MMatrix MDagPath::exclusiveMatrix(MStatus* st) const {
  PathStep* s;
  if (!liveStep(*this, s)) {
    setStatus(st, MStatus::kFailure);
    return MMatrix();
  }
  setStatus(st, MStatus::kSuccess);
  return standin::core::inclusiveMatrix(s ? s->up : nullptr);
}

MMatrix MDagPath::inclusiveMatrixInverse(MStatus* st) const { return inclusiveMatrix(st).inverse(); }
MMatrix MDagPath::exclusiveMatrixInverse(MStatus* st) const { return exclusiveMatrix(st).inverse(); }

bool MDagPath::operator==(const MDagPath& o) const {
  if (m_valid != o.m_valid || length() != o.length()) return false;
  for (PathStep *a = m_step, *b = o.m_step; a != b; a = a->up, b = b->up)
    if (a->node != b->node) return false;
  return true;
}

MStatus MDagPath::getAllPathsTo(const MObject& node, MDagPathArray& paths) {
  paths.clear();
  Node* n = Access::node(node);
  if (!n || !n->isDag()) return MStatus::kInvalidParameter;
  if (pathCount(n) == 1) {
    paths.append(Access::makePath(n->isWorld() ? nullptr : firstPath(n)));
    return MStatus::kSuccess;
  }
  for (const auto& p : allPaths(n)) paths.append(Access::makePath(p));
  return MStatus::kSuccess;
}

MStatus MDagPath::getAPathTo(const MObject& node, MDagPath& path) {
  Node* n = Access::node(node);
  if (!n || !n->isDag()) {
    path = MDagPath();
    return MStatus::kInvalidParameter;
  }
  Access::setPath(path, n->isWorld() ? nullptr : firstPath(n));
  return MStatus::kSuccess;
}
