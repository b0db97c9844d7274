#pragma once
// The independent check of a conversion: reads the source scene with Assimp alone and
// the rig file with a reader of its own, and compares them directly, never through the
// plug-in: every vertex's world-space bind-pose position, the direction of every corner's
// normal, every corner's UVs per set, each vertex's weights by bone name, that faces of
// one material stay together, that no two vertices could have been welded, and the
// bones' names, parents and inverse bind matrices, within the four decimals the file
// keeps.

#include <string>
#include <vector>

#include "RoundTrip.h"

namespace tessaline {

// Fills rows (one per kind of data); false with the reason when either file cannot be
// read. yAxisUp: the scene the rig was written from was Y-up, so the file holds every
// position turned to Z-up.
bool CheckAgainstSource(const std::string& sourcePath, const std::string& rigPath, bool yAxisUp,
                        std::vector<ComparisonRow>& rows, std::string& error);

}  // namespace tessaline
