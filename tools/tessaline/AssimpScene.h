#pragma once
// Scene files other than rig files, through Assimp: reading one into the stand-in scene
// (node transforms, meshes with normals, every UV channel as a UV set, materials as
// shading groups, bones as joints bound with the file's offset matrices as bind pose and
// its weights), and writing the stand-in scene out in any format Assimp can write.

#include <string>

namespace tessaline {

enum class SourceLoad {
    Loaded,
    Unreadable,        // Assimp cannot read the file
    NothingToConvert,  // read, but it holds no polygon mesh and no joint a rig can carry
};
// Anything but Loaded comes with the reason in error.
SourceLoad LoadWithAssimp(const std::string& path, std::string& error);
// Writes the scene (meshes in their current pose, joints as bones), or with selectedOnly
// only the selected meshes (and every joint), as the rig exporter takes them; the format
// follows the path's extension.
bool SaveWithAssimp(const std::string& path, std::string& error, bool selectedOnly = false);

}  // namespace tessaline
