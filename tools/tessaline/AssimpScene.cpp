#include "AssimpScene.h"

#include <assimp/cimport.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <maya/MDoubleArray.h>
#include <maya/MFloatArray.h>
#include <maya/MFloatPointArray.h>
#include <maya/MFnDagNode.h>
#include <maya/MFnMesh.h>
#include <maya/MGlobal.h>
#include <maya/MIntArray.h>
#include <maya/MVectorArray.h>

#include <algorithm>
#include <map>
#include <vector>

#include "SourceBindPose.h"
#include "SourceNames.h"
#include "SourceScene.h"
#include "WeldedMesh.h"
#include "tessahost/StandIn.h"

namespace tessaline {

namespace {

MMatrix ToHost(const aiMatrix4x4& m) {
    double rows[4][4];
    ToRows(m, rows);
    return MMatrix(rows);
}

// The host's rows are the columns of Assimp's matrix.
MMatrix ToHost(const Matrix& m) {
    double rows[4][4];
    for (unsigned r = 0; r < 4; ++r)
        for (unsigned c = 0; c < 4; ++c) rows[r][c] = m[c][r];
    return MMatrix(rows);
}

void Warn(const std::string& text) {
    MGlobal::displayWarning(("WARNING: " + text).c_str());
    MGlobal::displayWarning("\r\n");
}

std::string Quoted(const std::string& name) { return "\"" + name + "\""; }

class Importer {
public:
    explicit Importer(const aiScene& scene) : m_scene(scene), m_names(NameSourceScene(scene)), m_worlds(scene) {}

    void Run() {
        ForEachNode(*m_scene.mRootNode, [&](const aiNode& node, const aiNode* parent) {
            BuildNode(node, parent ? m_nodes.at(parent) : MObject::kNullObj);
        });
        BuildBonesWithoutNode();
        for (const BuiltMesh& mesh : m_meshes) BindSkin(mesh);
    }

    bool BuiltNothing() const { return m_builtMeshes == 0 && m_names.boneNames.empty(); }
    // The first mesh whose skin could not be bound; empty when every skin was.
    const std::string& Unbound() const { return m_unbound; }

private:
    struct BuiltMesh {
        std::string name;
        MObject shape;
        WeldedMesh data;
        SkinBindPose bindPose;
    };

    // Nodes named by a bone become joints, the others transforms; a node's meshes become
    // one mesh shape under its transform. The root takes the scene frame (units and axes
    // the file states but Assimp leaves as stored).
    void BuildNode(const aiNode& node, const MObject& parent) {
        const std::string& name = m_names.node.at(&node);
        const Matrix aboveNode = &node == m_scene.mRootNode ? Matrix() : m_worlds.world.at(m_worlds.parent.at(&node));
        const MMatrix local = &node == m_scene.mRootNode ? ToHost(m_worlds.frame * Exact(node.mTransformation))
                                                         : ToHost(node.mTransformation);
        MObject object;
        if (m_names.IsJoint(node)) {
            object = standin::makeJoint(name.c_str(), parent, local);
            if (node.mNumMeshes)
                BuildMesh(node, m_names.meshOfJoint.at(&node), object, MMatrix(), m_worlds.world.at(&node));
        } else if (node.mNumMeshes) {
            object = BuildMesh(node, name, parent, local, aboveNode);
        }
        if (object.isNull()) object = standin::makeTransform(name.c_str(), parent, local);
        m_nodes[&node] = object;
    }

    // The transform holding the node's meshes, or null when there is nothing to build.
    // A skinned mesh is placed where its format says it was bound, whatever its node's
    // transform; aboveMesh is the world matrix of the transform's parent.
    MObject BuildMesh(const aiNode& node, const std::string& name, const MObject& parent, MMatrix local,
                      const Matrix& aboveMesh) {
        WeldedMesh mesh = WeldNodeMeshes(m_scene, node);
        if (mesh.skippedPrimitives)
            Warn("Mesh " + Quoted(name) + " has " + std::to_string(mesh.skippedPrimitives) +
                 " lines or points, which a polygon mesh cannot hold. They are left out.");
        if (mesh.removedPolygons)
            Warn("Mesh " + Quoted(name) + " has " + std::to_string(mesh.removedPolygons) +
                 " polygons with fewer than 3 distinct corners. They are left out.");
        if (!mesh.finitePoints) {
            Warn("Mesh " + Quoted(name) + " has vertex positions that are not finite numbers. It is skipped.");
            return MObject::kNullObj;
        }
        if (mesh.counts.empty()) {
            Warn("Mesh " + Quoted(name) + " has no polygons. It is skipped.");
            return MObject::kNullObj;
        }
        MFloatPointArray points;
        for (const aiVector3D& p : mesh.points) points.append(MFloatPoint(p.x, p.y, p.z));
        MIntArray counts, connects;
        for (int c : mesh.counts) counts.append(c);
        for (int v : mesh.connects) connects.append(v);
        const MObject shape = standin::makeMesh(name.c_str(), points, counts, connects, parent);
        if (shape.isNull()) {
            Warn("Mesh " + Quoted(name) + " could not be built by the host. It is skipped.");
            return MObject::kNullObj;
        }
        ++m_builtMeshes;
        SkinBindPose bindPose;
        if (!mesh.boneNames.empty()) {
            bindPose = BindPoseOf(m_scene, m_worlds, node, mesh.boneNames, mesh.boneOffsets);
            if (!bindPose.problem.empty())
                Warn("Mesh " + Quoted(name) + ": its bind pose cannot be recovered from the file: " + bindPose.problem +
                     ".");
            local = ToHost(Matrix(aboveMesh).Inverse() * bindPose.meshWorld);
        }
        const MObject transform = MFnDagNode(shape).parent(0);
        standin::setLocalMatrix(transform, local);
        SetNormals(shape, mesh);
        SetUVs(shape, mesh);
        AssignMaterials(shape, mesh);
        if (!mesh.boneNames.empty()) m_meshes.push_back(BuiltMesh{name, shape, std::move(mesh), std::move(bindPose)});
        return transform;
    }

    static void SetNormals(const MObject& shape, const WeldedMesh& mesh) {
        MVectorArray normals;
        MIntArray faces, vertices;
        for (size_t p = 0, corner = 0; p < mesh.counts.size(); ++p)
            for (int k = 0; k < mesh.counts[p]; ++k, ++corner) {
                if (!mesh.cornerHasNormal[corner]) continue;
                const aiVector3D& n = mesh.cornerNormals[corner];
                normals.append(MVector(n.x, n.y, n.z));
                faces.append(int(p));
                vertices.append(mesh.connects[corner]);
            }
        if (normals.length()) MFnMesh(shape).setFaceVertexNormals(normals, faces, vertices, MSpace::kObject);
    }

    // UV set k is "map<k+1>"; equal UVs within a set share one id.
    static void SetUVs(const MObject& shape, const WeldedMesh& mesh) {
        MFnMesh fnMesh(shape);
        for (size_t set = 0; set < mesh.uvChannels.size(); ++set) {
            MString name(("map" + std::to_string(set + 1)).c_str());
            if (set != 0) fnMesh.createUVSet(name);
            MFloatArray u, v;
            MIntArray uvCounts, uvIds;
            std::map<std::pair<float, float>, int> idOfUV;
            for (size_t p = 0, corner = 0; p < mesh.counts.size(); ++p) {
                const bool mapped = mesh.cornerHasUV[set][corner];
                uvCounts.append(mapped ? mesh.counts[p] : 0);
                for (int k = 0; k < mesh.counts[p]; ++k, ++corner) {
                    if (!mapped) continue;
                    const aiVector2D& uv = mesh.cornerUVs[set][corner];
                    auto [found, added] = idOfUV.emplace(std::make_pair(uv.x, uv.y), int(u.length()));
                    if (added) u.append(uv.x), v.append(uv.y);
                    uvIds.append(found->second);
                }
            }
            fnMesh.setUVs(u, v, &name);
            fnMesh.assignUVs(uvCounts, uvIds, &name);
        }
    }

    void AssignMaterials(const MObject& shape, const WeldedMesh& mesh) {
        std::map<unsigned, MIntArray> facesOfMaterial;
        for (size_t p = 0; p < mesh.materials.size(); ++p)
            if (mesh.materials[p] < m_scene.mNumMaterials) facesOfMaterial[mesh.materials[p]].append(int(p));
        for (auto& [material, faces] : facesOfMaterial) standin::assignFaces(shape, 0, ShadingGroup(material), faces);
    }

    MObject ShadingGroup(unsigned int material) {
        auto found = m_groups.find(material);
        if (found != m_groups.end()) return found->second;
        aiString name;
        m_scene.mMaterials[material]->Get(AI_MATKEY_NAME, name);
        const std::string materialName = name.length ? name.C_Str() : "material";
        MObject group = standin::makeShadingGroup((materialName + "SG").c_str(), materialName.c_str());
        m_groups[material] = group;
        return group;
    }

    // A skin bone that names no node becomes a root joint at its bind pose, so that its
    // weights are kept.
    void BuildBonesWithoutNode() {
        for (const std::string& source : m_names.bonesWithoutNode) {
            for (const BuiltMesh& mesh : m_meshes) {
                const auto& names = mesh.data.boneNames;
                const size_t b = size_t(std::find(names.begin(), names.end(), source) - names.begin());
                if (b == names.size()) continue;
                const std::string& name = m_names.boneWithoutNode.at(source);
                Warn("Bone " + Quoted(source) + " of mesh " + Quoted(mesh.name) +
                     " names no node of the scene. It is made a joint " + Quoted(name) +
                     " at the scene root, at its bind pose.");
                m_bonesWithoutNode[source] =
                    standin::makeJoint(name.c_str(), MObject::kNullObj, ToHost(mesh.bindPose.boneWorld[b]));
                break;
            }
        }
    }

    // Binds with the file's weights at the bind pose its offsets give.
    void BindSkin(const BuiltMesh& mesh) {
        const WeldedMesh& data = mesh.data;
        MObjectArray influences;
        std::vector<MMatrix> bindWorld;
        for (size_t b = 0; b < data.boneNames.size(); ++b) {
            const aiNode* boneNode = mesh.bindPose.boneNode[b];
            influences.append(boneNode ? m_nodes.at(boneNode) : m_bonesWithoutNode.at(data.boneNames[b]));
            bindWorld.push_back(ToHost(mesh.bindPose.boneWorld[b]));
        }
        MDoubleArray weights(unsigned(data.points.size() * data.boneNames.size()), 0.0);
        for (size_t v = 0; v < data.vertexWeights.size(); ++v)
            for (const auto& [bone, weight] : data.vertexWeights[v])
                weights[unsigned(v * data.boneNames.size() + bone)] = weight;
        // A skin that cannot be bound would lose every weight: the conversion fails.
        if (standin::bindSkin(mesh.shape, influences, weights, bindWorld.data()).isNull() && m_unbound.empty())
            m_unbound = mesh.name;
    }

    const aiScene& m_scene;
    const SourceNames m_names;
    const SceneWorlds m_worlds;
    std::map<const aiNode*, MObject> m_nodes;
    std::map<std::string, MObject> m_bonesWithoutNode;
    std::vector<BuiltMesh> m_meshes;
    std::map<unsigned int, MObject> m_groups;
    int m_builtMeshes = 0;
    std::string m_unbound;
};

}  // namespace

SourceLoad LoadWithAssimp(const std::string& path, std::string& error) {
    const aiScene* scene = ReadSourceScene(path, error);
    if (!scene) return SourceLoad::Unreadable;
    Importer importer(*scene);
    importer.Run();
    aiReleaseImport(scene);
    // A file of lines, points, empty meshes or nodes alone would give a rig with nothing in it.
    if (importer.BuiltNothing()) {
        error = "it holds no polygon mesh and no joint that a rig can carry.";
        return SourceLoad::NothingToConvert;
    }
    if (!importer.Unbound().empty()) {
        error = "the skin of mesh \"" + importer.Unbound() +
                "\" could not be bound to its bones, so its weights would be lost.";
        return SourceLoad::NothingToConvert;
    }
    return SourceLoad::Loaded;
}

}  // namespace tessaline
