#include "Rig/RigReader.h"

#include <cctype>
#include <cstdint>
#include <cstring>

#include "Rig/RigLists.h"
#include "Utils/UNumberText.h"

using brix::TVector2;
using brix::UArray;
using brix::UString;
using brix::UTextParser;

namespace rig {

namespace {

// Blocks are read in place: a block's value stays a range of the file text, tokenized as
// a text of its own would be, so nothing is copied and no level is tokenized twice.
using Range = TextRange;

Range NextValue(UTextParser& parser) {
    Range range;
    parser.ReadValueRange(range.start, range.length);
    return range;
}

// A key is compared where it lies in the text: the value of an unknown key can be a
// block of any size, which a copy would double.
bool Is(const char* text, Range key, const char* expected) {
    return size_t(key.length) == strlen(expected) && memcmp(text + key.start, expected, size_t(key.length)) == 0;
}

// Ranges are ranges of the text of a parser that checked its nesting and found every
// block closed (ReadRigFile refuses any other before it reads a block).
constexpr UTextParser::Nesting kWithinParsedText = UTextParser::Nesting::CheckedWithWholeText;

// The damage found so far, by offset in the text; of two, the earlier one in the file is
// kept. Notes return false, so that a reader can return what it notes.
class Faults {
public:
    explicit Faults(const char* text) : m_text(text) {}
    const char* Text() const { return m_text; }
    bool Note(DamageRule rule, int64_t offset) {
        if (!m_first.Found() || (offset >= 0 && offset < m_first.offset)) m_first = RigDamage{rule, offset};
        return false;
    }
    bool Note(const RigDamage& found) { return found.Found() ? Note(found.rule, found.offset) : false; }
    const RigDamage& First() const { return m_first; }

private:
    const char* m_text;
    RigDamage m_first;
};

// The values of keys whose kind the format fixes, each read only when the token at the
// cursor is of that kind; the damage is noted otherwise. keyAt is the offset of the key,
// where a value that is missing (the block or file ends after the key) is reported.
class Values {
public:
    Values(UTextParser& parser, Faults& faults) : m_parser(parser), m_faults(faults), m_text(faults.Text()) {}

    // A block, as the range of its value.
    bool Block(int32_t keyAt, Range& range) {
        UTextParser::Token token;
        if (!m_parser.PeekToken(token)) return m_faults.Note(DamageRule::ValueMissing, keyAt);
        if (m_text[token.matchStart] != '{') return m_faults.Note(DamageRule::NotABlock, token.matchStart);
        range = NextValue(m_parser);
        return true;
    }
    // An integer: a word that is a whole decimal integer.
    bool Integer(int32_t keyAt, int64_t& value) {
        UTextParser::Token token;
        if (!m_parser.PeekToken(token)) return m_faults.Note(DamageRule::ValueMissing, keyAt);
        const char* word = m_text + token.matchStart;
        if (!brix::IsDecimalInteger(word, word + token.matchLength))
            return m_faults.Note(DamageRule::NotANumber, token.matchStart);
        m_parser >> value;
        return true;
    }
    // A real: a word that is a whole decimal real. Where the block ends first it reads as
    // 0, as the number lists' missing numbers do.
    bool Real(float& value) {
        UTextParser::Token token;
        if (!m_parser.PeekToken(token)) {
            value = 0.0f;
            return true;
        }
        const char* word = m_text + token.matchStart;
        if (!brix::IsDecimalReal(word, word + token.matchLength))
            return m_faults.Note(DamageRule::NotANumber, token.matchStart);
        m_parser >> value;
        return true;
    }
    // A name: a quoted string or a word, never a block.
    bool Name(int32_t keyAt, UString& name) {
        if (!WordOrString(keyAt)) return false;
        m_parser >> name;
        return true;
    }
    // Whether the token at the cursor is a quoted string or a word.
    bool WordOrString(int32_t keyAt) {
        UTextParser::Token token;
        if (!m_parser.PeekToken(token)) return m_faults.Note(DamageRule::ValueMissing, keyAt);
        if (m_text[token.matchStart] == '{') return m_faults.Note(DamageRule::BlockNotAllowed, token.matchStart);
        return true;
    }

private:
    UTextParser& m_parser;
    Faults& m_faults;
    const char* m_text;
};

// The offset of a tokenizer failure is not known: it is reported without one.
bool NoteUnreadable(Faults& faults) { return faults.Note(DamageRule::Unreadable, -1); }

// Reads "set 0 {...} set 1 {...}": each entry the word set, its number in order, and a
// block whose list is queued for that set; false on any other word, on a number that is
// not the next one or not a number, on a value that is not a block, on a set number as
// large as the record limit (a set costs the host a name and storage, as a mesh does), or
// when the tokenizer could not read the block to its end. The sets are made once all
// entries are known, in one block of their own size, so the queued targets stay put; sets
// queued by an earlier entry of the same key are forgotten with them.
template <typename List, typename QueueSet>
bool ReadSets(Faults& faults, Range range, UArray<List>& sets, ListQueue& lists, QueueSet queueSet) {
    const char* text = faults.Text();
    lists.Forget(sets.begin(), sets.end());
    UArray<Range> blocks;
    UTextParser parser(text, range.start, range.length, kWithinParsedText);
    Values values(parser, faults);
    while (parser.HasMoreTokens()) {
        const Range key = NextValue(parser);
        if (!Is(text, key, "set")) return faults.Note(DamageRule::SetOutOfOrder, key.start);
        int64_t number;
        if (!values.Integer(key.start, number)) return false;
        if (number != blocks.Num() || number >= int64_t(kMaxRecords))
            return faults.Note(DamageRule::SetOutOfOrder, key.start);
        Range block;
        if (!values.Block(key.start, block)) return false;
        blocks.Append(block);
    }
    if (parser.GetEngineError()) return NoteUnreadable(faults);
    sets.Empty(blocks.Num());
    sets.Add(blocks.Num());
    for (int32_t i = 0; i < blocks.Num(); ++i) queueSet(blocks[i], sets[i]);
    return true;
}

// The entries of a bone block; unknown keys are skipped. Fails on a name or parent that is
// a block or missing, or a matrix entry that is not a number.
bool ReadBoneBlockAt(Faults& faults, Range range, BoneData& bone) {
    const char* text = faults.Text();
    UTextParser parser(text, range.start, range.length, kWithinParsedText);
    Values values(parser, faults);
    while (parser.HasMoreTokens()) {
        const Range key = NextValue(parser);
        if (Is(text, key, "name")) {
            if (!values.Name(key.start, bone.name)) return false;
        } else if (Is(text, key, "parent")) {
            if (!values.Name(key.start, bone.parent)) return false;
        } else if (Is(text, key, "invBaseMatrix")) {
            for (auto& row : bone.invBaseMatrix.m)
                for (float& entry : row)
                    if (!values.Real(entry)) return false;
        }
    }
    return true;
}

// Whether a block token holds anything but white space.
bool HoldsText(const char* text, const UTextParser::Token& block) {
    for (int32_t i = 0; i < block.valueLength; ++i)
        if (!isspace(static_cast<unsigned char>(text[block.valueStart + i]))) return true;
    return false;
}

// The entries of a mesh block, into a record whose lists it first empties; fails on a
// list key whose value is not a block, a broken "set" sequence, a list entry that is not
// a number or an integer that does not fit 32 bits, a name that is a block or missing,
// or a block the tokenizer could not read to its end. Sets materials when the block
// names materials.
bool ReadMeshBlockAt(Faults& faults, Range range, MeshData& mesh, bool& materials) {
    const char* text = faults.Text();
    mesh.vertices.Empty(0);
    mesh.normals.Empty(0);
    mesh.textureCoordinates.Empty(0);
    mesh.vertexWeightCounts.Empty(0);
    mesh.weights.Empty(0);
    mesh.polygonVertexCounts.Empty(0);
    mesh.polygonVertexIndices.Empty(0);
    mesh.polygonNormalIndices.Empty(0);
    mesh.polygonTexCoordIndices.Empty(0);

    UTextParser parser(text, range.start, range.length, kWithinParsedText);
    Values values(parser, faults);
    ListQueue lists(text);
    auto queueUVs = [&lists](Range block, UArray<TVector2<float>>& set) { lists.Vectors2(block, set); };
    auto queueIndices = [&lists](Range block, UArray<uint32_t>& set) { lists.Unsigned(block, set); };
    // Every list key's value is a block; a failure costs the file, and the lists' own
    // fault, which lies before the key, is the one noted first.
    auto fail = [&] { return faults.Note(lists.Fault()); };
    while (parser.HasMoreTokens()) {
        const Range key = NextValue(parser);
        Range block;
        if (Is(text, key, "name")) {
            if (!values.Name(key.start, mesh.name)) return fail();
        } else if (Is(text, key, "material")) {
            parser.Skip();  // no writer has written it and nothing uses it; its value is passed over
        } else if (Is(text, key, "materialNames")) {
            // The scene gets no materials from a rig file; a file that names some is told
            // of, so that losing them is not silent. Its value is left to be passed over as
            // any unknown key's is.
            UTextParser::Token token;
            if (parser.PeekToken(token) && text[token.matchStart] == '{' && HoldsText(text, token)) materials = true;
        } else if (Is(text, key, "vertices")) {
            if (!values.Block(key.start, block)) return fail();
            lists.Vectors3(block, mesh.vertices);
        } else if (Is(text, key, "normals")) {
            if (!values.Block(key.start, block)) return fail();
            lists.Vectors3(block, mesh.normals);
        } else if (Is(text, key, "textureCoordinates")) {
            if (!values.Block(key.start, block) || !ReadSets(faults, block, mesh.textureCoordinates, lists, queueUVs))
                return fail();
        } else if (Is(text, key, "polygonTexCoordIndices")) {
            if (!values.Block(key.start, block) ||
                !ReadSets(faults, block, mesh.polygonTexCoordIndices, lists, queueIndices))
                return fail();
        } else if (UArray<uint32_t>* list = Is(text, key, "polygonVertexCounts")    ? &mesh.polygonVertexCounts
                                            : Is(text, key, "polygonVertexIndices") ? &mesh.polygonVertexIndices
                                            : Is(text, key, "polygonNormalIndices") ? &mesh.polygonNormalIndices
                                            : Is(text, key, "vertexWeightCounts")   ? &mesh.vertexWeightCounts
                                                                                    : nullptr) {
            if (!values.Block(key.start, block)) return fail();
            lists.Unsigned(block, *list);
        } else if (Is(text, key, "weights")) {
            if (!values.Block(key.start, block)) return fail();
            lists.Weights(block, mesh.weights);
        }
    }
    if (parser.GetEngineError()) return NoteUnreadable(faults);
    if (!lists.ReadAll()) return faults.Note(lists.Fault());
    return true;
}

// The value after "version": a word or quoted string that is exactly "1".
bool ReadVersion(UTextParser& parser, Faults& faults, int32_t keyAt) {
    Values values(parser, faults);
    if (!values.WordOrString(keyAt)) return false;
    const Range value = NextValue(parser);
    return Is(faults.Text(), value, "1") || faults.Note(DamageRule::Version, value.start);
}

}  // namespace

bool CheckVersion(UTextParser& parser) {
    Faults faults(parser.GetText());
    return ReadVersion(parser, faults, 0);
}

namespace {

// The records of one list (bones or meshes) as the file declares and fills them.
class RecordCount {
public:
    // Reads a count after its key; false when it is missing, not a number, negative or
    // too large. A count given again starts the records over; those filled before are
    // added to discarded.
    template <typename Record>
    bool Declare(Values& values, Faults& faults, int32_t keyAt, UArray<Record>& records, int32_t& discarded) {
        int64_t count;
        if (!values.Integer(keyAt, count)) return false;
        if (count < 0 || count >= int64_t(kMaxRecords)) return faults.Note(DamageRule::CountOutOfRange, keyAt);
        for (unsigned char filled : m_filled) discarded += filled;
        records.Empty(0);
        records.Add(int32_t(count));
        m_filled.Empty(0);
        for (int64_t i = 0; i < count; ++i) m_filled.Append(0);
        m_declared = true;
        return true;
    }
    // Reads the index after "bone" or "mesh"; -1 when it is missing, not a number or
    // outside the count.
    int32_t Index(Values& values, Faults& faults, int32_t keyAt) {
        int64_t index;
        if (!values.Integer(keyAt, index)) return -1;
        if (index < 0 || index >= m_filled.Num()) {
            faults.Note(DamageRule::IndexOutsideCount, keyAt);
            return -1;
        }
        m_filled[int32_t(index)] = 1;
        return int32_t(index);
    }
    bool IsDeclared() const { return m_declared; }
    // Every declared record has had its block.
    bool AllFilled() const {
        for (unsigned char filled : m_filled)
            if (!filled) return false;
        return true;
    }

private:
    UArray<unsigned char> m_filled;
    bool m_declared = false;
};

// The whole file, into the two lists and the report's counts; false with the damage
// noted in faults.
bool ReadEntries(UTextParser& parser, Faults& faults, UArray<BoneData>& bones, UArray<MeshData>& meshes,
                 RigReadReport& report) {
    const char* text = parser.GetText();
    const int64_t end = int64_t(parser.GetRangeStart()) + parser.GetRangeLength();
    // A rig file is text: a zero byte anywhere is damage, and would otherwise cut a name
    // or a list where it stands.
    if (const void* zero = memchr(text + parser.GetRangeStart(), 0, size_t(parser.GetRangeLength())))
        return faults.Note(DamageRule::NulByte, static_cast<const char*>(zero) - text);
    // Text that ends inside a block or a quoted string is a file cut short; text the
    // tokenizer could not read to its end is damaged. (Open-endedness is asked first: for
    // text where every block closes the tokenizer knows at once that it reads to the end.)
    if (parser.IsOpenEnded()) return faults.Note(DamageRule::EndsInside, end);
    if (parser.GetEngineError()) return NoteUnreadable(faults);
    Values values(parser, faults);
    RecordCount boneRecords, meshRecords;
    while (parser.HasMoreTokens()) {
        const Range key = NextValue(parser);
        Range block;
        if (Is(text, key, "version")) {
            if (!ReadVersion(parser, faults, key.start)) return false;
        } else if (Is(text, key, "numBones")) {
            if (!boneRecords.Declare(values, faults, key.start, bones, report.discardedBones)) return false;
        } else if (Is(text, key, "numMeshes")) {
            if (!meshRecords.Declare(values, faults, key.start, meshes, report.discardedMeshes)) return false;
        } else if (Is(text, key, "bone")) {
            const int32_t index = boneRecords.Index(values, faults, key.start);
            if (index < 0 || !values.Block(key.start, block) || !ReadBoneBlockAt(faults, block, bones[index]))
                return false;
        } else if (Is(text, key, "mesh")) {
            const int32_t index = meshRecords.Index(values, faults, key.start);
            if (index < 0 || !values.Block(key.start, block) ||
                !ReadMeshBlockAt(faults, block, meshes[index], report.materialsLeftOut))
                return false;
        }
    }
    // A file cut short between records: fewer blocks than a count declares, or bones
    // without the mesh count that the writer always puts after them.
    if (!boneRecords.AllFilled() || !meshRecords.AllFilled()) return faults.Note(DamageRule::RecordMissing, end);
    if (boneRecords.IsDeclared() && !meshRecords.IsDeclared()) return faults.Note(DamageRule::NoMeshCount, end);
    return true;
}

}  // namespace

bool ReadRigFile(UTextParser& parser, UArray<BoneData>& bones, UArray<MeshData>& meshes, RigReadReport& report) {
    report = RigReadReport();
    Faults faults(parser.GetText());
    const bool intact = ReadEntries(parser, faults, bones, meshes, report);
    if (!intact) {
        report.damage = faults.First();
        if (report.damage.offset >= 0) {
            // Lines are counted only for a damaged file, once.
            const char* first = parser.GetText() + parser.GetRangeStart();
            const char* at = parser.GetText() + report.damage.offset;
            report.damage.offset -= parser.GetRangeStart();
            report.damage.line = 1;
            for (const char* p = first; (p = static_cast<const char*>(memchr(p, '\n', size_t(at - p)))) != nullptr; ++p)
                ++report.damage.line;
        }
    }
    return intact;
}

bool ReadRigFile(UTextParser& parser, UArray<BoneData>& bones, UArray<MeshData>& meshes) {
    RigReadReport report;
    return ReadRigFile(parser, bones, meshes, report);
}

}  // namespace rig
