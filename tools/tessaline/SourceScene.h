#pragma once
// Reads a scene file with Assimp the one way both the loader and the independent check
// see it: Collada nodes and bones by their names (not their element ids), FBX pivots
// folded into their nodes, and nothing generated (no normals, no welding, no splitting),
// so that what comes out is what the file holds.

#include <assimp/scene.h>

#include <string>

namespace tessaline {

// Null with the reason in error when the file cannot be read; release with
// aiReleaseImport.
const aiScene* ReadSourceScene(const std::string& path, std::string& error);

// Assimp keeps column vectors (translation in the last column); the host uses row
// vectors (translation in the last row): the host's matrix is the transpose.
void ToRows(const aiMatrix4x4& m, double rows[4][4]);

}  // namespace tessaline
