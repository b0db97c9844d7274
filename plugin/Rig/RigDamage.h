#pragma once
// Why the rig reader refused a file, and where: one of the format's damage rules and the
// byte (and its line) at which the reader found the file breaking it. The importer shows
// the rule's text after the damaged-file warning, so that a person can find the spot in
// the file.

#include <cstdint>

namespace rig {

// The rules a damaged file breaks; None while the file reads whole.
enum class DamageRule : uint8_t {
    None,
    NulByte,            // a zero byte anywhere in the text
    Version,            // a version other than 1
    CountOutOfRange,    // a bone or mesh count that is negative or not below the record limit
    IndexOutsideCount,  // a bone or mesh index outside its count
    Beyond32Bits,       // an integer that does not fit in 32 bits
    SetOutOfOrder,      // a UV set entry that is not the next set number, or past the limit
    NotANumber,         // a token that is not a number where a number belongs
    NotABlock,          // a token that is not a block where a block belongs
    BlockNotAllowed,    // a block where a word or quoted string belongs
    ValueMissing,       // a key whose value is missing
    EndsInside,         // the file ends inside a block or a quoted string
    Unreadable,         // text the tokenizer cannot read to its end
    RecordMissing,      // the file ends before every declared bone and mesh has its block
    NoMeshCount,        // the file ends after its bones without a mesh count
};

// The rule as the importer shows it after the byte offset; "" for None.
const char* DamageRuleText(DamageRule rule);

struct RigDamage {
    DamageRule rule = DamageRule::None;
    // The byte, counted from the first byte read; -1 when the reader cannot tell.
    int64_t offset = -1;
    // The line of that byte, counting from 1 (a line ends at each "\n"); 0 with no offset.
    int64_t line = 0;

    bool Found() const { return rule != DamageRule::None; }
};

}  // namespace rig
