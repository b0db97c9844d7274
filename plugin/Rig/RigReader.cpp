#include "Rig/RigReader.h"

#include <climits>
#include <cstdint>
#include <cstring>

#include "Utils/UNumberText.h"

using brix::TVector2;
using brix::TVector3;
using brix::UArray;
using brix::UString;
using brix::UTextParser;

namespace rig {

namespace {

// Blocks are read in place: a block's value stays a range of the file text, tokenized as
// a text of its own would be, so nothing is copied and no level is tokenized twice.
struct Range {
    int32_t start = 0, length = 0;
};

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

// Room for every element a range could hold: each number takes a byte and a separator.
// Pages of the room the list does not fill are never touched, so this costs address
// space, not memory, and spares the list its reallocations while it grows. A list that
// a mesh block gives again is added to the one before: its room at least doubles then,
// so that many small blocks of one list grow it in few moves, not one per block.
template <typename T>
void ReserveFor(UArray<T>& out, Range range, int32_t numbersPerElement) {
    constexpr int64_t kMostBytes = int64_t(1) << 30;
    const int64_t needed = out.Num() + (int64_t(range.length) + 1) / 2 / numbersPerElement + 1;
    if (needed <= out.Max()) return;
    const int64_t room = needed > int64_t(out.Num()) * 2 ? needed : int64_t(out.Num()) * 2;
    if (room * int64_t(sizeof(T)) < kMostBytes) out.Reserve(int32_t(room));
}

// Lists hold 32-bit integers: anything a 32-bit signed or unsigned integer can hold is
// taken (a negative one as its unsigned form, which no list can be indexed with); a
// value beyond that would otherwise be cut to its low bits, so the file is damaged.
bool FitsIn32Bits(int64_t value) { return value >= INT32_MIN && value <= int64_t(UINT32_MAX); }

// Reals always read (a missing one as 0); these return true to fit ReadSets.
bool ReadVectors3(const char* text, Range range, UArray<TVector3<float>>& out) {
    ReserveFor(out, range, 3);
    UTextParser list(text, range.start, range.length, kWithinParsedText);
    while (list.HasMoreTokens()) list >> out[out.Add()];
    return true;
}

bool ReadVectors2(const char* text, Range range, UArray<TVector2<float>>& out) {
    ReserveFor(out, range, 2);
    UTextParser list(text, range.start, range.length, kWithinParsedText);
    while (list.HasMoreTokens()) list >> out[out.Add()];
    return true;
}

bool ReadUnsigned(const char* text, Range range, UArray<uint32_t>& out) {
    ReserveFor(out, range, 1);
    UTextParser list(text, range.start, range.length, kWithinParsedText);
    while (list.HasMoreTokens()) {
        int64_t value;
        list >> value;
        if (!FitsIn32Bits(value)) return false;
        out.Append(uint32_t(value));
    }
    return true;
}

bool ReadWeights(const char* text, Range range, UArray<MeshData::Weight>& out) {
    ReserveFor(out, range, 2);
    UTextParser list(text, range.start, range.length, kWithinParsedText);
    while (list.HasMoreTokens()) {
        int64_t bone;
        float weight;
        list >> bone >> weight;
        if (!FitsIn32Bits(bone)) return false;
        out.Append(MeshData::Weight{uint32_t(bone), weight});
    }
    return true;
}

// A list shorter than the array's step of 64 elements gets a block of its own size (none
// when empty): a mesh may hold any number of UV sets, each with a list of its own, and
// the step would cost up to 64 elements for each.
template <typename T>
void FitSmallList(UArray<T>& list) {
    if (list.Max() > brix::UArrayBase::kGranularity || list.Max() == list.Num()) return;
    UArray<T> fitted;
    fitted.Empty(list.Num());
    fitted.Add(list.Num());
    if (list.Num()) memcpy(static_cast<void*>(fitted.Data()), list.Data(), size_t(list.Num()) * sizeof(T));
    list = std::move(fitted);
}

// Reads "set 0 {...} set 1 {...}": each entry the word set, its number in order, and a
// block handed to readSet; false on any other word or number, when readSet fails, or
// when the tokenizer could not read the block to its end.
template <typename List, typename ReadSet>
bool ReadSets(const char* text, Range range, UArray<List>& sets, ReadSet readSet) {
    // The entries are counted first, so that the list of sets takes the room they need
    // once, instead of growing by doubling to up to twice that.
    int64_t tokens = 0;
    for (UTextParser counter(text, range.start, range.length, kWithinParsedText); counter.HasMoreTokens();
         counter.Skip())
        ++tokens;
    sets.Empty(int32_t((tokens + 2) / 3));
    UTextParser parser(text, range.start, range.length, kWithinParsedText);
    while (parser.HasMoreTokens()) {
        if (!Is(text, NextValue(parser), "set")) return false;
        int64_t number;
        parser >> number;
        const Range block = NextValue(parser);
        if (number != sets.Num()) return false;
        List& set = sets[sets.Add()];
        if (!readSet(text, block, set)) return false;
        FitSmallList(set);
    }
    return parser.GetEngineError() == 0;
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
    while (parser.HasMoreTokens()) {
        const Range key = NextValue(parser);
        if (Is(text, key, "name")) {
            parser >> mesh.name;
        } else if (Is(text, key, "material")) {
            parser.Skip();  // no writer has written it and nothing uses it; its value is passed over
        } else if (Is(text, key, "vertices")) {
            ReadVectors3(text, NextValue(parser), mesh.vertices);
        } else if (Is(text, key, "normals")) {
            ReadVectors3(text, NextValue(parser), mesh.normals);
        } else if (Is(text, key, "textureCoordinates")) {
            if (!ReadSets(text, NextValue(parser), mesh.textureCoordinates, ReadVectors2)) return false;
        } else if (Is(text, key, "polygonTexCoordIndices")) {
            if (!ReadSets(text, NextValue(parser), mesh.polygonTexCoordIndices, ReadUnsigned)) return false;
        } else if (Is(text, key, "polygonVertexCounts")) {
            if (!ReadUnsigned(text, NextValue(parser), mesh.polygonVertexCounts)) return false;
        } else if (Is(text, key, "polygonVertexIndices")) {
            if (!ReadUnsigned(text, NextValue(parser), mesh.polygonVertexIndices)) return false;
        } else if (Is(text, key, "polygonNormalIndices")) {
            if (!ReadUnsigned(text, NextValue(parser), mesh.polygonNormalIndices)) return false;
        } else if (Is(text, key, "vertexWeightCounts")) {
            if (!ReadUnsigned(text, NextValue(parser), mesh.vertexWeightCounts)) return false;
        } else if (Is(text, key, "weights")) {
            if (!ReadWeights(text, NextValue(parser), mesh.weights)) return false;
        }
    }
    return parser.GetEngineError() == 0;
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
