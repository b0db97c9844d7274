// Node and dependency-graph iterators. Both take a snapshot of their items when built.
#include "Core.h"

#include <maya/MItDependencyGraph.h>
#include <maya/MItDependencyNodes.h>
#include <maya/MObjectArray.h>

#include <algorithm>
#include <deque>
#include <set>

using namespace standin::core;

// ---------------------------------------------------------------- MItDependencyNodes

MItDependencyNodes::MItDependencyNodes(MFn::Type filter, MStatus* st) : m_items(new MObjectArray()), m_position(0) {
  setStatus(st, reset(filter));
}

MItDependencyNodes::~MItDependencyNodes() { delete m_items; }

MStatus MItDependencyNodes::reset(MFn::Type filter) {
  m_items->clear();
  m_position = 0;
  Scene& s = scene();
  auto f = std::find(s.failIterate.begin(), s.failIterate.end(), filter);
  if (f != s.failIterate.end()) {
    s.failIterate.erase(f);
    return MStatus::kFailure;
  }
  for (Node* n : s.nodes)
    if (filter == MFn::kInvalid || n->hasFn(filter)) m_items->append(Access::make(n));
  return MStatus::kSuccess;
}

bool MItDependencyNodes::isDone(MStatus* st) const {
  setStatus(st, MStatus::kSuccess);
  return m_position >= m_items->length();
}

MStatus MItDependencyNodes::next() {
  if (m_position >= m_items->length()) return MStatus::kFailure;
  ++m_position;
  return MStatus::kSuccess;
}

MObject MItDependencyNodes::item(MStatus* st) const {
  if (m_position >= m_items->length()) {
    setStatus(st, MStatus::kFailure);
    return MObject();
  }
  setStatus(st, MStatus::kSuccess);
  return (*m_items)[m_position];
}

// ---------------------------------------------------------------- MItDependencyGraph

namespace {

struct Walk {
  bool upstream, breadth;
  MFn::Type filter;
  std::set<Node*> seen;
  MObjectArray* out;

  std::vector<Node*> neighbours(Node* n, const PlugKey* only) const {
    std::vector<Connection*> conns;
    for (Connection* c : upstream ? n->in : n->out) {
      const PlugKey& mine = upstream ? c->dstKey : c->srcKey;
      if (!only || keyWithin(mine, *only)) conns.push_back(c);
    }
    std::sort(conns.begin(), conns.end(), [](Connection* a, Connection* b) { return a->serial < b->serial; });
    std::vector<Node*> v;
    for (Connection* c : conns) v.push_back(upstream ? c->src : c->dst);
    return v;
  }

  void emit(Node* n) {
    if (filter == MFn::kInvalid || n->hasFn(filter)) out->append(Access::make(n));
  }

  void depth(Node* n, const PlugKey* only) {
    for (Node* m : neighbours(n, only))
      if (seen.insert(m).second) {
        emit(m);
        depth(m, nullptr);
      }
  }

  void breadthFirst(Node* root, const PlugKey* only) {
    std::deque<Node*> queue;
    for (Node* m : neighbours(root, only))
      if (seen.insert(m).second) queue.push_back(m);
    while (!queue.empty()) {
      Node* n = queue.front();
      queue.pop_front();
      emit(n);
      for (Node* m : neighbours(n, nullptr))
        if (seen.insert(m).second) queue.push_back(m);
    }
  }

  void run(Node* root, const PlugKey* only) {
    seen.insert(root);
    emit(root);
    if (breadth)
      breadthFirst(root, only);
    else
      depth(root, only);
  }
};

MStatus walk(MObjectArray* items, Node* root, const PlugKey* only, MFn::Type filter,
             MItDependencyGraph::Direction d, MItDependencyGraph::Traversal t) {
  items->clear();
  if (!root) return MStatus::kInvalidParameter;
  Walk w{d == MItDependencyGraph::kUpstream, t == MItDependencyGraph::kBreadthFirst, filter, {}, items};
  w.run(root, only);
  return MStatus::kSuccess;
}

} // namespace

MItDependencyGraph::MItDependencyGraph(const MObject& root, MFn::Type filter, Direction d, Traversal t, Level,
                                       MStatus* st)
    : m_items(new MObjectArray()), m_position(0) {
  setStatus(st, walk(m_items, Access::node(root), nullptr, filter, d, t));
}

MItDependencyGraph::MItDependencyGraph(const MPlug& rootPlug, MFn::Type filter, Direction d, Traversal t, Level level,
                                       MStatus* st)
    : m_items(new MObjectArray()), m_position(0) {
  Node* n = Access::attr(rootPlug) ? Access::node(rootPlug.node()) : nullptr;
  PlugKey k = Access::key(rootPlug);
  setStatus(st, walk(m_items, n, level == kPlugLevel ? &k : nullptr, filter, d, t));
}

MItDependencyGraph::~MItDependencyGraph() { delete m_items; }

bool MItDependencyGraph::isDone(MStatus* st) const {
  setStatus(st, MStatus::kSuccess);
  return m_position >= m_items->length();
}

MStatus MItDependencyGraph::next() {
  if (m_position >= m_items->length()) return MStatus::kFailure;
  ++m_position;
  return MStatus::kSuccess;
}

MStatus MItDependencyGraph::reset() {
  m_position = 0;
  return MStatus::kSuccess;
}

MObject MItDependencyGraph::currentItem(MStatus* st) const {
  if (m_position >= m_items->length()) {
    setStatus(st, MStatus::kFailure);
    return MObject();
  }
  setStatus(st, MStatus::kSuccess);
  return (*m_items)[m_position];
}
