// The reader reads blocks in place; this checks it against a reader that copies every
// block's value and tokenizes the copy again with the regex engine alone, on damaged and
// mutated rig texts: same result, and for a file read whole the same records bit for bit.

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "Rig/RigReader.h"

using brix::TVector2;
using brix::TVector3;
using brix::UArray;
using brix::UString;
using brix::UTextParser;

namespace {

constexpr UTextParser::Engine kRegex = UTextParser::Engine::RegexOnly;

bool Is(const UString& key, const char* text) { return strcmp(key.c_str(), text) == 0; }

template <typename T>
bool ReadAll(const UString& text, UArray<T>& out) {
    UTextParser parser(text, kRegex);
    while (parser.HasMoreTokens()) parser >> out[out.Add()];
    return true;
}

bool Fits(int64_t value) { return value >= -2147483648LL && value <= 4294967295LL; }

bool ReadUnsigned(const UString& text, UArray<uint32_t>& out) {
    UTextParser parser(text, kRegex);
    while (parser.HasMoreTokens()) {
        int64_t value;
        parser >> value;
        if (!Fits(value)) return false;
        out.Append(uint32_t(value));
    }
    return true;
}

template <typename List, typename ReadSet>
bool ReadSets(const UString& text, UArray<List>& sets, ReadSet readSet) {
    sets.Empty(16);
    UTextParser parser(text, kRegex);
    if (parser.GetEngineError()) return false;
    while (parser.HasMoreTokens()) {
        UString key, block;
        int64_t number;
        parser >> key;
        if (!Is(key, "set")) return false;
        parser >> number >> block;
        if (number != sets.Num()) return false;
        if (!readSet(block, sets[sets.Add()])) return false;
    }
    return true;
}

bool ReadMesh(const UString& text, MeshData& mesh) {
    mesh = MeshData{mesh.name, {}, {}, {}, {}, {}, {}, {}, {}, {}};
    UTextParser parser(text, kRegex);
    if (parser.GetEngineError()) return false;
    while (parser.HasMoreTokens()) {
        UString key, value;
        parser >> key;
        if (Is(key, "name")) parser >> mesh.name;
        else if (Is(key, "material")) parser >> value;
        else if (Is(key, "vertices")) ReadAll((parser >> value, value), mesh.vertices);
        else if (Is(key, "normals")) ReadAll((parser >> value, value), mesh.normals);
        else if (Is(key, "textureCoordinates")) {
            if (!ReadSets((parser >> value, value), mesh.textureCoordinates, ReadAll<TVector2<float>>)) return false;
        } else if (Is(key, "polygonTexCoordIndices")) {
            if (!ReadSets((parser >> value, value), mesh.polygonTexCoordIndices, ReadUnsigned)) return false;
        } else if (Is(key, "polygonVertexCounts")) {
            if (!ReadUnsigned((parser >> value, value), mesh.polygonVertexCounts)) return false;
        } else if (Is(key, "polygonVertexIndices")) {
            if (!ReadUnsigned((parser >> value, value), mesh.polygonVertexIndices)) return false;
        } else if (Is(key, "polygonNormalIndices")) {
            if (!ReadUnsigned((parser >> value, value), mesh.polygonNormalIndices)) return false;
        } else if (Is(key, "vertexWeightCounts")) {
            if (!ReadUnsigned((parser >> value, value), mesh.vertexWeightCounts)) return false;
        } else if (Is(key, "weights")) {
            UTextParser list((parser >> value, value), kRegex);
            while (list.HasMoreTokens()) {
                int64_t bone;
                float weight;
                list >> bone >> weight;
                if (!Fits(bone)) return false;
                mesh.weights.Append(MeshData::Weight{uint32_t(bone), weight});
            }
        }
    }
    return true;
}

// The reader reading every block from a copy of its value, with the same rules.
bool ReadByCopies(const UString& text, UArray<BoneData>& bones, UArray<MeshData>& meshes) {
    UTextParser parser(text, kRegex);
    if (parser.GetEngineError() || parser.IsOpenEnded()) return false;
    bool ok = true, bonesDeclared = false, meshesDeclared = false;
    UArray<unsigned char> boneFilled, meshFilled;
    while (ok && parser.HasMoreTokens()) {
        UString key, block;
        int64_t number;
        parser >> key;
        if (Is(key, "version")) {
            ok = rig::CheckVersion(parser);
        } else if (Is(key, "numBones") || Is(key, "numMeshes")) {
            ok = parser.HasMoreTokens();
            parser >> number;
            ok = ok && number >= 0 && number < rig::kMaxRecords;
            if (!ok) break;
            const bool isBones = Is(key, "numBones");
            UArray<unsigned char>& filled = isBones ? boneFilled : meshFilled;
            filled.Empty(0);
            for (int64_t i = 0; i < number; ++i) filled.Append(0);
            if (isBones) bones.Empty(0), bones.Add(int32_t(number)), bonesDeclared = true;
            else meshes.Empty(0), meshes.Add(int32_t(number)), meshesDeclared = true;
        } else if (Is(key, "bone") || Is(key, "mesh")) {
            ok = parser.HasMoreTokens();
            parser >> number;
            UArray<unsigned char>& filled = Is(key, "bone") ? boneFilled : meshFilled;
            ok = ok && number >= 0 && number < filled.Num() && parser.HasMoreTokens();
            if (!ok) break;
            filled[int32_t(number)] = 1;
            parser >> block;
            if (Is(key, "mesh")) {
                ok = ReadMesh(block, meshes[int32_t(number)]);
                continue;
            }
            UTextParser entries(block, kRegex);
            BoneData& bone = bones[int32_t(number)];
            while (entries.HasMoreTokens()) {
                entries >> key;
                if (Is(key, "name")) entries >> bone.name;
                else if (Is(key, "parent")) entries >> bone.parent;
                else if (Is(key, "invBaseMatrix"))
                    for (int row = 0; row < 4; ++row) entries >> bone.invBaseMatrix.m[row];
            }
        }
    }
    for (const UArray<unsigned char>* filled : {&boneFilled, &meshFilled})
        for (unsigned char f : *filled) ok = ok && f;
    return ok && (!bonesDeclared || meshesDeclared);
}

// Every field, floats by their bits. A damaged file's records are never used (nothing is
// built from it), and how far a reader filled them before it gave up is its own affair.
std::string Dump(bool ok, const UArray<BoneData>& bones, const UArray<MeshData>& meshes) {
    if (!ok) return "damaged\n";
    std::string out = "ok\n";
    auto bits = [&](float value) {
        uint32_t b;
        memcpy(&b, &value, 4);
        out += std::to_string(b) + ' ';
    };
    auto text = [&](const UString& s) { out += '[' + std::string(s.c_str(), size_t(s.Length())) + "] "; };
    for (const BoneData& bone : bones) {
        text(bone.name);
        text(bone.parent);
        for (auto& row : bone.invBaseMatrix.m)
            for (float v : row) bits(v);
        out += '\n';
    }
    for (const MeshData& mesh : meshes) {
        text(mesh.name);
        for (auto* list : {&mesh.vertices, &mesh.normals})
            for (const TVector3<float>& v : *list) bits(v.x), bits(v.y), bits(v.z);
        out += '|';
        for (const auto& set : mesh.textureCoordinates) {
            for (const TVector2<float>& v : set) bits(v.x), bits(v.y);
            out += '/';
        }
        for (auto* list : {&mesh.vertexWeightCounts, &mesh.polygonVertexCounts, &mesh.polygonVertexIndices,
                           &mesh.polygonNormalIndices}) {
            for (uint32_t v : *list) out += std::to_string(v) + ' ';
            out += '|';
        }
        for (const auto& set : mesh.polygonTexCoordIndices) {
            for (uint32_t v : set) out += std::to_string(v) + ' ';
            out += '/';
        }
        for (const MeshData::Weight& w : mesh.weights) out += std::to_string(w.boneIndex) + ':', bits(w.weight);
        out += '\n';
    }
    return out;
}

void ExpectSameAsCopies(const std::string& bytes) {
    UString text(reinterpret_cast<const unsigned char*>(bytes.data()), int32_t(bytes.size()));
    UArray<BoneData> bonesA, bonesB;
    UArray<MeshData> meshesA, meshesB;
    UTextParser parser(text);
    const bool a = rig::ReadRigFile(parser, bonesA, meshesA);
    const bool b = ReadByCopies(text, bonesB, meshesB);
    EXPECT_EQ(Dump(a, bonesA, meshesA), Dump(b, bonesB, meshesB)) << bytes;
}

const char kRig[] =
    "version 1\r\n\r\nnumBones 2\r\nbone 0 {\r\n\tname \"root\"\r\n\tparent \"\"\r\n\tinvBaseMatrix 1.0000 0.0000 "
    "0.0000 0.0000 0.0000 1.0000 0.0000 0.0000 0.0000 0.0000 1.0000 0.0000 -0.5000 0.0000 0.0000 1.0000\r\n}\r\n\r\n"
    "bone 1 {\r\n\tname \"a {b}\"\r\n\tparent \"root\"\r\n\tinvBaseMatrix 2.5 -0 1e3 0x1p3 inf\r\n}\r\n\r\nnumMeshes 1"
    "\r\nmesh 0 {\r\n\tname \"m\"\r\n\r\n\tvertices {\r\n\t\t0.0000 1.0000 2.0000\r\n\t\t-3.2500 4.0000 5.0000 7"
    "\r\n\t}\r\n\r\n\tnormals \"0 0 1\"\r\n\r\n\ttextureCoordinates {\r\n\t\tset 0 {\r\n\t\t\t0.0000 0.5000\r\n\t\t}"
    "\r\n\r\n\t\tset 1 {\r\n\t\t\t1.0000 1.0000\r\n\t\t}\r\n\t}\r\n\r\n\tmaterialNames {\r\n\t\t \"lambert\"\r\n\t}"
    "\r\n\r\n\tpolygonVertexCounts {\r\n\t\t3\r\n\t}\r\n\r\n\tpolygonVertexIndices {\r\n\t\t0 1 -1 2x\r\n\t}\r\n\r\n"
    "\tpolygonTexCoordIndices {\r\n\t\tset 0 {\r\n\t\t\t0 0 0\r\n\t\t}\r\n\t}\r\n\r\n\tvertexWeightCounts { 2 }"
    "\r\n\r\n\tweights {\r\n\t\t0 0.5000\r\n\t\t1 0.5000 1\r\n\t}\r\n\tmaterial \"x\"\r\n}\r\n";

}  // namespace

TEST(RigReaderInPlace, ReadsAsTheCopyingReaderDid) {
    const std::string rig = kRig;
    ExpectSameAsCopies(rig);
    ExpectSameAsCopies(std::string(kRig, 400) + std::string(1, '\0') + (kRig + 400));
    ExpectSameAsCopies("numMeshes 1 mesh 0 { vertices { 1 2 { 3 \" } 4 } weights { 1 \"");
    ExpectSameAsCopies("numMeshes 1 mesh 0 { vertices { 1 2 \"}\" 3 } }");
    ExpectSameAsCopies("numBones 1 bone 0 { name \"a\0b\" }");

    std::mt19937 random(5);
    const char inserted[] = {'{', '}', '"', ' ', '\0', '\n', '1', '-'};
    for (int round = 0; round < 1500; ++round) {
        std::string text = rig;
        for (int edits = 1 + int(random() % 4); edits > 0; --edits) {
            const size_t at = random() % (text.size() + 1);
            switch (random() % 4) {
                case 0: text.insert(at, 1, inserted[random() % sizeof inserted]); break;
                case 1: if (at < text.size()) text.erase(at, 1 + random() % 6); break;
                case 2: if (at < text.size()) text[at] = char(random() % 256); break;
                default: text.insert(at, text.substr(random() % text.size(), random() % 30)); break;
            }
        }
        ExpectSameAsCopies(text);
    }
}
