// MPlug: addressing attributes of a node, their elements and children; connections and
// values.
#include "Core.h"

#include <maya/MPlugArray.h>

#include <algorithm>
#include <set>

using namespace standin::core;

namespace {
const MStatus kBad = MStatus::kInvalidParameter;

Node* plugNode(const MPlug& p) { return Access::attr(p) ? Access::node(p.node()) : nullptr; }

// Logical indices in use for an array plug: stored values and connections, of the
// elements or of their children.
std::set<int> usedIndices(Node* n, const Attr* array) {
  std::set<int> used;
  auto consider = [&](const PlugKey& k) {
    if (k.attr == array && k.index >= 0) used.insert(k.index);
    if (k.attr->parent == array && k.parentIndex >= 0) used.insert(k.parentIndex);
  };
  n->data.forEach([&](const PlugKey& k, const MObject&) { consider(k); });
  for (auto& [k, v] : n->numbers) consider(k);
  for (Connection* c : n->in) consider(c->dstKey);
  for (Connection* c : n->out) consider(c->srcKey);
  if (array->name == "worldMatrix" || array->name == "worldMesh")
    for (size_t i = 0, count = pathCount(n); i < count; ++i) used.insert((int)i);
  return used;
}
}  // namespace

MPlug::MPlug() : m_attr(nullptr), m_parentIndex(-1), m_index(-1) {}

MPlug::MPlug(const MObject& node, const MObject& attribute) : m_attr(nullptr), m_parentIndex(-1), m_index(-1) {
  Node* n = Access::node(node);
  Attr* a = entityAs<Attr>(attribute, EntityKind::Attribute);
  if (n && a && n->nt->has(a)) {
    m_node = node;
    m_attr = a;
  }
}

MPlug::MPlug(const MPlug& o) : m_node(o.m_node), m_attr(o.m_attr), m_parentIndex(o.m_parentIndex), m_index(o.m_index) {}
MPlug::~MPlug() {}
MPlug& MPlug::operator=(const MPlug& o) {  // NOLINT(bugprone-unhandled-self-assignment): plain copies
  m_node = o.m_node;
  m_attr = o.m_attr;
  m_parentIndex = o.m_parentIndex;
  m_index = o.m_index;
  return *this;
}

bool MPlug::isNull(MStatus* st) const {
  setStatus(st, MStatus::kSuccess);
  return m_attr == nullptr;
}

MObject MPlug::node(MStatus* st) const {
  setStatus(st, m_attr ? MStatus::kSuccess : MStatus::kFailure);
  return m_attr ? m_node : MObject();
}

MObject MPlug::attribute(MStatus* st) const {
  setStatus(st, m_attr ? MStatus::kSuccess : MStatus::kFailure);
  return m_attr ? Access::make(const_cast<Attr*>(m_attr)) : MObject();
}

MString MPlug::name(MStatus* st) const {
  Node* n = plugNode(*this);
  if (!n) {
    setStatus(st, MStatus::kFailure);
    return MString();
  }
  setStatus(st, MStatus::kSuccess);
  return MString(n->name.c_str()) + "." + partialName();
}

MString MPlug::partialName(MStatus* st) const {
  if (!m_attr) {
    setStatus(st, MStatus::kFailure);
    return MString();
  }
  std::string s;
  if (m_attr->parent) {
    s = m_attr->parent->name;
    if (m_parentIndex >= 0) s += "[" + std::to_string(m_parentIndex) + "]";
    s += ".";
  }
  s += m_attr->name;
  if (m_index >= 0) s += "[" + std::to_string(m_index) + "]";
  setStatus(st, MStatus::kSuccess);
  return MString(s.c_str());
}

bool MPlug::isArray(MStatus* st) const {
  setStatus(st, m_attr ? MStatus::kSuccess : MStatus::kFailure);
  return m_attr && m_attr->array && m_index < 0;
}
bool MPlug::isElement(MStatus* st) const {
  setStatus(st, m_attr ? MStatus::kSuccess : MStatus::kFailure);
  return m_attr && m_index >= 0;
}
bool MPlug::isCompound(MStatus* st) const {
  setStatus(st, m_attr ? MStatus::kSuccess : MStatus::kFailure);
  return m_attr && m_attr->akind == AttrKind::Compound;
}
bool MPlug::isChild(MStatus* st) const {
  setStatus(st, m_attr ? MStatus::kSuccess : MStatus::kFailure);
  return m_attr && m_attr->parent;
}

unsigned int MPlug::logicalIndex(MStatus* st) const {
  if (!m_attr || m_index < 0) {
    setStatus(st, MStatus::kFailure);
    return 0;
  }
  setStatus(st, MStatus::kSuccess);
  return (unsigned)m_index;
}

MPlug MPlug::elementByLogicalIndex(unsigned int i, MStatus* st) const {
  if (!m_attr || !m_attr->array || m_index >= 0 || i > 0x7fffffffu) {
    setStatus(st, kBad);
    return MPlug();
  }
  MPlug p(*this);
  p.m_index = (int)i;
  setStatus(st, MStatus::kSuccess);
  return p;
}

unsigned int MPlug::numElements(MStatus* st) const {
  Node* n = plugNode(*this);
  if (!n || !m_attr->array || m_index >= 0) {
    setStatus(st, kBad);
    return 0;
  }
  setStatus(st, MStatus::kSuccess);
  return (unsigned)usedIndices(n, m_attr).size();
}

MPlug MPlug::elementByPhysicalIndex(unsigned int i, MStatus* st) const {
  Node* n = plugNode(*this);
  if (!n || !m_attr->array || m_index >= 0) {
    setStatus(st, kBad);
    return MPlug();
  }
  std::set<int> used = usedIndices(n, m_attr);
  if (i >= used.size()) {
    setStatus(st, kBad);
    return MPlug();
  }
  return elementByLogicalIndex((unsigned)*std::next(used.begin(), i), st);
}

unsigned int MPlug::numConnectedElements(MStatus* st) const {
  Node* n = plugNode(*this);
  if (!n || !m_attr->array || m_index >= 0) {
    setStatus(st, kBad);
    return 0;
  }
  std::set<int> used;
  auto consider = [&](const PlugKey& k) {
    if (k.attr == m_attr && k.index >= 0) used.insert(k.index);
    if (k.attr->parent == m_attr && k.parentIndex >= 0) used.insert(k.parentIndex);
  };
  for (Connection* c : n->in) consider(c->dstKey);
  for (Connection* c : n->out) consider(c->srcKey);
  setStatus(st, MStatus::kSuccess);
  return (unsigned)used.size();
}

unsigned int MPlug::numChildren(MStatus* st) const {
  setStatus(st, m_attr ? MStatus::kSuccess : kBad);
  return m_attr ? (unsigned)m_attr->children.size() : 0;
}

MPlug MPlug::child(unsigned int i, MStatus* st) const {
  if (!m_attr || i >= m_attr->children.size() || (m_attr->array && m_index < 0)) {
    setStatus(st, kBad);
    return MPlug();
  }
  MPlug p;
  p.m_node = m_node;
  p.m_attr = m_attr->children[i];
  p.m_parentIndex = m_index;
  p.m_index = -1;
  setStatus(st, MStatus::kSuccess);
  return p;
}

MPlug MPlug::parent(MStatus* st) const {
  if (!m_attr || !m_attr->parent) {
    setStatus(st, kBad);
    return MPlug();
  }
  MPlug p;
  p.m_node = m_node;
  p.m_attr = m_attr->parent;
  p.m_index = m_parentIndex;
  setStatus(st, MStatus::kSuccess);
  return p;
}

MPlug MPlug::array(MStatus* st) const {
  if (!m_attr || m_index < 0) {
    setStatus(st, kBad);
    return MPlug();
  }
  MPlug p(*this);
  p.m_index = -1;
  setStatus(st, MStatus::kSuccess);
  return p;
}

bool MPlug::isConnected(MStatus* st) const {
  MPlugArray a;
  return connectedTo(a, true, true, st);
}

bool MPlug::connectedTo(MPlugArray& result, bool asDst, bool asSrc, MStatus* st) const {
  result.clear();
  Node* n = plugNode(*this);
  if (!n) {
    setStatus(st, kBad);
    return false;
  }
  PlugKey me = Access::key(*this);
  std::vector<Connection*> found;
  if (asDst)
    for (Connection* c : n->in)
      if (c->dstKey == me) found.push_back(c);
  if (asSrc)
    for (Connection* c : n->out)
      if (c->srcKey == me) found.push_back(c);
  std::sort(found.begin(), found.end(), [](Connection* a, Connection* b) { return a->serial < b->serial; });
  for (Connection* c : found)
    result.append(c->dst == n && c->dstKey == me ? Access::makePlug(c->src, c->srcKey)
                                                 : Access::makePlug(c->dst, c->dstKey));
  setStatus(st, MStatus::kSuccess);
  return !found.empty();
}

MStatus MPlug::getValue(MObject& value, MDGContext&) const {
  Node* n = plugNode(*this);
  if (!n) {
    value = MObject();
    return kBad;
  }
  return plugValue(n, Access::key(*this), value);
}

MStatus MPlug::getValue(double& value, MDGContext&) const {
  Node* n = plugNode(*this);
  if (!n || m_attr->akind != AttrKind::Numeric) return kBad;
  if (m_attr->name == "intermediateObject") {
    value = n->intermediate ? 1.0 : 0.0;
    return MStatus::kSuccess;
  }
  PlugKey k = Access::key(*this);
  if (Connection* c = incoming(n, k)) {
    auto it = c->src->numbers.find(c->srcKey);
    if (it == c->src->numbers.end()) return MStatus::kFailure;
    value = it->second;
    return MStatus::kSuccess;
  }
  auto it = n->numbers.find(k);
  if (it != n->numbers.end()) {
    value = it->second;
    return MStatus::kSuccess;
  }
  if (m_index >= 0 || m_parentIndex >= 0) return MStatus::kFailure;
  value = m_attr->name == "envelope" ? 1.0 : 0.0;
  return MStatus::kSuccess;
}

MStatus MPlug::getValue(int& value, MDGContext& ctx) const {
  double d = 0;
  MStatus s = getValue(d, ctx);
  if (s) value = (int)d;
  return s;
}

MStatus MPlug::getValue(bool& value, MDGContext& ctx) const {
  double d = 0;
  MStatus s = getValue(d, ctx);
  if (s) value = d != 0.0;
  return s;
}

MStatus MPlug::setValue(const MObject& value) {
  Node* n = plugNode(*this);
  if (!n) return kBad;
  PlugKey k = Access::key(*this);
  if ((m_attr->array && m_index < 0) || (m_attr->parent && m_attr->parent->array && m_parentIndex < 0)) return kBad;
  if (incoming(n, k)) return MStatus::kFailure;
  bool fits = (m_attr->akind == AttrKind::Matrix && value.apiType() == MFn::kMatrixData) ||
              (m_attr->akind == AttrKind::Geometry && value.apiType() == MFn::kMeshData) ||
              (m_attr->akind == AttrKind::Generic && !value.isNull());
  if (!fits || !m_attr->dest) return kBad;
  // Store an independent copy so later edits of the caller's data object do not leak in.
  if (MeshData* md = entityAs<MeshData>(value, EntityKind::MeshData))
    n->data[k] = newMeshData(md->geom);
  else if (MatrixData* mx = entityAs<MatrixData>(value, EntityKind::MatrixData))
    n->data[k] = newMatrixData(mx->matrix);
  else
    n->data[k] = value;
  touch();
  return MStatus::kSuccess;
}

MStatus MPlug::setValue(double value) {
  Node* n = plugNode(*this);
  if (!n || m_attr->akind != AttrKind::Numeric || (m_attr->array && m_index < 0)) return kBad;
  PlugKey k = Access::key(*this);
  if (incoming(n, k)) return MStatus::kFailure;
  if (m_attr->name == "intermediateObject")
    n->intermediate = value != 0.0;
  else
    n->numbers[k] = value;
  touch();
  return MStatus::kSuccess;
}

MStatus MPlug::setValue(int value) { return setValue((double)value); }
MStatus MPlug::setValue(bool value) { return setValue(value ? 1.0 : 0.0); }

bool MPlug::operator==(const MPlug& o) const {
  return m_node == o.m_node && m_attr == o.m_attr && m_parentIndex == o.m_parentIndex && m_index == o.m_index;
}
