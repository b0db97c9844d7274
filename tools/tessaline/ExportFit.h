#pragma once
// Fits a scene about to be written as glTF to what glTF requires and Assimp's writer
// keeps, and counts what that changes so the conversion can say so:
//  - a node's matrix must be a translation, a rotation and a scale (no shear, and in a
//    chain of nodes no non-uniform scale turned against its parent's), and an inverse bind
//    matrix's last row must be exactly (0, 0, 0, 1): a joint that is not is written with
//    its rotation and one uniform scale, and its inverse bind matrix is the inverse of
//    that, so that the skin still rests where it was;
//  - Assimp's writer keeps 4 influences per vertex, and glTF wants them to add up to 1:
//    the 4 largest are kept and divided by their sum.

#include <assimp/scene.h>

namespace tessaline {

struct GltfFitReport {
    int jointsMadeSimilar = 0;       // joints whose matrix held shear or non-uniform scale
    int verticesOverFour = 0;        // vertices that had more than 4 influences
    int influencesDropped = 0;       // weights left out for them
    float largestDropped = 0;        // the largest weight left out
    int verticesNormalised = 0;      // vertices whose weights did not add up to 1
};

GltfFitReport FitForGltf(aiScene& scene);

}  // namespace tessaline
