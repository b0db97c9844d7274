#pragma once
// Fits a scene about to be written to what a format's readers take, and counts what that
// changes so the conversion can say so:
//  - joints (glTF and FBX): a glTF node's matrix must be a translation, a rotation and a
//    scale (no shear), and readers take a joint's rest pose without scale (Blender's
//    importers misplace every child of a scaled joint): each joint is written at its head
//    with its rotation alone, its inverse bind matrix is the inverse of that, ending in
//    exactly (0, 0, 0, 1), and so the skin still rests where it was;
//  - weights (glTF): Assimp's writer keeps 4 influences per vertex, and glTF wants them to
//    add up to 1: the 4 largest are kept and divided by their sum.

#include <assimp/scene.h>

namespace tessaline {

struct JointFit {
    int jointsScaled = 0;     // joints whose bind matrix held a scale or shear
    double largestScale = 1;  // the scale furthest from 1 among them
};
JointFit FitJointsToRotations(aiScene& scene);

struct WeightFit {
    int verticesOverFour = 0;    // vertices that had more than 4 influences
    int influencesDropped = 0;   // weights left out for them
    float largestDropped = 0;    // the largest weight left out
    int verticesNormalised = 0;  // vertices whose weights did not add up to 1
};
WeightFit FitWeightsToFour(aiScene& scene);

}  // namespace tessaline
