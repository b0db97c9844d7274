#include "SceneQueries.h"

#include <maya/MFnDependencyNode.h>
#include <maya/MFnSkinCluster.h>
#include <maya/MItDependencyGraph.h>
#include <maya/MItDependencyNodes.h>

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

}  // namespace tessaline
