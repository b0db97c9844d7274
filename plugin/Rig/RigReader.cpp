#include "Rig/RigReader.h"

#include <climits>
#include <cstdint>
#include <cstring>

#include "Utils/UBlockScanner.h"
#include "Utils/UNumberText.h"

using brix::TVector2;
using brix::TVector3;
using brix::UArray;
using brix::UString;
using brix::UTextParser;

namespace rig {

namespace {

bool Is(const UString& key, const char* text) { return strcmp(key.c_str(), text) == 0; }

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

// Reads the numbers of a list value one token at a time, with UTextParser's rules (a read
// past the last token gives 0) and without keeping a token table for the list.
class NumberList {
public:
    NumberList(const UString& text, Range range)
        : m_text(text.c_str()),
          m_scanner(reinterpret_cast<const unsigned char*>(m_text) + range.start,
                    reinterpret_cast<const unsigned char*>(m_text) + range.start + range.length),
          m_offset(range.start) {
        m_has = m_scanner.Next(m_token);
    }
    bool HasMoreTokens() const { return m_has; }
    NumberList& operator>>(int64_t& value) {
        value = m_has ? brix::ReadWideInteger(Current()) : 0;
        Advance();
        return *this;
    }
    NumberList& operator>>(float& value) {
        value = m_has ? brix::ReadReal(Current()) : 0.0f;
        Advance();
        return *this;
    }
    NumberList& operator>>(TVector2<float>& value) { return *this >> value.x >> value.y; }
    NumberList& operator>>(TVector3<float>& value) { return *this >> value.x >> value.y >> value.z; }

private:
    const char* Current() const { return m_text + m_offset + m_token.matchStart; }
    void Advance() {
        if (m_has) m_has = m_scanner.Next(m_token);
    }

    const char* m_text;
    brix::UBlockScanner m_scanner;
    int32_t m_offset;
    brix::UBlockScanner::Token m_token{};
    bool m_has = false;
};

// Room for every element a range could hold: each number takes a byte and a separator.
// Pages of the room the list does not fill are never touched, so this costs address
// space, not memory, and spares the list its reallocations while it grows.
template <typename T>
void ReserveFor(UArray<T>& out, Range range, int32_t numbersPerElement) {
    constexpr int64_t kMostBytes = int64_t(1) << 30;
    const int64_t elements = (int64_t(range.length) + 1) / 2 / numbersPerElement + 1;
    if ((out.Num() + elements) * int64_t(sizeof(T)) < kMostBytes) out.Reserve(out.Num() + int32_t(elements));
}

// Lists hold 32-bit integers: anything a 32-bit signed or unsigned integer can hold is
// taken (a negative one as its unsigned form, which no list can be indexed with); a
// value beyond that would otherwise be cut to its low bits, so the file is damaged.
bool FitsIn32Bits(int64_t value) { return value >= INT32_MIN && value <= int64_t(UINT32_MAX); }

// Reals always read (a missing one as 0); these return true to fit ReadSets.
bool ReadVectors3(const UString& text, Range range, UArray<TVector3<float>>& out) {
    ReserveFor(out, range, 3);
    NumberList list(text, range);
    while (list.HasMoreTokens()) list >> out[out.Add()];
    return true;
}

bool ReadVectors2(const UString& text, Range range, UArray<TVector2<float>>& out) {
    ReserveFor(out, range, 2);
    NumberList list(text, range);
    while (list.HasMoreTokens()) list >> out[out.Add()];
    return true;
}

bool ReadUnsigned(const UString& text, Range range, UArray<uint32_t>& out) {
    ReserveFor(out, range, 1);
    NumberList list(text, range);
    while (list.HasMoreTokens()) {
        int64_t value;
        list >> value;
        if (!FitsIn32Bits(value)) return false;
        out.Append(uint32_t(value));
    }
    return true;
}

bool ReadWeights(const UString& text, Range range, UArray<MeshData::Weight>& out) {
    ReserveFor(out, range, 2);
    NumberList list(text, range);
    while (list.HasMoreTokens()) {
        int64_t bone;
        float weight;
        list >> bone >> weight;
        if (!FitsIn32Bits(bone)) return false;
        out.Append(MeshData::Weight{uint32_t(bone), weight});
    }
    return true;
}

// Reads "set 0 {...} set 1 {...}": each entry the word set, its number in order, and a
// block handed to readSet; false on any other word or number, on a set number as large
// as the record limit (a set costs the host a name and storage, as a mesh does), or when
// readSet fails.
template <typename List, typename ReadSet>
bool ReadSets(const UString& text, Range range, UArray<List>& sets, ReadSet readSet) {
    sets.Empty(16);
    UTextParser parser(text, range.start, range.length, UTextParser::Nesting::CheckedWithWholeText);
    if (parser.GetEngineError()) return false;
    while (parser.HasMoreTokens()) {
        UString key;
        int64_t number;
        parser >> key;
        if (!Is(key, "set")) return false;
        parser >> number;
        const Range block = NextValue(parser);
        if (number != sets.Num() || number >= int64_t(kMaxRecords)) return false;
        if (!readSet(text, block, sets[sets.Add()])) return false;
    }
    return true;
}

// The entries of a bone block; unknown keys are skipped and it never fails.
bool ReadBoneBlockAt(const UString& text, Range range, BoneData& bone, UTextParser::Nesting nesting) {
    UTextParser parser(text, range.start, range.length, nesting);
    while (parser.HasMoreTokens()) {
        UString key;
        parser >> key;
        if (Is(key, "name")) parser >> bone.name;
        else if (Is(key, "parent")) parser >> bone.parent;
        else if (Is(key, "invBaseMatrix"))
            for (int row = 0; row < 4; ++row) parser >> bone.invBaseMatrix.m[row];
    }
    return true;
}

// The entries of a mesh block, into a record whose lists it first empties; fails on a
// broken "set" sequence, an integer that does not fit 32 bits, or a block the tokenizer
// could not read.
bool ReadMeshBlockAt(const UString& text, Range range, MeshData& mesh, UTextParser::Nesting nesting) {
    mesh.vertices.Empty(0);
    mesh.normals.Empty(0);
    mesh.textureCoordinates.Empty(0);
    mesh.vertexWeightCounts.Empty(0);
    mesh.weights.Empty(0);
    mesh.polygonVertexCounts.Empty(0);
    mesh.polygonVertexIndices.Empty(0);
    mesh.polygonNormalIndices.Empty(0);
    mesh.polygonTexCoordIndices.Empty(0);

    UTextParser parser(text, range.start, range.length, nesting);
    if (parser.GetEngineError()) return false;
    while (parser.HasMoreTokens()) {
        UString key;
        parser >> key;
        if (Is(key, "name")) {
            parser >> mesh.name;
        } else if (Is(key, "material")) {
            UString unused;  // no writer has written it and nothing uses it; its value is passed over
            parser >> unused;
        } else if (Is(key, "vertices")) {
            ReadVectors3(text, NextValue(parser), mesh.vertices);
        } else if (Is(key, "normals")) {
            ReadVectors3(text, NextValue(parser), mesh.normals);
        } else if (Is(key, "textureCoordinates")) {
            if (!ReadSets(text, NextValue(parser), mesh.textureCoordinates, ReadVectors2)) return false;
        } else if (Is(key, "polygonTexCoordIndices")) {
            if (!ReadSets(text, NextValue(parser), mesh.polygonTexCoordIndices, ReadUnsigned)) return false;
        } else if (Is(key, "polygonVertexCounts")) {
            if (!ReadUnsigned(text, NextValue(parser), mesh.polygonVertexCounts)) return false;
        } else if (Is(key, "polygonVertexIndices")) {
            if (!ReadUnsigned(text, NextValue(parser), mesh.polygonVertexIndices)) return false;
        } else if (Is(key, "polygonNormalIndices")) {
            if (!ReadUnsigned(text, NextValue(parser), mesh.polygonNormalIndices)) return false;
        } else if (Is(key, "vertexWeightCounts")) {
            if (!ReadUnsigned(text, NextValue(parser), mesh.vertexWeightCounts)) return false;
        } else if (Is(key, "weights")) {
            if (!ReadWeights(text, NextValue(parser), mesh.weights)) return false;
        }
    }
    return true;
}

}  // namespace

bool CheckVersion(UTextParser& parser) {
    UString version;
    parser >> version;
    return Is(version, "1");
}

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
    // Blocks are ranges of the text the parser tokenized whole, nesting checked.
    constexpr UTextParser::Nesting kWithinParsedText = UTextParser::Nesting::CheckedWithWholeText;
    // Text the tokenizer could not read to its end is damaged, not short; so is text
    // that ends inside a block or a quoted string: a file cut short.
    if (parser.GetEngineError() || parser.IsOpenEnded()) return false;
    RecordCount boneRecords, meshRecords;
    bool ok = true;
    while (ok && parser.HasMoreTokens()) {
        UString key;
        parser >> key;
        if (Is(key, "version")) {
            ok = CheckVersion(parser);
        } else if (Is(key, "numBones")) {
            ok = boneRecords.Declare(parser, bones);
        } else if (Is(key, "numMeshes")) {
            ok = meshRecords.Declare(parser, meshes);
        } else if (Is(key, "bone")) {
            const int32_t index = boneRecords.Index(parser);
            ok = index >= 0;
            if (ok) ReadBoneBlockAt(parser.GetText(), NextValue(parser), bones[index], kWithinParsedText);
        } else if (Is(key, "mesh")) {
            const int32_t index = meshRecords.Index(parser);
            ok = index >= 0;
            if (ok) ok = ReadMeshBlockAt(parser.GetText(), NextValue(parser), meshes[index], kWithinParsedText);
        }
    }
    // A file cut short between records: fewer blocks than a count declares, or bones
    // without the mesh count that the writer always puts after them.
    return ok && boneRecords.AllFilled() && meshRecords.AllFilled() &&
           (!boneRecords.IsDeclared() || meshRecords.IsDeclared());
}

}  // namespace rig
