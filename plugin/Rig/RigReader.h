#pragma once
// The rig file reader: fills the rig model from the file's tokens, entry by entry in
// file order, and stops at the first malformed entry. It checks the grammar only;
// whether the lists agree with each other is checked when the scene is built.

#include "Rig/RigDamage.h"
#include "Rig/RigModel.h"
#include "Utils/UTextParser.h"

namespace rig {

// Counts of bones and meshes, and UV set numbers, must stay below this (compared unsigned).
constexpr uint32_t kMaxRecords = 5000;

// What a read found besides the records: the damage when the file was refused, and the
// records that a count given again discarded (a second "numBones" starts the bones over,
// as two rig files written one after the other read: the first file's records are lost).
struct RigReadReport {
    RigDamage damage;
    int32_t discardedBones = 0;     // bones that had their block before a later bone count
    int32_t discardedMeshes = 0;    // the same for meshes
    bool materialsLeftOut = false;  // a mesh names materials, which no scene is given
};

// Reads the whole token stream into the two lists; false when the file is damaged (a
// NUL byte anywhere, a wrong version, a count too large, an index outside the count, a
// broken "set" sequence, a value of the wrong kind (a token that is not a number where a
// number belongs, anything but a block where a block belongs, a block where a word or
// quoted string belongs), an integer that does not fit 32 bits, text the tokenizer could
// not read completely, or a file cut short (it ends inside a block or a quoted string, a
// value is missing after its key, a declared bone or mesh has no block, or bones are
// declared without the mesh count that follows them)); the report says which rule and
// where.
bool ReadRigFile(brix::UTextParser& parser, brix::UArray<BoneData>& bones, brix::UArray<MeshData>& meshes,
                 RigReadReport& report);
bool ReadRigFile(brix::UTextParser& parser, brix::UArray<BoneData>& bones, brix::UArray<MeshData>& meshes);

// The value after "version" must be a word or quoted string that is exactly "1".
bool CheckVersion(brix::UTextParser& parser);

}  // namespace rig
