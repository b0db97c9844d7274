#pragma once
// Rewrites the nodes of a glTF file as Assimp wrote it: a node's "matrix" becomes its
// "translation", "rotation" and "scale". glTF requires a node matrix to be decomposable
// into those three, and readers (the Khronos validator among them) decompose it in single
// precision, which a joint scaled by 100 (a centimetre rig) does not survive; written as
// its three parts, worked out in double precision, nothing is left to decompose.

#include <string>

namespace tessaline {

// bytes is a whole .glb (binary) or .gltf (JSON text) file; false with the reason when it
// is not one or a node matrix is not a translation, a rotation and one scale per axis.
bool WriteNodesAsTrs(std::string& bytes, bool binary, std::string& error);

}  // namespace tessaline
