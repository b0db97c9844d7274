#pragma once
// Consistency checks of one mesh record, one per building step: every index list must
// fit the list it indexes, so nothing past a list's end ever reaches the host. A step
// whose check fails is left out with a warning; only faulty geometry costs the mesh.
// Each check gives MeshFault::None when the step can go ahead, else the first fault
// found; MeshFaultText gives the phrase the warning says it with.

#include <cstdint>

#include "Rig/RigModel.h"

// What is wrong with one step's lists; None when nothing is.
enum class MeshFault : uint8_t {
    None,
    FewerThan3Corners,          // a polygon count below 3
    CountsMismatchIndices,      // the counts' sum is not the number of corner vertex indices
    VertexIndexPastEnd,         // a corner vertex index at or past the vertex count
    NormalIndicesMismatch,      // the normal index count is not the corner count
    NormalIndexPastEnd,         // a normal index at or past the normal count
    FewerUVIndicesThanCorners,  // a set's index list shorter than the corners
    UVIndexPastEnd,             // a set's index at or past the set's coordinate count
    WeightCountsMismatch,       // the weight count list's length is not the vertex count
    WeightCountsPastWeights,    // the weight counts add up to more than the weights
};

// The phrase for a warning ("Can't build mesh "m": <phrase>. ..."), lower case without a
// full stop; nullptr for None, so a caller can go on with a phrase or none.
const char* MeshFaultText(MeshFault fault);

// The number of polygon corners the counts declare.
uint64_t CountFaceVertices(const MeshData& mesh);

// Counts against corners, corner vertex indices, polygons of fewer than 3 corners.
MeshFault FindGeometryFault(const MeshData& mesh);
// The normal index list against the corners and the normals. A mesh without normal
// indices has no fault here: it keeps the host's default normals.
MeshFault FindNormalFault(const MeshData& mesh, uint64_t faceVertices);
// Set s's index list against the corners and the set's coordinates. Only call it for
// sets that have an index list and are mapped.
MeshFault FindUVSetFault(const MeshData& mesh, int32_t set, uint64_t faceVertices);
// A set without coordinates whose indices are all 0 (or that has none): the writer
// leaves an unmapped set like that. It is built as an empty set.
bool IsUnmappedUVSet(const MeshData& mesh, int32_t set);
// The weight counts against the vertices and the weights.
MeshFault FindWeightCountFault(const MeshData& mesh);
