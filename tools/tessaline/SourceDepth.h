#pragma once
// How deep a scene file's nodes nest, found before Assimp reads the file. Assimp's loaders
// and its node tree walk the nodes recursively, so a glTF nested twenty thousand deep or a
// COLLADA node that instances itself overflows the stack inside Assimp, before any check
// of ours could see the scene. glTF (its JSON, also inside a .glb) and COLLADA (its XML)
// state their node graphs plainly enough to measure cheaply: one pass over the text, no
// scene built. Other formats are measured once Assimp has read them (SourceScene.h).

#include <string>

namespace tessaline {

// The deepest node nesting a source may have: far beyond any rig, far below what the
// readers' recursion survives (a thread's 8 MiB stack, sanitizer builds included).
constexpr int kMaxSourceDepth = 1000;

// False with the reason in error when the file is a glTF or COLLADA file whose nodes form
// a cycle or nest deeper than kMaxSourceDepth, or whose node graph cannot be read at all
// (Assimp would refuse it too). True for every other file, and for files it cannot open:
// the reader that follows says why.
bool SourceDepthAcceptable(const std::string& path, std::string& error);

}  // namespace tessaline
