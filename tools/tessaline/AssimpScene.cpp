#include "AssimpScene.h"

#include <assimp/cimport.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <maya/MDoubleArray.h>
#include <maya/MFloatArray.h>
#include <maya/MFloatPointArray.h>
#include <maya/MFnDagNode.h>
#include <maya/MFnMesh.h>
#include <maya/MIntArray.h>
#include <maya/MVectorArray.h>

#include <map>
#include <vector>

#include "tessahost/StandIn.h"

namespace tessaline {

namespace {

// Assimp keeps column vectors (translation in the last column); the host uses row
// vectors (translation in the last row).
MMatrix ToHost(const aiMatrix4x4& m) {
    const double rows[4][4] = {{m.a1, m.b1, m.c1, m.d1}, {m.a2, m.b2, m.c2, m.d2},
                               {m.a3, m.b3, m.c3, m.d3}, {m.a4, m.b4, m.c4, m.d4}};
    return MMatrix(rows);
}

std::string Name(const aiString& name, const char* fallback) {
    return name.length ? std::string(name.C_Str()) : std::string(fallback);
}

class Importer {
public:
    explicit Importer(const aiScene* scene) : m_scene(scene) {
        for (unsigned int m = 0; m < scene->mNumMeshes; ++m)
            for (unsigned int b = 0; b < scene->mMeshes[m]->mNumBones; ++b)
                m_boneNames[scene->mMeshes[m]->mBones[b]->mName.C_Str()] = true;
    }

    void Run() {
        BuildNode(m_scene->mRootNode, MObject::kNullObj);
        for (auto& [node, object] : m_meshNodes) BuildMeshes(node, object);
    }

private:
    // Nodes named by a bone become joints, the others transforms.
    void BuildNode(const aiNode* node, const MObject& parent) {
        const std::string name = Name(node->mName, "node");
        const MMatrix local = ToHost(node->mTransformation);
        const MObject object = m_boneNames.count(name) ? standin::makeJoint(name.c_str(), parent, local)
                                                       : standin::makeTransform(name.c_str(), parent, local);
        m_nodes[node] = object;
        if (node->mNumMeshes) m_meshNodes.emplace_back(node, object);
        for (unsigned int c = 0; c < node->mNumChildren; ++c) BuildNode(node->mChildren[c], object);
    }

    void BuildMeshes(const aiNode* node, const MObject& parent) {
        for (unsigned int i = 0; i < node->mNumMeshes; ++i) {
            const aiMesh* mesh = m_scene->mMeshes[node->mMeshes[i]];
            if (!(mesh->mPrimitiveTypes & aiPrimitiveType_POLYGON) && !(mesh->mPrimitiveTypes & aiPrimitiveType_TRIANGLE))
                continue;
            BuildMesh(mesh, parent);
        }
    }

    void BuildMesh(const aiMesh* mesh, const MObject& parent) {
        MFloatPointArray points;
        for (unsigned int v = 0; v < mesh->mNumVertices; ++v)
            points.append(MFloatPoint(mesh->mVertices[v].x, mesh->mVertices[v].y, mesh->mVertices[v].z));
        MIntArray counts, connects;
        for (unsigned int f = 0; f < mesh->mNumFaces; ++f) {
            const aiFace& face = mesh->mFaces[f];
            if (face.mNumIndices < 3) continue;
            counts.append(int(face.mNumIndices));
            for (unsigned int k = 0; k < face.mNumIndices; ++k) connects.append(int(face.mIndices[k]));
        }
        if (counts.length() == 0) return;
        const std::string name = Name(mesh->mName, "mesh");
        MObject shape = standin::makeMesh(name.c_str(), points, counts, connects, parent);
        if (shape.isNull()) return;
        MFnMesh fnMesh(shape);

        if (mesh->HasNormals()) {
            MVectorArray normals;
            MIntArray faces, vertices;
            for (unsigned int f = 0, p = 0; f < mesh->mNumFaces; ++f) {
                if (mesh->mFaces[f].mNumIndices < 3) continue;
                for (unsigned int k = 0; k < mesh->mFaces[f].mNumIndices; ++k) {
                    const unsigned int v = mesh->mFaces[f].mIndices[k];
                    normals.append(MVector(mesh->mNormals[v].x, mesh->mNormals[v].y, mesh->mNormals[v].z));
                    faces.append(int(p));
                    vertices.append(int(v));
                }
                ++p;
            }
            fnMesh.setFaceVertexNormals(normals, faces, vertices, MSpace::kObject);
        }

        for (unsigned int channel = 0; channel < AI_MAX_NUMBER_OF_TEXTURECOORDS; ++channel) {
            if (!mesh->HasTextureCoords(channel)) continue;
            MString set = channel == 0 ? MString("map1") : MString(("map" + std::to_string(channel + 1)).c_str());
            if (channel != 0) fnMesh.createUVSet(set);
            MFloatArray u, v;
            for (unsigned int i = 0; i < mesh->mNumVertices; ++i) {
                u.append(mesh->mTextureCoords[channel][i].x);
                v.append(mesh->mTextureCoords[channel][i].y);
            }
            fnMesh.setUVs(u, v, &set);
            fnMesh.assignUVs(counts, connects, &set);
        }

        if (mesh->mMaterialIndex < m_scene->mNumMaterials) standin::assignFaces(shape, 0, ShadingGroup(mesh->mMaterialIndex));
        if (mesh->HasBones()) Bind(mesh, shape);
    }

    MObject ShadingGroup(unsigned int material) {
        auto found = m_groups.find(material);
        if (found != m_groups.end()) return found->second;
        aiString name;
        m_scene->mMaterials[material]->Get(AI_MATKEY_NAME, name);
        const std::string materialName = Name(name, "material");
        MObject group = standin::makeShadingGroup((materialName + "SG").c_str(), materialName.c_str());
        m_groups[material] = group;
        return group;
    }

    // Binds with the file's weights; each bone's bind-time world matrix is the mesh's
    // world matrix times the inverse of the bone's offset matrix.
    void Bind(const aiMesh* mesh, const MObject& shape) {
        MObjectArray influences;
        std::vector<const aiBone*> bones;
        std::vector<MMatrix> bindWorld;
        MDagPath path;
        MFnDagNode(shape).getPath(path);
        const MMatrix meshWorld = path.inclusiveMatrix();
        for (unsigned int b = 0; b < mesh->mNumBones; ++b) {
            const aiBone* bone = mesh->mBones[b];
            const aiNode* node = m_scene->mRootNode->FindNode(bone->mName);
            if (!node || !m_nodes.count(node)) continue;
            influences.append(m_nodes[node]);
            bones.push_back(bone);
            bindWorld.push_back(ToHost(bone->mOffsetMatrix).inverse() * meshWorld);
        }
        if (bones.empty()) return;
        MDoubleArray weights;
        std::vector<double> table(size_t(mesh->mNumVertices) * bones.size(), 0.0);
        for (size_t b = 0; b < bones.size(); ++b)
            for (unsigned int w = 0; w < bones[b]->mNumWeights; ++w) {
                const aiVertexWeight& weight = bones[b]->mWeights[w];
                if (weight.mVertexId < mesh->mNumVertices) table[size_t(weight.mVertexId) * bones.size() + b] = weight.mWeight;
            }
        for (double w : table) weights.append(w);
        standin::bindSkin(shape, influences, weights, bindWorld.data());
    }

    const aiScene* m_scene;
    std::map<std::string, bool> m_boneNames;
    std::map<const aiNode*, MObject> m_nodes;
    std::vector<std::pair<const aiNode*, MObject>> m_meshNodes;
    std::map<unsigned int, MObject> m_groups;
};

}  // namespace

bool LoadWithAssimp(const std::string& path, std::string& error) {
    const aiScene* scene = aiImportFile(path.c_str(), aiProcess_JoinIdenticalVertices | aiProcess_GenNormals |
                                                          aiProcess_ValidateDataStructure);
    if (!scene || !scene->mRootNode) {
        error = aiGetErrorString();
        if (scene) aiReleaseImport(scene);
        return false;
    }
    Importer(scene).Run();
    aiReleaseImport(scene);
    return true;
}

}  // namespace tessaline
