#pragma once
// What the stand-in scene holds, as the info command shows it: the joint tree and each
// mesh with its counts, materials and skin influences.

#include <string>
#include <vector>

#include "Console.h"

namespace tessaline {

struct JointReport {
    std::string name;
    std::string parent;    // the DAG parent's name; empty at the scene root
    int parentJoint = -1;  // the index of the parent among the joints; -1 when it is none
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
// One JSON document. Texts that are not valid UTF-8 keep their valid parts; each other
// byte is written as the four characters \xHH, so that the document always parses.
std::string FormatJson(const SceneReport& report, const std::vector<ConsoleMessage>& messages);
// The JSON document of a failure: {"error": ..., "messages": [...]}.
std::string FormatJsonError(const std::string& error, const std::vector<ConsoleMessage>& messages);
// The text with every byte that is not part of valid UTF-8 written as \xHH.
std::string EscapeInvalidUtf8(const std::string& text);

}  // namespace tessaline
