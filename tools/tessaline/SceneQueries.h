#pragma once
// Small questions the command-line host asks the stand-in scene.

#include <maya/MObject.h>

#include <string>

namespace tessaline {

std::string NameOf(const MObject& node);
// The skin cluster whose output is the mesh shape, or reaches it downstream; null when
// none does.
MObject SkinClusterOf(const MObject& shape);

}  // namespace tessaline
