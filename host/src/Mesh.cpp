// Polygon geometry, MFnMesh, MFnMeshData and MItMeshPolygon.
#include "Core.h"

#include <maya/MFnMesh.h>
#include <maya/MFnMeshData.h>
#include <maya/MItMeshPolygon.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <unordered_map>

using namespace standin::core;

namespace {

// Builds a list of distinct vectors in first-use order (exact equality, so a NaN vector
// is never found again) through an open-addressing table of list indices: one probe
// sequence per vector and no node per entry, for the millions of corners a mesh may have.
class DistinctVectors {
public:
  // Room is made for `expected` vectors at once, so a large list is not grown and
  // rehashed step by step.
  DistinctVectors(std::vector<P3>& list, size_t expected) : m_list(list) {
    size_t slots = 1024;
    while (slots < expected * 2 + 2) slots *= 2;
    m_slots.assign(slots, -1);
    m_list.reserve(expected);
  }
  int indexOf(const P3& vector) {
    if ((m_list.size() + 1) * 2 > m_slots.size()) grow();
    size_t slot = find(vector);
    if (m_slots[slot] < 0) {
      m_slots[slot] = (int)m_list.size();
      m_list.push_back(vector);
    }
    return m_slots[slot];
  }

private:
  // The slot holding an equal vector, or the empty slot where it belongs.
  size_t find(const P3& vector) const {
    const size_t mask = m_slots.size() - 1;
    size_t slot = P3Hash()(vector) & mask;
    while (m_slots[slot] >= 0 && !(m_list[(size_t)m_slots[slot]] == vector)) slot = (slot + 1) & mask;
    return slot;
  }
  void grow() {
    m_slots.assign(m_slots.size() * 2, -1);
    const size_t mask = m_slots.size() - 1;
    for (size_t i = 0; i < m_list.size(); ++i) {
      size_t slot = P3Hash()(m_list[i]) & mask;
      while (m_slots[slot] >= 0) slot = (slot + 1) & mask;
      m_slots[slot] = (int)i;
    }
  }

  std::vector<P3>& m_list;
  std::vector<int> m_slots;
};

}  // namespace

// ---------------------------------------------------------------- Geometry

namespace standin::core {

void Geometry::rebuildOffsets() {
  offsets.resize(counts.size());
  int at = 0;
  for (size_t i = 0; i < counts.size(); ++i) {
    offsets[i] = at;
    at += counts[i];
  }
}

void Geometry::useDefaultNormals() {
  std::vector<P3>().swap(normalList);
  std::vector<int>().swap(cornerNormalIds);
  defaultNormalsOwed = true;
}

size_t Geometry::dropNormals() {
  const size_t had = numNormals();
  std::vector<P3>().swap(normalList);
  cornerNormalIds.clear();
  defaultNormalsOwed = false;
  return had;
}

void Geometry::computeDefaultNormals() const {
  defaultNormalsOwed = false;
  std::vector<P3>& normals = normalList;
  normals.assign(points.size(), P3{});
  std::vector<int> used;
  for (size_t f = 0; f < counts.size(); ++f) {
    P3 n;
    int o = offsets[f], c = counts[f];
    for (int i = 0; i < c; ++i) {
      const P3& a = points[connects[o + i]];
      const P3& b = points[connects[o + (i + 1 == c ? 0 : i + 1)]];
      n.x += (a.y - b.y) * (a.z + b.z);
      n.y += (a.z - b.z) * (a.x + b.x);
      n.z += (a.x - b.x) * (a.y + b.y);
    }
    // Each distinct vertex of the face once. Each vertex takes one sum per face, so the
    // order they are visited in does not change the result: a face whose corners are all
    // different vertices (the common small face) is not sorted.
    const int* face = connects.data() + o;
    bool distinct = c <= 8;
    for (int i = 1; i < c && distinct; ++i)
      for (int j = 0; j < i && distinct; ++j) distinct = face[i] != face[j];
    if (distinct) {
      for (int i = 0; i < c; ++i) {
        P3& sum = normals[face[i]];
        sum.x += n.x;
        sum.y += n.y;
        sum.z += n.z;
      }
      continue;
    }
    used.assign(face, face + c);
    std::sort(used.begin(), used.end());
    used.erase(std::unique(used.begin(), used.end()), used.end());
    for (int v : used) {
      normals[v].x += n.x;
      normals[v].y += n.y;
      normals[v].z += n.z;
    }
  }
  for (P3& n : normals) {
    double len = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
    if (len > 0) n = {n.x / len, n.y / len, n.z / len};
  }
  cornerNormalIds = connects;
}

int Geometry::numEdges() const {
  if (edgeCount >= 0) return edgeCount;
  // Distinct vertex pairs of consecutive corners: each edge is listed under its lower
  // vertex, and each vertex's few partners are sorted to count them once.
  const size_t nv = points.size();
  std::vector<int> start(nv + 2, 0);
  auto forEachEdge = [&](auto visit) {
    for (size_t f = 0; f < counts.size(); ++f)
      for (int i = 0; i < counts[f]; ++i) {
        int a = connects[offsets[f] + i], b = connects[offsets[f] + (i + 1) % counts[f]];
        if (a >= 0 && b >= 0 && (size_t)a < nv && (size_t)b < nv) visit(std::min(a, b), std::max(a, b));
      }
  };
  forEachEdge([&](int low, int) { ++start[low + 2]; });
  for (size_t v = 2; v < start.size(); ++v) start[v] += start[v - 1];
  std::vector<int> partners(start.back());
  forEachEdge([&](int low, int high) { partners[start[low + 1]++] = high; });
  int edges = 0;
  for (size_t v = 0; v < nv; ++v) {
    auto first = partners.begin() + start[v], last = partners.begin() + start[v + 1];
    std::sort(first, last);
    edges += (int)(std::unique(first, last) - first);
  }
  edgeCount = edges;
  return edges;
}

UVSet* Geometry::findUVSet(const std::string& name) {
  auto found = uvSetIndex.find(name);
  return found == uvSetIndex.end() ? nullptr : &uvSets[found->second];
}

const UVSet* Geometry::findUVSet(const std::string& name) const {
  auto found = uvSetIndex.find(name);
  return found == uvSetIndex.end() ? nullptr : &uvSets[found->second];
}

void Geometry::addUVSet(const std::string& name) {
  uvSetIndex[name] = uvSets.size();
  uvSets.push_back({name, {}, {}, std::vector<int>(connects.size(), -1)});
}

bool Geometry::removeUVSet(const std::string& name) {
  auto found = uvSetIndex.find(name);
  if (found == uvSetIndex.end()) return false;
  uvSets.erase(uvSets.begin() + long(found->second));
  uvSetIndex.clear();
  for (size_t i = 0; i < uvSets.size(); ++i) uvSetIndex[uvSets[i].name] = i;
  nextDefaultUVSet = 1;
  return true;
}

}  // namespace standin::core

// ---------------------------------------------------------------- MFnMesh

namespace {
const MStatus kBad = MStatus::kInvalidParameter;

// Geometry of the attached object: a data object's own, or what fromShape finds for a
// mesh shape.
template <class FromShape>
const Geometry* readMesh(const MObject& o, MStatus& st, FromShape fromShape) {
  if (MeshData* d = entityAs<MeshData>(o, EntityKind::MeshData)) {
    st = MStatus::kSuccess;
    return d->geom.get();
  }
  Node* n = Access::node(o);
  if (!n || n->type != MFn::kMesh) {
    st = kBad;
    return nullptr;
  }
  const Geometry* g = fromShape(n);
  st = g ? MStatus::kSuccess : MStatus::kFailure;
  return g;
}

// Geometry to read from the attached object; scratch holds an evaluated copy.
const Geometry* readGeometry(const MObject& o, Geometry& scratch, MStatus& st) {
  return readMesh(o, st, [&](Node* n) { return meshGeometry(n, scratch); });
}

// Geometry whose topology, normal ids and UV sets are the object's; its points and normal
// values may be those before deformation.
const Geometry* readTopology(const MObject& o, MStatus& st) { return readMesh(o, st, meshTopology); }

// Geometry to change: a data object's, or a shape's own when its inMesh is unconnected.
Geometry* writeGeometry(const MObject& o, MStatus& st) {
  if (MeshData* d = entityAs<MeshData>(o, EntityKind::MeshData)) {
    st = MStatus::kSuccess;
    // A data object may share its geometry with what it was read from: written, it
    // gets its own copy.
    if (d->geom.use_count() > 1) d->geom = std::make_shared<Geometry>(*d->geom);
    d->geom->edgeCount = -1;
    return d->geom.get();
  }
  Node* n = Access::node(o);
  if (!n || n->type != MFn::kMesh) {
    st = kBad;
    return nullptr;
  }
  if (incoming(n, {n->nt->find("inMesh"), -1, -1})) {
    st = MStatus::kFailure;
    return nullptr;
  }
  st = MStatus::kSuccess;
  touch();  // the caller is about to change what downstream shapes evaluate
  if (n->geom.use_count() > 1) n->geom = std::make_shared<Geometry>(*n->geom);
  n->geom->edgeCount = -1;
  return n->geom.get();
}

const UVSet* pickSet(const Geometry& g, const MString* name) {
  if (!name) return g.uvSets.empty() ? nullptr : &g.uvSets.front();
  return g.findUVSet(str(*name));
}

// The attached mesh's topology and its UV set named set (pickSet's choice); null with st
// set when either is missing.
const UVSet* readUVSet(const MObject& o, const MString* set, const Geometry*& g, MStatus& st) {
  g = readTopology(o, st);
  if (!g) return nullptr;
  const UVSet* uv = pickSet(*g, set);
  if (!uv) st = kBad;
  return uv;
}

// Upper 3x3 of m as rows.
void upper(const MMatrix& m, double out[3][3]) {
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) out[r][c] = m(r, c);
}

P3 mul3(const P3& v, const double m[3][3]) {
  return {v.x * m[0][0] + v.y * m[1][0] + v.z * m[2][0], v.x * m[0][1] + v.y * m[1][1] + v.z * m[2][1],
          v.x * m[0][2] + v.y * m[1][2] + v.z * m[2][2]};
}
}  // namespace

MFnMesh::MFnMesh() : m_isData(false) {}
MFnMesh::MFnMesh(const MObject& o, MStatus* st) : m_isData(false) { setStatus(st, MFnMesh::setObject(o)); }
MFnMesh::MFnMesh(const MDagPath& p, MStatus* st) : m_isData(false) { setStatus(st, MFnMesh::setObject(p)); }
MFn::Type MFnMesh::type() const { return MFn::kMesh; }

MStatus MFnMesh::setObject(const MObject& o) {
  if (o.apiType() == MFn::kMeshData) {
    m_isData = true;
    m_hasPath = false;
    m_path = MDagPath();
    m_object = o;
    return MStatus::kSuccess;
  }
  m_isData = false;
  return MFnDagNode::setObject(o);
}

MStatus MFnMesh::setObject(const MDagPath& p) {
  m_isData = false;
  return MFnDagNode::setObject(p);
}

MObject MFnMesh::create(int numVertices, int numPolygons, const MFloatPointArray& vertexArray,
                        const MIntArray& polygonCounts, const MIntArray& polygonConnects, const MObject& parentOrOwner,
                        MStatus* st) {
  // Validate before anything is made. The arrays are read in place: an element call per
  // value would cost more than the reading.
  const unsigned numCounts = polygonCounts.length(), numConnects = polygonConnects.length();
  const int* counts = numCounts ? Access::elements(const_cast<MIntArray&>(polygonCounts)) : nullptr;
  const int* connects = numConnects ? Access::elements(const_cast<MIntArray&>(polygonConnects)) : nullptr;
  bool ok = numVertices >= 0 && numPolygons >= 0 && vertexArray.length() == (unsigned)numVertices &&
            numCounts == (unsigned)numPolygons;
  long total = 0;
  for (unsigned i = 0; ok && i < numCounts; ++i) {
    ok = counts[i] >= 3;
    total += counts[i];
  }
  ok = ok && total == (long)numConnects;
  for (unsigned i = 0; ok && i < numConnects; ++i) ok = connects[i] >= 0 && connects[i] < numVertices;
  MeshData* owner = entityAs<MeshData>(parentOrOwner, EntityKind::MeshData);
  Node* parent = nullptr;
  if (ok && !owner && !parentOrOwner.isNull()) {
    parent = Access::node(parentOrOwner);
    ok = parent && parent->hasFn(MFn::kTransform);
  }
  if (!ok) {
    setStatus(st, kBad);
    return MObject();
  }
  Geometry g;
  const unsigned numPoints = vertexArray.length();
  const MFloatPoint* points = numPoints ? Access::elements(const_cast<MFloatPointArray&>(vertexArray)) : nullptr;
  g.points.reserve(numPoints);
  for (unsigned i = 0; i < numPoints; ++i) g.points.push_back({points[i].x, points[i].y, points[i].z});
  g.counts.assign(counts, counts + numCounts);
  g.connects.assign(connects, connects + numConnects);
  g.rebuildOffsets();
  g.useDefaultNormals();
  g.addUVSet("map1");
  setStatus(st, MStatus::kSuccess);
  if (owner) {
    owner->geom = std::make_shared<Geometry>(std::move(g));
    setObject(parentOrOwner);
    return parentOrOwner;
  }
  std::string shapeName;
  MObject result;
  if (!parent) {
    // The first number free for both the transform and its shape.
    const unsigned long long n =
        firstFreeNumber("polySurface pair", {"polySurface", "polySurfaceShape"}, 1, [](unsigned long long i) {
          return nodesWithName("polySurface" + std::to_string(i)).empty() &&
                 nodesWithName("polySurfaceShape" + std::to_string(i)).empty();
        });
    parent = createNode("transform", nullptr, "polySurface" + std::to_string(n));
    shapeName = "polySurfaceShape" + std::to_string(n);
    result = Access::make(parent);
  } else {
    shapeName = defaultName("polySurfaceShape");
  }
  Node* shape = createNode("mesh", parent, shapeName);
  *shape->geom = std::move(g);
  touch();
  MObject shapeObj = Access::make(shape);
  setObject(shapeObj);
  return result.isNull() ? shapeObj : result;
}

namespace {
template <class F>
int readCount(const MObject& o, MStatus* st, F f) {
  MStatus s;
  const Geometry* g = readTopology(o, s);
  setStatus(st, s);
  return g ? f(*g) : 0;
}
}  // namespace

int MFnMesh::numVertices(MStatus* st) const {
  return readCount(m_object, st, [](const Geometry& g) { return (int)g.points.size(); });
}
int MFnMesh::numPolygons(MStatus* st) const {
  return readCount(m_object, st, [](const Geometry& g) { return (int)g.counts.size(); });
}
int MFnMesh::numEdges(MStatus* st) const {
  return readCount(m_object, st, [](const Geometry& g) { return g.numEdges(); });
}
int MFnMesh::numNormals(MStatus* st) const {
  return readCount(m_object, st, [](const Geometry& g) { return (int)g.numNormals(); });
}
int MFnMesh::numFaceVertices(MStatus* st) const {
  return readCount(m_object, st, [](const Geometry& g) { return g.numFaceVertices(); });
}
int MFnMesh::numUVSets(MStatus* st) const {
  return readCount(m_object, st, [](const Geometry& g) { return (int)g.uvSets.size(); });
}
int MFnMesh::numUVs(MStatus* st) const {
  return readCount(m_object, st, [](const Geometry& g) { return g.uvSets.empty() ? 0 : (int)g.uvSets[0].u.size(); });
}
int MFnMesh::numUVs(const MString& set, MStatus* st) const {
  MStatus s;
  int n = readCount(m_object, &s, [&](const Geometry& g) {
    const UVSet* u = g.findUVSet(str(set));
    if (!u) s = kBad;
    return u ? (int)u->u.size() : -1;
  });
  if (s && n < 0) s = kBad;
  setStatus(st, s);
  return n < 0 ? 0 : n;
}

MStatus MFnMesh::getPoints(MFloatPointArray& points, MSpace::Space space) const {
  if (takeCallFault("MFnMesh::getPoints")) return MStatus::kFailure;
  Geometry scratch;
  MStatus s;
  const Geometry* g = readGeometry(m_object, scratch, s);
  if (!g) return s;
  MMatrix m;
  bool world = space == MSpace::kWorld && !m_isData && m_hasPath;
  if (world) m = m_path.inclusiveMatrix();
  points.setLength((unsigned)g->points.size());
  for (size_t i = 0; i < g->points.size(); ++i) {
    const P3& p = g->points[i];
    if (world)
      points[(unsigned)i] = MFloatPoint((float)(p.x * m(0, 0) + p.y * m(1, 0) + p.z * m(2, 0) + m(3, 0)),
                                        (float)(p.x * m(0, 1) + p.y * m(1, 1) + p.z * m(2, 1) + m(3, 1)),
                                        (float)(p.x * m(0, 2) + p.y * m(1, 2) + p.z * m(2, 2) + m(3, 2)), 1.0f);
    else
      points[(unsigned)i] = MFloatPoint((float)p.x, (float)p.y, (float)p.z, 1.0f);
  }
  return MStatus::kSuccess;
}

MStatus MFnMesh::getPoint(int vertexId, MFloatPoint& point, MSpace::Space space) const {
  MFloatPointArray all;
  MStatus s = getPoints(all, space);
  if (!s) return s;
  if (vertexId < 0 || (unsigned)vertexId >= all.length()) return kBad;
  point = all[(unsigned)vertexId];
  return MStatus::kSuccess;
}

MStatus MFnMesh::setPoints(const MFloatPointArray& points, MSpace::Space space) {
  MStatus s;
  Geometry* g = writeGeometry(m_object, s);
  if (!g) return s;
  if (points.length() != g->points.size()) return kBad;
  g->settleNormals();  // default normals stay those of the points before the move
  MMatrix inv;
  bool world = space == MSpace::kWorld && !m_isData && m_hasPath;
  if (world) inv = m_path.inclusiveMatrix().inverse();
  for (unsigned i = 0; i < points.length(); ++i) {
    double x = points[i].x, y = points[i].y, z = points[i].z;
    if (world)
      g->points[i] = {x * inv(0, 0) + y * inv(1, 0) + z * inv(2, 0) + inv(3, 0),
                      x * inv(0, 1) + y * inv(1, 1) + z * inv(2, 1) + inv(3, 1),
                      x * inv(0, 2) + y * inv(1, 2) + z * inv(2, 2) + inv(3, 2)};
    else
      g->points[i] = {x, y, z};
  }
  return MStatus::kSuccess;
}

MStatus MFnMesh::getNormals(MFloatVectorArray& normals, MSpace::Space space) const {
  if (takeCallFault("MFnMesh::getNormals")) return MStatus::kFailure;
  Geometry scratch;
  MStatus s;
  const Geometry* g = readGeometry(m_object, scratch, s);
  if (!g) return s;
  double m[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  const bool world = space == MSpace::kWorld && !m_isData && m_hasPath;
  if (world) upper(m_path.inclusiveMatrix().inverse().transpose(), m);
  const std::vector<P3>& list = g->normals();
  normals.setLength((unsigned)list.size());
  for (size_t i = 0; i < list.size(); ++i) {
    P3 n = mul3(list[i], m);
    // World-space normals come back at unit length whatever the transform's scale.
    const double length = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
    if (world && length > 0 && std::isfinite(length)) n = {n.x / length, n.y / length, n.z / length};
    normals[(unsigned)i] = MFloatVector((float)n.x, (float)n.y, (float)n.z);
  }
  return MStatus::kSuccess;
}

MStatus MFnMesh::getPolygonVertices(int polygonId, MIntArray& vertexList) const {
  if (takeCallFault("MFnMesh::getPolygonVertices")) return MStatus::kFailure;
  MStatus s;
  const Geometry* g = readTopology(m_object, s);
  if (!g) return s;
  if (polygonId < 0 || (size_t)polygonId >= g->counts.size()) return kBad;
  vertexList.setLength((unsigned)g->counts[polygonId]);
  const int* first = g->connects.data() + g->offsets[polygonId];
  std::copy(first, first + g->counts[polygonId], Access::elements(vertexList));
  return MStatus::kSuccess;
}

int MFnMesh::polygonVertexCount(int polygonId, MStatus* st) const {
  MStatus s;
  int n = readCount(m_object, &s, [&](const Geometry& g) {
    if (polygonId < 0 || (size_t)polygonId >= g.counts.size()) {
      s = kBad;
      return 0;
    }
    return g.counts[polygonId];
  });
  setStatus(st, s);
  return n;
}

MStatus MFnMesh::getVertices(MIntArray& vertexCount, MIntArray& vertexList) const {
  MStatus s;
  const Geometry* g = readTopology(m_object, s);
  if (!g) return s;
  // Filled in place: a temporary would be copied again by the assignment.
  vertexCount.setLength((unsigned)g->counts.size());
  std::copy(g->counts.begin(), g->counts.end(), Access::elements(vertexCount));
  vertexList.setLength((unsigned)g->connects.size());
  std::copy(g->connects.begin(), g->connects.end(), Access::elements(vertexList));
  return MStatus::kSuccess;
}

MStatus MFnMesh::getFaceNormalIds(int faceIndex, MIntArray& ids) const {
  MStatus s;
  const Geometry* g = readTopology(m_object, s);
  if (!g) return s;
  if (faceIndex < 0 || (size_t)faceIndex >= g->counts.size()) return kBad;
  ids = MIntArray(g->normalIds().data() + g->offsets[faceIndex], (unsigned)g->counts[faceIndex]);
  return MStatus::kSuccess;
}

MStatus MFnMesh::getUVSetNames(MStringArray& names) const {
  MStatus s;
  names.clear();
  const Geometry* g = readTopology(m_object, s);
  if (!g) return s;
  for (const UVSet& u : g->uvSets) names.append(MString(u.name.c_str()));
  return MStatus::kSuccess;
}

MStatus MFnMesh::getCurrentUVSetName(MString& name) const {
  MStringArray names;
  MStatus s = getUVSetNames(names);
  if (!s) return s;
  if (names.length() == 0) return MStatus::kFailure;
  name = names[0];
  return MStatus::kSuccess;
}

MStatus MFnMesh::getUVs(MFloatArray& u, MFloatArray& v, const MString* set) const {
  if (takeCallFault("MFnMesh::getUVs")) return MStatus::kFailure;
  MStatus s;
  const Geometry* g;
  const UVSet* uv = readUVSet(m_object, set, g, s);
  if (!uv) return s;
  u = MFloatArray(uv->u.data(), (unsigned)uv->u.size());
  v = MFloatArray(uv->v.data(), (unsigned)uv->v.size());
  return MStatus::kSuccess;
}

MStatus MFnMesh::getPolygonUVid(int polygonId, int corner, int& uvId, const MString* set) const {
  MStatus s;
  const Geometry* g;
  const UVSet* uv = readUVSet(m_object, set, g, s);
  if (!uv) return s;
  if (polygonId < 0 || (size_t)polygonId >= g->counts.size() || corner < 0 || corner >= g->counts[polygonId])
    return kBad;
  int id = uv->ids[g->offsets[polygonId] + corner];
  if (id < 0) return MStatus::kFailure;
  uvId = id;
  return MStatus::kSuccess;
}

MStatus MFnMesh::getAssignedUVs(MIntArray& uvCounts, MIntArray& uvIds, const MString* set) const {
  if (takeCallFault("MFnMesh::getAssignedUVs")) return MStatus::kFailure;
  MStatus s;
  const Geometry* g;
  const UVSet* uv = readUVSet(m_object, set, g, s);
  if (!uv) return s;
  // Filled in place, the ids with room for every corner and then cut to those listed.
  uvCounts.setLength((unsigned)g->counts.size());
  uvIds.setLength((unsigned)uv->ids.size());
  int* counts = Access::elements(uvCounts);
  int* ids = Access::elements(uvIds);
  size_t listed = 0;
  for (size_t f = 0; f < g->counts.size(); ++f) {
    const int* corners = uv->ids.data() + g->offsets[f];
    bool mapped = true;
    for (int i = 0; i < g->counts[f]; ++i) mapped = mapped && corners[i] >= 0;
    counts[f] = mapped ? g->counts[f] : 0;
    if (mapped)
      for (int i = 0; i < g->counts[f]; ++i) ids[listed++] = corners[i];
  }
  uvIds.setLength((unsigned)listed);
  return MStatus::kSuccess;
}

MStatus MFnMesh::getConnectedShaders(unsigned int instance, MObjectArray& shaders, MIntArray& indices) const {
  shaders.clear();
  if (takeCallFault("MFnMesh::getConnectedShaders")) return MStatus::kFailure;
  indices.clear();
  if (m_isData) return MStatus::kFailure;
  Node* n = Access::node(m_object);
  if (!n || n->type != MFn::kMesh) return kBad;
  if (instance >= pathCount(n)) return kBad;
  const Geometry* g = meshTopology(n);
  if (!g) return MStatus::kFailure;
  indices.setLength((unsigned)g->counts.size());
  std::fill(Access::elements(indices), Access::elements(indices) + indices.length(), -1);
  auto it = n->shading.find(instance);
  if (it == n->shading.end()) return MStatus::kSuccess;
  const Shading& sh = it->second;
  std::vector<Node*> listed;
  for (Node* group : sh.firstOrder) {
    bool holds = false;
    for (size_t f = 0; f < sh.faces.size() && f < g->counts.size() && !holds; ++f) holds = sh.faces[f] == group;
    if (holds) {
      listed.push_back(group);
      shaders.append(Access::make(group));
    }
  }
  for (size_t f = 0; f < sh.faces.size() && f < g->counts.size(); ++f) {
    auto pos = std::find(listed.begin(), listed.end(), sh.faces[f]);
    if (sh.faces[f] && pos != listed.end()) indices[(unsigned)f] = (int)(pos - listed.begin());
  }
  return MStatus::kSuccess;
}

MStatus MFnMesh::setFaceVertexNormals(const MVectorArray& normals, const MIntArray& faceList,
                                      const MIntArray& vertexList, MSpace::Space space) {
  MStatus s;
  Geometry* g = writeGeometry(m_object, s);
  if (!g) return s;
  if (normals.length() != faceList.length() || normals.length() != vertexList.length()) return kBad;
  double toObject[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  if (space == MSpace::kWorld && !m_isData && m_hasPath) upper(m_path.inclusiveMatrix().transpose(), toObject);
  // The usual call lists every corner once, in corner order: corner c then ends with
  // normal c and keeps none of its previous vectors, so neither the per-corner table nor
  // the pair counts below are needed. A face that touches a vertex twice fits this too:
  // its n-th such corner is the n-th listed for the pair.
  const size_t corners = g->connects.size();
  bool inOrder = normals.length() == corners;
  if (inOrder && corners > 0) {
    const int* faceAt = Access::elements(const_cast<MIntArray&>(faceList));
    const int* vertexAt = Access::elements(const_cast<MIntArray&>(vertexList));
    for (size_t f = 0, c = 0; inOrder && f < g->counts.size(); ++f)
      for (int k = 0; k < g->counts[f]; ++k, ++c) inOrder &= (faceAt[c] == (int)f) & (vertexAt[c] == g->connects[c]);
  }
  if (inOrder) {
    // No corner keeps a previous vector, so default normals still owed are never worked out.
    const size_t room = g->dropNormals();
    std::vector<P3>& list = g->normals();
    std::vector<int>& ids = g->normalIds();
    ids.resize(corners);
    DistinctVectors firstUse(list, room);
    const MVector* given = corners > 0 ? Access::elements(const_cast<MVectorArray&>(normals)) : nullptr;
    // The corners around a vertex often share its normal: each vertex remembers the list
    // entry its last corner took, and a vector equal to it is that entry (the list holds
    // no two equal vectors), found without a hash probe.
    std::vector<int> lastOfVertex(g->points.size(), -1);
    for (size_t c = 0; c < corners; ++c) {
      const P3 vector = mul3({given[c].x, given[c].y, given[c].z}, toObject);
      int& last = lastOfVertex[(size_t)g->connects[c]];
      if (last < 0 || !(list[(size_t)last] == vector)) last = firstUse.indexOf(vector);
      ids[c] = last;
    }
    return MStatus::kSuccess;
  }
  // The given normal each corner ends with (the last one given for it), or -1; every
  // pair is checked before anything changes.
  // A face that touches a vertex more than once takes the n-th normal given for that
  // pair on the n-th such corner, in turn.
  // Only such pairs are counted in a map: the common face, whose corners are distinct
  // vertices, costs one pass over its corners and nothing else.
  std::vector<int> given(g->connects.size(), -1);
  std::unordered_map<long long, int> timesGiven;
  for (unsigned i = 0; i < normals.length(); ++i) {
    int f = faceList[i], v = vertexList[i];
    if (f < 0 || (size_t)f >= g->counts.size()) return kBad;
    const int* corners = g->connects.data() + g->offsets[f];
    int first = -1, matches = 0;
    for (int k = 0; k < g->counts[f]; ++k)
      if (corners[k] == v && matches++ == 0) first = k;
    if (matches == 0) return kBad;
    if (matches == 1) {
      given[g->offsets[f] + first] = (int)i;
      continue;
    }
    int& times = timesGiven[((long long)f << 32) | (unsigned)v];
    int nth = times++ % matches;
    for (int k = 0; k < g->counts[f]; ++k)
      if (corners[k] == v && nth-- == 0) given[g->offsets[f] + k] = (int)i;
  }
  // Distinct vectors by exact equality in first-use order, found through a hash.
  // Corners not listed keep their vectors, default ones included.
  std::vector<P3>& list = g->normals();
  std::vector<int>& ids = g->normalIds();
  const std::vector<P3> previous = std::move(list);
  list.clear();
  ids.resize(given.size(), 0);
  DistinctVectors firstUse(list, previous.size());
  for (size_t c = 0; c < given.size(); ++c) {
    const P3 vector = given[c] >= 0 ? mul3({normals[given[c]].x, normals[given[c]].y, normals[given[c]].z}, toObject)
                                    : previous[ids[c]];
    ids[c] = firstUse.indexOf(vector);
  }
  return MStatus::kSuccess;
}

MStatus MFnMesh::createUVSet(MString& name, MDGModifier*) {
  MStatus s;
  Geometry* g = writeGeometry(m_object, s);
  if (!g) return s;
  std::string n = str(name);
  if (n.empty()) {
    unsigned long long& i = g->nextDefaultUVSet;
    while (g->findUVSet("uvSet" + std::to_string(i))) ++i;
    n = "uvSet" + std::to_string(i);
    name = n.c_str();
  } else if (g->findUVSet(n)) {
    return MStatus::kFailure;
  }
  g->addUVSet(n);
  return MStatus::kSuccess;
}

MStatus MFnMesh::deleteUVSet(const MString& name, MDGModifier*) {
  MStatus s;
  Geometry* g = writeGeometry(m_object, s);
  if (!g) return s;
  return g->removeUVSet(str(name)) ? MStatus::kSuccess : kBad;
}

MStatus MFnMesh::setUVs(const MFloatArray& u, const MFloatArray& v, const MString* set) {
  MStatus s;
  Geometry* g = writeGeometry(m_object, s);
  if (!g) return s;
  UVSet* uv = set ? g->findUVSet(str(*set)) : (g->uvSets.empty() ? nullptr : &g->uvSets.front());
  if (!uv || u.length() != v.length()) return kBad;
  uv->u.assign(&u[0], &u[0] + u.length());
  uv->v.assign(&v[0], &v[0] + v.length());
  if (u.length() == 0) uv->u.clear(), uv->v.clear();
  for (int& id : uv->ids)
    if (id >= (int)uv->u.size()) id = -1;
  return MStatus::kSuccess;
}

MStatus MFnMesh::assignUVs(const MIntArray& uvCounts, const MIntArray& uvIds, const MString* set) {
  MStatus s;
  Geometry* g = writeGeometry(m_object, s);
  if (!g) return s;
  UVSet* uv = set ? g->findUVSet(str(*set)) : (g->uvSets.empty() ? nullptr : &g->uvSets.front());
  if (!uv || uvCounts.length() != g->counts.size()) return kBad;
  std::vector<int> ids(g->connects.size(), -1);
  // The arrays are read in place, not through an element call per value.
  const unsigned numIds = uvIds.length();
  const int* counts = uvCounts.length() ? Access::elements(const_cast<MIntArray&>(uvCounts)) : nullptr;
  const int* given = numIds ? Access::elements(const_cast<MIntArray&>(uvIds)) : nullptr;
  unsigned next = 0;
  for (size_t f = 0; f < g->counts.size(); ++f) {
    int c = counts[f];
    if (c == 0) continue;
    if (c != g->counts[f]) return kBad;
    for (int k = 0; k < c; ++k) {
      if (next >= numIds) return kBad;
      int id = given[next++];
      if (id < 0 || id >= (int)uv->u.size()) return kBad;
      ids[g->offsets[f] + k] = id;
    }
  }
  if (next != numIds) return kBad;
  uv->ids = std::move(ids);
  return MStatus::kSuccess;
}

// ---------------------------------------------------------------- MFnMeshData

MFnMeshData::MFnMeshData() {}
MFnMeshData::MFnMeshData(const MObject& o, MStatus* st) { setStatus(st, setObject(o)); }
MFn::Type MFnMeshData::type() const { return MFn::kMeshData; }

MObject MFnMeshData::create(MStatus* st) {
  m_object = newMeshData(Geometry());
  setStatus(st, MStatus::kSuccess);
  return m_object;
}

// ---------------------------------------------------------------- MItMeshPolygon

MItMeshPolygon::MItMeshPolygon(const MObject& polyObject, MStatus* st)
    : m_hold(nullptr), m_geometry(nullptr), m_polygon(0) {
  // The iterator shares the geometry it walks rather than copying its polygons: geometry
  // is copied before it is written while anyone else holds it (writeGeometry).
  MStatus s;
  std::shared_ptr<Geometry> g;
  if (MeshData* d = entityAs<MeshData>(polyObject, EntityKind::MeshData)) {
    g = d->geom;
  } else if (readTopology(polyObject, s)) {
    g = meshTopologyShared(Access::node(polyObject));
  }
  if (g) {
    m_geometry = g.get();
    m_hold = new GeometryHold{std::move(g)};
    s = MStatus::kSuccess;
  }
  setStatus(st, s);
}

MItMeshPolygon::~MItMeshPolygon() { delete m_hold; }

bool MItMeshPolygon::isDone(MStatus* st) const {
  setStatus(st, m_geometry ? MStatus::kSuccess : kBad);
  return !m_geometry || (size_t)m_polygon >= m_geometry->counts.size();
}

MStatus MItMeshPolygon::next() {
  if (isDone()) return MStatus::kFailure;
  ++m_polygon;
  return MStatus::kSuccess;
}

MStatus MItMeshPolygon::reset() {
  m_polygon = 0;
  return m_geometry ? MStatus::kSuccess : kBad;
}

int MItMeshPolygon::index(MStatus* st) const {
  setStatus(st, isDone() ? MStatus::kFailure : MStatus::kSuccess);
  return m_polygon;
}

int MItMeshPolygon::count(MStatus* st) const {
  setStatus(st, m_geometry ? MStatus::kSuccess : kBad);
  return m_geometry ? (int)m_geometry->counts.size() : 0;
}

unsigned int MItMeshPolygon::polygonVertexCount(MStatus* st) const {
  if (isDone()) {
    setStatus(st, MStatus::kFailure);
    return 0;
  }
  setStatus(st, MStatus::kSuccess);
  return (unsigned)m_geometry->counts[m_polygon];
}

int MItMeshPolygon::vertexIndex(int local, MStatus* st) const {
  if (isDone() || local < 0 || local >= m_geometry->counts[m_polygon]) {
    setStatus(st, kBad);
    return -1;
  }
  setStatus(st, MStatus::kSuccess);
  return m_geometry->connects[m_geometry->offsets[m_polygon] + local];
}

MStatus MItMeshPolygon::getVertices(MIntArray& vertices) const {
  if (isDone()) return MStatus::kFailure;
  vertices =
      MIntArray(m_geometry->connects.data() + m_geometry->offsets[m_polygon], (unsigned)m_geometry->counts[m_polygon]);
  return MStatus::kSuccess;
}

unsigned int MItMeshPolygon::normalIndex(int local, MStatus* st) const {
  if (takeCallFault("MItMeshPolygon::normalIndex")) {
    setStatus(st, MStatus::kFailure);
    return 0;
  }
  if (isDone() || local < 0 || local >= m_geometry->counts[m_polygon]) {
    setStatus(st, kBad);
    return 0;
  }
  setStatus(st, MStatus::kSuccess);
  return (unsigned)m_geometry->normalIds()[m_geometry->offsets[m_polygon] + local];
}
