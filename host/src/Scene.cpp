// The scene graph: entities, node types and attributes, names, connections, deletion,
// DAG paths and evaluation of plug values.
#include <cctype>
#include "Core.h"

#include <algorithm>
#include <cstdlib>
#include <new>

namespace standin::core {

// ---------------------------------------------------------------- entities

Entity::~Entity() = default;

bool Entity::hasFn(MFn::Type t) const { return t == type || t == MFn::kBase; }

void retain(Entity* e) {
  if (e) ++e->refs;
}

void release(Entity* e) {
  if (e && --e->refs == 0) delete e;
}

MObject Access::make(Entity* e) {
  MObject o;
  o.m_entity = e;
  retain(e);
  return o;
}

Node* Access::anyNode(const MObject& o) { return entityAs<Node>(o, EntityKind::Node); }

Node* Access::node(const MObject& o) {
  Node* n = anyNode(o);
  return n && n->alive ? n : nullptr;
}

std::vector<Node*> Access::nodes(const MDagPath& p) {
  std::vector<Node*> v(p.m_step ? p.m_step->length : 0);
  for (PathStep* s = p.m_step; s; s = s->up) v[s->length - 1] = s->node;
  return v;
}

MDagPath Access::makePath(const std::vector<Node*>& nodes) {
  PathStep* last = nullptr;
  // The node's instance 0 when the nodes are that path: its steps are shared.
  Node* n = nodes.empty() ? nullptr : nodes.back();
  if (n && n->alive && n->isDag() && !n->isWorld()) {
    PathStep* first = firstPath(n);
    size_t i = nodes.size();
    PathStep* s = first;
    if (s->length == nodes.size())
      for (; s && s->node == nodes[i - 1]; s = s->up) --i;
    if (!s && i == 0) last = first;
  }
  if (!last && n) {
    retainStep(last = newStep(nodes.front(), nullptr));
    for (size_t i = 1; i < nodes.size(); ++i) {
      PathStep* next = newStep(nodes[i], last);
      retainStep(next);
      releaseStep(last);
      last = next;
    }
    MDagPath p = makePath(last);
    releaseStep(last);
    return p;
  }
  return makePath(last);
}

MDagPath Access::makePath(PathStep* s) {
  MDagPath p;
  setPath(p, s);
  return p;
}

void Access::setPath(MDagPath& p, PathStep* s) {
  retainStep(s);
  releaseStep(p.m_step);
  p.m_step = s;
  p.m_valid = true;
}

PathStep* newStep(Node* node, PathStep* up) {
  PathStep* s = new PathStep;
  s->node = node;
  s->up = up;
  s->length = up ? up->length + 1 : 1;
  retain(node);
  retainStep(up);
  return s;
}

void retainStep(PathStep* s) {
  if (s) ++s->refs;
}

void releaseStep(PathStep* s) {
  // A loop rather than recursion: a long chain of steps may go at once.
  while (s && --s->refs == 0) {
    PathStep* up = s->up;
    release(s->node);
    delete s;
    s = up;
  }
}

MPlug Access::makePlug(Node* n, const PlugKey& k) {
  MPlug p;
  p.m_node = make(n);
  p.m_attr = k.attr;
  p.m_parentIndex = k.parentIndex;
  p.m_index = k.index;
  return p;
}

bool MeshData::hasFn(MFn::Type t) const {
  return t == MFn::kMeshData || t == MFn::kMesh || t == MFn::kGeometryData || t == MFn::kData || t == MFn::kBase;
}

bool MatrixData::hasFn(MFn::Type t) const { return t == MFn::kMatrixData || t == MFn::kData || t == MFn::kBase; }

bool Component::hasFn(MFn::Type t) const {
  return t == type || t == MFn::kSingleIndexedComponent || t == MFn::kComponent || t == MFn::kBase;
}

Attr::Attr(const std::string& n, AttrKind k, bool isArray, bool src, bool dst)
    : Entity(EntityKind::Attribute, MFn::kAttribute), name(n), akind(k), array(isArray), source(src), dest(dst) {
  switch (k) {
  case AttrKind::Message: type = MFn::kMessageAttribute; break;
  case AttrKind::Matrix: type = MFn::kMatrixAttribute; break;
  case AttrKind::Geometry: type = MFn::kTypedAttribute; break;
  case AttrKind::Compound: type = MFn::kCompoundAttribute; break;
  case AttrKind::Numeric: type = MFn::kNumericAttribute; break;
  case AttrKind::Generic: type = MFn::kGenericAttribute; break;
  }
  refs = 1;  // owned by its node type for the life of the process
}

bool Attr::hasFn(MFn::Type t) const { return t == type || t == MFn::kAttribute || t == MFn::kBase; }

bool keyWithin(const PlugKey& e, const PlugKey& plug) {
  if (e == plug) return true;
  if (plug.index >= 0)  // an element: its children belong to it
    return e.attr->parent == plug.attr && e.parentIndex == plug.index;
  if (plug.attr->array)  // the array plug: its elements and their children
    return e.attr == plug.attr || (e.attr->parent == plug.attr);
  return false;
}

// ---------------------------------------------------------------- node types

bool NodeType::has(const Attr* a) const {
  for (Attr* t : attrs) {
    if (t == a) return true;
    for (Attr* c : t->children)
      if (c == a) return true;
  }
  return false;
}

Attr* NodeType::find(const std::string& n) const {
  for (Attr* a : attrs) {
    if (a->name == n) return a;
    for (Attr* c : a->children)
      if (c->name == n) return c;
  }
  return nullptr;
}

namespace {

std::map<std::string, NodeType*>* g_types = nullptr;

Attr* attr(NodeType* t, const std::string& n, AttrKind k, bool array, bool src, bool dst) {
  Attr* a = new Attr(n, k, array, src, dst);
  t->attrs.push_back(a);
  return a;
}

Attr* addChildAttr(Attr* parent, const std::string& n, AttrKind k, bool src, bool dst) {
  Attr* a = new Attr(n, k, false, src, dst);
  a->parent = parent;
  parent->children.push_back(a);
  return a;
}

NodeType* makeType(const std::string& name, MFn::Type type, std::vector<MFn::Type> fns, bool dag) {
  NodeType* t = new NodeType{name, type, std::move(fns), dag, {}};
  attr(t, "message", AttrKind::Message, false, true, false);
  if (dag) {
    attr(t, "worldMatrix", AttrKind::Matrix, true, true, false);
    attr(t, "intermediateObject", AttrKind::Numeric, false, true, true);
  }
  (*g_types)[name] = t;
  return t;
}

void addDeformerAttrs(NodeType* t) {
  Attr* in = attr(t, "input", AttrKind::Compound, true, false, true);
  t->geometryInput = addChildAttr(in, "inputGeometry", AttrKind::Geometry, false, true);
  addChildAttr(in, "groupId", AttrKind::Numeric, true, true);
  attr(t, "outputGeometry", AttrKind::Geometry, true, true, false);
  attr(t, "envelope", AttrKind::Numeric, false, true, true);
}

void buildTypes() {
  g_types = new std::map<std::string, NodeType*>();
  using namespace MFn;
  makeType("world", kWorld, {kDagNode, kDependencyNode}, true);
  makeType("transform", kTransform, {kDagNode, kDependencyNode}, true);
  makeType("joint", kJoint, {kTransform, kDagNode, kDependencyNode}, true);
  NodeType* mesh = makeType("mesh", kMesh, {kSurface, kShape, kDagNode, kDependencyNode}, true);
  mesh->geometryInput = attr(mesh, "inMesh", AttrKind::Geometry, false, false, true);
  attr(mesh, "outMesh", AttrKind::Geometry, false, true, false);
  attr(mesh, "worldMesh", AttrKind::Geometry, true, true, false);
  NodeType* skin = makeType("skinCluster", kSkinClusterFilter, {kGeometryFilt, kDependencyNode}, false);
  addDeformerAttrs(skin);
  attr(skin, "matrix", AttrKind::Matrix, true, false, true);
  attr(skin, "bindPreMatrix", AttrKind::Matrix, true, false, true);
  attr(skin, "geomMatrix", AttrKind::Matrix, false, false, true);
  NodeType* tweak = makeType("tweak", kTweak, {kGeometryFilt, kDependencyNode}, false);
  addDeformerAttrs(tweak);
  NodeType* set = makeType("objectSet", kSet, {kDependencyNode}, false);
  attr(set, "usedBy", AttrKind::Message, true, false, true);
  NodeType* sg = makeType("shadingEngine", kShadingEngine, {kSet, kDependencyNode}, false);
  attr(sg, "usedBy", AttrKind::Message, true, false, true);
  attr(sg, "surfaceShader", AttrKind::Generic, false, false, true);
  for (auto [name, type] : {std::pair{"lambert", kLambert}, {"phong", kPhong}, {"blinn", kBlinn}}) {
    std::vector<MFn::Type> fns{kDependencyNode};
    if (type != kLambert) fns.push_back(kLambert);
    NodeType* m = makeType(name, type, fns, false);
    attr(m, "outColor", AttrKind::Generic, false, true, false);
    attr(m, "color", AttrKind::Generic, false, false, true);
  }
}

}  // namespace

const NodeType* nodeType(const std::string& name) {
  if (!g_types) buildTypes();
  auto it = g_types->find(name);
  return it == g_types->end() || name == "world" ? nullptr : it->second;
}

Node::Node(const NodeType* t) : Entity(EntityKind::Node, t->type), nt(t) {}

bool Node::hasFn(MFn::Type t) const {
  if (t == type || t == MFn::kBase || t == MFn::kNamedObject || t == MFn::kDependencyNode) return true;
  return std::find(nt->fns.begin(), nt->fns.end(), t) != nt->fns.end();
}

// ---------------------------------------------------------------- scene

namespace {
Scene* g_scene = nullptr;
}

Scene& scene() {
  if (!g_scene) {
    g_scene = new Scene();
    buildDefaultScene();
  }
  return *g_scene;
}

void touch() { ++scene().revision; }

unsigned long long nextWalkMark() { return ++scene().walkMarks; }

std::vector<MFn::Type> typesOf(const Node* n) {
  std::vector<MFn::Type> types{n->type, MFn::kBase, MFn::kNamedObject, MFn::kDependencyNode};
  for (MFn::Type t : n->nt->fns)
    if (std::find(types.begin(), types.end(), t) == types.end()) types.push_back(t);
  return types;
}

namespace {
// Nodes are listed in creation order, which is the order of their serial numbers.
bool bySerial(const Node* a, const Node* b) { return a->serial < b->serial; }

void listNode(Scene& s, Node* n) {
  s.nodes.push_back(n);
  for (MFn::Type t : typesOf(n)) s.nodesOfType[t].push_back(n);
}

void unlistFrom(std::vector<Node*>& list, Node* n) {
  auto at = std::lower_bound(list.begin(), list.end(), n, bySerial);
  if (at != list.end() && *at == n) list.erase(at);
}

void unlistNode(Scene& s, Node* n) {
  unlistFrom(s.nodes, n);
  for (MFn::Type t : typesOf(n)) {
    auto found = s.nodesOfType.find(t);
    if (found != s.nodesOfType.end()) unlistFrom(found->second, n);
  }
}
}  // namespace

void buildDefaultScene() {
  Scene& s = *g_scene;
  if (!g_types) buildTypes();
  Node* world = new Node((*g_types)["world"]);
  world->name = "world";
  world->serial = s.nextSerial++;
  retain(world);
  s.world = world;
  listNode(s, world);
  Node* lambert = createNode("lambert", nullptr, "lambert1");
  Node* sg = createNode("shadingEngine", nullptr, "initialShadingGroup");
  connect(lambert, {lambert->nt->find("outColor"), -1, -1}, sg, {sg->nt->find("surfaceShader"), -1, -1});
}

Node* createNode(const std::string& typeName, Node* parent, const std::string& name) {
  const NodeType* t = nodeType(typeName);
  return t ? createNode(t, parent, name) : nullptr;
}

Node* createNode(const NodeType* t, Node* parent, const std::string& name) {
  Scene& s = scene();
  Node* n = new Node(t);
  retain(n);
  n->serial = s.nextSerial++;
  if (t->dag) {
    Node* p = parent ? parent : s.world;
    n->parents.push_back(p);
    p->children.push_back(n);
  }
  if (t->type == MFn::kMesh) n->geom = std::make_shared<Geometry>();
  listNode(s, n);
  setNodeName(n, name.empty() ? defaultName(t->name) : uniqueName(n, name));
  touch();
  return n;
}

// ---------------------------------------------------------------- names

void setNodeName(Node* n, const std::string& name) {
  forgetNodeName(n);
  n->name = name;
  if (!n->isWorld()) scene().nodesByName[name].push_back(n);
}

void forgetNodeName(Node* n) {
  Scene& s = scene();
  auto found = s.nodesByName.find(n->name);
  if (found == s.nodesByName.end()) return;
  auto& list = found->second;
  const auto at = std::find(list.begin(), list.end(), n);
  if (at == list.end()) return;
  list.erase(at);
  if (list.empty()) s.nodesByName.erase(found);
  forgetNumberHints(n->name);
}

void forgetNumberHints(const std::string& name) {
  // The name may be "base" and a number at every place where a run of digits starts;
  // a search of that base must look at that number again.
  Scene& s = scene();
  for (size_t at = 1; at < name.size(); ++at) {
    if (!std::isdigit((unsigned char)name[at]) || std::isdigit((unsigned char)name[at - 1])) continue;
    auto searches = s.searchesOfBase.find(name.substr(0, at));
    if (searches == s.searchesOfBase.end()) continue;
    size_t end = at;
    while (end < name.size() && std::isdigit((unsigned char)name[end])) ++end;
    const unsigned long long number = end - at < 18 ? std::strtoull(name.c_str() + at, nullptr, 10) : 0;
    for (const std::string& search : searches->second) {
      unsigned long long& hint = s.numberHints[search];
      if (number < hint) hint = number;
    }
  }
}

std::vector<Node*> nodesWithName(const std::string& name) {
  Scene& s = scene();
  auto found = s.nodesByName.find(name);
  if (found == s.nodesByName.end()) return {};
  std::vector<Node*> list = found->second;
  if (list.size() > 1) std::sort(list.begin(), list.end(), [](Node* a, Node* b) { return a->serial < b->serial; });
  return list;
}

unsigned long long firstFreeNumber(const std::string& search, const std::vector<std::string>& bases,
                                   unsigned long long from, const std::function<bool(unsigned long long)>& isFree) {
  Scene& s = scene();
  auto [hintAt, added] = s.numberHints.try_emplace(search, 0);
  if (added)
    for (const std::string& base : bases) s.searchesOfBase[base].push_back(search);
  unsigned long long& hint = hintAt->second;
  unsigned long long number = hint > from ? hint : from;
  while (!isFree(number)) ++number;
  // The number found is about to be taken: the next search starts past it.
  hint = number + 1;
  return number;
}

bool nameTaken(Node* n, const std::string& name) {
  Scene& s = scene();
  auto found = s.nodesByName.find(name);
  if (found == s.nodesByName.end()) return false;
  for (Node* m : found->second) {
    if (m == n) continue;
    if (!n->isDag() || !m->isDag()) return true;
    for (Node* p : n->parents)
      if (std::find(m->parents.begin(), m->parents.end(), p) != m->parents.end()) return true;
  }
  return false;
}

namespace {
void splitTrailingNumber(const std::string& s, std::string& base, unsigned long long& num) {
  size_t e = s.size();
  while (e > 0 && s[e - 1] >= '0' && s[e - 1] <= '9') --e;
  base = s.substr(0, e);
  num = e < s.size() && s.size() - e < 18 ? std::strtoull(s.c_str() + e, nullptr, 10) : 0;
}
bool usedAnywhere(const std::string& name) { return scene().nodesByName.count(name) != 0; }

// The search key of a clash under one set of parents: numbers free there need not be
// free elsewhere.
std::string clashSearch(Node* n, const std::string& base, unsigned long long from) {
  std::string key = "unique|" + base + "|" + std::to_string(from);
  if (n->isDag())
    for (Node* p : n->parents) key += "|" + std::to_string(p->serial);
  return key;
}
}  // namespace

std::string uniqueName(Node* n, const std::string& wanted) {
  if (!nameTaken(n, wanted)) return wanted;
  std::string base;
  unsigned long long num;
  splitTrailingNumber(wanted, base, num);
  const unsigned long long number =
      firstFreeNumber(clashSearch(n, base, num), {base}, num + 1,
                      [&](unsigned long long i) { return !nameTaken(n, base + std::to_string(i)); });
  return base + std::to_string(number);
}

std::string defaultName(const std::string& base) {
  const unsigned long long number = firstFreeNumber(
      "default|" + base, {base}, 1, [&](unsigned long long i) { return !usedAnywhere(base + std::to_string(i)); });
  return base + std::to_string(number);
}

MStatus renameNode(Node* n, const std::string& wanted) {
  if (!n || !n->alive || n->isWorld()) return MStatus::kInvalidParameter;
  if (wanted.empty() || wanted.find('|') != std::string::npos) return MStatus::kInvalidParameter;
  setNodeName(n, uniqueName(n, wanted));
  return MStatus::kSuccess;
}

namespace {
// True when a path of n ends with the names parts[0] .. parts[last] (starting at the top
// when absolute), found by following parents rather than listing the paths.
bool pathEndsWith(Node* n, const std::vector<std::string>& parts, size_t last, bool absolute) {
  if (n->isWorld() || n->name != parts[last]) return false;
  if (last == 0) {
    if (!absolute) return true;
    for (Node* p : n->parents)
      if (p->isWorld()) return true;
    return false;
  }
  for (Node* p : n->parents)
    if (pathEndsWith(p, parts, last - 1, absolute)) return true;
  return false;
}
}  // namespace

std::vector<Node*> nodesNamed(const std::string& name) {
  std::vector<Node*> found;
  const size_t bar = name.find('|');
  if (bar == std::string::npos) return nodesWithName(name);
  if (bar == 0 && name.find('|', 1) == std::string::npos) {
    // "|name": the nodes of that name right under the world.
    Scene& s = scene();
    auto named = s.nodesByName.find(name.substr(1));
    if (named == s.nodesByName.end()) return found;
    for (Node* m : named->second)
      if (m->isDag() && std::find(m->parents.begin(), m->parents.end(), s.world) != m->parents.end())
        found.push_back(m);
    if (found.size() > 1) std::sort(found.begin(), found.end(), [](Node* a, Node* b) { return a->serial < b->serial; });
    return found;
  }
  bool absolute = name[0] == '|';
  std::vector<std::string> parts;
  size_t start = absolute ? 1 : 0;
  for (;;) {
    size_t bar = name.find('|', start);
    parts.push_back(name.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
    if (bar == std::string::npos) break;
    start = bar + 1;
  }
  // The nodes of the last name are looked at where the scene lists them, in no order;
  // those found are put in creation order.
  auto named = scene().nodesByName.find(parts.back());
  if (named == scene().nodesByName.end()) return found;
  for (Node* m : named->second)
    if (m->isDag() && pathEndsWith(m, parts, parts.size() - 1, absolute)) found.push_back(m);
  if (found.size() > 1) std::sort(found.begin(), found.end(), [](Node* a, Node* b) { return a->serial < b->serial; });
  return found;
}

// ---------------------------------------------------------------- connections

namespace {
bool validKey(const PlugKey& k) {
  if (!k.attr) return false;
  if (k.attr->array ? k.index < 0 : k.index != -1) return false;
  bool parentArray = k.attr->parent && k.attr->parent->array;
  return parentArray ? k.parentIndex >= 0 : k.parentIndex == -1;
}
}  // namespace

namespace {
// Connections are made by the million (a skin cluster per mesh, each fed by every joint),
// so they are carved from blocks, and removed ones are reused, rather than each
// allocated on its own.
class ConnectionPool {
public:
  Connection* take() {
    if (!m_spare.empty()) {
      Connection* c = m_spare.back();
      m_spare.pop_back();
      return c;
    }
    if (m_usedInLast == kBlock) {
      m_blocks.push_back(static_cast<Connection*>(::operator new(sizeof(Connection) * kBlock)));
      m_usedInLast = 0;
    }
    return m_blocks.back() + m_usedInLast++;
  }
  void give(Connection* c) { m_spare.push_back(c); }

private:
  static constexpr size_t kBlock = 4096;
  std::vector<Connection*> m_blocks;
  std::vector<Connection*> m_spare;
  size_t m_usedInLast = kBlock;
};

ConnectionPool& connectionPool() {
  static ConnectionPool* pool = new ConnectionPool();  // kept for the life of the process
  return *pool;
}
}  // namespace

Connection* incoming(Node* n, const PlugKey& k) {
  Connection* const* found = n->inByPlug.find(k);
  return found ? *found : nullptr;
}

MStatus connect(Node* src, const PlugKey& sk, Node* dst, const PlugKey& dk) {
  if (!src || !dst || !src->alive || !dst->alive) return MStatus::kInvalidParameter;
  if (!validKey(sk) || !validKey(dk) || sk.attr->akind == AttrKind::Compound || dk.attr->akind == AttrKind::Compound)
    return MStatus::kInvalidParameter;
  if (!sk.attr->source || !dk.attr->dest) return MStatus::kInvalidParameter;
  if (incoming(dst, dk)) return MStatus::kFailure;
  Connection* c = new (connectionPool().take()) Connection{src, sk, dst, dk, scene().nextSerial++};
  src->out.push_back(c);
  dst->in.push_back(c);
  dst->inByPlug[dk] = c;
  touch();
  return MStatus::kSuccess;
}

void removeConnection(Connection* c) {
  auto drop = [c](std::vector<Connection*>& v) { v.erase(std::remove(v.begin(), v.end(), c), v.end()); };
  drop(c->src->out);
  drop(c->dst->in);
  c->dst->inByPlug.erase(c->dstKey);
  connectionPool().give(c);
  touch();
}

MStatus disconnect(Node* src, const PlugKey& sk, Node* dst, const PlugKey& dk) {
  if (!src || !dst || !src->alive || !dst->alive) return MStatus::kInvalidParameter;
  for (Connection* c : dst->in)
    if (c->src == src && c->srcKey == sk && c->dstKey == dk) {
      removeConnection(c);
      return MStatus::kSuccess;
    }
  return MStatus::kFailure;
}

// ---------------------------------------------------------------- deletion

namespace {
bool pathHas(const MDagPath& p, Node* n) {
  auto v = Access::nodes(p);
  return std::find(v.begin(), v.end(), n) != v.end();
}
}  // namespace

void deleteNode(Node* n) {
  Scene& s = scene();
  if (!n || !n->alive || n->isWorld()) return;
  if (n->isDag()) {
    placeChanged(n);
    std::vector<Node*> kids = n->children;
    for (Node* c : kids) {
      c->parents.erase(std::remove(c->parents.begin(), c->parents.end(), n), c->parents.end());
      if (c->parents.empty()) deleteNode(c);
    }
    n->children.clear();
    for (Node* p : n->parents)
      p->children.erase(std::remove(p->children.begin(), p->children.end(), n), p->children.end());
  }
  while (!n->in.empty()) removeConnection(n->in.back());
  while (!n->out.empty()) removeConnection(n->out.back());
  for (Node* m : s.nodes) {
    for (auto& [inst, sh] : m->shading) {
      for (Node*& f : sh.faces)
        if (f == n) f = nullptr;
      sh.firstOrder.erase(std::remove(sh.firstOrder.begin(), sh.firstOrder.end(), n), sh.firstOrder.end());
    }
    m->members.erase(std::remove_if(m->members.begin(), m->members.end(),
                                    [n](const SetMember& sm) {
                                      return Access::anyNode(sm.node) == n || (sm.isDag && pathHas(sm.path, n));
                                    }),
                     m->members.end());
  }
  auto& items = Access::items(s.selection)->items;
  items.erase(std::remove_if(items.begin(), items.end(),
                             [n](const SelectionItem& it) {
                               return Access::anyNode(it.node) == n || (it.isDag && pathHas(it.path, n));
                             }),
              items.end());
  n->alive = false;
  forgetNodeName(n);
  touch();
  unlistNode(s, n);
  // Drop the scene's hold on internal data right away; handles may keep the husk.
  n->data.clear();
  n->answers = Node::ConnectionAnswers();
  n->parents.clear();
  n->shading.clear();
  n->members.clear();
  release(n);
}

// ---------------------------------------------------------------- DAG

std::vector<std::vector<Node*>> allPaths(Node* n) {
  std::vector<std::vector<Node*>> result;
  if (!n || !n->alive || !n->isDag()) return result;
  if (n->isWorld()) {
    result.push_back({});
    return result;
  }
  // The node and its ancestors up to the first with other than one parent: a chain that
  // every path ends with, gathered once instead of copied level by level.
  std::vector<Node*> chain;
  Node* top = n;
  for (; !top->isWorld() && top->parents.size() == 1; top = top->parents.front()) chain.push_back(top);
  if (top->isWorld()) {
    result.emplace_back(chain.rbegin(), chain.rend());
    return result;
  }
  chain.push_back(top);
  for (Node* p : top->parents)
    for (auto path : allPaths(p)) {
      path.insert(path.end(), chain.rbegin(), chain.rend());
      result.push_back(std::move(path));
    }
  return result;
}

MMatrix inclusiveMatrix(const std::vector<Node*>& path) {
  MMatrix m;
  for (size_t i = path.size(); i > 0; --i)
    if (path[i - 1]->hasFn(MFn::kTransform)) m *= path[i - 1]->local;
  return m;
}

size_t pathCount(Node* n) {
  if (!n || !n->alive || !n->isDag()) return 0;
  while (!n->isWorld() && n->parents.size() == 1) n = n->parents.front();
  if (n->isWorld()) return 1;
  size_t count = 0;
  for (Node* p : n->parents) count += pathCount(p);
  return count;
}

PathStep* firstPath(Node* n) {
  if (n->firstPath || n->isWorld()) return n->firstPath;
  // Up the first parents to a node whose path is known (or the top), then down again.
  std::vector<Node*> chain;
  Node* top = n;
  for (; !top->isWorld() && !top->firstPath; top = top->parents.front()) chain.push_back(top);
  PathStep* up = top->isWorld() ? nullptr : top->firstPath;
  for (size_t i = chain.size(); i > 0; --i) {
    Node* m = chain[i - 1];
    m->firstPath = newStep(m, up);
    retainStep(m->firstPath);
    up = m->firstPath;
  }
  return n->firstPath;
}

namespace {
// The product of the local matrices from the path's last node up to its top, in that
// order, as inclusiveMatrix of the node list multiplies them.
MMatrix productUp(const PathStep* s) {
  MMatrix m;
  for (; s; s = s->up)
    if (s->node->hasFn(MFn::kTransform)) m *= s->node->local;
  return m;
}
}  // namespace

const MMatrix& firstWorldMatrix(Node* n) {
  if (!n->worldKnown) {
    n->world = productUp(firstPath(n));
    n->worldKnown = true;
  }
  return n->world;
}

MMatrix inclusiveMatrix(const PathStep* s) {
  if (s && s == s->node->firstPath) return firstWorldMatrix(s->node);
  return productUp(s);
}

namespace {
// Calls drop for the node and every node below it, each once.
template <typename Drop>
void forSubtree(Node* n, Drop drop) {
  const unsigned long long mark = nextWalkMark();
  std::vector<Node*> pending{n};
  n->walkMark = mark;
  while (!pending.empty()) {
    Node* m = pending.back();
    pending.pop_back();
    drop(m);
    for (Node* c : m->children)
      if (c->walkMark != mark) {
        c->walkMark = mark;
        pending.push_back(c);
      }
  }
}
}  // namespace

void placeChanged(Node* n) {
  forSubtree(n, [](Node* m) {
    releaseStep(m->firstPath);
    m->firstPath = nullptr;
    m->worldKnown = false;
    m->worldInverse = MObject();
  });
}

void localChanged(Node* n) {
  forSubtree(n, [](Node* m) {
    m->worldKnown = false;
    m->worldInverse = MObject();
  });
}

void setLocal(Node* n, const MMatrix& local) {
  n->local = local;
  localChanged(n);
}

bool isAncestor(Node* a, Node* n) {
  for (Node* p : n->parents)
    if (p == a || isAncestor(a, p)) return true;
  return false;
}

MStatus addChild(Node* parent, Node* child, bool keepExisting, unsigned index) {
  if (!parent || !child || !parent->isDag() || !child->isDag() || child->isWorld()) return MStatus::kInvalidParameter;
  if (!parent->isWorld() && !parent->hasFn(MFn::kTransform)) return MStatus::kInvalidParameter;
  if (parent == child || isAncestor(child, parent)) return MStatus::kInvalidParameter;
  bool already = std::find(child->parents.begin(), child->parents.end(), parent) != child->parents.end();
  if (already && keepExisting) return MStatus::kFailure;
  placeChanged(child);
  if (!keepExisting) {
    for (Node* p : child->parents)
      p->children.erase(std::remove(p->children.begin(), p->children.end(), child), p->children.end());
    child->parents.clear();
  }
  child->parents.push_back(parent);
  auto& kids = parent->children;
  kids.insert(index < kids.size() ? kids.begin() + index : kids.end(), child);
  touch();
  // Moved away from its old parents, the child's name is free there again.
  if (!keepExisting) forgetNumberHints(child->name);
  setNodeName(child, uniqueName(child, child->name));
  return MStatus::kSuccess;
}

std::string fullPathName(const std::vector<Node*>& path) {
  size_t length = 0;
  for (Node* n : path) length += 1 + n->name.size();
  std::string s;
  s.reserve(length);
  for (Node* n : path) {
    s += '|';
    s += n->name;
  }
  return s;
}

std::string partialPathName(const std::vector<Node*>& path) {
  if (path.empty()) return "";
  std::vector<std::vector<Node*>> every;
  for (Node* m : nodesWithName(path.back()->name))
    if (m->isDag())
      for (auto& p : allPaths(m)) every.push_back(std::move(p));
  for (size_t k = 1; k <= path.size(); ++k) {
    int matches = 0;
    for (const auto& p : every) {
      if (p.size() < k) continue;
      bool same = true;
      for (size_t i = 0; i < k && same; ++i) same = p[p.size() - 1 - i]->name == path[path.size() - 1 - i]->name;
      matches += same;
    }
    if (matches <= 1) {
      std::string s;
      for (size_t i = path.size() - k; i < path.size(); ++i) s += (s.empty() ? "" : "|") + path[i]->name;
      return s;
    }
  }
  return fullPathName(path);
}

// ---------------------------------------------------------------- evaluation

namespace {
// Marks a node as being evaluated; a node met again while on the stack is a cycle.
struct EvalGuard {
  bool ok;
  explicit EvalGuard(Node* n) {
    auto& stack = scene().evaluating;
    ok = std::find(stack.begin(), stack.end(), n) == stack.end();
    if (ok) stack.push_back(n);
  }
  ~EvalGuard() {
    if (ok) scene().evaluating.pop_back();
  }
};
}  // namespace

std::shared_ptr<Geometry> meshGeometryShared(Node* mesh) {
  if (!mesh || !mesh->alive || !mesh->geom) return nullptr;
  Connection* c = incoming(mesh, PlugKey{mesh->nt->geometryInput, -1, -1});
  if (!c) return mesh->geom;
  // Evaluated geometry is kept until the next edit of the scene, so repeated reads of a
  // deformed shape (one per polygon or face vertex) do not re-run the deformers.
  unsigned long long revision = scene().revision;
  if (mesh->evaluated && mesh->evaluatedAt == revision) return mesh->evaluated;
  EvalGuard guard(mesh);
  if (!guard.ok) return nullptr;
  std::shared_ptr<Geometry> g = plugGeometryShared(c->src, c->srcKey);
  if (!g) return nullptr;
  mesh->evaluated = g;
  mesh->evaluatedAt = revision;
  return g;
}

const Geometry* meshGeometry(Node* mesh, Geometry&) { return meshGeometryShared(mesh).get(); }

std::shared_ptr<Geometry> plugGeometryShared(Node* n, const PlugKey& k) {
  if (!n || !n->alive || !validKey(k) || k.attr->akind != AttrKind::Geometry) return nullptr;
  if (Connection* c = incoming(n, k)) return plugGeometryShared(c->src, c->srcKey);
  const std::string& name = k.attr->name;
  if (n->type == MFn::kMesh && (name == "outMesh" || name == "worldMesh")) {
    if (name == "worldMesh" && (size_t)k.index >= pathCount(n)) return nullptr;
    return meshGeometryShared(n);
  }
  if (n->hasFn(MFn::kGeometryFilt) && name == "outputGeometry") {
    EvalGuard guard(n);
    if (!guard.ok) return nullptr;
    if (n->type == MFn::kSkinClusterFilter) {
      auto out = std::make_shared<Geometry>();
      return skinOutput(n, k.index, *out) ? out : nullptr;
    }
    return plugGeometryShared(n, {n->nt->find("inputGeometry"), k.index, -1});
  }
  const MObject* stored = n->data.find(k);
  if (!stored) return nullptr;
  MeshData* md = entityAs<MeshData>(*stored, EntityKind::MeshData);
  return md ? md->geom : nullptr;
}

bool plugGeometry(Node* n, const PlugKey& k, Geometry& out) {
  if (!n || !n->alive || !validKey(k) || k.attr->akind != AttrKind::Geometry) return false;
  if (Connection* c = incoming(n, k)) return plugGeometry(c->src, c->srcKey, out);
  const std::string& name = k.attr->name;
  if (n->type == MFn::kMesh && (name == "outMesh" || name == "worldMesh")) {
    if (name == "worldMesh" && (size_t)k.index >= pathCount(n)) return false;
    std::shared_ptr<Geometry> g = meshGeometryShared(n);
    if (!g) return false;
    out = *g;
    return true;
  }
  if (n->hasFn(MFn::kGeometryFilt) && name == "outputGeometry") {
    EvalGuard guard(n);
    if (!guard.ok) return false;
    if (n->type == MFn::kSkinClusterFilter) return skinOutput(n, k.index, out);
    return plugGeometry(n, {n->nt->find("inputGeometry"), k.index, -1}, out);
  }
  const MObject* stored = n->data.find(k);
  if (!stored) return false;
  MeshData* md = entityAs<MeshData>(*stored, EntityKind::MeshData);
  if (!md) return false;
  out = *md->geom;
  return true;
}

// Deformers move points and turn normals but pass everything else through, so a mesh's
// topology, normal ids and UV sets are those of the stored geometry its input starts
// from, found without evaluating anything on the way.
namespace {
std::shared_ptr<Geometry> plugTopologyShared(Node* n, const PlugKey& k);
}  // namespace

std::shared_ptr<Geometry> meshTopologyShared(Node* mesh) {
  if (!mesh || !mesh->alive || !mesh->geom) return nullptr;
  Connection* c = incoming(mesh, PlugKey{mesh->nt->geometryInput, -1, -1});
  if (!c) return mesh->geom;
  const unsigned long long revision = scene().revision;
  if (mesh->evaluated && mesh->evaluatedAt == revision) return mesh->evaluated;
  if (mesh->topology && mesh->topologyAt == revision) return mesh->topology;
  EvalGuard guard(mesh);
  if (!guard.ok) return nullptr;
  std::shared_ptr<Geometry> g = plugTopologyShared(c->src, c->srcKey);
  if (g) {
    mesh->topology = g;
    mesh->topologyAt = revision;
  }
  return g;
}

namespace {
std::shared_ptr<Geometry> plugTopologyShared(Node* n, const PlugKey& k) {
  if (!n || !n->alive || !validKey(k) || k.attr->akind != AttrKind::Geometry) return nullptr;
  if (Connection* c = incoming(n, k)) return plugTopologyShared(c->src, c->srcKey);
  const std::string& name = k.attr->name;
  if (n->type == MFn::kMesh && (name == "outMesh" || name == "worldMesh")) {
    if (name == "worldMesh" && (size_t)k.index >= pathCount(n)) return nullptr;
    return meshTopologyShared(n);
  }
  if (n->hasFn(MFn::kGeometryFilt) && name == "outputGeometry") {
    EvalGuard guard(n);
    return guard.ok ? plugTopologyShared(n, {n->nt->geometryInput, k.index, -1}) : nullptr;
  }
  const MObject* stored = n->data.find(k);
  if (!stored) return nullptr;
  MeshData* md = entityAs<MeshData>(*stored, EntityKind::MeshData);
  return md ? md->geom : nullptr;
}
}  // namespace

const Geometry* meshTopology(Node* mesh) {
  // The kept geometry is returned without taking a share of it: this is read once per
  // polygon, and each share is two atomic operations.
  if (!mesh || !mesh->alive || !mesh->geom) return nullptr;
  if (!incoming(mesh, PlugKey{mesh->nt->geometryInput, -1, -1})) return mesh->geom.get();
  const unsigned long long revision = scene().revision;
  if (mesh->evaluated && mesh->evaluatedAt == revision) return mesh->evaluated.get();
  if (mesh->topology && mesh->topologyAt == revision) return mesh->topology.get();
  return meshTopologyShared(mesh).get();
}

const Geometry* plugTopology(Node* n, const PlugKey& k) { return plugTopologyShared(n, k).get(); }

int meshVertexCount(Node* mesh) {
  const Geometry* g = meshTopology(mesh);
  return g ? (int)g->points.size() : -1;
}

int plugVertexCount(Node* n, const PlugKey& k) {
  const Geometry* g = plugTopology(n, k);
  return g ? (int)g->points.size() : -1;
}

bool plugMatrix(Node* n, const PlugKey& k, MMatrix& out) {
  if (!n || !n->alive || !validKey(k) || k.attr->akind != AttrKind::Matrix) return false;
  if (Connection* c = incoming(n, k)) return plugMatrix(c->src, c->srcKey, out);
  if (k.attr->name == "worldMatrix" && n->isDag()) {
    if (k.index == 0 && !n->isWorld()) {
      out = firstWorldMatrix(n);
      return true;
    }
    auto paths = allPaths(n);
    if ((size_t)k.index >= paths.size()) return false;
    out = inclusiveMatrix(paths[k.index]);
    return true;
  }
  const MObject* stored = n->data.find(k);
  if (!stored) return false;
  MatrixData* md = entityAs<MatrixData>(*stored, EntityKind::MatrixData);
  if (!md) return false;
  out = md->matrix;
  return true;
}

MStatus plugValue(Node* n, const PlugKey& k, MObject& out) {
  out = MObject();
  if (!n || !n->alive || !validKey(k)) return MStatus::kInvalidParameter;
  if (k.attr->akind == AttrKind::Geometry) {
    // The snapshot shares what it was read from until one of them is written.
    std::shared_ptr<Geometry> g = plugGeometryShared(n, k);
    if (!g) return MStatus::kFailure;
    out = newMeshData(std::move(g));
    return MStatus::kSuccess;
  }
  if (k.attr->akind == AttrKind::Matrix) {
    MMatrix m;
    if (!plugMatrix(n, k, m)) return MStatus::kFailure;
    out = newMatrixData(m);
    return MStatus::kSuccess;
  }
  if (Connection* c = incoming(n, k)) return plugValue(c->src, c->srcKey, out);
  const MObject* stored = n->data.find(k);
  if (!stored) return MStatus::kFailure;
  out = *stored;
  return MStatus::kSuccess;
}

MObject newMeshData(const Geometry& g) { return newMeshData(std::make_shared<Geometry>(g)); }

MObject newMeshData(std::shared_ptr<Geometry> g) {
  MeshData* d = new MeshData();
  d->geom = std::move(g);
  return Access::make(d);
}

MObject newMatrixData(const MMatrix& m) {
  MatrixData* d = new MatrixData();
  d->matrix = m;
  return Access::make(d);
}

std::string str(const MString& s) { return std::string(s.asChar(), s.length()); }

}  // namespace standin::core
