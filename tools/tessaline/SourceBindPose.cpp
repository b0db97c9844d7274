#include "SourceBindPose.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tessaline {

namespace {

bool Metadata(const aiScene& scene, const char* key, double& value) {
    const aiMetadata* data = scene.mMetaData;
    if (!data) return false;
    for (unsigned i = 0; i < data->mNumProperties; ++i) {
        if (std::strcmp(data->mKeys[i].C_Str(), key) != 0 || !data->mValues[i].mData) continue;
        const void* raw = data->mValues[i].mData;
        switch (data->mValues[i].mType) {
        case AI_INT32: value = *static_cast<const int32_t*>(raw); return true;
        case AI_FLOAT: value = *static_cast<const float*>(raw); return true;
        case AI_DOUBLE: value = *static_cast<const double*>(raw); return true;
        default: return false;
        }
    }
    return false;
}

std::string MetadataText(const aiScene& scene, const char* key) {
    aiString text;
    if (scene.mMetaData && scene.mMetaData->Get(key, text)) return text.C_Str();
    return "";
}

Matrix Inverse(Matrix m) { return m.Inverse(); }

double Largest(const Matrix& m) {
    double largest = 0;
    for (unsigned r = 0; r < 4; ++r)
        for (unsigned c = 0; c < 4; ++c) largest = std::max(largest, std::fabs(double(m[r][c])));
    return largest;
}

double Difference(const Matrix& a, const Matrix& b) {
    double largest = 0;
    for (unsigned r = 0; r < 4; ++r)
        for (unsigned c = 0; c < 4; ++c) largest = std::max(largest, std::fabs(double(a[r][c]) - double(b[r][c])));
    return largest;
}

// The general rule, Assimp's own: the offset takes mesh space to bone space, so a bone
// stood at world(mesh node) · inverse(offset). Bones that name no node follow it in
// every format.
void BonesFromOffsets(const std::vector<aiMatrix4x4>& offsets, SkinBindPose& pose) {
    for (size_t b = 0; b < offsets.size(); ++b)
        if (pose.boneWorld.size() <= b) pose.boneWorld.push_back(pose.meshWorld * Inverse(Exact(offsets[b])));
}

// glTF: the skinned mesh node's own transform (and every one above it) is ignored; the
// skinned vertices are in the scene's root frame as stored, and a joint stood at
// inverse(inverseBindMatrix) in that frame. Assimp's offset is the inverseBindMatrix as
// stored, and its root node may be a node of the file: the frame is above it.
SkinBindPose GltfBindPose(const SceneWorlds& worlds, const std::vector<aiMatrix4x4>& offsets) {
    SkinBindPose pose;
    pose.meshWorld = worlds.frame;
    BonesFromOffsets(offsets, pose);
    return pose;
}

// FBX: Assimp's offset is the cluster's Transform as stored, inverse(TransformLink) ·
// the mesh's bind matrix, so bone = mesh bind · inverse(offset), both in the file's frame.
// The mesh's bind matrix is its node's world matrix, except in files written by
// Blender's exporter: it writes a skinned mesh's world matrix as its local transform
// even where the mesh stays under an empty.
SkinBindPose FbxBindPose(const aiScene& scene, const SceneWorlds& worlds, const aiNode& meshNode,
                         const std::vector<aiMatrix4x4>& offsets) {
    SkinBindPose pose;
    const bool blender = MetadataText(scene, "SourceAsset_Generator").rfind("Blender", 0) == 0;
    pose.meshWorld = blender ? worlds.frame * Exact(meshNode.mTransformation) : worlds.world.at(&meshNode);
    BonesFromOffsets(offsets, pose);
    return pose;
}

// COLLADA: Assimp folds the bind shape matrix (BSM) into the offset (offset =
// INV_BIND_MATRIX · BSM), and the joints' nodes hold the bind pose, so a bone stood at
// world(joint node). INV_BIND_MATRIX is in the file's own frame, while Assimp's world
// matrices carry its unit and up-axis change in the root node R: world(joint) · offset
// is R · BSM, the same for every joint. The skinned vertices stood at world(mesh node) ·
// BSM · v. Blender may write an armature twice under the same names, one copy
// misplaced: of the nodes a name finds, those that agree on the mesh's place win.
SkinBindPose ColladaBindPose(const SceneWorlds& worlds, const aiNode* root, const aiNode& meshNode,
                             const std::vector<std::string>& boneNames, const std::vector<aiMatrix4x4>& offsets) {
    std::vector<std::vector<const aiNode*>> candidates(boneNames.size());
    for (size_t b = 0; b < boneNames.size(); ++b) {
        auto [first, last] = worlds.byName.equal_range(boneNames[b]);
        for (auto it = first; it != last; ++it) candidates[b].push_back(it->second);
    }
    auto meshPlace = [&](size_t b, const aiNode* node) { return worlds.world.at(node) * Exact(offsets[b]); };

    // Each candidate of the first bone with a node proposes a place; every bone then takes
    // its node nearest to it. The proposal whose bones agree best is kept.
    SkinBindPose best;
    double bestSpread = -1;
    const size_t anchor =
        size_t(std::find_if(candidates.begin(), candidates.end(), [](const auto& c) { return !c.empty(); }) -
               candidates.begin());
    if (anchor == candidates.size()) {
        best.problem = "none of its bones names a node of the scene";
        return best;
    }
    for (const aiNode* proposal : candidates[anchor]) {
        const Matrix proposed = meshPlace(anchor, proposal);
        SkinBindPose pose;
        Matrix sum;
        for (unsigned r = 0; r < 4; ++r)
            for (unsigned c = 0; c < 4; ++c) sum[r][c] = 0;
        std::vector<Matrix> places;
        for (size_t b = 0; b < boneNames.size(); ++b) {
            const aiNode* chosen = nullptr;
            // A later copy must be clearly nearer to replace an earlier one.
            for (const aiNode* node : candidates[b])
                if (!chosen || Difference(meshPlace(b, node), proposed) <
                                   Difference(meshPlace(b, chosen), proposed) - 1e-5 * Largest(proposed))
                    chosen = node;
            pose.boneNode.push_back(chosen);
            if (!chosen) continue;
            places.push_back(meshPlace(b, chosen));
            for (unsigned r = 0; r < 4; ++r)
                for (unsigned c = 0; c < 4; ++c) sum[r][c] += places.back()[r][c];
            pose.boneWorld.resize(b + 1);
            pose.boneWorld[b] = worlds.world.at(chosen);
        }
        for (unsigned r = 0; r < 4; ++r)
            for (unsigned c = 0; c < 4; ++c) sum[r][c] /= double(places.size());
        pose.meshWorld = worlds.world.at(&meshNode) * Matrix(worlds.world.at(root)).Inverse() * sum;
        double spread = 0;
        for (const Matrix& place : places) spread = std::max(spread, Difference(place, sum));
        spread /= std::max(Largest(sum), 1e-30);
        if (bestSpread < 0 || spread < bestSpread - 1e-5) best = pose, bestSpread = spread;
    }
    // Bones without a node stand where the mesh's place and their offset put them.
    for (size_t b = 0; b < offsets.size(); ++b)
        if (!best.boneNode[b]) {
            best.boneWorld.resize(std::max(best.boneWorld.size(), b + 1));
            best.boneWorld[b] = best.meshWorld * Inverse(Exact(offsets[b]));
        }
    if (bestSpread > 1e-4)
        best.problem = "its joints are not in the pose it was bound in, so where it was bound is their average";
    return best;
}

}  // namespace

SourceFormat FormatOf(const aiScene& scene) {
    // A scene without meshes gets a mesh of Assimp's own making that shows its skeleton,
    // whose offsets follow the general rule whatever the file's format.
    if (scene.mFlags & AI_SCENE_FLAGS_INCOMPLETE) return SourceFormat::Other;
    const std::string format = MetadataText(scene, "SourceAsset_Format");
    if (format.rfind("glTF", 0) == 0) return SourceFormat::Gltf;
    if (format.rfind("Collada", 0) == 0) return SourceFormat::Collada;
    if (format.find("FBX") != std::string::npos) return SourceFormat::Fbx;
    return SourceFormat::Other;
}

Matrix SceneFrame(const aiScene& scene) {
    Matrix frame;
    if (FormatOf(scene) != SourceFormat::Fbx) return frame;
    // The unit is centimetres times UnitScaleFactor.
    double unit = 1;
    if (Metadata(scene, "UnitScaleFactor", unit) && std::isfinite(unit) && unit > 0) {
        Matrix::Scaling(aiVector3t<double>(unit / 100), frame);
    }
    // The file's coordinate, up and front axes become X, Y and Z; anything but three
    // distinct axes leaves the coordinates as they are.
    double axis[3], sign[3];
    const char* keys[3][2] = {{"CoordAxis", "CoordAxisSign"}, {"UpAxis", "UpAxisSign"}, {"FrontAxis", "FrontAxisSign"}};
    for (int k = 0; k < 3; ++k)
        if (!Metadata(scene, keys[k][0], axis[k]) || !Metadata(scene, keys[k][1], sign[k])) return frame;
    bool used[3] = {false, false, false};
    Matrix rotation;
    for (unsigned k = 0; k < 3; ++k) {
        const int a = int(axis[k]);
        if (a < 0 || a > 2 || used[a] || (sign[k] != 1 && sign[k] != -1)) return frame;
        used[a] = true;
        for (unsigned c = 0; c < 3; ++c) rotation[k][c] = c == unsigned(a) ? sign[k] : 0;
    }
    // A left-handed set of axes would mirror the scene: keep it as stored.
    if (rotation.Determinant() < 0) return frame;
    return rotation * frame;
}

// Nodes in the file's order, so that of two nodes with one name the first comes first.
SceneWorlds::SceneWorlds(const aiScene& scene) : frame(SceneFrame(scene)) {
    std::vector<std::pair<const aiNode*, Matrix>> stack{{scene.mRootNode, frame}};
    while (!stack.empty()) {
        const auto [node, above] = stack.back();
        stack.pop_back();
        const Matrix own = above * Exact(node->mTransformation);
        world[node] = own;
        byName.emplace(node->mName.C_Str(), node);
        for (unsigned c = node->mNumChildren; c-- > 0;) {
            parent[node->mChildren[c]] = node;
            stack.emplace_back(node->mChildren[c], own);
        }
    }
}

SkinBindPose BindPoseOf(const aiScene& scene, const SceneWorlds& worlds, const aiNode& meshNode,
                        const std::vector<std::string>& boneNames, const std::vector<aiMatrix4x4>& offsets) {
    SkinBindPose pose;
    switch (FormatOf(scene)) {
    case SourceFormat::Gltf: pose = GltfBindPose(worlds, offsets); break;
    case SourceFormat::Fbx: pose = FbxBindPose(scene, worlds, meshNode, offsets); break;
    case SourceFormat::Collada: pose = ColladaBindPose(worlds, scene.mRootNode, meshNode, boneNames, offsets); break;
    case SourceFormat::Other:
        pose.meshWorld = worlds.world.at(&meshNode);
        BonesFromOffsets(offsets, pose);
        break;
    }
    if (pose.boneNode.empty())
        for (const std::string& name : boneNames) pose.boneNode.push_back(scene.mRootNode->FindNode(name.c_str()));
    return pose;
}

}  // namespace tessaline
