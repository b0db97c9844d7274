// Deformer evaluation (linear-blend skinning), deformer sets, and the skinCluster command.
#include "Core.h"

#include <maya/MDagPathArray.h>
#include <maya/MGlobal.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <set>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace standin::core {

namespace {
PlugKey key(Node* n, const char* attr, int index = -1, int parentIndex = -1) {
  return {n->nt->find(attr), parentIndex, index};
}
}  // namespace

Node* deformerSetOf(Node* deformer) {
  Connection* best = nullptr;
  for (Connection* c : deformer->out)
    if (c->srcKey.attr->name == "message" && c->dst->type == MFn::kSet && c->dstKey.attr->name == "usedBy" &&
        (!best || c->serial < best->serial))
      best = c;
  return best ? best->dst : nullptr;
}

Node* deformerOfSet(Node* set) {
  for (Connection* c : set->in)
    if (c->dstKey.attr->name == "usedBy" && c->srcKey.attr->name == "message" && c->src->hasFn(MFn::kGeometryFilt))
      return c->src;
  return nullptr;
}

namespace {
// The cluster's remembered answers, emptied when the scene changed since they were found.
Node::ConnectionAnswers& answersOf(Node* n) {
  Node::ConnectionAnswers& a = n->answers;
  if (a.at != scene().revision) {
    a = Node::ConnectionAnswers();
    a.at = scene().revision;
  }
  return a;
}

std::vector<int> findInfluenceIndices(Node* cluster) {
  std::vector<int> used;
  const Attr* matrix = cluster->nt->find("matrix");
  for (Connection* c : cluster->in)
    if (c->dstKey.attr == matrix) used.push_back(c->dstKey.index);
  cluster->data.forEach([&](const PlugKey& k, const MObject&) {
    if (k.attr == matrix) used.push_back(k.index);
  });
  std::sort(used.begin(), used.end());
  used.erase(std::unique(used.begin(), used.end()), used.end());
  return used;
}

int findGeometryIndex(Node* deformer, Node* shape) {
  for (int g : outputIndices(deformer))
    for (Connection* c : deformer->out)
      if (c->srcKey.attr->name == "outputGeometry" && c->srcKey.index == g && reaches(c->dst, shape)) return g;
  return -1;
}
}  // namespace

// Both are asked on every weight read and write; they are found again only after the
// scene changed.
const std::vector<int>& influenceIndices(Node* cluster) {
  Node::ConnectionAnswers& a = answersOf(cluster);
  if (!a.haveInfluences) {
    a.influences = findInfluenceIndices(cluster);
    a.haveInfluences = true;
  }
  return a.influences;
}

// Each influence's path is its instance 0 as the node keeps it, shared rather than built
// again, unless the influence is fed from another instance.
void influencePaths(Node* cluster, MDagPathArray& paths) {
  const std::vector<int>& logical = influenceIndices(cluster);
  const Attr* matrix = cluster->nt->find("matrix");
  paths.setLength((unsigned)logical.size());
  MDagPath* out = Access::elements(paths);
  // The cluster's incoming connections, in the order they lie, each put at its
  // influence's place; an influence without one keeps an invalid path.
  for (Connection* c : cluster->in) {
    if (c->dstKey.attr != matrix || !c->src->isDag()) continue;
    const size_t i = (size_t)(std::lower_bound(logical.begin(), logical.end(), c->dstKey.index) - logical.begin());
    Node* src = c->src;
    const int instance = c->srcKey.attr->name == "worldMatrix" ? c->srcKey.index : 0;
    if (instance > 0 && (size_t)instance < pathCount(src))
      out[i] = Access::makePath(allPaths(src)[(size_t)instance]);
    else
      Access::setPath(out[i], src->isWorld() ? nullptr : firstPath(src));
  }
}

std::vector<int> outputIndices(Node* deformer) {
  std::vector<int> used;
  const Attr* output = deformer->nt->find("outputGeometry");
  for (Connection* c : deformer->out)
    if (c->srcKey.attr == output) used.push_back(c->srcKey.index);
  std::sort(used.begin(), used.end());
  used.erase(std::unique(used.begin(), used.end()), used.end());
  return used;
}

bool reaches(Node* from, Node* to) {
  const unsigned long long mark = nextWalkMark();
  from->walkMark = mark;
  std::vector<Node*> stack{from};
  while (!stack.empty()) {
    Node* n = stack.back();
    stack.pop_back();
    if (n == to) return true;
    for (Connection* c : n->out)
      if (c->dst->walkMark != mark) {
        c->dst->walkMark = mark;
        stack.push_back(c->dst);
      }
  }
  return false;
}

// A cluster reaches n when one of its outputGeometry connections leads to n, directly
// or through further connections. Every node that leads to n lies upstream of it, so
// the walk goes up from n and looks at what feeds each node it meets.
Node* firstSkinClusterReaching(Node* n) {
  const unsigned long long mark = nextWalkMark();
  n->walkMark = mark;
  std::vector<Node*> stack{n};
  Node* first = nullptr;
  while (!stack.empty()) {
    Node* m = stack.back();
    stack.pop_back();
    for (Connection* c : m->in) {
      Node* src = c->src;
      if (src->type == MFn::kSkinClusterFilter && c->srcKey.attr->name == "outputGeometry" &&
          (!first || src->serial < first->serial))
        first = src;
      if (src->walkMark != mark) {
        src->walkMark = mark;
        stack.push_back(src);
      }
    }
  }
  return first;
}

int geometryIndexFor(Node* deformer, Node* shape) {
  if (!deformer || !shape) return -1;
  Node::ConnectionAnswers& a = answersOf(deformer);
  for (const auto& [known, g] : a.geometryIndices)
    if (known == shape) return g;
  const int g = findGeometryIndex(deformer, shape);
  a.geometryIndices.push_back({shape, g});
  return g;
}

int inputVertexCount(Node* d, int g) { return plugVertexCount(d, key(d, "inputGeometry", -1, g)); }

bool skinOutput(Node* cluster, int g, Geometry& out) {
  if (!plugGeometry(cluster, key(cluster, "inputGeometry", -1, g), out)) return false;
  std::vector<int> logical = influenceIndices(cluster);
  std::vector<MMatrix> blend;  // B_k * M_k
  for (int m : logical) {
    MMatrix M, B;
    plugMatrix(cluster, key(cluster, "matrix", m), M);
    plugMatrix(cluster, key(cluster, "bindPreMatrix", m), B);
    blend.push_back(B * M);
  }
  Node* set = deformerSetOf(cluster);
  const std::vector<char>* members = nullptr;
  if (set) {
    auto it = set->deformMembers.find(g);
    if (it != set->deformMembers.end()) members = &it->second;
  }
  WeightTable* weights = nullptr;
  auto wit = cluster->weights.find(g);
  if (wit != cluster->weights.end()) weights = &wit->second;

  // Calls visit(k, w) for the non-zero weights of vertex v on connected influences, in
  // influence order: stored weights are sorted by matrix index as the influences are;
  // weights of a matrix index no longer connected are ignored.
  auto forEachWeight = [&](size_t v, auto visit) {
    if (!weights) return;
    size_t k = 0;
    for (const WeightEntry& e : weights->row((int)v)) {
      while (k < logical.size() && logical[k] < e.matrix) ++k;
      if (k == logical.size()) break;
      if (logical[k] == e.matrix && e.weight != 0) visit(k, e.weight);
    }
  };
  // The normals turned below are those of the input, default ones worked out from the
  // points before they move.
  std::vector<P3>& normals = out.normals();
  const std::vector<int>& normalIds = out.normalIds();
  size_t nv = out.points.size();
  std::vector<char> deformed(nv, 0);
  for (size_t v = 0; v < nv; ++v) {
    bool member = !set || (members && v < members->size() && (*members)[v]);
    if (!member) continue;
    deformed[v] = 1;
    const P3 p = out.points[v];
    P3 sum;
    forEachWeight(v, [&](size_t k, double wk) {
      const MMatrix& T = blend[k];
      sum.x += wk * (p.x * T(0, 0) + p.y * T(1, 0) + p.z * T(2, 0) + T(3, 0));
      sum.y += wk * (p.x * T(0, 1) + p.y * T(1, 1) + p.z * T(2, 1) + T(3, 1));
      sum.z += wk * (p.x * T(0, 2) + p.y * T(1, 2) + p.z * T(2, 2) + T(3, 2));
    });
    out.points[v] = sum;
  }
  // Each normal follows the blended linear part of the first vertex that uses it, summed
  // again for that vertex rather than kept for every vertex.
  std::vector<int> owner(normals.size(), -1);
  for (size_t c = 0; c < normalIds.size(); ++c)
    if (owner[normalIds[c]] < 0) owner[normalIds[c]] = out.connects[c];
  for (size_t i = 0; i < normals.size(); ++i) {
    int v = owner[i];
    if (v < 0 || !deformed[v]) continue;
    std::array<double, 9> a{};
    forEachWeight((size_t)v, [&](size_t k, double wk) {
      const MMatrix& T = blend[k];
      for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) a[r * 3 + c] += wk * T(r, c);
    });
    const P3& n = normals[i];
    P3 r{n.x * a[0] + n.y * a[3] + n.z * a[6], n.x * a[1] + n.y * a[4] + n.z * a[7],
         n.x * a[2] + n.y * a[5] + n.z * a[8]};
    double len = std::sqrt(r.x * r.x + r.y * r.y + r.z * r.z);
    if (len > 0) normals[i] = {r.x / len, r.y / len, r.z / len};
  }
  return true;
}

// ---------------------------------------------------------------- skinCluster command

namespace {

MStatus fail(const std::string& message) {
  MGlobal::displayError(MString(("skinCluster: " + message).c_str()));
  return MStatus::kFailure;
}

// The lesser of d and least, least when either is NaN (what the SSE2 minimum gives).
double lower(double d, double least) { return d < least ? d : least; }

// Squared distances from (qx, qy, qz) to each of count (at least one) anchors, into
// dist, and the least of them: four minimum chains that start from the first distance
// and skip NaN distances, so a NaN first distance is returned as it is. Each vector lane
// does the same operations in the same order as the scalar distance, so the values are
// bit for bit the same.
double nearestDistance(double qx, double qy, double qz, const double* ax, const double* ay, const double* az,
                       double* dist, size_t count) {
  auto distance = [&](size_t k) {
    const double dx = qx - ax[k], dy = qy - ay[k], dz = qz - az[k];
    return dx * dx + dy * dy + dz * dz;
  };
  const double first = distance(0);
  double least0 = first, least1 = first, least2 = first, least3 = first;
  size_t k = 0;
#if defined(__SSE2__)
  const __m128d x = _mm_set1_pd(qx), y = _mm_set1_pd(qy), z = _mm_set1_pd(qz);
  __m128d low = _mm_set1_pd(first), high = low;
  for (; k + 4 <= count; k += 4) {
    for (size_t half = 0; half < 4; half += 2) {
      const __m128d dx = _mm_sub_pd(x, _mm_loadu_pd(ax + k + half)), dy = _mm_sub_pd(y, _mm_loadu_pd(ay + k + half)),
                    dz = _mm_sub_pd(z, _mm_loadu_pd(az + k + half));
      const __m128d d = _mm_add_pd(_mm_add_pd(_mm_mul_pd(dx, dx), _mm_mul_pd(dy, dy)), _mm_mul_pd(dz, dz));
      _mm_storeu_pd(dist + k + half, d);
      // _mm_min_pd(d, m) is d < m ? d : m in each lane, as lower is.
      if (half == 0)
        low = _mm_min_pd(d, low);
      else
        high = _mm_min_pd(d, high);
    }
  }
  double lanes[4];
  _mm_storeu_pd(lanes, low);
  _mm_storeu_pd(lanes + 2, high);
  least0 = lanes[0], least1 = lanes[1], least2 = lanes[2], least3 = lanes[3];
#endif
  for (; k < count; ++k) {
    dist[k] = distance(k);
    least0 = lower(dist[k], least0);
  }
  return lower(lower(least1, least0), lower(least3, least2));
}

Node* firstMeshChild(Node* transform) {
  for (Node* c : transform->children)
    if (!c->intermediate) return c->type == MFn::kMesh ? c : nullptr;
  return nullptr;
}

}  // namespace

// The distances to all influences are found first; the least is then found on four
// independent chains, not one long one, and the first influence at that distance wins.
int NearestInfluence::of(int v) const {
  const P3& p = bind->points[(size_t)v];
  const MMatrix& m = meshWorld;
  const double qx = p.x * m(0, 0) + p.y * m(1, 0) + p.z * m(2, 0) + m(3, 0);
  const double qy = p.x * m(0, 1) + p.y * m(1, 1) + p.z * m(2, 1) + m(3, 1);
  const double qz = p.x * m(0, 2) + p.y * m(1, 2) + p.z * m(2, 2) + m(3, 2);
  const size_t count = x.size();
  static thread_local std::vector<double> dist;
  dist.resize(count);
  const double nearest = nearestDistance(qx, qy, qz, x.data(), y.data(), z.data(), dist.data(), count);
  size_t best = 0;
  while (best < count && !(dist[best] == nearest)) ++best;
  return best < count ? (int)best : 0;
}

Node* buildSkinCluster(Node* mesh, const std::vector<Node*>& influences) {
  // Name pair skinClusterN / skinClusterNSet, both free.
  const unsigned long long n = firstFreeNumber("skinCluster pair", {"skinCluster"}, 1, [](unsigned long long i) {
    const std::string a = "skinCluster" + std::to_string(i);
    return nodesWithName(a).empty() && nodesWithName(a + "Set").empty();
  });
  const std::string name = "skinCluster" + std::to_string(n), setName = name + "Set";
  Node* sc = createNode("skinCluster", nullptr, name);
  Node* transform = mesh->parents.empty() ? nullptr : mesh->parents.front();
  PlugKey inMesh = key(mesh, "inMesh");
  PlugKey input0 = key(sc, "inputGeometry", -1, 0);
  Node* orig = nullptr;
  if (Connection* c = incoming(mesh, inMesh)) {
    Node* src = c->src;
    PlugKey sk = c->srcKey;
    removeConnection(c);
    connect(src, sk, sc, input0);
  } else {
    orig = createNode("mesh", transform && !transform->isWorld() ? transform : nullptr, mesh->name + "Orig");
    orig->intermediate = true;
    orig->geom = mesh->geom;  // a copy that is made only when one of them changes
    connect(orig, key(orig, "outMesh"), sc, input0);
  }
  connect(sc, key(sc, "outputGeometry", 0), mesh, inMesh);
  MMatrix meshWorld = mesh->alive && mesh->isDag() ? firstWorldMatrix(mesh) : MMatrix();
  // What each vertex's initial weight is found from, as it is now.
  auto nearest = std::make_shared<NearestInfluence>();
  nearest->meshWorld = meshWorld;
  nearest->x.reserve(influences.size());
  nearest->y.reserve(influences.size());
  nearest->z.reserve(influences.size());
  const Attr* matrix = sc->nt->find("matrix");
  const Attr* bindPreMatrix = sc->nt->find("bindPreMatrix");
  sc->in.reserve(sc->in.size() + influences.size());
  sc->inByPlug.reserveElements(matrix, influences.size());
  sc->data.reserveElements(bindPreMatrix, influences.size());
  for (size_t k = 0; k < influences.size(); ++k) {
    Node* inf = influences[k];
    connect(inf, key(inf, "worldMatrix", 0), sc, {matrix, -1, (int)k});
    const MMatrix& world = firstWorldMatrix(inf);
    // Stored values are never changed in place, so the clusters bound to an influence
    // while it stays where it is share one inverse of its world matrix.
    if (inf->worldInverse.isNull()) inf->worldInverse = newMatrixData(world.inverse());
    sc->data[{bindPreMatrix, -1, (int)k}] = inf->worldInverse;
    nearest->x.push_back(world(3, 0));
    nearest->y.push_back(world(3, 1));
    nearest->z.push_back(world(3, 2));
  }
  sc->data[key(sc, "geomMatrix")] = newMatrixData(meshWorld);

  Node* set = createNode("objectSet", nullptr, setName);
  // The bind-time points: the new orig shape's own, or whatever flows in from upstream.
  std::shared_ptr<const Geometry> bind = orig ? orig->geom : plugGeometryShared(sc, input0);
  size_t nv = bind ? bind->points.size() : 0;
  set->deformMembers[0].assign(nv, 1);
  connect(sc, key(sc, "message"), set, key(set, "usedBy", 0));

  // Initial weights: everything on the nearest influence. Each vertex's is found only when
  // its weights are first read or written in part, from the points and places kept here.
  nearest->bind = std::move(bind);
  sc->weights[0].startWithNearest(std::move(nearest));
  touch();
  return sc;
}

MStatus skinClusterCommand(const std::vector<std::string>& words, std::vector<std::string>& result) {
  for (size_t i = 1; i < words.size(); ++i)
    if (words[i][0] == '-') return fail("flags are not supported (" + words[i] + ").");
  if (words.size() < 3) return fail("expected one or more influences followed by a geometry.");
  std::vector<Node*> nodes;
  for (size_t i = 1; i < words.size(); ++i) {
    std::vector<Node*> found = nodesNamed(words[i]);
    if (found.empty()) return fail("no object matches name \"" + words[i] + "\".");
    if (found.size() > 1) return fail("more than one object matches name \"" + words[i] + "\".");
    nodes.push_back(found[0]);
  }
  Node* mesh = nodes.back();
  nodes.pop_back();
  if (mesh->hasFn(MFn::kTransform) && mesh->type != MFn::kJoint) mesh = firstMeshChild(mesh);
  if (!mesh || mesh->type != MFn::kMesh) return fail("\"" + words.back() + "\" is not a polygon mesh.");
  // A repeated influence is found by marking each one as it comes.
  const unsigned long long mark = nextWalkMark();
  for (size_t k = 0; k < nodes.size(); ++k) {
    if (!nodes[k]->hasFn(MFn::kTransform))
      return fail("influence \"" + words[k + 1] + "\" is not a joint or transform.");
    if (nodes[k]->walkMark == mark) return fail("influence \"" + words[k + 1] + "\" is listed twice.");
    nodes[k]->walkMark = mark;
  }
  if (Node* n = firstSkinClusterReaching(mesh))
    return fail("\"" + mesh->name + "\" is already bound to skin cluster \"" + n->name + "\".");
  Node* sc = buildSkinCluster(mesh, nodes);
  result.push_back(sc->name);
  return MStatus::kSuccess;
}

}  // namespace standin::core
