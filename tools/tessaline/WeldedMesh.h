#pragma once
// One polygon mesh per source node, as the host's own importers build it: the parts that
// Assimp splits off by material are joined back (each polygon keeps its material), and
// vertices are welded by position and skin weights, while every corner keeps the normal
// and the UVs the source gave it. Polygons that repeat a corner are cleaned: repeats in a
// row are dropped, and a polygon left with fewer than 3 distinct corners is removed.

#include <assimp/scene.h>

#include <string>
#include <utility>
#include <vector>

namespace tessaline {

struct WeldedMesh {
    std::vector<aiVector3D> points;   // one per welded vertex, in the node's space
    std::vector<int> counts;          // corners per polygon
    std::vector<int> connects;        // welded vertex per corner
    std::vector<unsigned> materials;  // per polygon: the scene's material index

    // Per corner: the source normal, and whether there is one to set (missing when the
    // part has none; zero-length or non-finite ones are replaced by the polygon's own).
    std::vector<aiVector3D> cornerNormals;
    std::vector<bool> cornerHasNormal;

    // One UV set per source channel that any part uses, in channel order.
    std::vector<unsigned> uvChannels;
    std::vector<std::vector<aiVector2D>> cornerUVs;  // [set][corner]
    std::vector<std::vector<bool>> cornerHasUV;      // [set][corner]

    // Skin: influences by bone name in first-seen order, each with the offset matrix of
    // the first part that names it, and per vertex its (influence, weight) pairs.
    std::vector<std::string> boneNames;
    std::vector<aiMatrix4x4> boneOffsets;
    std::vector<std::vector<std::pair<int, float>>> vertexWeights;

    unsigned removedPolygons = 0;    // polygons left with fewer than 3 distinct corners
    unsigned skippedPrimitives = 0;  // lines and points, which a polygon mesh cannot hold
    bool finitePoints = true;        // false when any position is NaN or infinite
};

WeldedMesh WeldNodeMeshes(const aiScene& scene, const aiNode& node);

// The unit normal of a polygon by Newell's method; zero when it has no area.
aiVector3D PolygonNormal(const std::vector<aiVector3D>& corners);

}  // namespace tessaline
