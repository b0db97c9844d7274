// Mesh kit: the skin cluster that deforms the mesh, its joints and weights, the
// bind-pose geometry and the geometry source switch.

#include <maya/MDagPath.h>
#include <maya/MDagPathArray.h>
#include <maya/MDoubleArray.h>
#include <maya/MFnMatrixData.h>
#include <maya/MFnSingleIndexedComponent.h>
#include <maya/MItDependencyGraph.h>
#include <maya/MItDependencyNodes.h>
#include <maya/MItGeometry.h>
#include <maya/MPlug.h>

#include <algorithm>

#include "Core/UMessage.h"
#include "HObjectIndex.h"
#include "HPolygonMeshKit.h"
#include "Math/SparseRow.h"

using brix::UArray;

namespace kiln::platform_maya {

namespace {
// Calls reach(i, node) for each node the skin cluster's output i reaches: the output
// shape itself and, when that is an intermediate shape, every node downstream of it
// (the output reaches a mesh through further deformers then).
template <typename Reach>
void ForEachReachedNode(MFnSkinCluster& skin, Reach reach) {
    MStatus status;
    const unsigned int outputs = skin.numOutputConnections(&status);
    if (!status) return;
    for (unsigned int i = 0; i < outputs; ++i) {
        MObject output = skin.outputShapeAtIndex(i, &status);
        if (!status) continue;
        reach(i, output);
        HNodeKit outputKit{HObject(output)};
        if (!HNodeKit::IsIntermediateObject(outputKit)) continue;
        for (MItDependencyGraph walk(output, MFn::kInvalid, MItDependencyGraph::kDownstream,
                                     MItDependencyGraph::kDepthFirst, MItDependencyGraph::kNodeLevel);
             !walk.isDone(); walk.next())
            if (!(walk.currentItem() == output)) reach(i, walk.currentItem());
    }
}
}  // namespace

template <typename T>
UArray<typename HPolygonMeshKit<T>::Skin_Plug> HPolygonMeshKit<T>::FindSkinClusters() {
    if (m_knownSkinClusters) return *m_knownSkinClusters;
    UArray<Skin_Plug> entries;
    // A skin cluster whose output reaches the mesh lies upstream of it, so the walk up
    // from the mesh meets every one there is, and no other cluster of the scene is asked.
    MObject mesh = m_object.m_object;
    MStatus walked;
    MItDependencyGraph upstream(mesh, MFn::kSkinClusterFilter, MItDependencyGraph::kUpstream,
                                MItDependencyGraph::kDepthFirst, MItDependencyGraph::kNodeLevel, &walked);
    if (!walked) return entries;
    for (; !upstream.isDone(); upstream.next()) {
        MFnSkinCluster skin(upstream.currentItem());
        ForEachReachedNode(skin, [&](unsigned int i, const MObject& node) {
            if (node == mesh) entries.Append(Skin_Plug{skin, i});
        });
    }
    return entries;
}

template <typename T>
void HPolygonMeshKit<T>::FindSkinClustersOf(const UArray<HObject>& meshes, UArray<UArray<Skin_Plug>>& out) {
    out.Empty(0);
    out.Add(meshes.Num());
    const HObjectIndex index(meshes);
    // The clusters found from their side, once for all meshes: what each cluster's outputs
    // reach is matched to the meshes (the same reach FindSkinClusters finds walking up).
    for (MItDependencyNodes nodes(MFn::kSkinClusterFilter); !nodes.isDone(); nodes.next()) {
        MFnSkinCluster skin(nodes.item());
        ForEachReachedNode(skin, [&](unsigned int i, const MObject& node) {
            const int32_t reached = index.Find(HObject(node));
            if (reached >= 0) out[reached].Append(Skin_Plug{skin, i});
        });
    }
}

template <typename T>
bool HPolygonMeshKit<T>::FindOneSkinCluster(MFnMesh& mesh, const char* opening, HStatus& status, Skin_Plug& entry) {
    UArray<Skin_Plug> entries = FindSkinClusters();
    if (entries.Num() == 0) {
        status.SetCode(HStatus::NOT_FOUND);
        return false;
    }
    if (entries.Num() > 1) {
        brix::UMessage(brix::Channel::Warning, opening)
            << "\"" << mesh.name().asChar() << "\". " << entries.Num() << " skin clusters found - expected 1.";
        status.SetCode(HStatus::FAILURE);
        return false;
    }
    entry = entries[0];
    return true;
}

namespace {
// Walks every (vertex, influence) weight of the skin on the mesh path, calling
// visit(weight, influence) for non-zero weights and endVertex() after each vertex. The
// weights of a vertex are asked for all influences at once; when that fails they are
// asked one influence at a time, stopping at the first that fails. Returns the status
// of the step that failed the walk, or success.
template <typename Visit, typename EndVertex>
MStatus WalkWeights(const MFnSkinCluster& skin, const MDagPath& path, Visit visit, EndVertex endVertex) {
    MStatus status;
    MDagPathArray influences;
    const unsigned int count = skin.influenceObjects(influences, &status);
    if (!status) return status;
    MItGeometry geometry(path, &status);
    if (!status) return status;
    // A run of vertices per host call; a run the host does not answer whole is asked
    // again a vertex at a time, and a vertex not answered whole an influence at a time.
    const int vertexCount = geometry.count();
    const int runLength = int(std::max(1u, kWeightRunValues / std::max(1u, count)));
    MDoubleArray weights;
    brix::UArray<double> values;
    for (int first = 0; first < vertexCount; first += runLength) {
        const int end = std::min(vertexCount, first + runLength);
        MFnSingleIndexedComponent run;
        MObject runComponent = run.create(MFn::kMeshVertComponent);
        for (int v = first; v < end; ++v) run.addElement(v);
        unsigned int listed = 0;
        if (skin.getWeights(path, runComponent, weights, listed) && listed == count &&
            weights.length() == count * unsigned(end - first)) {
            values.SetNum(int32_t(weights.length()));
            weights.get(values.Data());
            for (int32_t at = 0; at < values.Num(); at += int32_t(count)) {
                brix::ForEachNonZero(values.Data() + at, count,
                                     [&](unsigned int i, double value) { visit(float(value), i); });
                endVertex();
            }
            continue;
        }
        for (int v = first; v < end; ++v) {
            MFnSingleIndexedComponent single;
            MObject component = single.create(MFn::kMeshVertComponent);
            single.addElement(v);
            if (skin.getWeights(path, component, weights, listed) && listed == count && weights.length() == count) {
                for (unsigned int i = 0; i < count; ++i)
                    if (weights[i] != 0.0) visit(float(weights[i]), i);
            } else {
                for (unsigned int i = 0; i < count; ++i) {
                    if (!skin.getWeights(path, component, i, weights)) break;
                    if (weights.length() == 1 && weights[0] != 0.0) visit(float(weights[0]), i);
                }
            }
            endVertex();
        }
    }
    return status;
}
}  // namespace

template <typename T>
int32_t HPolygonMeshKit<T>::GetNumVertexWeights() {
    MFnMesh mesh;
    if (!Attach(mesh)) return 0;
    HStatus status;
    Skin_Plug entry;
    if (!FindOneSkinCluster(mesh, "Can't get number of vertex weights for mesh ", status, entry)) return 0;
    MDagPath path;
    mesh.getPath(path);
    int32_t count = 0;
    const MStatus walked = WalkWeights(
        entry.skinCluster, path, [&](float, unsigned int) { ++count; }, [] {});
    return walked ? count : 0;
}

template <typename T>
void HPolygonMeshKit<T>::GetVertexWeights(HStatus& status, UArray<float>& weights, IndexList& influenceIndices,
                                          IndexList& vertexWeightCounts) {
    weights.Empty(0);
    influenceIndices.Empty(0);
    vertexWeightCounts.Empty(0);
    MFnMesh mesh;
    MStatus hostStatus = Attach(mesh);
    if (!hostStatus) return status.Set(hostStatus);
    Skin_Plug entry;
    if (!FindOneSkinCluster(mesh, "Can't get vertex weights for mesh ", status, entry)) return;
    MDagPath path;
    mesh.getPath(path);
    MDagPathArray influences;
    hostStatus = MStatus();
    entry.skinCluster.influenceObjects(influences, &hostStatus);
    if (!hostStatus) return status.Set(hostStatus);
    MItGeometry probe(path, &hostStatus);
    if (!hostStatus) return status.Set(hostStatus);

    // One walk over the weights: the lists grow as they fill instead of being sized by
    // a counting walk first.
    weights.Empty(0);
    influenceIndices.Empty(0);
    vertexWeightCounts.Empty(GetNumVertices());
    uint32_t perVertex = 0;
    hostStatus = WalkWeights(
        entry.skinCluster, path,
        [&](float weight, unsigned int influence) {
            weights.Append(weight);
            influenceIndices.Append(influence);
            ++perVertex;
        },
        [&] {
            vertexWeightCounts.Append(perVertex);
            perVertex = 0;
        });
    status.Set(hostStatus);
}

template <typename T>
void HPolygonMeshKit<T>::GetJoints(HStatus& status, UArray<HObject>& joints) {
    joints.Empty(0);
    MFnMesh mesh;
    MStatus hostStatus = Attach(mesh);
    if (!hostStatus) return status.Set(hostStatus);
    joints.Empty(0);
    Skin_Plug entry;
    if (!FindOneSkinCluster(mesh, "Can't get joints for mesh ", status, entry)) return;
    MDagPathArray influences;
    entry.skinCluster.influenceObjects(influences, &hostStatus);
    if (!hostStatus) return status.Set(hostStatus);
    joints.Empty(int32_t(influences.length()));
    for (unsigned int i = 0; i < influences.length(); ++i) joints.Append(HObject(influences[i].node()));
    status.SetCode(HStatus::SUCCESS);
}

template <typename T>
MObject HPolygonMeshKit<T>::GetBindPoseGeometry() {
    MFnMesh mesh;
    if (!Attach(mesh)) return MObject::kNullObj;
    HStatus status;
    Skin_Plug entry;
    if (!FindOneSkinCluster(mesh, "Can't get bind pose geometry for mesh ", status, entry)) return MObject::kNullObj;
    const MFnSkinCluster& skin = entry.skinCluster;
    MStatus hostStatus;
    MPlug input = skin.findPlug("input", &hostStatus);
    if (!hostStatus) return MObject::kNullObj;
    if (entry.geometryIndex >= input.numConnectedElements()) {
        brix::UMessage(brix::Channel::Warning, "Can't get bind pose geometry for mesh \"")
            << mesh.name().asChar() << "\". The associated skin cluster \"" << skin.name().asChar()
            << "\" has more outputs than inputs.";
        return MObject::kNullObj;
    }
    MObject value;
    input.elementByLogicalIndex(entry.geometryIndex).child(0).getValue(value, MDGContext::fsNormal);
    if (!value.hasFn(MFn::kMesh)) return MObject::kNullObj;

    HPolygonMeshKit bindPose{HObject(value)};
    if (bindPose.GetNumPolygons() == GetNumPolygons() && bindPose.GetNumEdges() == GetNumEdges() &&
        bindPose.GetNumVertices() == GetNumVertices() && bindPose.GetNumNormals() == GetNumNormals() &&
        bindPose.GetNumUVs() == GetNumUVs())
        return value;
    brix::UMessage(brix::Channel::Info, "Failure getting the bind pose geometry of the mesh \"")
        << GetName() << "\". The bind pose's geometry doesn't match the one of the mesh.";
    return MObject::kNullObj;
}

template <typename T>
MMatrix HPolygonMeshKit<T>::GetBindPoseWorldMatrix() {
    MFnMesh mesh;
    if (!Attach(mesh)) return MMatrix();
    MDagPath path;
    mesh.getPath(path);
    const MMatrix current = path.inclusiveMatrix();
    HStatus status;
    Skin_Plug entry;
    if (!FindOneSkinCluster(mesh, "Can't get bind pose geometry for mesh ", status, entry)) return current;
    MStatus hostStatus;
    MPlug plug = entry.skinCluster.findPlug("geomMatrix", &hostStatus);
    MObject value;
    if (!hostStatus || !plug.getValue(value)) return current;
    MFnMatrixData data(value, &hostStatus);
    return hostStatus ? data.matrix() : current;
}

template <typename T>
void HPolygonMeshKit<T>::SetGeometrySource(HStatus& status, int32_t source) {
    if (source == m_geometrySource) return status.SetCode(HStatus::SUCCESS);
    if (source == GEOMETRY_BIND_POSE) {
        MObject bindPose = GetBindPoseGeometry();
        if (bindPose.isNull()) return status.SetCode(HStatus::INVALID_PARAMETER);
        m_bindPoseGeometry = bindPose;
        m_bindPoseWorld = GetBindPoseWorldMatrix();
    } else if (source != GEOMETRY_CURRENT) {
        return status.SetCode(HStatus::INVALID_PARAMETER);
    } else {
        m_bindPoseGeometry = MObject::kNullObj;
    }
    m_geometrySource = source;
    status.SetCode(HStatus::SUCCESS);
}

template class HPolygonMeshKit<float>;

}  // namespace kiln::platform_maya
