#pragma once
// Consistency checks of one mesh record before it is built: every index list must fit
// the list it indexes, so nothing past a list's end ever reaches the host.

#include "Rig/RigModel.h"

// nullptr when the mesh can be built; otherwise what is wrong with it.
const char* FindMeshFault(const MeshData& mesh, uint32_t boneCount);
