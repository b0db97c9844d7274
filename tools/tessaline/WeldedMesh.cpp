#include "WeldedMesh.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <unordered_map>

namespace tessaline {

namespace {

bool Finite(const aiVector3D& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

bool Usable(const aiVector3D& normal) {
    return Finite(normal) && normal.x * normal.x + normal.y * normal.y + normal.z * normal.z > 0;
}

// The bytes of a position and its weights: equal keys weld into one vertex.
std::string WeldKey(const aiVector3D& p, const std::vector<std::pair<int, float>>& weights) {
    std::string key(sizeof(float) * 3 + weights.size() * (sizeof(int) + sizeof(float)), '\0');
    char* out = key.data();
    const float xyz[3] = {p.x + 0.0f, p.y + 0.0f, p.z + 0.0f};  // -0 welds with +0
    std::memcpy(out, xyz, sizeof xyz);
    out += sizeof xyz;
    for (const auto& [bone, weight] : weights) {
        std::memcpy(out, &bone, sizeof bone);
        std::memcpy(out + sizeof bone, &weight, sizeof weight);
        out += sizeof bone + sizeof weight;
    }
    return key;
}

class Welder {
public:
    void AddPart(const aiMesh& part) {
        const std::vector<int> boneOfPart = Influences(part);
        const std::vector<std::vector<std::pair<int, float>>> weights = PartWeights(part, boneOfPart);
        std::vector<int> welded(part.mNumVertices);
        for (unsigned v = 0; v < part.mNumVertices; ++v) welded[v] = Weld(part.mVertices[v], weights[v]);

        for (unsigned c = 0; c < AI_MAX_NUMBER_OF_TEXTURECOORDS; ++c)
            if (part.HasTextureCoords(c)) AddSetFor(c);

        for (unsigned f = 0; f < part.mNumFaces; ++f) {
            const aiFace& face = part.mFaces[f];
            if (face.mNumIndices < 3) {
                ++m_mesh.skippedPrimitives;
                continue;
            }
            const std::vector<unsigned> corners = CleanCorners(face, welded);
            if (corners.empty()) {
                ++m_mesh.removedPolygons;
                continue;
            }
            AddPolygon(part, face, corners, welded);
        }
    }

    WeldedMesh Finish() {
        for (const aiVector3D& p : m_mesh.points) m_mesh.finitePoints = m_mesh.finitePoints && Finite(p);
        return std::move(m_mesh);
    }

private:
    // The welded mesh's influence index of each of the part's bones, joined by name.
    std::vector<int> Influences(const aiMesh& part) {
        std::vector<int> boneOfPart(part.mNumBones);
        for (unsigned b = 0; b < part.mNumBones; ++b) {
            const std::string name = part.mBones[b]->mName.C_Str();
            auto found = m_boneIndex.find(name);
            if (found == m_boneIndex.end()) {
                found = m_boneIndex.emplace(name, int(m_mesh.boneNames.size())).first;
                m_mesh.boneNames.push_back(name);
                m_mesh.boneOffsets.push_back(part.mBones[b]->mOffsetMatrix);
            }
            boneOfPart[b] = found->second;
        }
        return boneOfPart;
    }

    // Per vertex of the part, its non-zero weights by influence, sorted; a bone listed
    // twice for one vertex adds up.
    static std::vector<std::vector<std::pair<int, float>>> PartWeights(const aiMesh& part,
                                                                       const std::vector<int>& boneOfPart) {
        std::vector<std::vector<std::pair<int, float>>> weights(part.mNumVertices);
        for (unsigned b = 0; b < part.mNumBones; ++b)
            for (unsigned w = 0; w < part.mBones[b]->mNumWeights; ++w) {
                const aiVertexWeight& weight = part.mBones[b]->mWeights[w];
                if (weight.mVertexId >= part.mNumVertices || weight.mWeight == 0.0f) continue;
                auto& list = weights[weight.mVertexId];
                auto same = std::find_if(list.begin(), list.end(), [&](auto& e) { return e.first == boneOfPart[b]; });
                if (same != list.end())
                    same->second += weight.mWeight;
                else
                    list.emplace_back(boneOfPart[b], weight.mWeight);
            }
        for (auto& list : weights) std::sort(list.begin(), list.end());
        return weights;
    }

    int Weld(const aiVector3D& p, const std::vector<std::pair<int, float>>& weights) {
        auto [found, added] = m_vertexOfKey.emplace(WeldKey(p, weights), int(m_mesh.points.size()));
        if (added) {
            m_mesh.points.push_back(p);
            m_mesh.vertexWeights.push_back(weights);
        }
        return found->second;
    }

    void AddSetFor(unsigned channel) {
        if (std::find(m_mesh.uvChannels.begin(), m_mesh.uvChannels.end(), channel) != m_mesh.uvChannels.end()) return;
        // Sets stay in channel order; corners already added have no UVs in the new set.
        auto at = std::lower_bound(m_mesh.uvChannels.begin(), m_mesh.uvChannels.end(), channel);
        const size_t set = size_t(at - m_mesh.uvChannels.begin());
        m_mesh.uvChannels.insert(at, channel);
        m_mesh.cornerUVs.insert(m_mesh.cornerUVs.begin() + long(set), std::vector<aiVector2D>(m_mesh.connects.size()));
        m_mesh.cornerHasUV.insert(m_mesh.cornerHasUV.begin() + long(set), std::vector<bool>(m_mesh.connects.size()));
    }

    // The face's corners (indices into the face) that stay: repeats of the welded vertex
    // in a row dropped (the first kept, around the end too). Empty when fewer than 3
    // distinct vertices remain.
    static std::vector<unsigned> CleanCorners(const aiFace& face, const std::vector<int>& welded) {
        std::vector<unsigned> corners;
        for (unsigned k = 0; k < face.mNumIndices; ++k) {
            const unsigned index = face.mIndices[k];
            if (index >= welded.size()) return {};
            if (corners.empty() || welded[face.mIndices[corners.back()]] != welded[index]) corners.push_back(k);
        }
        while (corners.size() > 1 && welded[face.mIndices[corners.back()]] == welded[face.mIndices[corners.front()]])
            corners.pop_back();
        std::vector<int> vertices;
        vertices.reserve(corners.size());
        for (unsigned k : corners) vertices.push_back(welded[face.mIndices[k]]);
        std::sort(vertices.begin(), vertices.end());
        if (std::unique(vertices.begin(), vertices.end()) - vertices.begin() < 3) return {};
        return corners;
    }

    void AddPolygon(const aiMesh& part, const aiFace& face, const std::vector<unsigned>& corners,
                    const std::vector<int>& welded) {
        m_mesh.counts.push_back(int(corners.size()));
        m_mesh.materials.push_back(part.mMaterialIndex);
        // The polygon's own normal stands in for source normals that cannot be used.
        bool needsOwnNormal = false;
        for (unsigned k : corners)
            needsOwnNormal = needsOwnNormal || (part.HasNormals() && !Usable(part.mNormals[face.mIndices[k]]));
        aiVector3D ownNormal(0, 0, 0);
        if (needsOwnNormal) {
            std::vector<aiVector3D> positions;
            positions.reserve(corners.size());
            for (unsigned k : corners) positions.push_back(part.mVertices[face.mIndices[k]]);
            ownNormal = PolygonNormal(positions);
        }
        for (unsigned k : corners) {
            const unsigned index = face.mIndices[k];
            m_mesh.connects.push_back(welded[index]);
            aiVector3D normal(0, 0, 0);
            if (part.HasNormals()) normal = Usable(part.mNormals[index]) ? part.mNormals[index] : ownNormal;
            m_mesh.cornerNormals.push_back(normal);
            m_mesh.cornerHasNormal.push_back(Usable(normal));
            for (size_t set = 0; set < m_mesh.uvChannels.size(); ++set) {
                const bool has = part.HasTextureCoords(m_mesh.uvChannels[set]);
                const aiVector3D& uv = has ? part.mTextureCoords[m_mesh.uvChannels[set]][index] : aiVector3D();
                m_mesh.cornerUVs[set].push_back(aiVector2D(uv.x, uv.y));
                m_mesh.cornerHasUV[set].push_back(has);
            }
        }
    }

    WeldedMesh m_mesh;
    std::unordered_map<std::string, int> m_vertexOfKey;
    std::map<std::string, int> m_boneIndex;
};

}  // namespace

aiVector3D PolygonNormal(const std::vector<aiVector3D>& corners) {
    aiVector3D sum(0, 0, 0);
    for (size_t i = 0; i < corners.size(); ++i) {
        const aiVector3D& a = corners[i];
        const aiVector3D& b = corners[(i + 1) % corners.size()];
        sum.x += (a.y - b.y) * (a.z + b.z);
        sum.y += (a.z - b.z) * (a.x + b.x);
        sum.z += (a.x - b.x) * (a.y + b.y);
    }
    const float length = sum.Length();
    return length > 0 && std::isfinite(length) ? sum / length : aiVector3D(0, 0, 0);
}

WeldedMesh WeldNodeMeshes(const aiScene& scene, const aiNode& node) {
    Welder welder;
    for (unsigned i = 0; i < node.mNumMeshes; ++i)
        if (node.mMeshes[i] < scene.mNumMeshes) welder.AddPart(*scene.mMeshes[node.mMeshes[i]]);
    return welder.Finish();
}

}  // namespace tessaline
