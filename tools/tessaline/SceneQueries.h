#pragma once
// Small questions the command-line host asks the stand-in scene.

#include <maya/MDagPath.h>
#include <maya/MObject.h>

#include <functional>
#include <string>

namespace tessaline {

std::string NameOf(const MObject& node);
// The skin cluster whose output is the mesh shape, or reaches it downstream; null when
// none does.
MObject SkinClusterOf(const MObject& shape);
// Calls visit for every non-zero weight of the mesh at path in the skin cluster, vertex by
// vertex, influences in influence order. Weights are read a run of vertices per call.
void ForEachWeight(const MObject& cluster, const MDagPath& path,
                   const std::function<void(int vertex, unsigned int influence, double weight)>& visit);

}  // namespace tessaline
