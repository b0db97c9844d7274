#include "CheckBindPoses.h"

#include "SourceScene.h"

#include <cstring>
#include <vector>

namespace tessaline {

namespace {

std::string Text(const aiScene& scene, const char* key) {
    aiString value;
    return scene.mMetaData && scene.mMetaData->Get(key, value) ? value.C_Str() : "";
}

// A number of the scene's metadata, whichever type the reader stored it as.
bool Number(const aiScene& scene, const char* key, double& out) {
    if (!scene.mMetaData) return false;
    int32_t i;
    float f;
    double d;
    if (scene.mMetaData->Get(key, d)) return out = d, true;
    if (scene.mMetaData->Get(key, f)) return out = f, true;
    if (scene.mMetaData->Get(key, i)) return out = i, true;
    return false;
}

// An FBX file says in which unit (centimetres times UnitScaleFactor) and along which
// axes it stores coordinates; the check wants metres with X, Y and Z as coordinate, up
// and front axes.
Mat4 FbxFrame(const aiScene& scene) {
    Mat4 frame;
    double unit = 1, up, upSign, front, frontSign, coord, coordSign;
    if (!Number(scene, "UnitScaleFactor", unit) || !(unit > 0) || !std::isfinite(unit)) unit = 1;
    Mat4 axes;
    if (Number(scene, "UpAxis", up) && Number(scene, "UpAxisSign", upSign) && Number(scene, "FrontAxis", front) &&
        Number(scene, "FrontAxisSign", frontSign) && Number(scene, "CoordAxis", coord) &&
        Number(scene, "CoordAxisSign", coordSign)) {
        const double axis[3] = {coord, up, front}, sign[3] = {coordSign, upSign, frontSign};
        Mat4 candidate;
        bool valid = true;
        for (int row = 0; row < 3; ++row)
            for (int c = 0; c < 3; ++c) candidate.m[row][c] = int(axis[row]) == c ? sign[row] : 0;
        // A proper rotation only: each output axis takes one input axis, without a mirror.
        double det = 0;
        for (int c = 0; c < 3; ++c)
            det += candidate.m[0][c] * (candidate.m[1][(c + 1) % 3] * candidate.m[2][(c + 2) % 3] -
                                        candidate.m[1][(c + 2) % 3] * candidate.m[2][(c + 1) % 3]);
        valid = std::fabs(det - 1) < 1e-9;
        if (valid) axes = candidate;
    }
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) frame.m[r][c] = axes.m[r][c] * unit / 100;
    return frame;
}

}  // namespace

CheckBindPoses::CheckBindPoses(const aiScene& scene) : m_scene(scene) {
    // Assimp's own mesh showing the skeleton of a scene without meshes binds by the
    // general rule.
    const std::string format = scene.mFlags & AI_SCENE_FLAGS_INCOMPLETE ? "" : Text(scene, "SourceAsset_Format");
    if (format.rfind("glTF", 0) == 0)
        m_format = Format::Gltf;
    else if (format.rfind("Collada", 0) == 0)
        m_format = Format::Collada;
    else if (format.find("FBX") != std::string::npos)
        m_format = Format::Fbx;
    m_fromBlender = Text(scene, "SourceAsset_Generator").rfind("Blender", 0) == 0;
    if (m_format == Format::Fbx) m_frame = FbxFrame(scene);
    // Parents as the children lists give them: some of Assimp's loaders set mParent to
    // something else.
    ForEachNode(*scene.mRootNode, [&](const aiNode& node, const aiNode* parent) {
        if (parent) m_parent[&node] = parent;
        m_world[&node] = (parent ? m_world.at(parent) : m_frame) * Mat4::From(node.mTransformation);
        m_lastOfName[node.mName.C_Str()] = &node;
    });
}

// A COLLADA file may hold an armature twice under the same names; the copy written last
// is the one the skin was made with.
const aiNode* CheckBindPoses::JointNode(const std::string& name) const {
    auto found = m_lastOfName.find(name);
    return found == m_lastOfName.end() ? nullptr : found->second;
}

// The matrix taking the part's stored vertices to the world at bind time, through bone b:
//  - glTF ignores the skinned mesh node's transform: vertices are in the root frame;
//  - FBX binds at the mesh's world matrix, except that Blender's exporter writes that
//    world matrix as the mesh node's local transform;
//  - COLLADA: the joint's node holds its bind pose, so world(joint) · offset is the
//    bind shape matrix behind the root's unit and axis change R, and the vertices stood
//    at world(mesh node) · R⁻¹ · world(joint) · offset;
//  - the others bind at the mesh node's world matrix.
Mat4 CheckBindPoses::SkinFrame(const aiNode& meshNode, const aiMesh& part, unsigned b) const {
    switch (m_format) {
    case Format::Gltf: return Mat4();
    case Format::Fbx:
        if (m_fromBlender) return m_frame * Mat4::From(meshNode.mTransformation);
        return World(meshNode);
    case Format::Collada: {
        const aiNode* joint = b < part.mNumBones ? JointNode(part.mBones[b]->mName.C_Str()) : nullptr;
        if (!joint) break;
        return World(meshNode) * World(*m_scene.mRootNode).Inverted() * World(*joint) *
               Mat4::From(part.mBones[b]->mOffsetMatrix);
    }
    case Format::Other: break;
    }
    return World(meshNode);
}

// COLLADA's mesh is placed through its joints, so a vertex goes where skinning at the
// joints' pose puts it: its bones' frames blended by its weights. The other formats give
// one frame for the whole mesh.
Mat4 CheckBindPoses::VertexBind(const aiNode& meshNode, const aiMesh& part, unsigned vertex) const {
    if (!part.HasBones()) return World(meshNode);
    auto frameOf = [&](unsigned bone) {
        auto key = std::make_pair(&part, bone);
        auto frame = m_skinFrames.find(key);
        if (frame == m_skinFrames.end()) frame = m_skinFrames.emplace(key, SkinFrame(meshNode, part, bone)).first;
        return frame->second;
    };
    if (m_format != Format::Collada) return frameOf(0);
    auto [weights, added] = m_vertexWeights.try_emplace(&part);
    if (added) {
        weights->second.resize(part.mNumVertices);
        for (unsigned b = 0; b < part.mNumBones; ++b)
            for (unsigned w = 0; w < part.mBones[b]->mNumWeights; ++w) {
                const aiVertexWeight& weight = part.mBones[b]->mWeights[w];
                if (weight.mVertexId < part.mNumVertices && weight.mWeight > 0)
                    weights->second[weight.mVertexId].emplace_back(b, weight.mWeight);
            }
    }
    if (vertex >= weights->second.size() || weights->second[vertex].empty()) return frameOf(0);
    const auto& own = weights->second[vertex];
    Mat4 blend;
    double total = 0;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) blend.m[r][c] = 0;
    for (const auto& [bone, weight] : own) {
        const Mat4 frame = frameOf(bone);
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c) blend.m[r][c] += weight * frame.m[r][c];
        total += weight;
    }
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) blend.m[r][c] /= total;
    return blend;
}

double CheckBindPoses::VertexUncertainty(const aiNode& meshNode, const aiMesh& part, unsigned vertex) const {
    if (m_format != Format::Collada || !part.HasBones() || vertex >= part.mNumVertices) return 0;
    const Vec3 placed = VertexBind(meshNode, part, vertex).Point(part.mVertices[vertex]);
    double largest = 0;
    for (unsigned b = 0; b < part.mNumBones; ++b) {
        auto key = std::make_pair(&part, b);
        auto frame = m_skinFrames.find(key);
        if (frame == m_skinFrames.end()) frame = m_skinFrames.emplace(key, SkinFrame(meshNode, part, b)).first;
        const Vec3 through = frame->second.Point(part.mVertices[vertex]);
        double squared = 0;
        for (size_t i = 0; i < 3; ++i) squared += (through[i] - placed[i]) * (through[i] - placed[i]);
        largest = std::max(largest, std::sqrt(squared));
    }
    return largest;
}

bool CheckBindPoses::BoneBind(const aiNode& meshNode, const aiMesh& part, unsigned b, Mat4& out) const {
    const aiBone& bone = *part.mBones[b];
    if (m_format == Format::Collada)
        if (const aiNode* joint = JointNode(bone.mName.C_Str())) return out = World(*joint), true;
    Mat4 inverseOffset;
    if (!Mat4::From(bone.mOffsetMatrix).Inverse(inverseOffset)) return false;
    out = SkinFrame(meshNode, part, b) * inverseOffset;
    return true;
}

}  // namespace tessaline
