#pragma once
// A strict reader of rig text of its own, for the independent check: it shares no code
// with the plug-in's reader, so a fault there cannot hide here. It takes the file as the
// exporter writes it (keys in any order within a record) and refuses anything else.

#include <array>
#include <string>
#include <utility>
#include <vector>

namespace tessaline {

struct RigTextBone {
    std::string name, parent;
    std::array<double, 16> inverseBind{};  // row 0 first
};

struct RigTextMesh {
    std::string name;
    std::vector<std::array<double, 3>> vertices, normals;
    std::vector<std::vector<std::array<double, 2>>> uvSets;
    std::vector<std::string> materials;
    std::vector<unsigned long> counts, vertexIndices, normalIndices, materialIndices, weightCounts;
    std::vector<std::vector<unsigned long>> uvIndices;      // per set, per corner
    std::vector<std::pair<unsigned long, double>> weights;  // (bone index, weight)
};

struct RigText {
    std::vector<RigTextBone> bones;
    std::vector<RigTextMesh> meshes;
};

// False with the reason when the text is not a rig file as the exporter writes it, or
// its lists do not fit together (an index past its list, counts against corners).
bool ParseRigText(const std::string& text, RigText& rig, std::string& error);

}  // namespace tessaline
