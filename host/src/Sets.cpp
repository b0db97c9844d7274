// Sets (plain, deformer and shading groups), per-instance face shading and
// single-indexed components.
#include "Core.h"

#include <maya/MFnSet.h>
#include <maya/MFnSingleIndexedComponent.h>

#include <algorithm>

using namespace standin::core;

namespace standin::core {

void assignFaces(Node* mesh, unsigned instance, Node* group, const std::vector<int>& faces) {
  Shading& sh = mesh->shading[instance];
  Geometry scratch;
  const Geometry* g = meshGeometry(mesh, scratch);
  size_t polygons = g ? g->counts.size() : 0;
  if (sh.faces.size() < polygons) sh.faces.resize(polygons, nullptr);
  bool any = false;
  for (int f : faces)
    if (f >= 0 && (size_t)f < sh.faces.size()) {
      sh.faces[f] = group;
      any = true;
    }
  if (any && std::find(sh.firstOrder.begin(), sh.firstOrder.end(), group) == sh.firstOrder.end())
    sh.firstOrder.push_back(group);
}

void unassignFaces(Node* mesh, unsigned instance, Node* group, const std::vector<int>* faces) {
  auto it = mesh->shading.find(instance);
  if (it == mesh->shading.end()) return;
  auto& slots = it->second.faces;
  for (size_t f = 0; f < slots.size(); ++f) {
    bool listed = !faces || std::find(faces->begin(), faces->end(), (int)f) != faces->end();
    if (listed && slots[f] == group) slots[f] = nullptr;
  }
}

}  // namespace standin::core

namespace {
const MStatus kBad = MStatus::kInvalidParameter;

Node* setNode(const MObject& o) {
  Node* n = Access::node(o);
  return n && n->hasFn(MFn::kSet) ? n : nullptr;
}

int polygonCount(Node* mesh) {
  Geometry scratch;
  const Geometry* g = meshGeometry(mesh, scratch);
  return g ? (int)g->counts.size() : 0;
}

std::vector<int> range(int n) {
  std::vector<int> v(n);
  for (int i = 0; i < n; ++i) v[i] = i;
  return v;
}

// The ids of a component of the wanted type; all ids when the component is null.
bool componentIds(const MObject& comp, MFn::Type want, int all, std::vector<int>& ids) {
  if (comp.isNull()) {
    ids = range(all);
    return true;
  }
  Component* c = entityAs<Component>(comp, EntityKind::Component);
  if (!c || c->type != want) return false;
  for (int id : c->ids)
    if (id < 0 || id >= all) return false;
  ids = c->ids;
  return true;
}

MObject makeComponent(MFn::Type t, const std::vector<int>& ids) {
  Component* c = new Component(t);
  c->ids = ids;
  return Access::make(c);
}

// Deformer-set view of a path: the geometry index and its vertex count.
bool deformTarget(Node* set, const MDagPath& path, int& g, int& count) {
  Node* d = deformerOfSet(set);
  Node* shape = Access::node(path.node());
  if (!d || !shape) return false;
  g = geometryIndexFor(d, shape);
  if (g < 0) return false;
  count = std::max(0, inputVertexCount(d, g));
  auto& flags = set->deformMembers[g];
  if ((int)flags.size() < count) flags.resize(count, 0);
  return true;
}

bool sameMember(const SetMember& m, const MDagPath* path, const MObject& node, const MObject& comp) {
  if (path) return m.isDag && m.path == *path && m.component == comp;
  return !m.isDag && m.node == node;
}
}  // namespace

MFnSet::MFnSet() {}
MFnSet::MFnSet(const MObject& o, MStatus* st) { setStatus(st, setObject(o)); }
MFn::Type MFnSet::type() const { return MFn::kSet; }

MObject MFnSet::create(const MSelectionList& members, MStatus* st) {
  Node* n = createNode("objectSet", nullptr, "");
  MObject o = Access::make(n);
  setObject(o);
  setStatus(st, addMembers(members));
  return o;
}

MStatus MFnSet::addMember(const MDagPath& path, const MObject& component) {
  Node* set = setNode(m_object);
  MStatus s;
  Node* target = Access::node(path.node(&s));
  if (!set || !s || !target || path.length() == 0) return kBad;
  if (set->type == MFn::kShadingEngine) {
    if (target->type != MFn::kMesh) return kBad;
    std::vector<int> faces;
    if (!componentIds(component, MFn::kMeshPolygonComponent, polygonCount(target), faces)) return kBad;
    unsigned inst = path.instanceNumber();
    for (Node* other : scene().nodes)
      if (other != set && other->type == MFn::kShadingEngine) unassignFaces(target, inst, other, &faces);
    assignFaces(target, inst, set, faces);
    return MStatus::kSuccess;
  }
  int g, count;
  if (deformerOfSet(set)) {
    std::vector<int> ids;
    if (!deformTarget(set, path, g, count) || !componentIds(component, MFn::kMeshVertComponent, count, ids))
      return kBad;
    for (int v : ids) set->deformMembers[g][v] = 1;
    touch();
    return MStatus::kSuccess;
  }
  for (const SetMember& m : set->members)
    if (sameMember(m, &path, MObject(), component)) return MStatus::kSuccess;
  set->members.push_back({path.node(), path, true, component});
  return MStatus::kSuccess;
}

MStatus MFnSet::addMember(const MObject& node) {
  Node* set = setNode(m_object);
  Node* n = Access::node(node);
  if (!set || !n) return kBad;
  if (n->isDag() && !n->isWorld()) {
    MDagPath p;
    MDagPath::getAPathTo(node, p);
    return addMember(p);
  }
  if (set->type == MFn::kShadingEngine || deformerOfSet(set)) return kBad;
  for (const SetMember& m : set->members)
    if (sameMember(m, nullptr, node, MObject())) return MStatus::kSuccess;
  set->members.push_back({node, MDagPath(), false, MObject()});
  return MStatus::kSuccess;
}

MStatus MFnSet::addMembers(const MSelectionList& list) {
  for (unsigned i = 0; i < list.length(); ++i) {
    MDagPath p;
    MObject comp, node;
    MStatus s = list.getDagPath(i, p, comp) ? addMember(p, comp) : (list.getDependNode(i, node), addMember(node));
    if (!s) return s;
  }
  return MStatus::kSuccess;
}

MStatus MFnSet::removeMember(const MDagPath& path, const MObject& component) {
  Node* set = setNode(m_object);
  MStatus s;
  Node* target = Access::node(path.node(&s));
  if (!set || !s || !target) return kBad;
  if (set->type == MFn::kShadingEngine) {
    if (target->type != MFn::kMesh) return kBad;
    std::vector<int> faces;
    if (!componentIds(component, MFn::kMeshPolygonComponent, polygonCount(target), faces)) return kBad;
    unassignFaces(target, path.instanceNumber(), set, &faces);
    return MStatus::kSuccess;
  }
  if (deformerOfSet(set)) {
    int g, count;
    std::vector<int> ids;
    if (!deformTarget(set, path, g, count) || !componentIds(component, MFn::kMeshVertComponent, count, ids))
      return kBad;
    for (int v : ids) set->deformMembers[g][v] = 0;
    touch();
    return MStatus::kSuccess;
  }
  auto& v = set->members;
  v.erase(std::remove_if(v.begin(), v.end(),
                         [&](const SetMember& m) { return sameMember(m, &path, MObject(), component); }),
          v.end());
  return MStatus::kSuccess;
}

MStatus MFnSet::removeMember(const MObject& node) {
  Node* set = setNode(m_object);
  Node* n = Access::node(node);
  if (!set || !n) return kBad;
  if (n->isDag() && !n->isWorld()) {
    MDagPath p;
    MDagPath::getAPathTo(node, p);
    return removeMember(p, MObject());
  }
  auto& v = set->members;
  v.erase(
      std::remove_if(v.begin(), v.end(), [&](const SetMember& m) { return sameMember(m, nullptr, node, MObject()); }),
      v.end());
  return MStatus::kSuccess;
}

MStatus MFnSet::getMembers(MSelectionList& members, bool) const {
  members.clear();
  Node* set = setNode(m_object);
  if (!set) return kBad;
  if (set->type == MFn::kShadingEngine) {
    for (Node* mesh : scene().nodes) {
      if (mesh->type != MFn::kMesh) continue;
      auto paths = allPaths(mesh);
      for (auto& [inst, sh] : mesh->shading) {
        if (inst >= paths.size()) continue;
        std::vector<int> faces;
        for (size_t f = 0; f < sh.faces.size(); ++f)
          if (sh.faces[f] == set) faces.push_back((int)f);
        if (faces.empty()) continue;
        MObject comp =
            (int)faces.size() == polygonCount(mesh) ? MObject() : makeComponent(MFn::kMeshPolygonComponent, faces);
        members.add(Access::makePath(paths[inst]), comp);
      }
    }
    return MStatus::kSuccess;
  }
  if (Node* d = deformerOfSet(set)) {
    for (auto& [g, flags] : set->deformMembers) {
      std::vector<int> ids;
      for (size_t v = 0; v < flags.size(); ++v)
        if (flags[v]) ids.push_back((int)v);
      if (ids.empty()) continue;
      for (Connection* c : d->out)
        if (c->srcKey.attr->name == "outputGeometry" && c->srcKey.index == g) {
          auto paths = allPaths(c->dst);
          if (!paths.empty()) members.add(Access::makePath(paths.front()), makeComponent(MFn::kMeshVertComponent, ids));
          break;
        }
    }
    return MStatus::kSuccess;
  }
  for (const SetMember& m : set->members)
    if (m.isDag)
      members.add(m.path, m.component);
    else
      members.add(m.node);
  return MStatus::kSuccess;
}

bool MFnSet::isMember(const MDagPath& path, const MObject& component, MStatus* st) const {
  Node* set = setNode(m_object);
  MStatus s;
  Node* target = Access::node(path.node(&s));
  if (!set || !s || !target) {
    setStatus(st, kBad);
    return false;
  }
  setStatus(st, MStatus::kSuccess);
  if (set->type == MFn::kShadingEngine) {
    if (target->type != MFn::kMesh) return false;
    auto it = target->shading.find(path.instanceNumber());
    if (it == target->shading.end()) return false;
    const auto& slots = it->second.faces;
    std::vector<int> faces;
    if (!componentIds(component, MFn::kMeshPolygonComponent, polygonCount(target), faces)) return false;
    auto holds = [&](int f) { return (size_t)f < slots.size() && slots[f] == set; };
    return component.isNull() ? std::any_of(faces.begin(), faces.end(), holds)
                              : std::all_of(faces.begin(), faces.end(), holds);
  }
  if (deformerOfSet(set)) {
    int g, count;
    std::vector<int> ids;
    if (!deformTarget(set, path, g, count) || !componentIds(component, MFn::kMeshVertComponent, count, ids))
      return false;
    const auto& flags = set->deformMembers[g];
    auto member = [&](int v) { return flags[v] != 0; };
    return component.isNull() ? std::any_of(ids.begin(), ids.end(), member)
                              : std::all_of(ids.begin(), ids.end(), member);
  }
  for (const SetMember& m : set->members)
    if (sameMember(m, &path, MObject(), component)) return true;
  return false;
}

bool MFnSet::isMember(const MObject& node, MStatus* st) const {
  Node* n = Access::node(node);
  if (n && n->isDag() && !n->isWorld()) {
    MDagPath p;
    MDagPath::getAPathTo(node, p);
    return isMember(p, MObject(), st);
  }
  Node* set = setNode(m_object);
  setStatus(st, set ? MStatus::kSuccess : kBad);
  if (!set) return false;
  for (const SetMember& m : set->members)
    if (sameMember(m, nullptr, node, MObject())) return true;
  return false;
}

MStatus MFnSet::clear() {
  Node* set = setNode(m_object);
  if (!set) return kBad;
  if (set->type == MFn::kShadingEngine) {
    for (Node* mesh : scene().nodes)
      for (auto& [inst, sh] : mesh->shading) unassignFaces(mesh, inst, set, nullptr);
  }
  for (auto& [g, flags] : set->deformMembers) std::fill(flags.begin(), flags.end(), 0);
  set->members.clear();
  touch();
  return MStatus::kSuccess;
}

// ---------------------------------------------------------------- MFnSingleIndexedComponent

MFnSingleIndexedComponent::MFnSingleIndexedComponent() {}
MFnSingleIndexedComponent::MFnSingleIndexedComponent(const MObject& o, MStatus* st) { setStatus(st, setObject(o)); }
MFn::Type MFnSingleIndexedComponent::type() const { return MFn::kSingleIndexedComponent; }

namespace {
Component* comp(const MObject& o) { return entityAs<Component>(o, EntityKind::Component); }
}  // namespace

MObject MFnSingleIndexedComponent::create(MFn::Type t, MStatus* st) {
  if (t != MFn::kMeshVertComponent && t != MFn::kMeshPolygonComponent) {
    setStatus(st, kBad);
    return MObject();
  }
  m_object = makeComponent(t, {});
  setStatus(st, MStatus::kSuccess);
  return m_object;
}

MStatus MFnSingleIndexedComponent::addElement(int e) {
  Component* c = comp(m_object);
  if (!c || e < 0) return kBad;
  if (c->largestAt != c->ids.size()) {
    c->largest = c->ids.empty() ? -1 : *std::max_element(c->ids.begin(), c->ids.end());
    c->largestAt = c->ids.size();
  }
  if (e > c->largest || std::find(c->ids.begin(), c->ids.end(), e) == c->ids.end()) {
    c->ids.push_back(e);
    c->largest = std::max(c->largest, e);
    c->largestAt = c->ids.size();
  }
  return MStatus::kSuccess;
}

MStatus MFnSingleIndexedComponent::addElements(const MIntArray& elements) {
  for (unsigned i = 0; i < elements.length(); ++i) {
    MStatus s = addElement(elements[i]);
    if (!s) return s;
  }
  return comp(m_object) ? MStatus::kSuccess : kBad;
}

MStatus MFnSingleIndexedComponent::getElements(MIntArray& elements) const {
  Component* c = comp(m_object);
  elements.clear();
  if (!c) return kBad;
  for (int id : c->ids) elements.append(id);
  return MStatus::kSuccess;
}

int MFnSingleIndexedComponent::elementCount(MStatus* st) const {
  Component* c = comp(m_object);
  setStatus(st, c ? MStatus::kSuccess : kBad);
  return c ? (int)c->ids.size() : 0;
}

int MFnSingleIndexedComponent::element(int i, MStatus* st) const {
  Component* c = comp(m_object);
  if (!c || i < 0 || (size_t)i >= c->ids.size()) {
    setStatus(st, kBad);
    return -1;
  }
  setStatus(st, MStatus::kSuccess);
  return c->ids[i];
}

bool MFnSingleIndexedComponent::isEmpty(MStatus* st) const { return elementCount(st) == 0; }

MFn::Type MFnSingleIndexedComponent::componentType(MStatus* st) const {
  Component* c = comp(m_object);
  setStatus(st, c ? MStatus::kSuccess : kBad);
  return c ? c->type : MFn::kInvalid;
}
