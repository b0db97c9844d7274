// MFnGeometryFilter, MFnSkinCluster and MItGeometry.
#include "Core.h"

#include <maya/MFnSkinCluster.h>
#include <maya/MItGeometry.h>
#include <maya/MObjectArray.h>

#include <algorithm>
#include <functional>

using namespace standin::core;

namespace {
const MStatus kBad = MStatus::kInvalidParameter;

PlugKey key(Node* n, const char* attr, int index = -1, int parentIndex = -1) {
  return {n->nt->find(attr), parentIndex, index};
}

Node* deformer(const MObject& o) {
  Node* n = Access::node(o);
  return n && n->hasFn(MFn::kGeometryFilt) ? n : nullptr;
}

// Resolves (shape path, vertex component) for weight access on a cluster.
MStatus resolve(Node* cluster, const MDagPath& path, const MObject& components, int& g, std::vector<int>& ids) {
  MStatus s;
  Node* shape = Access::node(path.node(&s));
  if (!s || !shape) return kBad;
  g = geometryIndexFor(cluster, shape);
  if (g < 0) return kBad;
  Component* c = entityAs<Component>(components, EntityKind::Component);
  if (!c || c->type != MFn::kMeshVertComponent) return kBad;
  int count = inputVertexCount(cluster, g);
  for (int id : c->ids)
    if (id < 0 || id >= count) return kBad;
  ids = c->ids;
  return MStatus::kSuccess;
}

// Deformer-set membership of one geometry's vertices, looked up once per call.
class Membership {
public:
  Membership(Node* cluster, int g) {
    Node* set = deformerSetOf(cluster);
    m_all = !set;
    if (set) {
      auto it = set->deformMembers.find(g);
      if (it != set->deformMembers.end()) m_flags = &it->second;
    }
  }
  bool operator()(int v) const { return m_all || (m_flags && (size_t)v < m_flags->size() && (*m_flags)[v]); }

private:
  bool m_all = false;
  const std::vector<char>* m_flags = nullptr;
};

double weightOf(Node* cluster, int g, int v, int m) {
  auto gi = cluster->weights.find(g);
  return gi == cluster->weights.end() ? 0.0 : gi->second.get(v, m);
}

// Sets the weights of vertices on one list of matrix indices; with normalize, rescales
// each vertex's weights on the other influences so that it sums to 1. The list is looked
// at once per call, not once per vertex.
class WeightWriter {
public:
  WeightWriter(const std::vector<int>& matrices, const std::vector<int>& logical, bool normalize)
      : m_matrices(matrices),
        m_logical(logical),
        m_normalize(normalize),
        m_ascending(!matrices.empty() &&
                    std::adjacent_find(matrices.begin(), matrices.end(), std::greater_equal<int>()) == matrices.end()) {
  }
  void store(WeightTable& table, int v, const double* values) const;

private:
  const std::vector<int>& m_matrices;
  const std::vector<int>& m_logical;
  const bool m_normalize, m_ascending;
};

void WeightWriter::store(WeightTable& table, int v, const double* values) const {
  if (m_ascending) {
    table.setAscending(v, m_matrices, values);
  } else {
    for (size_t i = 0; i < m_matrices.size(); ++i) table.set(v, m_matrices[i], values[i]);
  }
  if (!m_normalize) return;
  double listed = 0, others = 0;
  for (const WeightEntry& e : table.row(v)) {
    if (!std::binary_search(m_logical.begin(), m_logical.end(), e.matrix)) continue;
    const bool isListed = std::find(m_matrices.begin(), m_matrices.end(), e.matrix) != m_matrices.end();
    (isListed ? listed : others) += e.weight;
  }
  if (others <= 0) return;
  const WeightRow stored = table.row(v);
  std::vector<WeightEntry> rescaled(stored.begin(), stored.end());
  for (WeightEntry& e : rescaled)
    if (std::binary_search(m_logical.begin(), m_logical.end(), e.matrix) &&
        std::find(m_matrices.begin(), m_matrices.end(), e.matrix) == m_matrices.end())
      table.set(v, e.matrix, e.weight * ((1.0 - listed) / others));
}
}  // namespace

// ---------------------------------------------------------------- MFnGeometryFilter

MFnGeometryFilter::MFnGeometryFilter() {}
MFnGeometryFilter::MFnGeometryFilter(const MObject& o, MStatus* st) { setStatus(st, setObject(o)); }
MFn::Type MFnGeometryFilter::type() const { return MFn::kGeometryFilt; }

unsigned int MFnGeometryFilter::numOutputConnections(MStatus* st) const {
  Node* d = deformer(m_object);
  setStatus(st, d ? MStatus::kSuccess : kBad);
  return d ? (unsigned)outputIndices(d).size() : 0;
}

MObject MFnGeometryFilter::outputShapeAtIndex(unsigned int index, MStatus* st) const {
  Node* d = deformer(m_object);
  if (!d) {
    setStatus(st, kBad);
    return MObject();
  }
  for (Connection* c : d->out)
    if (c->srcKey.attr->name == "outputGeometry" && c->srcKey.index == (int)index) {
      setStatus(st, MStatus::kSuccess);
      return Access::make(c->dst);
    }
  setStatus(st, MStatus::kFailure);
  return MObject();
}

MObject MFnGeometryFilter::inputShapeAtIndex(unsigned int index, MStatus* st) const {
  Node* d = deformer(m_object);
  if (!d) {
    setStatus(st, kBad);
    return MObject();
  }
  if (Connection* c = incoming(d, key(d, "inputGeometry", -1, (int)index))) {
    setStatus(st, MStatus::kSuccess);
    return Access::make(c->src);
  }
  setStatus(st, MStatus::kFailure);
  return MObject();
}

unsigned int MFnGeometryFilter::indexForOutputShape(const MObject& shape, MStatus* st) const {
  Node* d = deformer(m_object);
  int g = d ? geometryIndexFor(d, Access::node(shape)) : -1;
  setStatus(st, !d ? kBad : g < 0 ? MStatus::kFailure : MStatus::kSuccess);
  return g < 0 ? 0 : (unsigned)g;
}

MStatus MFnGeometryFilter::getOutputGeometry(MObjectArray& shapes) const {
  shapes.clear();
  Node* d = deformer(m_object);
  if (!d) return kBad;
  for (int g : outputIndices(d)) shapes.append(outputShapeAtIndex((unsigned)g));
  return MStatus::kSuccess;
}

MObject MFnGeometryFilter::deformerSet(MStatus* st) const {
  Node* d = deformer(m_object);
  Node* set = d ? deformerSetOf(d) : nullptr;
  setStatus(st, !d ? kBad : set ? MStatus::kSuccess : MStatus::kFailure);
  return set ? Access::make(set) : MObject();
}

float MFnGeometryFilter::envelope(MStatus* st) const {
  Node* d = deformer(m_object);
  setStatus(st, d ? MStatus::kSuccess : kBad);
  if (!d) return 0.0f;
  auto it = d->numbers.find(key(d, "envelope"));
  return it == d->numbers.end() ? 1.0f : (float)it->second;
}

// ---------------------------------------------------------------- MFnSkinCluster

MFnSkinCluster::MFnSkinCluster() {}
MFnSkinCluster::MFnSkinCluster(const MObject& o, MStatus* st) { setStatus(st, setObject(o)); }
MFn::Type MFnSkinCluster::type() const { return MFn::kSkinClusterFilter; }

namespace {
Node* cluster(const MObject& o) {
  Node* n = Access::node(o);
  return n && n->type == MFn::kSkinClusterFilter ? n : nullptr;
}
}  // namespace

unsigned int MFnSkinCluster::influenceObjects(MDagPathArray& paths, MStatus* st) const {
  paths.clear();
  if (takeCallFault("MFnSkinCluster::influenceObjects")) {
    setStatus(st, MStatus::kFailure);
    return 0;
  }
  Node* sc = cluster(m_object);
  if (!sc) {
    setStatus(st, kBad);
    return 0;
  }
  influencePaths(sc, paths);
  setStatus(st, MStatus::kSuccess);
  return paths.length();
}

unsigned int MFnSkinCluster::indexForInfluenceObject(const MDagPath& influence, MStatus* st) const {
  MDagPathArray paths;
  MStatus s;
  influenceObjects(paths, &s);
  if (s)
    for (unsigned i = 0; i < paths.length(); ++i)
      if (paths[i] == influence) {
        setStatus(st, MStatus::kSuccess);
        return i;
      }
  setStatus(st, s ? MStatus(MStatus::kFailure) : s);
  return 0;
}

MStatus MFnSkinCluster::getWeights(const MDagPath& shape, const MObject& components, unsigned int influenceIndex,
                                   MDoubleArray& weights) const {
  weights.clear();
  Node* sc = cluster(m_object);
  if (!sc) return kBad;
  std::vector<int> logical = influenceIndices(sc);
  if (influenceIndex >= logical.size()) return kBad;
  int g;
  std::vector<int> ids;
  MStatus s = resolve(sc, shape, components, g, ids);
  if (!s) return s;
  Membership member(sc, g);
  for (int v : ids) weights.append(member(v) ? weightOf(sc, g, v, logical[influenceIndex]) : 0.0);
  return MStatus::kSuccess;
}

MStatus MFnSkinCluster::getWeights(const MDagPath& shape, const MObject& components, MDoubleArray& weights,
                                   unsigned int& influenceCount) const {
  weights.clear();
  Node* sc = cluster(m_object);
  if (!sc) return kBad;
  std::vector<int> logical = influenceIndices(sc);
  int g;
  std::vector<int> ids;
  MStatus s = resolve(sc, shape, components, g, ids);
  if (!s) return s;
  influenceCount = (unsigned)logical.size();
  Membership member(sc, g);
  auto table = sc->weights.find(g);
  // The values must fit one host array.
  if (!logical.empty() && ids.size() > 0xffffffffu / logical.size()) return MStatus::kFailure;
  // Every value starts as 0 (setLength); only the stored weights, a few per vertex, are
  // put in place. place maps a matrix index to its influence position, -1 for none.
  weights.setLength(unsigned(ids.size() * logical.size()));
  if (table == sc->weights.end()) return MStatus::kSuccess;
  double* values = Access::elements(weights);
  std::vector<int> place;
  for (size_t k = 0; k < logical.size(); ++k) {
    if (logical[k] < 0) continue;
    if ((size_t)logical[k] >= place.size()) place.resize((size_t)logical[k] + 1, -1);
    place[(size_t)logical[k]] = (int)k;
  }
  size_t at = 0;
  for (int v : ids) {
    if (member(v))
      for (const WeightEntry& e : table->second.row(v))
        if (e.matrix >= 0 && (size_t)e.matrix < place.size() && place[(size_t)e.matrix] >= 0)
          values[at + (size_t)place[(size_t)e.matrix]] = e.weight;
    at += logical.size();
  }
  return MStatus::kSuccess;
}

MStatus MFnSkinCluster::setWeights(const MDagPath& shape, const MObject& components, unsigned int influenceIndex,
                                   double value, bool normalize, MDoubleArray* oldValues) {
  if (oldValues) oldValues->clear();
  Node* sc = cluster(m_object);
  if (!sc) return kBad;
  std::vector<int> logical = influenceIndices(sc);
  if (influenceIndex >= logical.size()) return kBad;
  int g;
  std::vector<int> ids;
  MStatus s = resolve(sc, shape, components, g, ids);
  if (!s) return s;
  const std::vector<int> matrices{logical[influenceIndex]};
  const WeightWriter writer(matrices, logical, normalize);
  WeightTable& table = sc->weights[g];
  for (int v : ids) {
    if (oldValues) oldValues->append(table.get(v, matrices[0]));
    writer.store(table, v, &value);
  }
  touch();
  return MStatus::kSuccess;
}

MStatus MFnSkinCluster::setWeights(const MDagPath& shape, const MObject& components, const MIntArray& influences,
                                   const MDoubleArray& values, bool normalize, MDoubleArray* oldValues) {
  if (oldValues) oldValues->clear();
  Node* sc = cluster(m_object);
  if (!sc) return kBad;
  std::vector<int> logical = influenceIndices(sc);
  std::vector<int> matrices;
  for (unsigned i = 0; i < influences.length(); ++i) {
    if (influences[i] < 0 || (size_t)influences[i] >= logical.size()) return kBad;
    matrices.push_back(logical[influences[i]]);
  }
  int g;
  std::vector<int> ids;
  MStatus s = resolve(sc, shape, components, g, ids);
  if (!s) return s;
  const size_t listed = matrices.size();
  const bool shared = values.length() == listed;
  if (!shared && values.length() != ids.size() * listed) return kBad;
  const WeightWriter writer(matrices, logical, normalize);
  WeightTable& table = sc->weights[g];
  for (size_t e = 0; e < ids.size(); ++e) {
    if (oldValues)
      for (int m : matrices) oldValues->append(table.get(ids[e], m));
    const double* row = listed == 0 ? nullptr : &values[shared ? 0 : unsigned(e * listed)];
    writer.store(table, ids[e], row);
  }
  touch();
  return MStatus::kSuccess;
}

// ---------------------------------------------------------------- MItGeometry

namespace {
int vertexCountOfShape(Node* n, MStatus& st) {
  if (!n || n->type != MFn::kMesh) {
    st = kBad;
    return 0;
  }
  const int count = meshVertexCount(n);
  st = count >= 0 ? MStatus::kSuccess : MStatus::kFailure;
  return count >= 0 ? count : 0;
}
}  // namespace

MItGeometry::MItGeometry(const MDagPath& path, MStatus* st) : m_count(0), m_index(0) {
  MStatus s;
  Node* n = Access::node(path.node(&s));
  m_count = vertexCountOfShape(s ? n : nullptr, s);
  setStatus(st, s);
}

MItGeometry::MItGeometry(const MObject& shape, MStatus* st) : m_count(0), m_index(0) {
  MStatus s;
  m_count = vertexCountOfShape(Access::node(shape), s);
  setStatus(st, s);
}

MItGeometry::~MItGeometry() {}

bool MItGeometry::isDone(MStatus* st) const {
  setStatus(st, MStatus::kSuccess);
  return m_index >= m_count;
}

MStatus MItGeometry::next() {
  if (m_index >= m_count) return MStatus::kFailure;
  ++m_index;
  return MStatus::kSuccess;
}

MStatus MItGeometry::reset() {
  m_index = 0;
  return MStatus::kSuccess;
}

MObject MItGeometry::component(MStatus* st) const {
  if (m_index >= m_count) {
    setStatus(st, MStatus::kFailure);
    return MObject();
  }
  Component* c = new Component(MFn::kMeshVertComponent);
  c->ids.push_back(m_index);
  setStatus(st, MStatus::kSuccess);
  return Access::make(c);
}

int MItGeometry::index(MStatus* st) const {
  setStatus(st, m_index < m_count ? MStatus::kSuccess : MStatus::kFailure);
  return m_index;
}

int MItGeometry::count(MStatus* st) const {
  setStatus(st, MStatus::kSuccess);
  return m_count;
}
