#pragma once
// Reads a rig text through both readers and says where they part: tsl.h's model, and the
// scene the plug-in's importer builds in the stand-in host, read back through the host's
// own API (joints, meshes, normals, UV sets, skin weights). The comparison knows nothing
// of the plug-in's code; it only asks the scene.

#include <maya/MDagPath.h>
#include <maya/MDagPathArray.h>
#include <maya/MDoubleArray.h>
#include <maya/MFloatArray.h>
#include <maya/MFloatPointArray.h>
#include <maya/MFloatVectorArray.h>
#include <maya/MFnDagNode.h>
#include <maya/MFnDependencyNode.h>
#include <maya/MFnMesh.h>
#include <maya/MFnSingleIndexedComponent.h>
#include <maya/MFnSkinCluster.h>
#include <maya/MIntArray.h>
#include <maya/MMatrix.h>
#include <maya/MStringArray.h>

#include <cmath>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/PluginHostTest.h"
#include "tsl.h"

namespace engine_test {

// The order in which the importer makes joints: bones in index order, each after its
// parent. A bone without a name has no joint.
inline std::vector<uint32_t> JointOrder(const tsl_rig& rig) {
    std::vector<uint32_t> order;
    std::vector<char> made(rig.num_bones, 0);
    for (uint32_t i = 0; i < rig.num_bones; ++i) {
        std::vector<uint32_t> chain;
        for (int32_t b = int32_t(i); b >= 0 && !made[size_t(b)] && rig.bones[b].name[0]; b = rig.bones[b].parent)
            chain.push_back(uint32_t(b));
        for (auto it = chain.rbegin(); it != chain.rend(); ++it)
            if (!made[*it]) {
                made[*it] = 1;
                order.push_back(*it);
            }
    }
    return order;
}

inline std::vector<MObject> NodesOfType(MFn::Type type, bool visibleOnly) {
    std::vector<MObject> nodes;
    MObjectArray all = standin::allNodes();
    for (unsigned int i = 0; i < all.length(); ++i)
        if (all[i].apiType() == type && !(visibleOnly && MFnDagNode(all[i]).isIntermediateObject()))
            nodes.push_back(all[i]);
    return nodes;
}

inline MObject ClusterOf(const MObject& shape) {
    for (const MObject& cluster : NodesOfType(MFn::kSkinClusterFilter, false)) {
        MFnSkinCluster skin(cluster);
        for (unsigned int i = 0; i < skin.numOutputConnections(); ++i)
            if (skin.outputShapeAtIndex(i) == shape) return cluster;
    }
    return MObject::kNullObj;
}

inline std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

inline std::string Name(const MObject& node) { return MFnDependencyNode(node).name().asChar(); }

inline bool Near(double a, double b) { return std::fabs(a - b) <= 1e-5 * (1.0 + std::fabs(b)); }

// "" when the scene holds what the model says, else the first difference.
inline std::string SceneDifference(const tsl_rig& rig) {
    // Names the scene can keep as they are: used once among bones and meshes, and free
    // of the "|" that separates a node path's names.
    std::map<std::string, int> uses;
    for (uint32_t b = 0; b < rig.num_bones; ++b) ++uses[rig.bones[b].name];
    for (uint32_t m = 0; m < rig.num_meshes; ++m) ++uses[rig.meshes[m].name];
    for (auto& [name, count] : uses)
        if (name.find('|') != std::string::npos) count = 2;

    const std::vector<uint32_t> order = JointOrder(rig);
    const std::vector<MObject> joints = NodesOfType(MFn::kJoint, false);
    if (joints.size() != order.size())
        return "joints: scene " + std::to_string(joints.size()) + ", model " + std::to_string(order.size());
    std::map<uint32_t, size_t> jointOfBone;
    for (size_t k = 0; k < order.size(); ++k) jointOfBone[order[k]] = k;
    for (size_t k = 0; k < order.size(); ++k) {
        const tsl_bone& bone = rig.bones[order[k]];
        const std::string at = " of bone " + std::to_string(order[k]) + " \"" + bone.name + "\"";
        if (uses[bone.name] == 1 && Name(joints[k]) != bone.name) return "name" + at + ": scene " + Name(joints[k]);
        const MObject parent = MFnDagNode(joints[k]).parent(0);
        int32_t parentBone = -1;
        for (size_t j = 0; j < joints.size(); ++j)
            if (joints[j] == parent) parentBone = int32_t(order[j]);
        if (parentBone != bone.parent)
            return "parent" + at + ": scene " + std::to_string(parentBone) + ", model " + std::to_string(bone.parent);
        // Below a joint whose matrix has no inverse the scene cannot hold a world matrix
        // (it keeps local ones); such joints are judged by their parents alone.
        bool placeable = true;
        for (int32_t a = bone.parent; a >= 0; a = rig.bones[a].parent)
            placeable = placeable && rig.bones[a].bind_invertible;
        const MMatrix world = standin::worldMatrix(joints[k]);
        for (int r = 0; r < 4 && placeable; ++r)
            for (int c = 0; c < 4; ++c)
                if (!Near(world(r, c), bone.bind[4 * r + c]))
                    return "bind matrix" + at + " (" + std::to_string(r) + "," + std::to_string(c) + "): scene " +
                           std::to_string(world(r, c)) + ", model " + std::to_string(bone.bind[4 * r + c]);
    }

    const std::vector<MObject> shapes = NodesOfType(MFn::kMesh, true);
    if (shapes.size() != rig.num_meshes)
        return "meshes: scene " + std::to_string(shapes.size()) + ", model " + std::to_string(rig.num_meshes);
    for (uint32_t m = 0; m < rig.num_meshes; ++m) {
        const tsl_mesh& mesh = rig.meshes[m];
        const std::string at = " of mesh " + std::to_string(mesh.file_index) + " \"" + mesh.name + "\"";
        const MObject shape = shapes[m];
        const std::string transform = Name(MFnDagNode(shape).parent(0));
        if (mesh.name[0] && uses[mesh.name] == 1 && transform != mesh.name) return "name" + at + ": scene " + transform;
        const MObject cluster = ClusterOf(shape);
        if (cluster.isNull() == bool(mesh.skinned)) return "skin" + at;
        // A skinned shape shows the skin's output, deformed; what the importer built (points,
        // normals, UVs) is the skin's input.
        MFnMesh fn(cluster.isNull() ? shape : MFnSkinCluster(cluster).inputShapeAtIndex(0));
        MFnMesh& input = fn;
        MFloatPointArray points;
        input.getPoints(points);
        if (points.length() != mesh.num_vertices) return "vertex count" + at;
        for (uint32_t v = 0; v < mesh.num_vertices; ++v)
            if (points[v].x != mesh.positions[3 * v] || points[v].y != mesh.positions[3 * v + 1] ||
                points[v].z != mesh.positions[3 * v + 2])
                return "position " + std::to_string(v) + at;
        MIntArray counts, corners;
        fn.getVertices(counts, corners);
        if (counts.length() != mesh.num_polygons || corners.length() != mesh.num_corners) return "polygon count" + at;
        for (uint32_t p = 0; p < mesh.num_polygons; ++p)
            if (uint32_t(counts[p]) != mesh.polygon_sizes[p]) return "polygon size" + at;
        for (uint32_t c = 0; c < mesh.num_corners; ++c)
            if (uint32_t(corners[c]) != mesh.corner_vertices[c]) return "corner vertex" + at;

        if (mesh.normal_indices) {
            MFloatVectorArray normals;
            fn.getNormals(normals);
            for (uint32_t p = 0; p < mesh.num_polygons; ++p) {
                MIntArray ids;
                fn.getFaceNormalIds(int(p), ids);
                if (ids.length() != mesh.polygon_sizes[p]) return "normal ids" + at;
                for (uint32_t k = 0; k < ids.length(); ++k) {
                    const float* n = mesh.normals + 3 * mesh.normal_indices[mesh.polygon_starts[p] + k];
                    const MFloatVector& s = normals[unsigned(ids[k])];
                    if (s.x != n[0] || s.y != n[1] || s.z != n[2])
                        return "normal of corner " + std::to_string(mesh.polygon_starts[p] + k) + at + ": scene " +
                               std::to_string(s.x) + " " + std::to_string(s.y) + " " + std::to_string(s.z) +
                               ", model " + std::to_string(n[0]) + " " + std::to_string(n[1]) + " " +
                               std::to_string(n[2]);
                }
            }
        }

        MStringArray sets;
        fn.getUVSetNames(sets);
        if (sets.length() != std::max(1u, mesh.num_uv_sets))
            return "UV sets" + at + ": scene " + std::to_string(sets.length()) + ", model " +
                   std::to_string(mesh.num_uv_sets);
        for (uint32_t s = 0; s < mesh.num_uv_sets; ++s) {
            const tsl_uv_set& set = mesh.uv_sets[s];
            MIntArray uvCounts, uvIds;
            MFloatArray u, v;
            fn.getAssignedUVs(uvCounts, uvIds, &sets[s]);
            fn.getUVs(u, v, &sets[s]);
            if (!set.indices) {
                if (uvIds.length() != 0) return "UV set " + std::to_string(s) + " should be empty" + at;
                continue;
            }
            if (uvIds.length() != mesh.num_corners) return "UV set " + std::to_string(s) + " mapping" + at;
            for (uint32_t c = 0; c < mesh.num_corners; ++c) {
                const float* uv = set.uvs + 2 * set.indices[c];
                if (u[unsigned(uvIds[c])] != uv[0] || v[unsigned(uvIds[c])] != uv[1])
                    return "UV of corner " + std::to_string(c) + " in set " + std::to_string(s) + at;
            }
        }

        if (!mesh.skinned) continue;
        MFnSkinCluster skin(cluster);
        MDagPathArray influences;
        skin.influenceObjects(influences);
        std::vector<int32_t> boneOfInfluence;
        for (unsigned int i = 0; i < influences.length(); ++i) {
            int32_t bone = -1;
            for (size_t j = 0; j < joints.size(); ++j)
                if (joints[j] == influences[i].node()) bone = int32_t(order[j]);
            boneOfInfluence.push_back(bone);
        }
        MDagPath path;
        MFnDagNode(shape).getPath(path);
        MFnSingleIndexedComponent component;
        MObject all = component.create(MFn::kMeshVertComponent);
        for (uint32_t v = 0; v < mesh.num_vertices; ++v) component.addElement(int(v));
        MDoubleArray weights;
        unsigned int influenceCount = 0;
        skin.getWeights(path, all, weights, influenceCount);
        if (weights.length() != mesh.num_vertices * influenceCount) return "weight table" + at;
        for (uint32_t v = 0; v < mesh.num_vertices; ++v) {
            std::map<int32_t, float> scene, model;
            for (unsigned int i = 0; i < influenceCount; ++i)
                if (weights[v * influenceCount + i] != 0.0)
                    scene[boneOfInfluence[i]] = float(weights[v * influenceCount + i]);
            for (uint32_t w = mesh.weight_offsets[v]; w < mesh.weight_offsets[v + 1]; ++w)
                if (mesh.weights[w].weight != 0.0f) model[int32_t(mesh.weights[w].bone)] = mesh.weights[w].weight;
            if (scene != model) return "weights of vertex " + std::to_string(v) + at;
        }
    }
    return "";
}

// A test that reads texts through both readers.
class EngineHostTest : public plugin_test::PluginHostTest {
protected:
    // "" when both refuse the text, or both read it and build the same rig (in a Y-up
    // scene when yUp, tsl_to_y_up then applied to the model); else what differs.
    std::string ReadersDiffer(const std::string& text, bool yUp = false) {
        standin::resetScene();
        standin::setUpAxis(yUp);
        tsl_rig rig;
        const tsl_result read = tsl_parse(text.data(), text.size(), nullptr, &rig);
        const int imported = Import(text);
        std::string difference;
        if (read != TSL_OK) {
            if (imported == 0)
                difference = std::string("tsl.h refused it (") + rig.error.message + "), the importer did not";
        } else if (imported != 0) {
            difference = "the importer refused it, tsl.h did not: " + Infos();
        } else if (tsl_validate(&rig) != TSL_OK) {
            difference = std::string("tsl.h's model is not valid: ") + rig.error.message;
        } else {
            if (yUp) tsl_to_y_up(&rig);
            difference = SceneDifference(rig);
        }
        tsl_free(&rig);
        return difference;
    }
};

}  // namespace engine_test
