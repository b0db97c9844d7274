#pragma once
// The rig file reader: fills the rig model from the file's tokens, entry by entry in
// file order, and stops at the first malformed entry. It checks the grammar only;
// whether the lists agree with each other is checked when the scene is built.

#include "Rig/RigModel.h"
#include "Utils/UTextParser.h"

namespace rig {

// Counts of bones and meshes, and UV set numbers, must stay below this (compared unsigned).
constexpr uint32_t kMaxRecords = 5000;

// Reads the whole token stream into the two lists; false when the file is damaged: a
// wrong version, a count too large, an index outside the count, a broken "set"
// sequence, an integer that does not fit 32 bits, text the tokenizer could not read
// completely, or a file cut short (it ends inside a block or a quoted string, a count,
// index or block is missing after its key, a declared bone or mesh has no block, or
// bones are declared without the mesh count that follows them).
bool ReadRigFile(brix::UTextParser& parser, brix::UArray<BoneData>& bones, brix::UArray<MeshData>& meshes);

// The value after "version" must be exactly "1".
bool CheckVersion(brix::UTextParser& parser);

}  // namespace rig
