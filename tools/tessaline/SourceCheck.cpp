#include "SourceCheck.h"

#include <assimp/cimport.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <unordered_map>

#include "CheckBindPoses.h"
#include "CheckMatrix.h"
#include "RigText.h"
#include "Session.h"
#include "SourceNames.h"
#include "SourceScene.h"

namespace tessaline {

namespace {

// Four decimals, the rounding of float arithmetic on either side, and a little more for
// large coordinates.
bool Near(double expected, double actual) {
    return std::fabs(expected - actual) <= 0.00015 + 0.00001 * std::fabs(expected);
}

// The file has no escape for a double quote: the exporter writes "_" in its place.
std::string AsWritten(std::string name) {
    std::replace(name.begin(), name.end(), '"', '_');
    return name;
}

bool Finite(const aiVector3D& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

class Rows {
public:
    explicit Rows(std::vector<ComparisonRow>& rows) : m_rows(rows) {}
    void Count(const std::string& what, bool match, const std::string& where) {
        auto row = std::find_if(m_rows.begin(), m_rows.end(), [&](const ComparisonRow& r) { return r.what == what; });
        if (row == m_rows.end()) row = m_rows.insert(m_rows.end(), ComparisonRow{what, 0, 0, ""});
        ++row->total;
        if (match)
            ++row->matched;
        else if (row->firstMismatch.empty())
            row->firstMismatch = where;
    }

private:
    std::vector<ComparisonRow>& m_rows;
};

class Check {
public:
    Check(const aiScene& scene, const RigText& rig, bool yAxisUp, std::vector<ComparisonRow>& rows)
        : m_scene(scene),
          m_rig(rig),
          m_yAxisUp(yAxisUp),
          m_names(NameSourceScene(scene)),
          m_rows(rows),
          m_poses(scene) {
        for (size_t b = 0; b < rig.bones.size(); ++b) m_rigBone[rig.bones[b].name] = b;
        for (size_t i = 0; i < rig.meshes.size(); ++i) m_rigMesh[rig.meshes[i].name] = i;
    }

    void Run() {
        GatherMeshes();
        MeasureSize();
        CheckBones();
        CheckMeshes();
    }

private:
    // The diagonal of the bounding box of every written vertex at bind time: lengths are
    // judged relative to it, so a metre-scale error in a large rig and a millimetre one in
    // a small rig both show.
    void MeasureSize() {
        Vec3 low{HUGE_VAL, HUGE_VAL, HUGE_VAL}, high{-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
        for (const auto& [node, mesh] : m_expected) {
            if (!mesh.writable) continue;
            for (const auto& polygon : mesh.polygons)
                for (const Corner& c : polygon) {
                    const Vec3 p = m_poses.VertexBind(*node, *c.part, c.index).Point(c.part->mVertices[c.index]);
                    for (size_t i = 0; i < 3; ++i) low[i] = std::min(low[i], p[i]), high[i] = std::max(high[i], p[i]);
                }
        }
        m_size = low[0] <= high[0]
                     ? std::sqrt(Square(high[0] - low[0]) + Square(high[1] - low[1]) + Square(high[2] - low[2]))
                     : 0;
    }
    static double Square(double v) { return v * v; }

    // Lengths: 1e-4 of the rig's size, plus the file's four decimals in three coordinates.
    double LengthTolerance() const { return 1e-4 * m_size + 1e-4; }

    // The file is Z-up: a Y-up scene's (x, y, z) is written as (x, -z, y).
    Vec3 InFile(const Vec3& v) const { return m_yAxisUp ? Vec3{v[0], -v[2], v[1]} : v; }

    // ---- bones

    // Every world matrix a bone had at bind time, one per written mesh part that it
    // skins; its node's world matrix when it skins none.
    std::vector<Mat4> BindWorlds(const std::string& sourceName, const aiNode* node) {
        std::vector<Mat4> worlds;
        ForEachMeshPart([&](const aiNode& meshNode, const aiMesh& part) {
            if (!m_expected.at(&meshNode).writable) return;
            for (unsigned b = 0; b < part.mNumBones; ++b) {
                Mat4 world;
                if (sourceName == part.mBones[b]->mName.C_Str() && m_poses.BoneBind(meshNode, part, b, world))
                    worlds.push_back(world);
            }
        });
        if (worlds.empty() && node) worlds.push_back(m_poses.World(*node));
        return worlds;
    }

    template <typename Visit>
    void ForEachMeshPart(Visit visit) {
        ForEachNode(*m_scene.mRootNode, [&](const aiNode& node, const aiNode*) {
            for (unsigned i = 0; i < node.mNumMeshes; ++i)
                if (node.mMeshes[i] < m_scene.mNumMeshes) visit(node, *m_scene.mMeshes[node.mMeshes[i]]);
        });
    }

    // A bone's bind-time world matrix as the file holds it: the inverse of its inverse
    // bind matrix, whose rows (row vectors) are its axes and, in row 3, its head.
    static bool RigBindWorld(const RigTextBone& bone, Mat4& rows) {
        Mat4 inverseBind;
        for (int i = 0; i < 16; ++i) inverseBind.m[i / 4][i % 4] = bone.inverseBind[size_t(i)];
        return inverseBind.Inverse(rows);
    }

    static double Distance(const Vec3& a, const std::array<double, 3>& b) {
        return std::sqrt(Square(a[0] - b[0]) + Square(a[1] - b[1]) + Square(a[2] - b[2]));
    }

    // Head within the length tolerance; each axis (the source's matrix columns) within
    // 2e-4 of its own length: four decimals of a unit-scale matrix, inverted.
    bool SameBindPose(const Mat4& source, const Mat4& rigRows) const {
        const Vec3 head = InFile({source.m[0][3], source.m[1][3], source.m[2][3]});
        if (!(Distance(head, {rigRows.m[3][0], rigRows.m[3][1], rigRows.m[3][2]}) <= LengthTolerance())) return false;
        for (int axis = 0; axis < 3; ++axis) {
            const Vec3 expected = InFile({source.m[0][axis], source.m[1][axis], source.m[2][axis]});
            const double length = std::sqrt(Square(expected[0]) + Square(expected[1]) + Square(expected[2]));
            // The bone's own axes are not renamed: a Y-up scene's are turned to Z-up as
            // its points are.
            const Vec3 actual{rigRows.m[axis][0], rigRows.m[axis][1], rigRows.m[axis][2]};
            if (!(Distance(expected, actual) <= 2e-4 * length)) return false;
        }
        return true;
    }

    void CheckBone(const std::string& sceneName, const std::string& sceneParent, const std::vector<Mat4>& bindWorlds) {
        const std::string name = AsWritten(sceneName), parent = AsWritten(sceneParent);
        const std::string where = "bone " + name;
        auto found = m_rigBone.find(name);
        m_rows.Count("bones", found != m_rigBone.end(), where);
        if (found == m_rigBone.end()) return;
        const RigTextBone& bone = m_rig.bones[found->second];
        m_rows.Count("bone parents", bone.parent == parent,
                     where + ": \"" + parent + "\" in the source, \"" + bone.parent + "\" in the file");
        Mat4 rigRows;
        const bool inverts = RigBindWorld(bone, rigRows);
        bool matches = false;
        for (const Mat4& world : bindWorlds) matches = matches || (inverts && SameBindPose(world, rigRows));
        m_rows.Count("bind poses", matches, where);
    }

    void CheckBones() {
        std::set<std::string> expected;
        for (const auto& [node, name] : m_names.node) {
            if (!m_names.IsJoint(*node)) continue;
            expected.insert(AsWritten(name));
            const aiNode* parent = m_poses.Parent(*node);
            CheckBone(name, parent ? m_names.node.at(parent) : "", BindWorlds(node->mName.C_Str(), node));
        }
        for (const std::string& source : m_names.bonesWithoutNode) {
            // Made a joint only for a mesh that is written.
            const std::vector<Mat4> bindWorlds = BindWorlds(source, nullptr);
            if (bindWorlds.empty()) continue;
            const std::string& name = m_names.boneWithoutNode.at(source);
            expected.insert(AsWritten(name));
            CheckBone(name, "", bindWorlds);
        }
        for (const RigTextBone& bone : m_rig.bones)
            if (!expected.count(bone.name)) m_rows.Count("bones", false, "bone " + bone.name + " is not in the source");
    }

    // ---- meshes

    // A source corner, with what the file must hold for it.
    struct Corner {
        const aiMesh* part;
        unsigned index;  // into the part's vertices
        int key;         // position and weights: corners with one key share a vertex
    };

    // A vertex's non-zero weights by the scene name of their bone; a part's table is
    // made once.
    const std::vector<std::pair<std::string, float>>& SourceWeights(const aiMesh& part, unsigned index) {
        auto [table, added] = m_weightsOfPart.try_emplace(&part);
        if (added) {
            std::vector<std::map<std::string, float>> byVertex(part.mNumVertices);
            for (unsigned b = 0; b < part.mNumBones; ++b) {
                const std::string bone = AsWritten(m_names.Bone(m_scene, part.mBones[b]->mName.C_Str()));
                for (unsigned w = 0; w < part.mBones[b]->mNumWeights; ++w) {
                    const aiVertexWeight& weight = part.mBones[b]->mWeights[w];
                    if (weight.mVertexId < part.mNumVertices && weight.mWeight != 0)
                        byVertex[weight.mVertexId][bone] += weight.mWeight;
                }
            }
            for (const auto& vertex : byVertex) table->second.emplace_back(vertex.begin(), vertex.end());
        }
        return table->second[index];
    }

    // A vertex's key as a number: equal numbers for equal position and weights. A part's
    // keys are made once, each vertex's text once.
    int Key(const aiMesh& part, unsigned index) {
        auto [keys, added] = m_keysOfPart.try_emplace(&part);
        if (added) {
            keys->second.reserve(part.mNumVertices);
            for (unsigned v = 0; v < part.mNumVertices; ++v) {
                const aiVector3D& p = part.mVertices[v];
                std::string key;
                for (float c : {p.x + 0.0f, p.y + 0.0f, p.z + 0.0f})
                    key.append(reinterpret_cast<const char*>(&c), sizeof c);
                for (const auto& [bone, weight] : SourceWeights(part, v))
                    key += "|" + bone + "=" + std::string(reinterpret_cast<const char*>(&weight), sizeof weight);
                keys->second.push_back(m_keyNumbers.try_emplace(key, int(m_keyNumbers.size())).first->second);
            }
        }
        return keys->second[index];
    }

    // The corners a polygon keeps: repeats in a row dropped; none when fewer than 3
    // distinct ones stay. This is the loader's cleaning worked out again from the source
    // alone, on purpose: sharing the loader's code would let one fault pass both.
    std::vector<Corner> Polygon(const aiMesh& part, const aiFace& face) {
        std::vector<Corner> corners;
        for (unsigned k = 0; k < face.mNumIndices; ++k) {
            if (face.mIndices[k] >= part.mNumVertices) return {};
            Corner corner{&part, face.mIndices[k], Key(part, face.mIndices[k])};
            if (corners.empty() || corners.back().key != corner.key) corners.push_back(corner);
        }
        while (corners.size() > 1 && corners.back().key == corners.front().key) corners.pop_back();
        std::set<int> distinct;
        for (const Corner& corner : corners) distinct.insert(corner.key);
        if (distinct.size() < 3) return {};
        return corners;
    }

    // What the file must hold for a node's meshes: polygons as the host keeps them, and
    // the source's UV channels in order.
    struct ExpectedMesh {
        std::string name;
        std::vector<std::vector<Corner>> polygons;
        std::vector<unsigned> channels;
        bool writable = false;  // some polygon stays, and every position is finite
    };

    void GatherMeshes() {
        ForEachNode(*m_scene.mRootNode, [&](const aiNode& node, const aiNode*) {
            if (node.mNumMeshes) m_expected[&node] = Expect(node);
        });
    }

    ExpectedMesh Expect(const aiNode& node) {
        ExpectedMesh mesh;
        mesh.name = AsWritten(m_names.IsJoint(node) ? m_names.meshOfJoint.at(&node) : m_names.node.at(&node));
        bool finite = true;
        for (unsigned i = 0; i < node.mNumMeshes; ++i) {
            if (node.mMeshes[i] >= m_scene.mNumMeshes) continue;
            const aiMesh& part = *m_scene.mMeshes[node.mMeshes[i]];
            for (unsigned v = 0; v < part.mNumVertices; ++v) finite = finite && Finite(part.mVertices[v]);
            for (unsigned c = 0; c < AI_MAX_NUMBER_OF_TEXTURECOORDS; ++c)
                if (part.HasTextureCoords(c) &&
                    std::find(mesh.channels.begin(), mesh.channels.end(), c) == mesh.channels.end())
                    mesh.channels.push_back(c);
            for (unsigned f = 0; f < part.mNumFaces; ++f) {
                if (part.mFaces[f].mNumIndices < 3) continue;
                std::vector<Corner> polygon = Polygon(part, part.mFaces[f]);
                if (!polygon.empty()) mesh.polygons.push_back(std::move(polygon));
            }
        }
        std::sort(mesh.channels.begin(), mesh.channels.end());
        mesh.writable = finite && !mesh.polygons.empty();
        return mesh;
    }

    void CheckMeshes() {
        std::set<std::string> expected;
        for (const auto& [node, wanted] : m_expected) {
            const std::string where = "mesh " + wanted.name;
            auto found = m_rigMesh.find(wanted.name);
            // A mesh that cannot be written must be refused, not written wrong.
            if (!wanted.writable) {
                m_rows.Count("meshes", found == m_rigMesh.end(), where + " should have been refused");
                continue;
            }
            expected.insert(wanted.name);
            m_rows.Count("meshes", found != m_rigMesh.end(), where);
            if (found == m_rigMesh.end()) continue;
            const RigTextMesh& mesh = m_rig.meshes[found->second];
            m_rows.Count("polygons", mesh.counts.size() == wanted.polygons.size(), where);
            // The host's first set exists even when the source has no UVs.
            size_t mappedSets = 0;
            for (const auto& set : mesh.uvSets) mappedSets += !set.empty();
            m_rows.Count("UV sets", mappedSets == wanted.channels.size(), where);
            if (mesh.counts.size() == wanted.polygons.size())
                CheckCorners(*node, mesh, wanted.polygons, wanted.channels, where);
        }
        for (const RigTextMesh& mesh : m_rig.meshes)
            if (!expected.count(mesh.name))
                m_rows.Count("meshes", false, "mesh " + mesh.name + " is not in the source");
    }

    void CheckCorners(const aiNode& node, const RigTextMesh& mesh, const std::vector<std::vector<Corner>>& polygons,
                      const std::vector<unsigned>& channels, const std::string& where) {
        const std::vector<std::map<std::string, double>> rigWeights = RigWeights(mesh);
        std::map<unsigned, unsigned long> rigMaterialOfSource;
        std::map<unsigned long, unsigned> sourceMaterialOfRig;
        size_t corner = 0;
        for (size_t p = 0; p < polygons.size(); ++p) {
            const std::string at = where + " polygon " + std::to_string(p);
            m_rows.Count("corners", mesh.counts[p] == polygons[p].size(), at);
            if (mesh.counts[p] != polygons[p].size()) return;
            const aiMesh& firstPart = *polygons[p].front().part;
            // Faces of one source material share one material in the file, and only they.
            const auto forward = rigMaterialOfSource.emplace(firstPart.mMaterialIndex, mesh.materialIndices[p]);
            const auto backward = sourceMaterialOfRig.emplace(mesh.materialIndices[p], firstPart.mMaterialIndex);
            m_rows.Count(
                "materials",
                forward.first->second == mesh.materialIndices[p] && backward.first->second == firstPart.mMaterialIndex,
                at);
            for (const Corner& c : polygons[p]) {
                const unsigned long vertex = mesh.vertexIndices[corner];
                const Mat4 world = m_poses.VertexBind(node, *c.part, c.index);
                const Vec3 position = InFile(world.Point(c.part->mVertices[c.index]));
                m_rows.Count("positions",
                             Distance(position, mesh.vertices[vertex]) <=
                                 LengthTolerance() + m_poses.VertexUncertainty(node, *c.part, c.index),
                             at);
                Vec3 normal;
                if (c.part->HasNormals() && Finite(c.part->mNormals[c.index]) &&
                    c.part->mNormals[c.index].Length() > 0 && world.Normal(c.part->mNormals[c.index], normal))
                    m_rows.Count("normals", SameDirection(InFile(normal), mesh.normals[mesh.normalIndices[corner]]),
                                 at);
                for (size_t set = 0; set < channels.size() && set < mesh.uvSets.size(); ++set) {
                    if (!c.part->HasTextureCoords(channels[set])) continue;
                    const aiVector3D& uv = c.part->mTextureCoords[channels[set]][c.index];
                    const unsigned long id = corner < mesh.uvIndices[set].size() ? mesh.uvIndices[set][corner] : ~0ul;
                    m_rows.Count("UVs",
                                 id < mesh.uvSets[set].size() && Near(uv.x, mesh.uvSets[set][id][0]) &&
                                     Near(uv.y, mesh.uvSets[set][id][1]),
                                 at + " set " + std::to_string(set));
                }
                if (!rigWeights.empty() || c.part->HasBones())
                    m_rows.Count("weights", SameWeights(SourceWeights(*c.part, c.index), rigWeights, vertex), at);
                ++corner;
            }
        }
    }

    static bool SameDirection(const Vec3& expected, const std::array<double, 3>& actual) {
        const double length = std::sqrt(actual[0] * actual[0] + actual[1] * actual[1] + actual[2] * actual[2]);
        // Written at unit length: each component within the file's rounding.
        if (std::fabs(length - 1) > 0.0005) return false;
        for (size_t i = 0; i < 3; ++i)
            if (std::fabs(expected[i] - actual[i]) > 0.0005) return false;
        return true;
    }

    std::vector<std::map<std::string, double>> RigWeights(const RigTextMesh& mesh) const {
        std::vector<std::map<std::string, double>> byVertex(mesh.weightCounts.size());
        size_t next = 0;
        for (size_t v = 0; v < mesh.weightCounts.size(); ++v)
            for (unsigned long k = 0; k < mesh.weightCounts[v]; ++k, ++next)
                byVertex[v][m_rig.bones[mesh.weights[next].first].name] += mesh.weights[next].second;
        return byVertex;
    }

    // By bone name; a weight absent on one side is zero there.
    static bool SameWeights(const std::vector<std::pair<std::string, float>>& source,
                            const std::vector<std::map<std::string, double>>& rig, unsigned long vertex) {
        static const std::map<std::string, double> none;
        const auto& written = vertex < rig.size() ? rig[vertex] : none;
        std::map<std::string, double> expected(source.begin(), source.end());
        for (const auto& [bone, weight] : expected) {
            auto found = written.find(bone);
            if (!Near(weight, found == written.end() ? 0.0 : found->second)) return false;
        }
        for (const auto& [bone, weight] : written)
            if (!expected.count(bone) && !Near(0.0, weight)) return false;
        return true;
    }

    const aiScene& m_scene;
    const RigText& m_rig;
    const bool m_yAxisUp;
    const SourceNames m_names;
    Rows m_rows;
    const CheckBindPoses m_poses;
    double m_size = 0;
    std::map<std::string, size_t> m_rigBone, m_rigMesh;
    std::map<const aiMesh*, std::vector<std::vector<std::pair<std::string, float>>>> m_weightsOfPart;
    std::map<const aiMesh*, std::vector<int>> m_keysOfPart;
    std::unordered_map<std::string, int> m_keyNumbers;
    std::map<const aiNode*, ExpectedMesh> m_expected;
};

}  // namespace

bool CheckAgainstSource(const std::string& sourcePath, const std::string& rigPath, bool yAxisUp,
                        std::vector<ComparisonRow>& rows, std::string& error) {
    RigText rig;
    std::string reason;
    if (!std::ifstream(rigPath, std::ios::binary)) {
        error = "Can't open \"" + rigPath + "\" for reading: " + std::strerror(errno) + ".";
        return false;
    }
    if (!ParseRigText(ReadWholeFile(rigPath), rig, reason)) {
        error = "\"" + rigPath + "\" is not a rig file as the exporter writes it: " + reason + ".";
        return false;
    }
    const aiScene* scene = ReadSourceScene(sourcePath, reason);
    if (!scene) {
        error = "Can't read \"" + sourcePath + "\": " + reason;
        return false;
    }
    Check(*scene, rig, yAxisUp, rows).Run();
    aiReleaseImport(scene);
    return true;
}

}  // namespace tessaline
