#pragma once
// Compares two rigs by what they describe and by how they deform, for the diff command.
// Bones and meshes are matched by name (a mesh missing on one side and one added on the
// other with the same vertex positions is taken as renamed), vertices in order or, when
// that matches fewer of them, by position. It finds bones added, removed and
// re-parented, the largest change of a bind head and of a bind axis, per mesh the
// vertices and polygons added and removed and the largest change of a position, a
// corner's normal, a corner's UV and a weight (with the vertex that has it), and the
// largest change of a skinned position when both rigs are posed alike: every bone turned
// by a set angle about its own (1, 1, 1) axis, one at a time and then all together.

#include <string>
#include <vector>

#include "RigText.h"

namespace tessaline {

struct DiffOptions {
    double tolerance = 1e-3;  // lengths: times the rig's size, or in scene units when absolute;
                              // directions, UVs and weights: as it is
    bool absolute = false;
    double angleDegrees = 30;  // of the test poses
};

struct LargestChange {
    double change = 0;
    std::string mesh, bone;  // where it is: the mesh (for vertices) and the bone involved
    // Weights: the signed change on bone, and the bone whose weight changed the other way
    // the most (where a weight moved to), empty when none did.
    double delta = 0, otherDelta = 0;
    std::string otherBone;
    long vertex = -1;   // the vertex in A, -1 for none
    long vertexB = -1;  // the same vertex in B when its index differs
    int uvSet = -1;
    std::string pose;  // skinned positions: the bone turned, or "all"
};

struct MeshDiff {
    std::string name, nameB;  // nameB differs from name for a renamed mesh
    long verticesA = 0, verticesB = 0, verticesAdded = 0, verticesRemoved = 0;
    bool byPosition = false;  // vertices matched by position instead of by order
    long polygonsA = 0, polygonsB = 0, polygonsAdded = 0, polygonsRemoved = 0;
    long uvSetsA = 0, uvSetsB = 0;
    LargestChange position, normal, uv, weight;
};

struct Reparenting {
    std::string bone, from, to;
};

struct RigDiff {
    double size = 0;             // the diagonal of A's bounding box (vertices and bone heads)
    double lengthTolerance = 0;  // in scene units
    double valueTolerance = 0;   // directions, UVs, weights
    double angleDegrees = 0;
    long bonesA = 0, bonesB = 0, meshesA = 0, meshesB = 0;
    std::vector<std::string> bonesAdded, bonesRemoved;
    std::vector<Reparenting> reparented;
    LargestChange head, axes;
    std::vector<std::string> meshesAdded, meshesRemoved;
    std::vector<MeshDiff> meshes;  // matched and renamed meshes, in A's order
    LargestChange skinned;
    std::vector<std::string> over;  // one sentence per difference over the tolerance

    bool Same() const { return over.empty(); }
};

// Reads a rig file with the plug-in's own reader into the lists the comparison walks
// (materials are not compared and not kept); false with the reason when it cannot be read
// or its index lists do not fit its polygons.
bool ReadRigForDiff(const std::string& text, RigText& rig, std::string& error);

RigDiff DiffRigs(const RigText& a, const RigText& b, const DiffOptions& options);
std::string FormatDiffText(const RigDiff& diff, const std::string& nameA, const std::string& nameB);
// One JSON document.
std::string FormatDiffJson(const RigDiff& diff, const std::string& nameA, const std::string& nameB);

}  // namespace tessaline
