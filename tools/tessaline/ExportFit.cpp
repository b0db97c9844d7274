#include "ExportFit.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "ExactMatrix.h"
#include "SourceScene.h"

namespace tessaline {

namespace {

// An affine matrix: the last row exactly (0, 0, 0, 1).
aiMatrix4x4 Affine(const Matrix& m) {
    aiMatrix4x4 out;
    for (unsigned r = 0; r < 3; ++r)
        for (unsigned c = 0; c < 4; ++c) out[r][c] = ai_real(m[r][c]);
    out.d1 = out.d2 = out.d3 = 0;
    out.d4 = 1;
    return out;
}

double Determinant3(const Matrix& m) {
    return m.a1 * (m.b2 * m.c3 - m.b3 * m.c2) - m.a2 * (m.b1 * m.c3 - m.b3 * m.c1) + m.a3 * (m.b1 * m.c2 - m.b2 * m.c1);
}

// The scale furthest from 1 along the axes of the upper 3x3.
double AxisScale(const Matrix& m) {
    double furthest = 1;
    for (unsigned c = 0; c < 3; ++c) {
        const double length = std::sqrt(m[0][c] * m[0][c] + m[1][c] * m[1][c] + m[2][c] * m[2][c]);
        if (std::fabs(std::log(length)) > std::fabs(std::log(furthest))) furthest = length;
    }
    return furthest;
}

// True when the upper 3x3 is a rotation: orthonormal columns, within float noise.
bool IsRigid(const Matrix& m) {
    for (unsigned i = 0; i < 3; ++i)
        for (unsigned j = 0; j < 3; ++j)
            if (std::fabs(m[0][i] * m[0][j] + m[1][i] * m[1][j] + m[2][i] * m[2][j] - (i == j ? 1 : 0)) > 1e-5)
                return false;
    return Determinant3(m) > 0;
}

// The nearest rotation, keeping the translation: the orthogonal factor of the polar
// decomposition (Newton's iteration R = (R + R^-T) / 2); a mirror keeps its own.
Matrix Rigid(const Matrix& m) {
    const double det = Determinant3(m);
    if (!(std::fabs(det) > 0) || !std::isfinite(det)) return m;
    Matrix rotation = m;
    rotation.a4 = rotation.b4 = rotation.c4 = 0;
    for (int step = 0; step < 64; ++step) {
        Matrix inverseTranspose = rotation;
        inverseTranspose.Inverse().Transpose();
        Matrix next;
        for (unsigned r = 0; r < 3; ++r)
            for (unsigned c = 0; c < 3; ++c) next[r][c] = (rotation[r][c] + inverseTranspose[r][c]) / 2;
        double change = 0;
        for (unsigned r = 0; r < 3; ++r)
            for (unsigned c = 0; c < 3; ++c) change = std::max(change, std::fabs(next[r][c] - rotation[r][c]));
        rotation = next;
        if (change < 1e-15) break;
    }
    for (unsigned r = 0; r < 3; ++r) rotation[r][3] = m[r][3];
    return rotation;
}

// Joints: each world matrix becomes its rigid part, and every local matrix below a
// changed world matrix is worked out again from the new worlds. Other nodes keep theirs.
void FitNodes(aiNode& root, const std::set<std::string>& bones) {
    struct Placed {
        Matrix world, fitted;
        bool changed = false;
    };
    std::map<const aiNode*, Placed> placed;
    ForEachNode(root, [&](aiNode& node, aiNode* parent) {
        const Placed above = parent ? placed.at(parent) : Placed{};
        Placed& own = placed[&node];
        own.world = above.world * Exact(node.mTransformation);
        own.fitted = own.world;
        own.changed = above.changed;
        if (bones.count(node.mName.C_Str()) && !IsRigid(own.world)) {
            own.fitted = Rigid(own.world);
            own.changed = true;
        }
        if (own.changed) node.mTransformation = Affine(Matrix(above.fitted).Inverse() * own.fitted);
    });
}

void FitBindMatrices(aiMesh& mesh, std::map<std::string, double>& scaled) {
    for (unsigned b = 0; b < mesh.mNumBones; ++b) {
        aiBone& bone = *mesh.mBones[b];
        const Matrix bind = Matrix(Exact(bone.mOffsetMatrix)).Inverse();
        if (IsRigid(bind)) {
            bone.mOffsetMatrix = Affine(Exact(bone.mOffsetMatrix));
            continue;
        }
        scaled[bone.mName.C_Str()] = AxisScale(bind);
        bone.mOffsetMatrix = Affine(Rigid(bind).Inverse());
    }
}

// The 4 largest influences of each vertex, divided by their sum.
void FitWeights(aiMesh& mesh, WeightFit& report) {
    if (!mesh.mNumBones) return;
    std::vector<std::vector<std::pair<unsigned, float>>> byVertex(mesh.mNumVertices);
    for (unsigned b = 0; b < mesh.mNumBones; ++b)
        for (unsigned w = 0; w < mesh.mBones[b]->mNumWeights; ++w) {
            const aiVertexWeight& weight = mesh.mBones[b]->mWeights[w];
            if (weight.mVertexId < mesh.mNumVertices && weight.mWeight != 0)
                byVertex[weight.mVertexId].emplace_back(b, weight.mWeight);
        }
    std::vector<std::vector<aiVertexWeight>> byBone(mesh.mNumBones);
    for (unsigned v = 0; v < mesh.mNumVertices; ++v) {
        auto& weights = byVertex[v];
        if (weights.empty()) continue;
        std::stable_sort(weights.begin(), weights.end(),
                         [](const auto& a, const auto& b) { return a.second > b.second; });
        if (weights.size() > 4) {
            ++report.verticesOverFour;
            report.influencesDropped += int(weights.size() - 4);
            report.largestDropped = std::max(report.largestDropped, weights[4].second);
            weights.resize(4);
        }
        double sum = 0;
        for (const auto& [bone, weight] : weights) sum += weight;
        if (std::fabs(sum - 1) > 1e-6) ++report.verticesNormalised;
        if (!(sum > 0)) continue;
        // Divided, then what float rounding left of the sum given to the largest.
        double written = 0;
        for (auto& [bone, weight] : weights) written += (weight = float(weight / sum));
        weights[0].second = float(weights[0].second + (1 - written));
        for (const auto& [bone, weight] : weights) byBone[bone].push_back(aiVertexWeight(v, weight));
    }
    for (unsigned b = 0; b < mesh.mNumBones; ++b) {
        aiBone& bone = *mesh.mBones[b];
        delete[] bone.mWeights;
        bone.mNumWeights = unsigned(byBone[b].size());
        bone.mWeights = byBone[b].empty() ? nullptr : new aiVertexWeight[byBone[b].size()];
        std::copy(byBone[b].begin(), byBone[b].end(), bone.mWeights);
    }
}

}  // namespace

JointFit FitJointsToRotations(aiScene& scene) {
    JointFit report;
    std::set<std::string> bones;
    for (unsigned m = 0; m < scene.mNumMeshes; ++m)
        for (unsigned b = 0; b < scene.mMeshes[m]->mNumBones; ++b)
            bones.insert(scene.mMeshes[m]->mBones[b]->mName.C_Str());
    if (scene.mRootNode) FitNodes(*scene.mRootNode, bones);
    std::map<std::string, double> scaled;
    for (unsigned m = 0; m < scene.mNumMeshes; ++m) FitBindMatrices(*scene.mMeshes[m], scaled);
    report.jointsScaled = int(scaled.size());
    for (const auto& [name, scale] : scaled)
        if (std::fabs(std::log(scale)) > std::fabs(std::log(report.largestScale))) report.largestScale = scale;
    return report;
}

WeightFit FitWeightsToFour(aiScene& scene) {
    WeightFit report;
    for (unsigned m = 0; m < scene.mNumMeshes; ++m) FitWeights(*scene.mMeshes[m], report);
    return report;
}

}  // namespace tessaline
