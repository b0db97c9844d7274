#include "SceneQueries.h"

#include <algorithm>
#include <vector>

#include <maya/MDagPathArray.h>
#include <maya/MDoubleArray.h>
#include <maya/MFnDependencyNode.h>
#include <maya/MFnMatrixData.h>
#include <maya/MFnSingleIndexedComponent.h>
#include <maya/MFnSkinCluster.h>
#include <maya/MItDependencyGraph.h>
#include <maya/MItDependencyNodes.h>
#include <maya/MItGeometry.h>
#include <maya/MPlug.h>
#include <maya/MPlugArray.h>

#include "Math/SparseRow.h"

namespace tessaline {

std::string NameOf(const MObject& node) { return MFnDependencyNode(node).name().asChar(); }

namespace {
// True when one of the cluster's outputs is the shape or leads to it.
bool Reaches(const MObject& cluster, const MObject& shape) {
    MFnSkinCluster skin(cluster);
    for (unsigned int i = 0; i < skin.numOutputConnections(); ++i) {
        MObject output = skin.outputShapeAtIndex(i);
        if (output == shape) return true;
        for (MItDependencyGraph walk(output, MFn::kInvalid, MItDependencyGraph::kDownstream,
                                     MItDependencyGraph::kDepthFirst, MItDependencyGraph::kNodeLevel);
             !walk.isDone(); walk.next())
            if (walk.currentItem() == shape) return true;
    }
    return false;
}
}  // namespace

MObject SkinClusterOf(const MObject& shape) {
    // A cluster that reaches the shape lies upstream of it, so only those are asked.
    std::vector<MObject> reaching;
    for (MItDependencyGraph walk(shape, MFn::kSkinClusterFilter, MItDependencyGraph::kUpstream,
                                 MItDependencyGraph::kDepthFirst, MItDependencyGraph::kNodeLevel);
         !walk.isDone(); walk.next())
        if (Reaches(walk.currentItem(), shape)) reaching.push_back(walk.currentItem());
    if (reaching.size() < 2) return reaching.empty() ? MObject::kNullObj : reaching[0];
    // Of several, the first in the scene's order.
    for (MItDependencyNodes clusters(MFn::kSkinClusterFilter); !clusters.isDone(); clusters.next())
        for (const MObject& cluster : reaching)
            if (cluster == clusters.item()) return cluster;
    return reaching[0];
}

MMatrix BindPreMatrixOf(const MObject& cluster, const MObject& joint) {
    MPlugArray destinations;
    MFnDependencyNode(joint).findPlug("worldMatrix").elementByLogicalIndex(0).connectedTo(destinations, false, true);
    for (unsigned int d = 0; d < destinations.length(); ++d) {
        if (destinations[d].node() != cluster) continue;
        MObject value;
        const MPlug bindPre = MFnDependencyNode(cluster).findPlug("bindPreMatrix");
        if (bindPre.elementByLogicalIndex(destinations[d].logicalIndex()).getValue(value))
            return MFnMatrixData(value).matrix();
        break;
    }
    return MMatrix();
}

MObject BindPoseGeometry(const MObject& cluster, const MObject& shape) {
    if (cluster.isNull()) return shape;
    MObject input;
    MFnDependencyNode(cluster).findPlug("input").elementByLogicalIndex(0).child(0).getValue(input);
    return input.hasFn(MFn::kMesh) ? input : shape;
}

void ForEachWeight(const MObject& cluster, const MDagPath& path,
                   const std::function<void(int vertex, unsigned int influence, double weight)>& visit) {
    MFnSkinCluster skin(cluster);
    MDagPathArray influenceList;
    // Runs of 32768 values at most, which stay in the processor's cache.
    const int run = std::max(1, 32768 / std::max(1, int(skin.influenceObjects(influenceList))));
    const int vertexCount = MItGeometry(path).count();
    MDoubleArray weights;
    std::vector<double> values;
    for (int first = 0; first < vertexCount; first += run) {
        MFnSingleIndexedComponent component;
        MObject vertices = component.create(MFn::kMeshVertComponent);
        const int last = std::min(vertexCount, first + run);
        for (int v = first; v < last; ++v) component.addElement(v);
        unsigned int influences = 0;
        if (!skin.getWeights(path, vertices, weights, influences) ||
            weights.length() != unsigned(last - first) * influences)
            continue;
        values.resize(weights.length());
        weights.get(values.data());
        for (int v = first; v < last; ++v) {
            const double* row = values.data() + size_t(v - first) * influences;
            brix::ForEachNonZero(row, influences, [&](unsigned int i, double weight) { visit(v, i, weight); });
        }
    }
}

}  // namespace tessaline
