#pragma once
// Reads a scene file with Assimp the one way both the loader and the independent check
// see it: Collada nodes and bones by their names (not their element ids), FBX pivots
// folded into their nodes, and nothing generated (no normals, no welding, no splitting),
// so that what comes out is what the file holds.

#include <assimp/scene.h>

#include <string>
#include <utility>
#include <vector>

namespace tessaline {

// Null with the reason in error when the file cannot be read, or when its nodes nest
// deeper than kMaxSourceDepth (SourceDepth.h; glTF and COLLADA files are measured before
// Assimp reads them); release with aiReleaseImport.
const aiScene* ReadSourceScene(const std::string& path, std::string& error);

// Calls visit(node, parent) for every node under root (parent null for root), parents
// before children and children in order, as a recursive walk would, but on a stack of its
// own. Node is aiNode or const aiNode.
template <typename Node, typename Visit>
void ForEachNode(Node& root, Visit visit) {
    std::vector<std::pair<Node*, Node*>> stack{{&root, nullptr}};
    while (!stack.empty()) {
        auto [node, parent] = stack.back();
        stack.pop_back();
        visit(*node, parent);
        for (unsigned c = node->mNumChildren; c-- > 0;) stack.emplace_back(node->mChildren[c], node);
    }
}

// Assimp keeps column vectors (translation in the last column); the host uses row
// vectors (translation in the last row): the host's matrix is the transpose.
void ToRows(const aiMatrix4x4& m, double rows[4][4]);

}  // namespace tessaline
