#pragma once
// Small questions the command-line host asks the stand-in scene.

#include <maya/MDagPath.h>
#include <maya/MMatrix.h>
#include <maya/MObject.h>

#include <functional>
#include <string>

namespace tessaline {

std::string NameOf(const MObject& node);
// The skin cluster whose output is the mesh shape, or reaches it downstream; null when
// none does.
MObject SkinClusterOf(const MObject& shape);
// The bindPreMatrix the cluster holds for the joint (the element fed alongside the joint's
// "matrix" connection); identity when the joint does not feed the cluster.
MMatrix BindPreMatrixOf(const MObject& cluster, const MObject& joint);
// The mesh the cluster deforms as it was at bind time (its input geometry); the shape
// itself when the cluster is null or holds no input mesh.
MObject BindPoseGeometry(const MObject& cluster, const MObject& shape);
// Calls visit for every non-zero weight of the mesh at path in the skin cluster, vertex by
// vertex, influences in influence order. Weights are read a run of vertices per call.
void ForEachWeight(const MObject& cluster, const MDagPath& path,
                   const std::function<void(int vertex, unsigned int influence, double weight)>& visit);

}  // namespace tessaline
