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
  // The scene lists its nodes by type, so the snapshot costs what it holds.
  const std::vector<Node*>* list = &s.nodes;
  if (filter != MFn::kInvalid) {
    auto found = s.nodesOfType.find(filter);
    if (found == s.nodesOfType.end()) return MStatus::kSuccess;
    list = &found->second;
  }
  m_items->setLength((unsigned)list->size());
  MObject* items = Access::elements(*m_items);
  for (size_t i = 0; i < list->size(); ++i) items[i] = Access::make((*list)[i]);
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

// A node's connections are kept in creation order, so its neighbours come in that order
// without sorting. Nodes are marked as the walk reaches them.
struct Walk {
  bool upstream, breadth;
  MFn::Type filter;
  unsigned long long mark;
  MObjectArray* out;

  // Reaches a node; false when the walk has been there.
  bool reach(Node* n) {
    if (n->walkMark == mark) return false;
    n->walkMark = mark;
    return true;
  }

  template <typename Visit>
  void neighbours(Node* n, const PlugKey* only, Visit visit) const {
    for (Connection* c : upstream ? n->in : n->out)
      if (!only || keyWithin(upstream ? c->dstKey : c->srcKey, *only)) visit(upstream ? c->src : c->dst);
  }

  void emit(Node* n) {
    if (filter == MFn::kInvalid || n->hasFn(filter)) out->append(Access::make(n));
  }

  // Depth first, pre-order, each node's neighbours in order: a stack of (node, position
  // among its connections) instead of recursion, as a chain of connections may be long.
  void depthFirst(Node* root, const PlugKey* only) {
    struct Frame {
      Node* node;
      size_t next;
      const PlugKey* only;
    };
    std::vector<Frame> stack{{root, 0, only}};
    while (!stack.empty()) {
      Frame& top = stack.back();
      const std::vector<Connection*>& list = upstream ? top.node->in : top.node->out;
      if (top.next >= list.size()) {
        stack.pop_back();
        continue;
      }
      Connection* c = list[top.next++];
      if (top.only && !keyWithin(upstream ? c->dstKey : c->srcKey, *top.only)) continue;
      Node* m = upstream ? c->src : c->dst;
      if (!reach(m)) continue;
      emit(m);
      stack.push_back({m, 0, nullptr});
    }
  }

  void breadthFirst(Node* root, const PlugKey* only) {
    std::deque<Node*> queue;
    neighbours(root, only, [&](Node* m) {
      if (reach(m)) queue.push_back(m);
    });
    while (!queue.empty()) {
      Node* n = queue.front();
      queue.pop_front();
      emit(n);
      neighbours(n, nullptr, [&](Node* m) {
        if (reach(m)) queue.push_back(m);
      });
    }
  }

  void run(Node* root, const PlugKey* only) {
    reach(root);
    emit(root);
    if (breadth)
      breadthFirst(root, only);
    else
      depthFirst(root, only);
  }
};

MStatus walk(MObjectArray* items, Node* root, const PlugKey* only, MFn::Type filter, MItDependencyGraph::Direction d,
             MItDependencyGraph::Traversal t) {
  items->clear();
  if (!root) return MStatus::kInvalidParameter;
  Walk w{d == MItDependencyGraph::kUpstream, t == MItDependencyGraph::kBreadthFirst, filter, nextWalkMark(), items};
  w.run(root, only);
  return MStatus::kSuccess;
}

}  // namespace

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
