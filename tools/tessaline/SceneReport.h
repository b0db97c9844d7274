#pragma once
// What the stand-in scene holds, as the info command shows it: the joint tree and each
// mesh with its counts, materials and skin influences.

#include <string>
#include <vector>

#include "Console.h"

namespace tessaline {

struct JointReport {
    std::string name;
    std::string parent;  // the DAG parent's name; empty at the scene root
};

struct MeshReport {
    std::string name;  // the mesh's transform
    int vertices = 0;
    int polygons = 0;
    int uvSets = 0;
    std::vector<std::string> materials;   // surface shaders of its shading groups
    std::vector<std::string> influences;  // joints of its skin cluster
    int weights = 0;                      // non-zero skin weights
};

struct SceneReport {
    std::vector<JointReport> joints;
    std::vector<MeshReport> meshes;
};

SceneReport ReportScene();
std::string FormatText(const SceneReport& report, const std::vector<ConsoleMessage>& messages);
std::string FormatJson(const SceneReport& report, const std::vector<ConsoleMessage>& messages);

}  // namespace tessaline
