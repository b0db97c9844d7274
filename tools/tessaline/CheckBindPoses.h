#pragma once
// Where a source skin was bound, as the independent check works it out from what the
// file's format means by Assimp's offset matrices. Written apart from the loader's rules
// on purpose, and by other routes where there are two (COLLADA vertices are placed by
// skinning them at the joints' pose, not through one average place for the mesh), so that
// one mistake cannot pass in both.

#include <assimp/scene.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "CheckMatrix.h"

namespace tessaline {

class CheckBindPoses {
public:
    explicit CheckBindPoses(const aiScene& scene);

    // World matrix of a node, in metres with Y up (FBX's stated unit and axes applied).
    const Mat4& World(const aiNode& node) const { return m_world.at(&node); }
    const aiNode* Parent(const aiNode& node) const {
        auto found = m_parent.find(&node);
        return found == m_parent.end() ? nullptr : found->second;
    }
    // Where vertex `vertex` of a part on meshNode stood at bind time, as a matrix applied
    // to its stored position (and, through its inverse transpose, its normal).
    Mat4 VertexBind(const aiNode& meshNode, const aiMesh& part, unsigned vertex) const;
    // How far apart the joints of a COLLADA skin place the vertex (each joint's node
    // times its offset gives the mesh's place, and the file's digits make them disagree a
    // little): no reading can place it closer than that. 0 for the other formats.
    double VertexUncertainty(const aiNode& meshNode, const aiMesh& part, unsigned vertex) const;
    // Bone b of the part at bind time; false when its matrix cannot be inverted.
    bool BoneBind(const aiNode& meshNode, const aiMesh& part, unsigned b, Mat4& out) const;

private:
    enum class Format { Gltf, Collada, Fbx, Other };
    const aiNode* JointNode(const std::string& name) const;
    Mat4 SkinFrame(const aiNode& meshNode, const aiMesh& part, unsigned b) const;

    const aiScene& m_scene;
    Format m_format = Format::Other;
    bool m_fromBlender = false;
    std::map<const aiNode*, Mat4> m_world;
    std::map<const aiNode*, const aiNode*> m_parent;
    std::map<std::string, const aiNode*> m_lastOfName;
    Mat4 m_frame;
    // Worked out once per part: each vertex's (bone, weight) pairs, and the frame through a bone.
    mutable std::map<const aiMesh*, std::vector<std::vector<std::pair<unsigned, float>>>> m_vertexWeights;
    mutable std::map<std::pair<const aiMesh*, unsigned>, Mat4> m_skinFrames;
};

}  // namespace tessaline
