#include "Rig/RigDamage.h"

namespace rig {

const char* DamageRuleText(DamageRule rule) {
    switch (rule) {
    case DamageRule::None: return "";
    case DamageRule::NulByte: return "a NUL byte in a text file";
    case DamageRule::Version: return "a version other than 1";
    case DamageRule::CountOutOfRange: return "a count that is negative or not below 5000";
    case DamageRule::IndexOutsideCount: return "a bone or mesh index outside its count";
    case DamageRule::Beyond32Bits: return "an integer that does not fit in 32 bits";
    case DamageRule::SetOutOfOrder: return "a UV set entry that is not the next set 0, 1, 2, ... or not below 5000";
    case DamageRule::NotANumber: return "a token that is not a number where a number belongs";
    case DamageRule::NotABlock: return "a token that is not a block where a block belongs";
    case DamageRule::BlockNotAllowed: return "a block where a word or quoted string belongs";
    case DamageRule::ValueMissing: return "a key whose value is missing";
    case DamageRule::EndsInside: return "the file ends inside a block or a quoted string";
    case DamageRule::Unreadable: return "text the tokenizer cannot read to its end (blocks nested too deeply)";
    case DamageRule::RecordMissing: return "the file ends before every declared bone and mesh has its block";
    case DamageRule::NoMeshCount: return "the file ends after its bones without a mesh count";
    }
    return "an unknown damage rule";
}

}  // namespace rig
