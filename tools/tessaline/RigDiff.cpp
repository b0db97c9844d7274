#include "RigDiff.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <set>
#include <unordered_map>

#include <nlohmann/json.hpp>

#include "CheckMatrix.h"
#include "Rig/RigReader.h"
#include "SceneReport.h"

namespace tessaline {

namespace {

using V3 = std::array<double, 3>;

// The rig file's matrices are for row vectors: a point p maps as p·M, the translation in
// row 3. Products and inverses do not depend on the convention, so the check's matrix
// serves; only applying one to a point is done here, the rig file's way.
using M4 = Mat4;

M4 FromRows(const std::array<double, 16>& values) {
    M4 r;
    for (int i = 0; i < 16; ++i) r.m[i / 4][i % 4] = values[size_t(i)];
    return r;
}

V3 RowOf(const M4& matrix, int i) { return {matrix.m[i][0], matrix.m[i][1], matrix.m[i][2]}; }

V3 Apply(const V3& p, const M4& t) {
    V3 r;
    for (int j = 0; j < 3; ++j) r[size_t(j)] = p[0] * t.m[0][j] + p[1] * t.m[1][j] + p[2] * t.m[2][j] + t.m[3][j];
    return r;
}

double Length(const V3& v) { return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]); }
double Distance(const V3& a, const V3& b) { return Length({a[0] - b[0], a[1] - b[1], a[2] - b[2]}); }
V3 Unit(const V3& v) {
    const double length = Length(v);
    return length > 0 ? V3{v[0] / length, v[1] / length, v[2] / length} : v;
}

// The turn of the test poses for row vectors: angle about the unit axis (1, 1, 1).
M4 TestTurn(double degrees) {
    const double angle = degrees * 3.14159265358979323846 / 180, c = std::cos(angle), s = std::sin(angle);
    const double u = 1 / std::sqrt(3.0);
    const double axis[3] = {u, u, u};
    M4 r;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            // Rodrigues' matrix for column vectors, transposed.
            double value = (1 - c) * axis[i] * axis[j] + (i == j ? c : 0);
            const int k = 3 - i - j;
            if (i != j) value += ((j == (i + 1) % 3) ? 1 : -1) * s * axis[k];
            r.m[i][j] = value;
        }
    return r;
}

// One rig's bones: bind matrices, parents among the bones, and a global id per name.
struct Skeleton {
    std::vector<std::string> names;
    std::vector<M4> inverseBind, world;
    std::vector<bool> invertible;
    std::vector<int> parent;            // -1 at the root or when the parent is no bone
    std::map<std::string, int> byName;  // the first bone of each name

    explicit Skeleton(const RigText& rig) {
        for (const RigTextBone& bone : rig.bones) {
            byName.emplace(bone.name, int(names.size()));
            names.push_back(bone.name);
            inverseBind.push_back(FromRows(bone.inverseBind));
            M4 w;
            invertible.push_back(inverseBind.back().Inverse(w));
            world.push_back(w);
        }
        for (const RigTextBone& bone : rig.bones) {
            const auto found = byName.find(bone.parent);
            parent.push_back(found == byName.end() ? -1 : found->second);
        }
    }

    // Each bone's deformation (bind world to posed world) when the bones marked turned are
    // turned about their own axes; moved marks the bones whose deformation is not the
    // identity.
    void Pose(const std::vector<bool>& turned, const M4& turn, std::vector<M4>& deform,
              std::vector<bool>& moved) const {
        const size_t n = names.size();
        deform.assign(n, M4());
        moved.assign(n, false);
        std::vector<int> state(n, 0);  // 0 not yet, 1 under way, 2 done
        std::vector<size_t> stack;
        for (size_t start = 0; start < n; ++start) {
            if (state[start] == 2) continue;
            stack.push_back(start);
            while (!stack.empty()) {
                const size_t j = stack.back();
                const int p = parent[j];
                // A parent under way closes a cycle: the bone is taken as a root.
                if (p >= 0 && state[size_t(p)] == 0) {
                    state[j] = 1;
                    stack.push_back(size_t(p));
                    continue;
                }
                stack.pop_back();
                if (state[j] == 2) continue;
                const bool rooted = p < 0 || state[size_t(p)] != 2;
                const M4 above = rooted ? M4() : deform[size_t(p)];
                const bool above_moved = !rooted && moved[size_t(p)];
                if (turned[j] && invertible[j]) {
                    deform[j] = inverseBind[j] * turn * world[j] * above;
                    moved[j] = true;
                } else {
                    deform[j] = above;
                    moved[j] = above_moved;
                }
                state[j] = 2;
            }
        }
    }
};

// Per vertex, weight by bone name; a bone outside the list is "?".
std::vector<std::map<std::string, double>> Weights(const RigTextMesh& mesh, const RigText& rig) {
    std::vector<std::map<std::string, double>> out(mesh.vertices.size());
    size_t next = 0;
    for (size_t v = 0; v < mesh.weightCounts.size() && v < out.size(); ++v)
        for (unsigned long k = 0; k < mesh.weightCounts[v] && next < mesh.weights.size(); ++k, ++next) {
            const auto& [bone, weight] = mesh.weights[next];
            out[v][bone < rig.bones.size() ? rig.bones[bone].name : "?"] += weight;
        }
    return out;
}

// Vertex pairs of two meshes: in order, or by position when that matches more.
struct VertexMatch {
    std::vector<long> toB;  // per A vertex, the B vertex or -1
    long matchedB = 0;
    bool byPosition = false;
};

VertexMatch MatchVertices(const RigTextMesh& a, const RigTextMesh& b, double tolerance) {
    VertexMatch inOrder;
    const size_t common = std::min(a.vertices.size(), b.vertices.size());
    inOrder.toB.assign(a.vertices.size(), -1);
    long close = 0;
    for (size_t i = 0; i < common; ++i) {
        inOrder.toB[i] = long(i);
        if (Distance(a.vertices[i], b.vertices[i]) <= tolerance) ++close;
    }
    inOrder.matchedB = long(common);
    if (close == long(a.vertices.size()) && close == long(b.vertices.size())) return inOrder;

    // B's vertices in cells of the tolerance's size; each A vertex takes the nearest free
    // one within the tolerance, its own index first when that is as near.
    const double cell = std::max(tolerance, 1e-12);
    auto key = [&](const V3& p) {
        return std::array<long long, 3>{(long long)std::floor(p[0] / cell), (long long)std::floor(p[1] / cell),
                                        (long long)std::floor(p[2] / cell)};
    };
    std::map<std::array<long long, 3>, std::vector<size_t>> cells;
    for (size_t j = 0; j < b.vertices.size(); ++j) cells[key(b.vertices[j])].push_back(j);
    VertexMatch byPosition;
    byPosition.byPosition = true;
    byPosition.toB.assign(a.vertices.size(), -1);
    std::vector<bool> taken(b.vertices.size(), false);
    long matched = 0;
    for (size_t i = 0; i < a.vertices.size(); ++i) {
        const auto k = key(a.vertices[i]);
        long best = -1;
        double bestDistance = tolerance;
        for (long long dx = -1; dx <= 1; ++dx)
            for (long long dy = -1; dy <= 1; ++dy)
                for (long long dz = -1; dz <= 1; ++dz) {
                    const auto found = cells.find({k[0] + dx, k[1] + dy, k[2] + dz});
                    if (found == cells.end()) continue;
                    for (size_t j : found->second) {
                        if (taken[j]) continue;
                        const double d = Distance(a.vertices[i], b.vertices[j]);
                        if (d < bestDistance || (d <= bestDistance && (best < 0 || j == i))) {
                            best = long(j);
                            bestDistance = d;
                        }
                    }
                }
        if (best >= 0) {
            taken[size_t(best)] = true;
            byPosition.toB[i] = best;
            ++matched;
        }
    }
    byPosition.matchedB = matched;
    return matched > close ? byPosition : inOrder;
}

// Values keep four decimals in the file: a change within their rounding on both sides is
// none (the same allowance as roundtrip's).
constexpr double kRounding = 0.00015;

void Keep(LargestChange& largest, double change, const std::function<void(LargestChange&)>& where) {
    if (!(change > largest.change) || change <= kRounding) return;
    largest.change = change;
    where(largest);
}

// Polygons as their vertices' B indices, turned to start at the smallest, so that a
// polygon written from another corner still matches.
struct PolygonKey {
    std::vector<long> corners;
    size_t start = 0;  // the corner the key starts at
};

bool KeyOf(const RigTextMesh& mesh, size_t first, size_t count, const std::vector<long>* toB, PolygonKey& key) {
    key.corners.clear();
    std::vector<long> indices;
    for (size_t c = 0; c < count; ++c) {
        const long v = long(mesh.vertexIndices[first + c]);
        const long mapped = toB ? (*toB)[size_t(v)] : v;
        if (mapped < 0) return false;
        indices.push_back(mapped);
    }
    key.start = size_t(std::min_element(indices.begin(), indices.end()) - indices.begin());
    for (size_t c = 0; c < count; ++c) key.corners.push_back(indices[(key.start + c) % count]);
    return true;
}

struct SkinVertex {
    std::vector<std::pair<int, double>> a, b;  // (bone in its rig, weight divided by the sum)
};

class Differ {
public:
    Differ(const RigText& a, const RigText& b, const DiffOptions& options)
        : m_a(a), m_b(b), m_options(options), m_skeletonA(a), m_skeletonB(b) {}

    RigDiff Run() {
        m_diff.angleDegrees = m_options.angleDegrees;
        m_diff.size = Size(m_a, m_skeletonA);
        if (!(m_diff.size > 0)) m_diff.size = Size(m_b, m_skeletonB);
        if (!(m_diff.size > 0)) m_diff.size = 1;
        m_diff.lengthTolerance = m_options.absolute ? m_options.tolerance : m_options.tolerance * m_diff.size;
        m_diff.valueTolerance = m_options.tolerance;
        CompareBones();
        CompareMeshes();
        ComparePoses();
        Judge();
        return m_diff;
    }

private:
    static double Size(const RigText& rig, const Skeleton& skeleton) {
        V3 low{HUGE_VAL, HUGE_VAL, HUGE_VAL}, high{-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
        auto add = [&](const V3& p) {
            for (size_t i = 0; i < 3; ++i) {
                low[i] = std::min(low[i], p[i]);
                high[i] = std::max(high[i], p[i]);
            }
        };
        for (const RigTextMesh& mesh : rig.meshes)
            for (const V3& p : mesh.vertices) add(p);
        for (size_t j = 0; j < skeleton.world.size(); ++j)
            if (skeleton.invertible[j]) add(RowOf(skeleton.world[j], 3));
        return low[0] <= high[0] ? Distance(low, high) : 0;
    }

    void CompareBones() {
        m_diff.bonesA = long(m_a.bones.size());
        m_diff.bonesB = long(m_b.bones.size());
        for (size_t i = 0; i < m_a.bones.size(); ++i) {
            const RigTextBone& bone = m_a.bones[i];
            if (m_skeletonA.byName.at(bone.name) != int(i)) continue;  // a later bone of a name already seen
            const auto found = m_skeletonB.byName.find(bone.name);
            if (found == m_skeletonB.byName.end()) {
                m_diff.bonesRemoved.push_back(bone.name);
                continue;
            }
            const size_t j = size_t(found->second);
            // Parents are compared among the bones: a parent that is no bone (a group the
            // skeleton stood in) is not carried by every format, and moves no vertex.
            const std::string parentA = m_skeletonA.byName.count(bone.parent) ? bone.parent : "";
            const std::string parentB = m_skeletonB.byName.count(m_b.bones[j].parent) ? m_b.bones[j].parent : "";
            if (parentA != parentB) m_diff.reparented.push_back({bone.name, parentA, parentB});
            if (!m_skeletonA.invertible[i] || !m_skeletonB.invertible[j]) continue;
            const M4 &wa = m_skeletonA.world[i], &wb = m_skeletonB.world[j];
            Keep(m_diff.head, Distance(RowOf(wa, 3), RowOf(wb, 3)), [&](LargestChange& c) { c.bone = bone.name; });
            for (int axis = 0; axis < 3; ++axis)
                Keep(m_diff.axes, Distance(Unit(RowOf(wa, axis)), Unit(RowOf(wb, axis))),
                     [&](LargestChange& c) { c.bone = bone.name; });
        }
        for (size_t j = 0; j < m_b.bones.size(); ++j)
            if (m_skeletonB.byName.at(m_b.bones[j].name) == int(j) && !m_skeletonA.byName.count(m_b.bones[j].name))
                m_diff.bonesAdded.push_back(m_b.bones[j].name);
    }

    // Meshes by name, the n-th of a name with the n-th; then a mesh left on each side with
    // the same positions is one renamed.
    void CompareMeshes() {
        m_diff.meshesA = long(m_a.meshes.size());
        m_diff.meshesB = long(m_b.meshes.size());
        std::map<std::string, std::vector<size_t>> inB;
        for (size_t j = 0; j < m_b.meshes.size(); ++j) inB[m_b.meshes[j].name].push_back(j);
        std::map<std::string, size_t> used;
        std::vector<bool> takenB(m_b.meshes.size(), false);
        std::vector<size_t> leftA;
        for (size_t i = 0; i < m_a.meshes.size(); ++i) {
            const std::vector<size_t>& candidates = inB[m_a.meshes[i].name];
            size_t& next = used[m_a.meshes[i].name];
            if (next < candidates.size()) {
                takenB[candidates[next]] = true;
                m_pairs.emplace_back(i, candidates[next++]);
            } else {
                leftA.push_back(i);
            }
        }
        for (size_t i : leftA) {
            bool renamed = false;
            for (size_t j = 0; j < m_b.meshes.size() && !renamed; ++j) {
                if (takenB[j] || m_a.meshes[i].vertices.size() != m_b.meshes[j].vertices.size()) continue;
                const VertexMatch match = MatchVertices(m_a.meshes[i], m_b.meshes[j], m_diff.lengthTolerance);
                if (match.matchedB != long(m_b.meshes[j].vertices.size())) continue;
                bool same = true;
                for (size_t v = 0; v < match.toB.size() && same; ++v)
                    same = match.toB[v] >= 0 &&
                           Distance(m_a.meshes[i].vertices[v], m_b.meshes[j].vertices[size_t(match.toB[v])]) <=
                               m_diff.lengthTolerance;
                if (!same) continue;
                takenB[j] = renamed = true;
                m_pairs.emplace_back(i, j);
            }
            if (!renamed) m_diff.meshesRemoved.push_back(m_a.meshes[i].name);
        }
        std::sort(m_pairs.begin(), m_pairs.end());
        for (size_t j = 0; j < m_b.meshes.size(); ++j)
            if (!takenB[j]) m_diff.meshesAdded.push_back(m_b.meshes[j].name);
        for (const auto& [i, j] : m_pairs) CompareMesh(m_a.meshes[i], m_b.meshes[j]);
    }

    void CompareMesh(const RigTextMesh& a, const RigTextMesh& b) {
        MeshDiff mesh;
        mesh.name = a.name;
        mesh.nameB = b.name;
        mesh.verticesA = long(a.vertices.size());
        mesh.verticesB = long(b.vertices.size());
        mesh.polygonsA = long(a.counts.size());
        mesh.polygonsB = long(b.counts.size());
        mesh.uvSetsA = long(a.uvSets.size());
        mesh.uvSetsB = long(b.uvSets.size());
        const VertexMatch match = MatchVertices(a, b, m_diff.lengthTolerance);
        mesh.byPosition = match.byPosition;
        long matched = 0;
        for (long j : match.toB) matched += j >= 0;
        mesh.verticesRemoved = mesh.verticesA - matched;
        mesh.verticesAdded = mesh.verticesB - matched;
        auto at = [&](long vertex, long vertexB) {
            return [&, vertex, vertexB](LargestChange& c) {
                c.mesh = a.name;
                c.vertex = vertex;
                c.vertexB = vertexB == vertex ? -1 : vertexB;
            };
        };

        const auto weightsA = Weights(a, m_a), weightsB = Weights(b, m_b);
        for (size_t v = 0; v < match.toB.size(); ++v) {
            const long w = match.toB[v];
            if (w < 0) continue;
            Keep(mesh.position, Distance(a.vertices[v], b.vertices[size_t(w)]), at(long(v), w));
            // Signed changes by bone; the largest (a loss before a gain of the same size),
            // and the largest of the other sign.
            std::map<std::string, double> deltas;
            for (const auto& [bone, weight] : weightsA[v]) deltas[bone] -= weight;
            for (const auto& [bone, weight] : weightsB[size_t(w)]) deltas[bone] += weight;
            const std::pair<const std::string, double>* most = nullptr;
            for (const auto& entry : deltas)
                if (!most || std::fabs(entry.second) > std::fabs(most->second) ||
                    (std::fabs(entry.second) == std::fabs(most->second) && entry.second < most->second))
                    most = &entry;
            if (most) {
                const std::pair<const std::string, double>* other = nullptr;
                for (const auto& entry : deltas)
                    if (entry.second * most->second < 0 &&
                        (!other || std::fabs(entry.second) > std::fabs(other->second)))
                        other = &entry;
                Keep(mesh.weight, std::fabs(most->second), [&](LargestChange& c) {
                    at(long(v), w)(c);
                    c.bone = most->first;
                    c.delta = most->second;
                    c.otherBone = other ? other->first : "";
                    c.otherDelta = other ? other->second : 0;
                });
            }
            m_skin.push_back({&a, &b, size_t(v), size_t(w)});
        }

        // Polygons by their vertices; corners of matched polygons by their place.
        std::vector<size_t> firstB(b.counts.size());
        std::map<std::vector<long>, std::vector<std::pair<size_t, size_t>>> polygonsB;  // key -> (polygon, start)
        PolygonKey key;
        for (size_t p = 0, corner = 0; p < b.counts.size(); corner += b.counts[p++]) {
            firstB[p] = corner;
            if (KeyOf(b, corner, b.counts[p], nullptr, key)) polygonsB[key.corners].emplace_back(p, key.start);
        }
        long polygonsMatched = 0;
        for (size_t p = 0, corner = 0; p < a.counts.size(); corner += a.counts[p++]) {
            if (!KeyOf(a, corner, a.counts[p], &match.toB, key)) continue;
            auto found = polygonsB.find(key.corners);
            if (found == polygonsB.end() || found->second.empty()) continue;
            const auto [q, startB] = found->second.front();
            found->second.erase(found->second.begin());
            ++polygonsMatched;
            const size_t count = a.counts[p];
            for (size_t c = 0; c < count; ++c) {
                const size_t ca = corner + c, cb = firstB[q] + (c + count - key.start + startB) % count;
                const long vertex = long(a.vertexIndices[ca]), vertexB = long(b.vertexIndices[cb]);
                if (ca < a.normalIndices.size() && cb < b.normalIndices.size())
                    Keep(mesh.normal, Distance(a.normals[a.normalIndices[ca]], b.normals[b.normalIndices[cb]]),
                         at(vertex, vertexB));
                for (size_t s = 0; s < a.uvIndices.size() && s < b.uvIndices.size(); ++s) {
                    if (ca >= a.uvIndices[s].size() || cb >= b.uvIndices[s].size()) continue;
                    const auto &ua = a.uvSets[s][a.uvIndices[s][ca]], &ub = b.uvSets[s][b.uvIndices[s][cb]];
                    Keep(mesh.uv, std::hypot(ua[0] - ub[0], ua[1] - ub[1]), [&](LargestChange& c) {
                        at(vertex, vertexB)(c);
                        c.uvSet = int(s);
                    });
                }
            }
        }
        mesh.polygonsRemoved = mesh.polygonsA - polygonsMatched;
        mesh.polygonsAdded = mesh.polygonsB - polygonsMatched;
        m_diff.meshes.push_back(mesh);
    }

    // Both rigs posed alike, one bone turned at a time and then all of them; only the
    // vertices that a turned bone moves (on either side) are compared, since the others
    // stand where they were bound and their change is the position's.
    void ComparePoses() {
        std::map<std::string, int> ids;
        std::vector<std::string> names;
        auto id = [&](const std::string& name) {
            const auto inserted = ids.emplace(name, int(names.size()));
            if (inserted.second) names.push_back(name);
            return inserted.first->second;
        };
        for (const std::string& name : m_skeletonA.names) id(name);
        for (const std::string& name : m_skeletonB.names) id(name);
        std::vector<int> localA(names.size(), -1), localB(names.size(), -1);
        for (const auto& [name, local] : m_skeletonA.byName) localA[size_t(ids[name])] = local;
        for (const auto& [name, local] : m_skeletonB.byName) localB[size_t(ids[name])] = local;

        // Each compared vertex's weights on each side, by bone.
        std::map<const RigTextMesh*, std::vector<std::map<std::string, double>>> weights;
        std::vector<SkinVertex> skin(m_skin.size());
        for (size_t k = 0; k < m_skin.size(); ++k) {
            const SkinEntry& entry = m_skin[k];
            auto& wa = weights[entry.a];
            if (wa.empty()) wa = Weights(*entry.a, m_a);
            auto& wb = weights[entry.b];
            if (wb.empty()) wb = Weights(*entry.b, m_b);
            auto fill = [&](const std::map<std::string, double>& from, const Skeleton& skeleton,
                            std::vector<std::pair<int, double>>& to) {
                double sum = 0;
                for (const auto& [bone, weight] : from) {
                    const auto found = skeleton.byName.find(bone);
                    if (found == skeleton.byName.end()) continue;
                    to.emplace_back(found->second, weight);
                    sum += weight;
                }
                if (sum != 0)
                    for (auto& pair : to) pair.second /= sum;
            };
            fill(wa[entry.vertexA], m_skeletonA, skin[k].a);
            fill(wb[entry.vertexB], m_skeletonB, skin[k].b);
        }

        const M4 turn = TestTurn(m_options.angleDegrees);
        std::vector<M4> deformA, deformB;
        std::vector<bool> movedA, movedB, turnedA, turnedB;
        auto pose = [&](int only) {  // only: the global id turned, -1 for all
            turnedA.assign(m_skeletonA.names.size(), only < 0);
            turnedB.assign(m_skeletonB.names.size(), only < 0);
            if (only >= 0) {
                if (localA[size_t(only)] >= 0) turnedA[size_t(localA[size_t(only)])] = true;
                if (localB[size_t(only)] >= 0) turnedB[size_t(localB[size_t(only)])] = true;
            }
            m_skeletonA.Pose(turnedA, turn, deformA, movedA);
            m_skeletonB.Pose(turnedB, turn, deformB, movedB);
        };
        auto posed = [&](const V3& p, const std::vector<std::pair<int, double>>& bones, const std::vector<M4>& deform) {
            if (bones.empty()) return p;
            V3 sum{0, 0, 0};
            for (const auto& [bone, weight] : bones) {
                const V3 q = Apply(p, deform[size_t(bone)]);
                for (size_t i = 0; i < 3; ++i) sum[i] += weight * q[i];
            }
            return sum;
        };
        auto change = [&](size_t k) {
            const SkinEntry& entry = m_skin[k];
            return Distance(posed(entry.a->vertices[entry.vertexA], skin[k].a, deformA),
                            posed(entry.b->vertices[entry.vertexB], skin[k].b, deformB));
        };
        auto moves = [&](size_t k) {
            for (const auto& pair : skin[k].a)
                if (movedA[size_t(pair.first)]) return true;
            for (const auto& pair : skin[k].b)
                if (movedB[size_t(pair.first)]) return true;
            return false;
        };
        // The vertices each bone weighs on, per side, so that a pose visits only the
        // vertices its moved bones carry.
        std::vector<std::vector<size_t>> carriedA(m_skeletonA.names.size()), carriedB(m_skeletonB.names.size());
        for (size_t k = 0; k < m_skin.size(); ++k) {
            for (const auto& pair : skin[k].a) carriedA[size_t(pair.first)].push_back(k);
            for (const auto& pair : skin[k].b) carriedB[size_t(pair.first)].push_back(k);
        }
        std::vector<int> visited(m_skin.size(), -2);
        std::vector<size_t> visit;
        size_t worst = m_skin.size();
        for (int only = -1; only < int(names.size()); ++only) {
            if (names.empty()) break;
            pose(only);
            visit.clear();
            auto collect = [&](const std::vector<bool>& moved, const std::vector<std::vector<size_t>>& carried) {
                for (size_t bone = 0; bone < moved.size(); ++bone)
                    if (moved[bone])
                        for (size_t k : carried[bone])
                            if (visited[k] != only) {
                                visited[k] = only;
                                visit.push_back(k);
                            }
            };
            collect(movedA, carriedA);
            collect(movedB, carriedB);
            std::sort(visit.begin(), visit.end());  // the first of equal changes, as in a full pass
            for (size_t k : visit) {
                Keep(m_diff.skinned, change(k), [&](LargestChange& c) {
                    const SkinEntry& entry = m_skin[k];
                    c.mesh = entry.a->name;
                    c.vertex = long(entry.vertexA);
                    c.vertexB = entry.vertexB == entry.vertexA ? -1 : long(entry.vertexB);
                    c.pose = only < 0 ? "all" : names[size_t(only)];
                    c.bone = c.pose;
                    worst = k;
                });
            }
        }
        // Under the pose of all bones, the bone to blame is the one whose own turn moves
        // that vertex apart the most.
        if (m_diff.skinned.pose == "all" && worst < m_skin.size()) {
            double most = -1;
            for (int only = 0; only < int(names.size()); ++only) {
                pose(only);
                if (!moves(worst)) continue;
                const double d = change(worst);
                if (d > most) {
                    most = d;
                    m_diff.skinned.bone = names[size_t(only)];
                }
            }
        }
    }

    void Judge() {
        auto say = [&](const std::string& text) { m_diff.over.push_back(text); };
        auto list = [&](const std::vector<std::string>& names, const char* what) {
            if (!names.empty()) say(std::to_string(names.size()) + " " + what);
        };
        list(m_diff.bonesAdded, "bones added");
        list(m_diff.bonesRemoved, "bones removed");
        if (!m_diff.reparented.empty()) say(std::to_string(m_diff.reparented.size()) + " bones re-parented");
        if (m_diff.head.change > m_diff.lengthTolerance) say("bind head of bone \"" + m_diff.head.bone + "\" moved");
        if (m_diff.axes.change > m_diff.valueTolerance) say("bind axes of bone \"" + m_diff.axes.bone + "\" turned");
        list(m_diff.meshesAdded, "meshes added");
        list(m_diff.meshesRemoved, "meshes removed");
        for (const MeshDiff& mesh : m_diff.meshes) {
            const std::string name = "mesh \"" + mesh.name + "\"";
            if (mesh.name != mesh.nameB) say(name + " renamed \"" + mesh.nameB + "\"");
            if (mesh.verticesAdded || mesh.verticesRemoved) say(name + ": vertices added or removed");
            if (mesh.polygonsAdded || mesh.polygonsRemoved) say(name + ": polygons added or removed");
            if (mesh.uvSetsA != mesh.uvSetsB) say(name + ": UV sets added or removed");
            if (mesh.position.change > m_diff.lengthTolerance) say(name + ": positions");
            if (mesh.normal.change > m_diff.valueTolerance) say(name + ": normals");
            if (mesh.uv.change > m_diff.valueTolerance) say(name + ": UVs");
            if (mesh.weight.change > m_diff.valueTolerance) say(name + ": weights");
        }
        if (m_diff.skinned.change > m_diff.lengthTolerance) say("skinned positions");
    }

    struct SkinEntry {
        const RigTextMesh *a, *b;
        size_t vertexA, vertexB;
    };

    const RigText &m_a, &m_b;
    DiffOptions m_options;
    Skeleton m_skeletonA, m_skeletonB;
    std::vector<std::pair<size_t, size_t>> m_pairs;
    std::vector<SkinEntry> m_skin;
    RigDiff m_diff;
};

std::string Number(double value) {
    char text[32];
    snprintf(text, sizeof text, "%.6g", value);
    return text;
}

std::string Quoted(const std::string& name) { return "\"" + name + "\""; }

std::string Names(const std::vector<std::string>& names) {
    if (names.empty()) return "none";
    std::string out;
    for (size_t i = 0; i < names.size(); ++i) out += (i ? ", " : "") + Quoted(names[i]);
    return out;
}

std::string Where(const LargestChange& c) {
    std::string out;
    if (c.vertex >= 0) out += "vertex " + std::to_string(c.vertex);
    if (c.vertexB >= 0) out += " (" + std::to_string(c.vertexB) + " in B)";
    if (c.uvSet >= 0) out += ", UV set " + std::to_string(c.uvSet);
    if (!c.bone.empty() && c.pose.empty()) out += (out.empty() ? "bone " : ", bone ") + Quoted(c.bone);
    if (c.delta != 0) out += " " + std::string(c.delta > 0 ? "+" : "") + Number(c.delta);
    if (!c.otherBone.empty())
        out += ", bone " + Quoted(c.otherBone) + " " + (c.otherDelta > 0 ? "+" : "") + Number(c.otherDelta);
    return out;
}

std::string Row(const char* what, const LargestChange& c, double tolerance) {
    char text[64];
    snprintf(text, sizeof text, "  %-28s %12s", what, Number(c.change).c_str());
    std::string out = text;
    if (c.change > 0) out += "  " + Where(c);
    if (c.change > tolerance) out += "  OVER";
    return out + "\n";
}

// Six significant digits, as the text report gives them: the files keep four decimals, and
// the reader's single precision would add digits that mean nothing.
double Rounded(double value) { return std::strtod(Number(value).c_str(), nullptr); }

nlohmann::ordered_json Json(const LargestChange& c, bool withMesh) {
    nlohmann::ordered_json out;
    out["change"] = Rounded(c.change);
    if (withMesh) out["mesh"] = c.mesh.empty() ? nullptr : nlohmann::ordered_json(EscapeInvalidUtf8(c.mesh));
    if (c.vertex >= 0 || withMesh) out["vertex"] = c.vertex >= 0 ? nlohmann::ordered_json(c.vertex) : nullptr;
    if (c.vertexB >= 0) out["vertexB"] = c.vertexB;
    if (c.uvSet >= 0) out["uvSet"] = c.uvSet;
    if (!c.pose.empty()) out["pose"] = EscapeInvalidUtf8(c.pose);
    out["bone"] = c.bone.empty() ? nullptr : nlohmann::ordered_json(EscapeInvalidUtf8(c.bone));
    if (c.delta != 0) {
        out["delta"] = Rounded(c.delta);
        out["otherBone"] = c.otherBone.empty() ? nullptr : nlohmann::ordered_json(EscapeInvalidUtf8(c.otherBone));
        if (!c.otherBone.empty()) out["otherDelta"] = Rounded(c.otherDelta);
    }
    return out;
}

nlohmann::ordered_json JsonNames(const std::vector<std::string>& names) {
    nlohmann::ordered_json out = nlohmann::ordered_json::array();
    for (const std::string& name : names) out.push_back(EscapeInvalidUtf8(name));
    return out;
}

}  // namespace

bool ReadRigForDiff(const std::string& text, RigText& rig, std::string& error) {
    brix::UArray<BoneData> bones;
    brix::UArray<MeshData> meshes;
    if (text.size() > size_t(INT32_MAX)) return error = "it is larger than the rig reader takes (2 GiB).", false;
    // Every byte, a NUL included: the reader refuses one rather than the text ending there.
    brix::UString subject(reinterpret_cast<const unsigned char*>(text.data()), int32_t(text.size()));
    brix::UTextParser parser(subject);
    rig::RigReadReport report;
    if (!rig::ReadRigFile(parser, bones, meshes, report)) {
        error = "the rig reader refused it";
        if (report.damage.offset >= 0)
            error +=
                " at byte " + std::to_string(report.damage.offset) + ", line " + std::to_string(report.damage.line);
        error += std::string(": ") + rig::DamageRuleText(report.damage.rule) + ".";
        return false;
    }
    auto key = [](const brix::UString& name) { return std::string(name.c_str(), size_t(name.Length())); };
    for (const BoneData& bone : bones) {
        RigTextBone out;
        out.name = key(bone.name);
        out.parent = key(bone.parent);
        for (int i = 0; i < 16; ++i) out.inverseBind[size_t(i)] = bone.invBaseMatrix[i / 4][i % 4];
        rig.bones.push_back(out);
    }
    for (const MeshData& mesh : meshes) {
        RigTextMesh out;
        out.name = key(mesh.name);
        for (const auto& v : mesh.vertices) out.vertices.push_back({v.x, v.y, v.z});
        for (const auto& n : mesh.normals) out.normals.push_back({n.x, n.y, n.z});
        for (const auto& set : mesh.textureCoordinates) {
            out.uvSets.emplace_back();
            for (const auto& uv : set) out.uvSets.back().push_back({uv.x, uv.y});
        }
        for (uint32_t c : mesh.polygonVertexCounts) out.counts.push_back(c);
        for (uint32_t i : mesh.polygonVertexIndices) out.vertexIndices.push_back(i);
        for (uint32_t i : mesh.polygonNormalIndices) out.normalIndices.push_back(i);
        for (const auto& set : mesh.polygonTexCoordIndices) {
            out.uvIndices.emplace_back();
            for (uint32_t i : set) out.uvIndices.back().push_back(i);
        }
        for (uint32_t c : mesh.vertexWeightCounts) out.weightCounts.push_back(c);
        for (const auto& w : mesh.weights) out.weights.emplace_back(w.boneIndex, w.weight);
        // The comparison walks these lists by each other's indices: they must fit.
        unsigned long corners = 0;
        for (unsigned long c : out.counts) corners += c;
        auto within = [](const std::vector<unsigned long>& indices, size_t size) {
            for (unsigned long i : indices)
                if (i >= size) return false;
            return true;
        };
        bool fits = out.vertexIndices.size() == corners && within(out.vertexIndices, out.vertices.size()) &&
                    (out.normalIndices.empty() ||
                     (out.normalIndices.size() == corners && within(out.normalIndices, out.normals.size()))) &&
                    out.uvIndices.size() <= out.uvSets.size();
        for (size_t s = 0; fits && s < out.uvIndices.size(); ++s)
            fits = out.uvIndices[s].empty() ||
                   (out.uvIndices[s].size() == corners && within(out.uvIndices[s], out.uvSets[s].size()));
        if (!fits) {
            error = "mesh \"" + out.name + "\": its index lists do not fit its polygons";
            return false;
        }
        rig.meshes.push_back(std::move(out));
    }
    return true;
}

RigDiff DiffRigs(const RigText& a, const RigText& b, const DiffOptions& options) { return Differ(a, b, options).Run(); }

std::string FormatDiffText(const RigDiff& diff, const std::string& nameA, const std::string& nameB) {
    const double length = diff.lengthTolerance, value = diff.valueTolerance;
    std::string out = "A: " + nameA + "\nB: " + nameB + "\n";
    out += "rig size " + Number(diff.size) + "; tolerance " + Number(length) + " for lengths, " + Number(value) +
           " for directions, UVs and weights\n\n";
    out += "bones: " + std::to_string(diff.bonesA) + " in A, " + std::to_string(diff.bonesB) + " in B\n";
    out += "  added: " + Names(diff.bonesAdded) + "\n  removed: " + Names(diff.bonesRemoved) + "\n  re-parented: ";
    if (diff.reparented.empty()) out += "none";
    for (size_t i = 0; i < diff.reparented.size(); ++i)
        out += (i ? ", " : "") + Quoted(diff.reparented[i].bone) + " from " + Quoted(diff.reparented[i].from) + " to " +
               Quoted(diff.reparented[i].to);
    out +=
        "\n" + Row("largest bind head change", diff.head, length) + Row("largest bind axis change", diff.axes, value);
    out += "\nmeshes: " + std::to_string(diff.meshesA) + " in A, " + std::to_string(diff.meshesB) + " in B\n";
    out += "  added: " + Names(diff.meshesAdded) + "\n  removed: " + Names(diff.meshesRemoved) + "\n";
    for (const MeshDiff& mesh : diff.meshes) {
        out += "mesh " + Quoted(mesh.name) + (mesh.name != mesh.nameB ? " renamed " + Quoted(mesh.nameB) : "") + "\n";
        out += "  vertices " + std::to_string(mesh.verticesA) + " -> " + std::to_string(mesh.verticesB) + " (matched " +
               (mesh.byPosition ? "by position" : "in order") + "): " + std::to_string(mesh.verticesAdded) +
               " added, " + std::to_string(mesh.verticesRemoved) + " removed\n";
        out += "  polygons " + std::to_string(mesh.polygonsA) + " -> " + std::to_string(mesh.polygonsB) + ": " +
               std::to_string(mesh.polygonsAdded) + " added, " + std::to_string(mesh.polygonsRemoved) + " removed\n";
        if (mesh.uvSetsA != mesh.uvSetsB)
            out += "  UV sets " + std::to_string(mesh.uvSetsA) + " -> " + std::to_string(mesh.uvSetsB) + "\n";
        out += Row("largest position change", mesh.position, length) +
               Row("largest normal change", mesh.normal, value) + Row("largest UV change", mesh.uv, value) +
               Row("largest weight change", mesh.weight, value);
    }
    out += "\nskinned positions, each bone turned " + Number(diff.angleDegrees) +
           " degrees about its (1, 1, 1) axis, one at a time and all together:\n";
    std::string where = Row("largest change", diff.skinned, length);
    if (diff.skinned.change > 0) {
        const std::string pose =
            diff.skinned.pose == "all" ? "all bones turned" : "bone " + Quoted(diff.skinned.pose) + " turned";
        const size_t end = where.find('\n');
        const size_t over = where.find("  OVER");
        const std::string head = where.substr(0, over == std::string::npos ? end : over);
        where = head + " of mesh " + Quoted(diff.skinned.mesh) + ", " + pose +
                (diff.skinned.pose == "all" ? ", most from bone " + Quoted(diff.skinned.bone) : "") +
                (over == std::string::npos ? "" : "  OVER") + "\n";
    }
    out += where + "\n";
    if (diff.Same()) return out + "same within the tolerance\n";
    out += "different: ";
    for (size_t i = 0; i < diff.over.size(); ++i) out += (i ? "; " : "") + diff.over[i];
    return out + "\n";
}

std::string FormatDiffJson(const RigDiff& diff, const std::string& nameA, const std::string& nameB) {
    using json = nlohmann::ordered_json;
    json out;
    out["a"] = EscapeInvalidUtf8(nameA);
    out["b"] = EscapeInvalidUtf8(nameB);
    out["same"] = diff.Same();
    out["size"] = Rounded(diff.size);
    out["tolerance"] = {{"length", Rounded(diff.lengthTolerance)}, {"value", Rounded(diff.valueTolerance)}};
    json reparented = json::array();
    for (const Reparenting& r : diff.reparented)
        reparented.push_back({{"bone", EscapeInvalidUtf8(r.bone)},
                              {"from", EscapeInvalidUtf8(r.from)},
                              {"to", EscapeInvalidUtf8(r.to)}});
    out["bones"] = {{"a", diff.bonesA},
                    {"b", diff.bonesB},
                    {"added", JsonNames(diff.bonesAdded)},
                    {"removed", JsonNames(diff.bonesRemoved)},
                    {"reparented", reparented},
                    {"head", Json(diff.head, false)},
                    {"axes", Json(diff.axes, false)}};
    json meshes = json::array();
    for (const MeshDiff& mesh : diff.meshes) {
        json m;
        m["name"] = EscapeInvalidUtf8(mesh.name);
        m["nameB"] = EscapeInvalidUtf8(mesh.nameB);
        m["vertices"] = {{"a", mesh.verticesA},
                         {"b", mesh.verticesB},
                         {"added", mesh.verticesAdded},
                         {"removed", mesh.verticesRemoved},
                         {"matchedBy", mesh.byPosition ? "position" : "order"}};
        m["polygons"] = {{"a", mesh.polygonsA},
                         {"b", mesh.polygonsB},
                         {"added", mesh.polygonsAdded},
                         {"removed", mesh.polygonsRemoved}};
        m["uvSets"] = {{"a", mesh.uvSetsA}, {"b", mesh.uvSetsB}};
        m["position"] = Json(mesh.position, false);
        m["normal"] = Json(mesh.normal, false);
        m["uv"] = Json(mesh.uv, false);
        m["weight"] = Json(mesh.weight, false);
        for (const char* key : {"position", "normal", "uv"}) m[key].erase("bone");
        meshes.push_back(m);
    }
    out["meshes"] = {{"a", diff.meshesA},
                     {"b", diff.meshesB},
                     {"added", JsonNames(diff.meshesAdded)},
                     {"removed", JsonNames(diff.meshesRemoved)},
                     {"matched", meshes}};
    json skinned = Json(diff.skinned, true);
    skinned["angle"] = diff.angleDegrees;
    out["skinned"] = skinned;
    json over = json::array();
    for (const std::string& text : diff.over) over.push_back(EscapeInvalidUtf8(text));
    out["over"] = over;
    return out.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

}  // namespace tessaline
