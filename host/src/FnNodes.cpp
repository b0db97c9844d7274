// Function sets over nodes, attributes and matrix data.
#include "Core.h"

#include <maya/MDagPathArray.h>
#include <maya/MFnAttribute.h>
#include <maya/MFnIkJoint.h>
#include <maya/MFnMatrixData.h>
#include <maya/MPlugArray.h>

#include <algorithm>

using namespace standin::core;

namespace {
const MStatus kBad = MStatus::kInvalidParameter;

bool alive(const MObject& o) {
  Entity* e = Access::get(o);
  if (!e) return false;
  return e->kind != EntityKind::Node || static_cast<Node*>(e)->alive;
}
}  // namespace

// ---------------------------------------------------------------- MFnBase

MFnBase::MFnBase() {}
MFnBase::MFnBase(const MFnBase& o) : m_object(o.m_object) {}
MFnBase& MFnBase::operator=(const MFnBase& o) {
  m_object = o.m_object;
  return *this;
}
MFnBase::~MFnBase() {}
void* MFnBase::operator new(std::size_t size) { return ::operator new(size); }
void* MFnBase::operator new[](std::size_t size) { return ::operator new[](size); }
void MFnBase::operator delete(void* p) noexcept { ::operator delete(p); }
void MFnBase::operator delete[](void* p) noexcept { ::operator delete[](p); }
MFn::Type MFnBase::type() const { return MFn::kBase; }

MStatus MFnBase::attach(const MObject& o, MFn::Type required) {
  if (alive(o) && o.hasFn(required)) {
    m_object = o;
    return MStatus::kSuccess;
  }
  m_object = MObject();
  return kBad;
}

MStatus MFnBase::setObject(const MObject& o) { return attach(o, type()); }

MObject MFnBase::object(MStatus* st) const {
  setStatus(st, alive(m_object) ? MStatus::kSuccess : kBad);
  return m_object;
}
bool MFnBase::hasObj(const MObject& o) const { return alive(o) && o.hasFn(type()); }
bool MFnBase::hasObj(MFn::Type t) const { return alive(m_object) && m_object.hasFn(t); }

// ---------------------------------------------------------------- MFnDependencyNode

MFnDependencyNode::MFnDependencyNode() {}
MFnDependencyNode::MFnDependencyNode(const MObject& o, MStatus* st) { setStatus(st, setObject(o)); }
MFn::Type MFnDependencyNode::type() const { return MFn::kDependencyNode; }

namespace {
// The attached node when it is alive (and attached at all).
Node* attachedNode(const MObject& o) { return Access::node(o); }
}  // namespace

MObject MFnDependencyNode::create(const MString& typeName, MStatus* st) { return create(typeName, MString(), st); }

MObject MFnDependencyNode::create(const MString& typeName, const MString& name, MStatus* st) {
  std::string n = str(name);
  if (n.find('|') != std::string::npos) {
    setStatus(st, kBad);
    return MObject();
  }
  Node* node = createNode(str(typeName), nullptr, n);
  if (!node) {
    setStatus(st, kBad);
    return MObject();
  }
  MObject o = Access::make(node);
  setObject(o);
  setStatus(st, MStatus::kSuccess);
  return o;
}

MString MFnDependencyNode::name(MStatus* st) const {
  Node* n = attachedNode(m_object);
  setStatus(st, n ? MStatus::kSuccess : kBad);
  return n ? MString(n->name.c_str()) : MString();
}

MString MFnDependencyNode::setName(const MString& name, bool, MStatus* st) {
  Node* n = attachedNode(m_object);
  if (!n) {
    setStatus(st, kBad);
    return MString();
  }
  MStatus s = renameNode(n, str(name));
  setStatus(st, s);
  return MString(n->name.c_str());
}

MString MFnDependencyNode::typeName(MStatus* st) const {
  Node* n = attachedNode(m_object);
  setStatus(st, n ? MStatus::kSuccess : kBad);
  return n ? MString(n->nt->name.c_str()) : MString();
}

MPlug MFnDependencyNode::findPlug(const MString& attrName, MStatus* st) const {
  Node* n = attachedNode(m_object);
  const Attr* a = n ? n->nt->find(str(attrName)) : nullptr;
  if (!a) {
    setStatus(st, kBad);
    return MPlug();
  }
  setStatus(st, MStatus::kSuccess);
  return Access::makePlug(n, {a, -1, -1});
}

MPlug MFnDependencyNode::findPlug(const MString& attrName, bool, MStatus* st) const { return findPlug(attrName, st); }

MObject MFnDependencyNode::attribute(const MString& attrName, MStatus* st) const {
  Node* n = attachedNode(m_object);
  Attr* a = n ? n->nt->find(str(attrName)) : nullptr;
  setStatus(st, a ? MStatus::kSuccess : kBad);
  return a ? Access::make(a) : MObject();
}

unsigned int MFnDependencyNode::attributeCount(MStatus* st) const {
  Node* n = attachedNode(m_object);
  setStatus(st, n ? MStatus::kSuccess : kBad);
  if (!n) return 0;
  unsigned count = 0;
  for (Attr* a : n->nt->attrs) count += 1 + (unsigned)a->children.size();
  return count;
}

MObject MFnDependencyNode::attribute(unsigned int index, MStatus* st) const {
  Node* n = attachedNode(m_object);
  if (n)
    for (Attr* a : n->nt->attrs) {
      if (index == 0) {
        setStatus(st, MStatus::kSuccess);
        return Access::make(a);
      }
      --index;
      if (index < a->children.size()) {
        setStatus(st, MStatus::kSuccess);
        return Access::make(a->children[index]);
      }
      index -= (unsigned)a->children.size();
    }
  setStatus(st, kBad);
  return MObject();
}

bool MFnDependencyNode::hasAttribute(const MString& attrName, MStatus* st) const {
  Node* n = attachedNode(m_object);
  setStatus(st, n ? MStatus::kSuccess : kBad);
  return n && n->nt->find(str(attrName));
}

MStatus MFnDependencyNode::getConnections(MPlugArray& plugs) const {
  plugs.clear();
  Node* n = attachedNode(m_object);
  if (!n) return kBad;
  std::vector<PlugKey> keys;
  for (Connection* c : n->in) keys.push_back(c->dstKey);
  for (Connection* c : n->out) keys.push_back(c->srcKey);
  std::vector<PlugKey> seen;
  for (const PlugKey& k : keys)
    if (std::find(seen.begin(), seen.end(), k) == seen.end()) {
      seen.push_back(k);
      plugs.append(Access::makePlug(n, k));
    }
  return MStatus::kSuccess;
}

// ---------------------------------------------------------------- MFnDagNode

MFnDagNode::MFnDagNode() : m_hasPath(false) {}
MFnDagNode::MFnDagNode(const MObject& o, MStatus* st) : m_hasPath(false) { setStatus(st, MFnDagNode::setObject(o)); }
MFnDagNode::MFnDagNode(const MDagPath& p, MStatus* st) : m_hasPath(false) { setStatus(st, MFnDagNode::setObject(p)); }
MFnDagNode::MFnDagNode(const MFnDagNode& o) : MFnDependencyNode(o), m_path(o.m_path), m_hasPath(o.m_hasPath) {}
MFnDagNode& MFnDagNode::operator=(const MFnDagNode& o) {
  MFnDependencyNode::operator=(o);
  m_path = o.m_path;
  m_hasPath = o.m_hasPath;
  return *this;
}
MFnDagNode::~MFnDagNode() {}
MFn::Type MFnDagNode::type() const { return MFn::kDagNode; }

MStatus MFnDagNode::setObject(const MObject& o) {
  m_hasPath = false;
  m_path = MDagPath();
  return attach(o, type());
}

MStatus MFnDagNode::setObject(const MDagPath& p) {
  MStatus s;
  MObject o = p.node(&s);
  if (!s) {
    m_hasPath = false;
    m_path = MDagPath();
    m_object = MObject();
    return kBad;
  }
  s = attach(o, type());
  m_hasPath = s == MStatus::kSuccess;
  m_path = m_hasPath ? p : MDagPath();
  return s;
}

bool MFnDagNode::workingPath(MDagPath& path) const {
  Node* n = attachedNode(m_object);
  if (!n || !n->isDag()) return false;
  if (m_hasPath && m_path.isValid()) {
    path = m_path;
    return true;
  }
  return MDagPath::getAPathTo(m_object, path) == MStatus::kSuccess;
}

MObject MFnDagNode::create(const MString& typeName, const MObject& parent, MStatus* st) {
  return create(typeName, MString(), parent, st);
}

MObject MFnDagNode::create(const MString& typeName, const MString& name, const MObject& parent, MStatus* st) {
  const NodeType* t = nodeType(str(typeName));
  Node* p = parent.isNull() ? nullptr : Access::node(parent);
  std::string n = str(name);
  if (!t || !t->dag || (!parent.isNull() && (!p || !p->hasFn(MFn::kTransform))) || n.find('|') != std::string::npos) {
    setStatus(st, kBad);
    return MObject();
  }
  Node* node = createNode(t, p, n);
  MObject o = Access::make(node);
  MFnDagNode::setObject(o);
  setStatus(st, MStatus::kSuccess);
  return o;
}

MStatus MFnDagNode::getPath(MDagPath& path) const {
  if (!workingPath(path)) {
    path = MDagPath();
    return Access::node(m_object) ? MStatus::kFailure : kBad;
  }
  return MStatus::kSuccess;
}

MDagPath MFnDagNode::dagPath(MStatus* st) const {
  MDagPath p;
  setStatus(st, getPath(p));
  return p;
}

MStatus MFnDagNode::getAllPaths(MDagPathArray& paths) const {
  Node* n = attachedNode(m_object);
  if (!n || !n->isDag()) return kBad;
  return MDagPath::getAllPathsTo(m_object, paths);
}

unsigned int MFnDagNode::instanceCount(bool, MStatus* st) const {
  Node* n = attachedNode(m_object);
  if (!n || !n->isDag()) {
    setStatus(st, kBad);
    return 0;
  }
  setStatus(st, MStatus::kSuccess);
  return (unsigned)pathCount(n);
}

bool MFnDagNode::isInstanced(bool, MStatus* st) const { return instanceCount(true, st) > 1; }

unsigned int MFnDagNode::parentCount(MStatus* st) const {
  Node* n = attachedNode(m_object);
  if (!n || !n->isDag()) {
    setStatus(st, kBad);
    return 0;
  }
  setStatus(st, MStatus::kSuccess);
  return (unsigned)n->parents.size();
}

MObject MFnDagNode::parent(unsigned int i, MStatus* st) const {
  Node* n = attachedNode(m_object);
  if (!n || !n->isDag() || i >= n->parents.size()) {
    setStatus(st, kBad);
    return MObject();
  }
  setStatus(st, MStatus::kSuccess);
  return Access::make(n->parents[i]);
}

unsigned int MFnDagNode::childCount(MStatus* st) const {
  Node* n = attachedNode(m_object);
  if (!n || !n->isDag()) {
    setStatus(st, kBad);
    return 0;
  }
  setStatus(st, MStatus::kSuccess);
  return (unsigned)n->children.size();
}

MObject MFnDagNode::child(unsigned int i, MStatus* st) const {
  Node* n = attachedNode(m_object);
  if (!n || !n->isDag() || i >= n->children.size()) {
    setStatus(st, kBad);
    return MObject();
  }
  setStatus(st, MStatus::kSuccess);
  return Access::make(n->children[i]);
}

MStatus MFnDagNode::addChild(const MObject& child, unsigned int index, bool keepExistingParents) {
  Node* n = attachedNode(m_object);
  Node* c = Access::node(child);
  if (!n || !n->isDag() || !c) return kBad;
  return standin::core::addChild(n, c, keepExistingParents, index);
}

MStatus MFnDagNode::removeChild(const MObject& child) {
  Node* n = attachedNode(m_object);
  Node* c = Access::node(child);
  if (!n || !c || std::find(n->children.begin(), n->children.end(), c) == n->children.end()) return kBad;
  if (c->parents.size() == 1) return standin::core::addChild(scene().world, c, false);
  placeChanged(c);
  n->children.erase(std::remove(n->children.begin(), n->children.end(), c), n->children.end());
  c->parents.erase(std::remove(c->parents.begin(), c->parents.end(), n), c->parents.end());
  touch();
  return MStatus::kSuccess;
}

bool MFnDagNode::hasChild(const MObject& node, MStatus* st) const {
  Node* n = attachedNode(m_object);
  Node* c = Access::node(node);
  setStatus(st, n ? MStatus::kSuccess : kBad);
  return n && c && std::find(n->children.begin(), n->children.end(), c) != n->children.end();
}

bool MFnDagNode::hasParent(const MObject& node, MStatus* st) const {
  Node* n = attachedNode(m_object);
  Node* p = Access::node(node);
  setStatus(st, n ? MStatus::kSuccess : kBad);
  return n && p && std::find(n->parents.begin(), n->parents.end(), p) != n->parents.end();
}

bool MFnDagNode::isChildOf(const MObject& node, MStatus* st) const { return hasParent(node, st); }
bool MFnDagNode::isParentOf(const MObject& node, MStatus* st) const { return hasChild(node, st); }

MString MFnDagNode::fullPathName(MStatus* st) const {
  MDagPath p;
  if (!workingPath(p)) {
    setStatus(st, kBad);
    return MString();
  }
  return p.fullPathName(st);
}

MString MFnDagNode::partialPathName(MStatus* st) const {
  MDagPath p;
  if (!workingPath(p)) {
    setStatus(st, kBad);
    return MString();
  }
  return p.partialPathName(st);
}

bool MFnDagNode::isIntermediateObject(MStatus* st) const {
  Node* n = attachedNode(m_object);
  setStatus(st, n && n->isDag() ? MStatus::kSuccess : kBad);
  return n && n->intermediate;
}

MStatus MFnDagNode::setIntermediateObject(bool v) {
  Node* n = attachedNode(m_object);
  if (!n || !n->isDag() || n->isWorld()) return kBad;
  n->intermediate = v;
  touch();
  return MStatus::kSuccess;
}

MMatrix MFnDagNode::transformationMatrix(MStatus* st) const {
  Node* n = attachedNode(m_object);
  setStatus(st, n && n->isDag() ? MStatus::kSuccess : kBad);
  return n && n->hasFn(MFn::kTransform) ? n->local : MMatrix();
}

// ---------------------------------------------------------------- MFnTransform, MFnIkJoint

MFnTransform::MFnTransform() {}
MFnTransform::MFnTransform(const MObject& o, MStatus* st) { setStatus(st, setObject(o)); }
MFnTransform::MFnTransform(const MDagPath& p, MStatus* st) { setStatus(st, setObject(p)); }
MFn::Type MFnTransform::type() const { return MFn::kTransform; }

namespace {
MObject createUnder(MFnDagNode& fn, const char* typeName, const MObject& parent, MStatus* st) {
  Node* p = nullptr;
  if (!parent.isNull()) {
    p = Access::node(parent);
    if (!p || !p->hasFn(MFn::kTransform)) {
      setStatus(st, kBad);
      return MObject();
    }
  }
  Node* n = createNode(typeName, p, "");
  MObject o = Access::make(n);
  fn.setObject(o);
  setStatus(st, MStatus::kSuccess);
  return o;
}
}  // namespace

MObject MFnTransform::create(const MObject& parent, MStatus* st) { return createUnder(*this, "transform", parent, st); }

MTransformationMatrix MFnTransform::transformation(MStatus* st) const {
  Node* n = attachedNode(m_object);
  setStatus(st, n ? MStatus::kSuccess : kBad);
  return n ? MTransformationMatrix(n->local) : MTransformationMatrix();
}

MStatus MFnTransform::set(const MTransformationMatrix& t) {
  Node* n = attachedNode(m_object);
  if (!n) return kBad;
  setLocal(n, t.asMatrix());
  touch();
  return MStatus::kSuccess;
}

MFnIkJoint::MFnIkJoint() {}
MFnIkJoint::MFnIkJoint(const MObject& o, MStatus* st) { setStatus(st, setObject(o)); }
MFnIkJoint::MFnIkJoint(const MDagPath& p, MStatus* st) { setStatus(st, setObject(p)); }
MFn::Type MFnIkJoint::type() const { return MFn::kJoint; }

MObject MFnIkJoint::create(const MObject& parent, MStatus* st) { return createUnder(*this, "joint", parent, st); }

// ---------------------------------------------------------------- MFnAttribute

MFnAttribute::MFnAttribute() {}
MFnAttribute::MFnAttribute(const MObject& o, MStatus* st) { setStatus(st, setObject(o)); }
MFn::Type MFnAttribute::type() const { return MFn::kAttribute; }

namespace {
Attr* attachedAttr(const MObject& o) { return entityAs<Attr>(o, EntityKind::Attribute); }
}  // namespace

MString MFnAttribute::name(MStatus* st) const {
  Attr* a = attachedAttr(m_object);
  setStatus(st, a ? MStatus::kSuccess : kBad);
  return a ? MString(a->name.c_str()) : MString();
}
bool MFnAttribute::isArray(MStatus* st) const {
  Attr* a = attachedAttr(m_object);
  setStatus(st, a ? MStatus::kSuccess : kBad);
  return a && a->array;
}
bool MFnAttribute::isReadable(MStatus* st) const {
  Attr* a = attachedAttr(m_object);
  setStatus(st, a ? MStatus::kSuccess : kBad);
  return a && a->source;
}
bool MFnAttribute::isWritable(MStatus* st) const {
  Attr* a = attachedAttr(m_object);
  setStatus(st, a ? MStatus::kSuccess : kBad);
  return a && a->dest;
}
MObject MFnAttribute::parent(MStatus* st) const {
  Attr* a = attachedAttr(m_object);
  if (!a || !a->parent) {
    setStatus(st, a ? MStatus::kFailure : kBad);
    return MObject();
  }
  setStatus(st, MStatus::kSuccess);
  return Access::make(a->parent);
}

// ---------------------------------------------------------------- MFnMatrixData

MFnMatrixData::MFnMatrixData() {}
MFnMatrixData::MFnMatrixData(const MObject& o, MStatus* st) { setStatus(st, setObject(o)); }
MFn::Type MFnMatrixData::type() const { return MFn::kMatrixData; }

MObject MFnMatrixData::create(const MMatrix& m, MStatus* st) {
  m_object = newMatrixData(m);
  setStatus(st, MStatus::kSuccess);
  return m_object;
}
MObject MFnMatrixData::create(MStatus* st) { return create(MMatrix(), st); }

const MMatrix& MFnMatrixData::matrix(MStatus* st) const {
  MatrixData* d = entityAs<MatrixData>(m_object, EntityKind::MatrixData);
  setStatus(st, d ? MStatus::kSuccess : kBad);
  return d ? d->matrix : MMatrix::identity;
}

MStatus MFnMatrixData::set(const MMatrix& m) {
  MatrixData* d = entityAs<MatrixData>(m_object, EntityKind::MatrixData);
  if (!d) return kBad;
  d->matrix = m;
  return MStatus::kSuccess;
}
