#include "SceneQueries.h"

#include <algorithm>
#include <vector>

#include <maya/MDagPathArray.h>
#include <maya/MDoubleArray.h>
#include <maya/MFnDependencyNode.h>
#include <maya/MFnSingleIndexedComponent.h>
#include <maya/MFnSkinCluster.h>
#include <maya/MItDependencyGraph.h>
#include <maya/MItDependencyNodes.h>
#include <maya/MItGeometry.h>

namespace tessaline {

std::string NameOf(const MObject& node) { return MFnDependencyNode(node).name().asChar(); }

MObject SkinClusterOf(const MObject& shape) {
    for (MItDependencyNodes clusters(MFn::kSkinClusterFilter); !clusters.isDone(); clusters.next()) {
        MFnSkinCluster skin(clusters.item());
        for (unsigned int i = 0; i < skin.numOutputConnections(); ++i) {
            MObject output = skin.outputShapeAtIndex(i);
            if (output == shape) return clusters.item();
            for (MItDependencyGraph walk(output, MFn::kInvalid, MItDependencyGraph::kDownstream,
                                         MItDependencyGraph::kDepthFirst, MItDependencyGraph::kNodeLevel);
                 !walk.isDone(); walk.next())
                if (walk.currentItem() == shape) return clusters.item();
        }
    }
    return MObject::kNullObj;
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
            for (unsigned int i = 0; i < influences; ++i)
                if (row[i] != 0.0) visit(v, i, row[i]);
        }
    }
}

}  // namespace tessaline
