#pragma once
// Why the rig reader refused a file, and where: one of the format's damage rules and the
// byte (and its line) at which the reader found the file breaking it. The importer shows
// it after the damaged-file warning, so that a person can find the spot in the file.

#include <cstdint>

namespace rig {

struct RigDamage {
    // The rule broken; null while the file reads whole.
    const char* rule = nullptr;
    // The byte, counted from the first byte read; -1 when the reader cannot tell.
    int64_t offset = -1;
    // The line of that byte, counting from 1 (a line ends at each "\n"); 0 with no offset.
    int64_t line = 0;
};

// The rules, each as the importer shows it after the byte offset.
namespace damage {
inline constexpr char kNulByte[] = "a NUL byte in a text file";
inline constexpr char kVersion[] = "a version other than 1";
inline constexpr char kCountOutOfRange[] = "a count that is negative or not below 5000";
inline constexpr char kIndexOutsideCount[] = "a bone or mesh index outside its count";
inline constexpr char kBeyond32Bits[] = "an integer that does not fit in 32 bits";
inline constexpr char kSetOutOfOrder[] = "a UV set entry that is not the next set 0, 1, 2, ... or not below 5000";
inline constexpr char kNotANumber[] = "a token that is not a number where a number belongs";
inline constexpr char kNotABlock[] = "a token that is not a block where a block belongs";
inline constexpr char kBlockNotAllowed[] = "a block where a word or quoted string belongs";
inline constexpr char kValueMissing[] = "a key whose value is missing";
inline constexpr char kEndsInside[] = "the file ends inside a block or a quoted string";
inline constexpr char kUnreadable[] = "text the tokenizer cannot read to its end (blocks nested too deeply)";
inline constexpr char kRecordMissing[] = "the file ends before every declared bone and mesh has its block";
inline constexpr char kNoMeshCount[] = "the file ends after its bones without a mesh count";
}  // namespace damage

}  // namespace rig
