#include "Rig/RigReader.h"

#include <cstdint>
#include <cstring>

#include "Rig/RigLists.h"

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

// Reads "set 0 {...} set 1 {...}": each entry the word set, its number in order, and a
// block whose list is queued for that set; false on any other word or number, on a set
// number as large as the record limit (a set costs the host a name and storage, as a mesh
// does), or when the tokenizer could not read the block to its end. The sets are made
// once all entries are known, in one block of their own size, so the queued targets stay
// put; sets queued by an earlier entry of the same key are forgotten with them.
template <typename List, typename QueueSet>
bool ReadSets(const char* text, Range range, UArray<List>& sets, ListQueue& lists, QueueSet queueSet) {
    lists.Forget(sets.begin(), sets.end());
    UArray<Range> blocks;
    UTextParser parser(text, range.start, range.length, kWithinParsedText);
    while (parser.HasMoreTokens()) {
        if (!Is(text, NextValue(parser), "set")) return false;
        int64_t number;
        parser >> number;
        const Range block = NextValue(parser);
        if (number != blocks.Num() || number >= int64_t(kMaxRecords)) return false;
        blocks.Append(block);
    }
    if (parser.GetEngineError()) return false;
    sets.Empty(blocks.Num());
    sets.Add(blocks.Num());
    for (int32_t i = 0; i < blocks.Num(); ++i) queueSet(blocks[i], sets[i]);
    return true;
}

// The entries of a bone block; unknown keys are skipped and it never fails.
bool ReadBoneBlockAt(const char* text, Range range, BoneData& bone) {
    UTextParser parser(text, range.start, range.length, kWithinParsedText);
    while (parser.HasMoreTokens()) {
        const Range key = NextValue(parser);
        if (Is(text, key, "name")) parser >> bone.name;
        else if (Is(text, key, "parent")) parser >> bone.parent;
        else if (Is(text, key, "invBaseMatrix"))
            for (int row = 0; row < 4; ++row) parser >> bone.invBaseMatrix.m[row];
    }
    return true;
}

// The entries of a mesh block, into a record whose lists it first empties; fails on a
// broken "set" sequence, an integer that does not fit 32 bits, or a block the tokenizer
// could not read to its end.
bool ReadMeshBlockAt(const char* text, Range range, MeshData& mesh) {
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
    ListQueue lists(text);
    auto queueUVs = [&lists](Range block, UArray<TVector2<float>>& set) { lists.Vectors2(block, set); };
    auto queueIndices = [&lists](Range block, UArray<uint32_t>& set) { lists.Unsigned(block, set); };
    while (parser.HasMoreTokens()) {
        const Range key = NextValue(parser);
        if (Is(text, key, "name")) {
            parser >> mesh.name;
        } else if (Is(text, key, "material")) {
            parser.Skip();  // no writer has written it and nothing uses it; its value is passed over
        } else if (Is(text, key, "vertices")) {
            lists.Vectors3(NextValue(parser), mesh.vertices);
        } else if (Is(text, key, "normals")) {
            lists.Vectors3(NextValue(parser), mesh.normals);
        } else if (Is(text, key, "textureCoordinates")) {
            if (!ReadSets(text, NextValue(parser), mesh.textureCoordinates, lists, queueUVs)) return false;
        } else if (Is(text, key, "polygonTexCoordIndices")) {
            if (!ReadSets(text, NextValue(parser), mesh.polygonTexCoordIndices, lists, queueIndices)) return false;
        } else if (Is(text, key, "polygonVertexCounts")) {
            lists.Unsigned(NextValue(parser), mesh.polygonVertexCounts);
        } else if (Is(text, key, "polygonVertexIndices")) {
            lists.Unsigned(NextValue(parser), mesh.polygonVertexIndices);
        } else if (Is(text, key, "polygonNormalIndices")) {
            lists.Unsigned(NextValue(parser), mesh.polygonNormalIndices);
        } else if (Is(text, key, "vertexWeightCounts")) {
            lists.Unsigned(NextValue(parser), mesh.vertexWeightCounts);
        } else if (Is(text, key, "weights")) {
            lists.Weights(NextValue(parser), mesh.weights);
        }
    }
    return parser.GetEngineError() == 0 && lists.ReadAll();
}

}  // namespace

bool CheckVersion(UTextParser& parser) { return Is(parser.GetText(), NextValue(parser), "1"); }

namespace {

// The records of one list (bones or meshes) as the file declares and fills them.
class RecordCount {
public:
    // Reads a count after its key; false when it is missing, negative or too large.
    template <typename Record>
    bool Declare(UTextParser& parser, UArray<Record>& records) {
        if (!parser.HasMoreTokens()) return false;
        int64_t count;
        parser >> count;
        if (count < 0 || count >= int64_t(kMaxRecords)) return false;
        records.Empty(0);
        records.Add(int32_t(count));
        m_filled.Empty(0);
        for (int64_t i = 0; i < count; ++i) m_filled.Append(0);
        m_declared = true;
        return true;
    }
    // Reads the index after "bone" or "mesh"; -1 when it is missing or outside the count,
    // or when the block after it is missing.
    int32_t Index(UTextParser& parser) {
        if (!parser.HasMoreTokens()) return -1;
        int64_t index;
        parser >> index;
        if (index < 0 || index >= m_filled.Num() || !parser.HasMoreTokens()) return -1;
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

}  // namespace

bool ReadRigFile(UTextParser& parser, UArray<BoneData>& bones, UArray<MeshData>& meshes) {
    // Text that ends inside a block or a quoted string is a file cut short; text the
    // tokenizer could not read to its end is damaged. (Open-endedness is asked first: for
    // text where every block closes the tokenizer knows at once that it reads to the end.)
    if (parser.IsOpenEnded() || parser.GetEngineError()) return false;
    const char* text = parser.GetText();
    RecordCount boneRecords, meshRecords;
    bool ok = true;
    while (ok && parser.HasMoreTokens()) {
        const Range key = NextValue(parser);
        if (Is(text, key, "version")) {
            ok = CheckVersion(parser);
        } else if (Is(text, key, "numBones")) {
            ok = boneRecords.Declare(parser, bones);
        } else if (Is(text, key, "numMeshes")) {
            ok = meshRecords.Declare(parser, meshes);
        } else if (Is(text, key, "bone")) {
            const int32_t index = boneRecords.Index(parser);
            ok = index >= 0;
            if (ok) ReadBoneBlockAt(text, NextValue(parser), bones[index]);
        } else if (Is(text, key, "mesh")) {
            const int32_t index = meshRecords.Index(parser);
            ok = index >= 0;
            if (ok) ok = ReadMeshBlockAt(text, NextValue(parser), meshes[index]);
        }
    }
    // A file cut short between records: fewer blocks than a count declares, or bones
    // without the mesh count that the writer always puts after them.
    return ok && boneRecords.AllFilled() && meshRecords.AllFilled() &&
           (!boneRecords.IsDeclared() || meshRecords.IsDeclared());
}

}  // namespace rig
