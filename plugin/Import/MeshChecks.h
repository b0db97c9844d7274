#pragma once
// Consistency checks of one mesh record, one per building step: every index list must
// fit the list it indexes, so nothing past a list's end ever reaches the host. A step
// whose check fails is left out with a warning; only faulty geometry costs the mesh.
// Each check gives nullptr when the step can go ahead, else what is wrong (a phrase
// for a message).

#include "Rig/RigModel.h"

// The number of polygon corners the counts declare.
uint64_t CountFaceVertices(const MeshData& mesh);

// Counts against corners, corner vertex indices, polygons of fewer than 3 corners.
const char* FindGeometryFault(const MeshData& mesh);
// The normal index list against the corners and the normals. A mesh without normal
// indices has no fault here: it keeps the host's default normals.
const char* FindNormalFault(const MeshData& mesh, uint64_t faceVertices);
// Set s's index list against the corners and the set's coordinates. Only call it for
// sets that have an index list and are mapped.
const char* FindUVSetFault(const MeshData& mesh, int32_t set, uint64_t faceVertices);
// A set without coordinates whose indices are all 0 (or that has none): the writer
// leaves an unmapped set like that. It is built as an empty set.
bool IsUnmappedUVSet(const MeshData& mesh, int32_t set);
// The weight counts against the vertices and the weights.
const char* FindWeightCountFault(const MeshData& mesh);
