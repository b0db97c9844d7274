#include "SkinFit.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

#include <maya/MDagPathArray.h>
#include <maya/MDoubleArray.h>
#include <maya/MFloatPointArray.h>
#include <maya/MFnDagNode.h>
#include <maya/MFnMesh.h>
#include <maya/MFnSingleIndexedComponent.h>
#include <maya/MFnSkinCluster.h>
#include <maya/MIntArray.h>
#include <maya/MItDependencyNodes.h>

#include "SceneQueries.h"

#define TSL_IMPLEMENTATION
#include "tsl.h"

namespace tessaline {
namespace {

void ToRowMajor(const MMatrix& m, float out[16]) {
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) out[4 * r + c] = float(m(r, c));
}

// One skinned mesh as the engine reader models it: its bind-time points in world space,
// its cluster's influences as bones, and its weights as runs per vertex.
struct SkinModel {
    std::vector<tsl_bone> bones;
    std::vector<float> positions;
    std::vector<uint32_t> offsets;
    std::vector<tsl_weight> weights;
    tsl_rig rig{};
    tsl_mesh mesh{};
};

void ReadSkin(const MObject& cluster, const MObject& shape, const MDagPath& path, SkinModel& model) {
    MDagPathArray influences;
    const unsigned int count = MFnSkinCluster(cluster).influenceObjects(influences);
    model.bones.resize(count);
    for (unsigned int i = 0; i < count; ++i) {
        tsl_bone& bone = model.bones[i];
        bone = tsl_bone{};
        bone.parent = -1;
        const MMatrix bindPre = BindPreMatrixOf(cluster, influences[i].node());
        ToRowMajor(bindPre, bone.inv_bind);
        ToRowMajor(bindPre.inverse(), bone.bind);
        bone.bind_invertible = 1;
    }
    MFloatPointArray points;
    MFnMesh(BindPoseGeometry(cluster, shape)).getPoints(points, MSpace::kObject);
    const MMatrix world = path.inclusiveMatrix();
    model.positions.reserve(size_t(points.length()) * 3);
    for (unsigned int v = 0; v < points.length(); ++v) {
        const MFloatPoint& p = points[v];
        for (int c = 0; c < 3; ++c)
            model.positions.push_back(float(p.x * world(0, c) + p.y * world(1, c) + p.z * world(2, c) + world(3, c)));
    }
    model.offsets.assign(points.length() + 1, 0);
    ForEachWeight(cluster, path, [&](int vertex, unsigned int influence, double weight) {
        if (unsigned(vertex) >= points.length()) return;
        model.weights.push_back(tsl_weight{influence, float(weight)});
        ++model.offsets[unsigned(vertex) + 1];
    });
    for (unsigned int v = 0; v < points.length(); ++v) model.offsets[v + 1] += model.offsets[v];

    model.rig.num_bones = count;
    model.rig.bones = model.bones.data();
    model.mesh.num_vertices = points.length();
    model.mesh.positions = model.positions.data();
    model.mesh.skinned = 1;
    model.mesh.weight_offsets = model.offsets.data();
    model.mesh.num_weights = uint32_t(model.weights.size());
    model.mesh.weights = model.weights.data();
}

// The fitted weights of the vertices the fit touched, every influence listed, written
// without the cluster's normalising so that each sums to exactly 1 in 16-bit steps.
bool WriteTouched(const MObject& cluster, const MDagPath& path, const SkinModel& model, const tsl_skin_fit& fit) {
    const unsigned int influences = model.rig.num_bones;
    MFnSingleIndexedComponent component;
    MObject vertices = component.create(MFn::kMeshVertComponent);
    MDoubleArray values;
    std::vector<double> row(influences);
    for (uint32_t v = 0; v < fit.num_vertices; ++v) {
        // Untouched: every kept weight within one step of the stored one, nothing dropped.
        const uint32_t first = model.offsets[v], last = model.offsets[v + 1];
        bool touched = false;
        std::fill(row.begin(), row.end(), 0.0);
        unsigned int kept = 0;
        for (uint32_t s = 0; s < fit.max_influences; ++s)
            if (fit.weights[size_t(v) * fit.max_influences + s]) {
                row[fit.bones[size_t(v) * fit.max_influences + s]] = tsl_fit_weight(&fit, v, s);
                ++kept;
            }
        if (kept != last - first) touched = true;
        for (uint32_t w = first; w < last && !touched; ++w)
            touched = std::fabs(row[model.weights[w].bone] - model.weights[w].weight) > 1.0 / 65535;
        if (!touched) continue;
        component.addElement(int(v));
        for (double value : row) values.append(value);
    }
    if (component.elementCount() == 0) return true;
    MIntArray all;
    for (unsigned int i = 0; i < influences; ++i) all.append(int(i));
    return bool(MFnSkinCluster(cluster).setWeights(path, vertices, all, values, false));
}

}  // namespace

bool FitSkins(unsigned int maxInfluences, std::vector<MeshFitLoss>& losses, std::string& error) {
    for (MItDependencyNodes meshes(MFn::kMesh); !meshes.isDone(); meshes.next()) {
        const MObject shape = meshes.item();
        if (MFnDagNode(shape).isIntermediateObject()) continue;
        const MObject cluster = SkinClusterOf(shape);
        if (cluster.isNull()) continue;
        MDagPath path;
        MFnDagNode(shape).getPath(path);
        const std::string name = NameOf(path.transform());
        SkinModel model;
        ReadSkin(cluster, shape, path, model);
        tsl_skin_fit fit{};
        tsl_loss_report loss{};
        const tsl_result result = tsl_fit_skin(&model.rig, &model.mesh, maxInfluences, 16, nullptr, &fit, &loss);
        if (result != TSL_OK) {
            error = "Can't fit the skin of mesh \"" + name + "\" to " + std::to_string(maxInfluences) +
                    " influences: " + tsl_result_text(result) + ".";
            return false;
        }
        const bool written = WriteTouched(cluster, path, model, fit);
        tsl_free_skin_fit(&fit, nullptr);
        if (!written) {
            error = "Can't fit the skin of mesh \"" + name + "\": the scene did not take the fitted weights.";
            return false;
        }
        losses.push_back(MeshFitLoss{name, loss.vertices, loss.vertices_touched, loss.influences_dropped,
                                     loss.largest_weight_dropped, loss.largest_bind_change, loss.largest_pose_change,
                                     loss.worst_pose_vertex});
    }
    return true;
}

std::string FormatFitReport(unsigned int maxInfluences, const std::vector<MeshFitLoss>& losses) {
    std::string text = "Skins fitted to " + std::to_string(maxInfluences) + " influence" +
                       (maxInfluences == 1 ? "" : "s") + " per vertex" +
                       (losses.empty() ? ": the scene has none.\n" : ":\n");
    char line[512];
    for (const MeshFitLoss& loss : losses) {
        text += "  mesh \"" + loss.mesh + "\": ";
        if (loss.verticesTouched == 0) {
            snprintf(line, sizeof line, "%u vertices, none changed.\n", loss.vertices);
        } else {
            snprintf(line, sizeof line, "%u of %u vertices changed, ", loss.verticesTouched, loss.vertices);
            text += line;
            if (loss.influencesDropped)
                snprintf(line, sizeof line, "%u influence%s dropped (the largest weighed %.4f)", loss.influencesDropped,
                         loss.influencesDropped == 1 ? "" : "s", loss.largestWeightDropped);
            else
                snprintf(line, sizeof line, "no influence dropped");
            text += line;
            snprintf(line, sizeof line,
                     "; skinned points move by up to %.6g at the bind pose and %.6g in the test pose (vertex %d).\n",
                     loss.largestBindChange, loss.largestPoseChange, loss.worstPoseVertex);
        }
        text += line;
    }
    return text;
}

}  // namespace tessaline
