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

// The token at the cursor as the reference sees it: its first byte tells a block, a
// quoted string and a word apart; 0 when none is left.
char Opening(const UTextParser& parser) {
    UTextParser::Token token;
    return parser.PeekToken(token) ? parser.GetText()[token.matchStart] : 0;
}
bool AtBlock(const UTextParser& parser) { return Opening(parser) == '{'; }
bool AtWordOrString(const UTextParser& parser) { return Opening(parser) && !AtBlock(parser); }

// The number forms, written out here rather than asked of the reader under test: a sign,
// digits, and for a real an optional fraction (digits on at least one side of the point)
// and exponent. (std::regex would do, but GCC 12 warns inside it under the sanitizers.)
const char* Digits(const char* p, const char* end) {
    while (p < end && *p >= '0' && *p <= '9') ++p;
    return p;
}
const char* Sign(const char* p, const char* end) { return p < end && (*p == '+' || *p == '-') ? p + 1 : p; }
bool IntegerForm(const char* p, const char* end) {
    p = Sign(p, end);
    return p < end && Digits(p, end) == end;
}
bool RealForm(const char* p, const char* end) {
    p = Sign(p, end);
    const char* whole = Digits(p, end);
    const char* fraction = whole < end && *whole == '.' ? Digits(whole + 1, end) : whole;
    if (whole == p && fraction <= whole + 1) return false;  // no digit on either side
    p = fraction;
    if (p < end && (*p == 'e' || *p == 'E')) {
        const char* exponent = Sign(p + 1, end);
        p = Digits(exponent, end);
        if (p == exponent) return false;
    }
    return p == end;
}

// Whether the token at the cursor is a word that is a number of the kind.
bool AtNumber(const UTextParser& parser, bool (*form)(const char*, const char*)) {
    UTextParser::Token token;
    if (!parser.PeekToken(token)) return false;
    const char* word = parser.GetText() + token.matchStart;
    return form(word, word + token.matchLength);
}
const auto kInteger = IntegerForm;
const auto kReal = RealForm;

// Reals, a component at a time: one missing at the end reads as 0.
template <typename T>
bool ReadReals(const UString& text, UArray<T>& out) {
    UTextParser parser(text, kRegex);
    while (parser.HasMoreTokens()) {
        float* components = reinterpret_cast<float*>(&out[out.Add()]);
        for (size_t c = 0; c < sizeof(T) / sizeof(float); ++c) {
            if (parser.HasMoreTokens() && !AtNumber(parser, kReal)) return false;
            parser >> components[c];
        }
    }
    return true;
}

bool Fits(int64_t value) { return value >= -2147483648LL && value <= 4294967295LL; }

bool ReadUnsigned(const UString& text, UArray<uint32_t>& out) {
    UTextParser parser(text, kRegex);
    while (parser.HasMoreTokens()) {
        if (!AtNumber(parser, kInteger)) return false;
        int64_t value;
        parser >> value;
        if (!Fits(value)) return false;
        out.Append(uint32_t(value));
    }
    return true;
}

// The value after a key, copied: false when it is not a block.
bool Block(UTextParser& parser, UString& block) {
    if (!AtBlock(parser)) return false;
    parser >> block;
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
        if (!Is(key, "set") || !AtNumber(parser, kInteger)) return false;
        parser >> number;
        if (number != sets.Num() || !Block(parser, block)) return false;
        if (!readSet(block, sets[sets.Add()])) return false;
    }
    return true;
}

bool ReadName(UTextParser& parser, UString& name) {
    if (!AtWordOrString(parser)) return false;
    parser >> name;
    return true;
}

bool ReadMesh(const UString& text, MeshData& mesh) {
    mesh = MeshData{mesh.name, {}, {}, {}, {}, {}, {}, {}, {}, {}};
    UTextParser parser(text, kRegex);
    if (parser.GetEngineError()) return false;
    while (parser.HasMoreTokens()) {
        UString key, value;
        parser >> key;
        if (Is(key, "name")) {
            if (!ReadName(parser, mesh.name)) return false;
        } else if (Is(key, "material")) {
            parser >> value;
        } else if (Is(key, "vertices")) {
            if (!Block(parser, value) || !ReadReals(value, mesh.vertices)) return false;
        } else if (Is(key, "normals")) {
            if (!Block(parser, value) || !ReadReals(value, mesh.normals)) return false;
        } else if (Is(key, "textureCoordinates")) {
            if (!Block(parser, value) || !ReadSets(value, mesh.textureCoordinates, ReadReals<TVector2<float>>))
                return false;
        } else if (Is(key, "polygonTexCoordIndices")) {
            if (!Block(parser, value) || !ReadSets(value, mesh.polygonTexCoordIndices, ReadUnsigned)) return false;
        } else if (Is(key, "polygonVertexCounts")) {
            if (!Block(parser, value) || !ReadUnsigned(value, mesh.polygonVertexCounts)) return false;
        } else if (Is(key, "polygonVertexIndices")) {
            if (!Block(parser, value) || !ReadUnsigned(value, mesh.polygonVertexIndices)) return false;
        } else if (Is(key, "polygonNormalIndices")) {
            if (!Block(parser, value) || !ReadUnsigned(value, mesh.polygonNormalIndices)) return false;
        } else if (Is(key, "vertexWeightCounts")) {
            if (!Block(parser, value) || !ReadUnsigned(value, mesh.vertexWeightCounts)) return false;
        } else if (Is(key, "weights")) {
            if (!Block(parser, value)) return false;
            UTextParser list(value, kRegex);
            while (list.HasMoreTokens()) {
                int64_t bone;
                float weight;
                if (!AtNumber(list, kInteger)) return false;
                list >> bone;
                if (list.HasMoreTokens() && !AtNumber(list, kReal)) return false;
                list >> weight;
                if (!Fits(bone)) return false;
                mesh.weights.Append(MeshData::Weight{uint32_t(bone), weight});
            }
        }
    }
    return true;
}

// The reader reading every block from a copy of its value, with the same rules.
bool ReadByCopies(const UString& text, UArray<BoneData>& bones, UArray<MeshData>& meshes) {
    if (memchr(text.c_str(), 0, size_t(text.Length()))) return false;
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
            ok = AtNumber(parser, kInteger);
            parser >> number;
            ok = ok && number >= 0 && number < rig::kMaxRecords;
            if (!ok) break;
            const bool isBones = Is(key, "numBones");
            UArray<unsigned char>& filled = isBones ? boneFilled : meshFilled;
            filled.Empty(0);
            for (int64_t i = 0; i < number; ++i) filled.Append(0);
            if (isBones)
                bones.Empty(0), bones.Add(int32_t(number)), bonesDeclared = true;
            else
                meshes.Empty(0), meshes.Add(int32_t(number)), meshesDeclared = true;
        } else if (Is(key, "bone") || Is(key, "mesh")) {
            ok = AtNumber(parser, kInteger);
            parser >> number;
            UArray<unsigned char>& filled = Is(key, "bone") ? boneFilled : meshFilled;
            ok = ok && number >= 0 && number < filled.Num() && Block(parser, block);
            if (!ok) break;
            filled[int32_t(number)] = 1;
            if (Is(key, "mesh")) {
                ok = ReadMesh(block, meshes[int32_t(number)]);
                continue;
            }
            UTextParser entries(block, kRegex);
            BoneData& bone = bones[int32_t(number)];
            while (ok && entries.HasMoreTokens()) {
                entries >> key;
                if (Is(key, "name"))
                    ok = ReadName(entries, bone.name);
                else if (Is(key, "parent"))
                    ok = ReadName(entries, bone.parent);
                else if (Is(key, "invBaseMatrix"))
                    for (auto& row : bone.invBaseMatrix.m)
                        for (float& entry : row) {
                            ok = ok && (!entries.HasMoreTokens() || AtNumber(entries, kReal));
                            entries >> entry;
                        }
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

// Whether the in-place reader took the text.
bool ExpectSameAsCopies(const std::string& bytes) {
    UString text(reinterpret_cast<const unsigned char*>(bytes.data()), int32_t(bytes.size()));
    UArray<BoneData> bonesA, bonesB;
    UArray<MeshData> meshesA, meshesB;
    UTextParser parser(text);
    const bool a = rig::ReadRigFile(parser, bonesA, meshesA);
    const bool b = ReadByCopies(text, bonesB, meshesB);
    EXPECT_EQ(Dump(a, bonesA, meshesA), Dump(b, bonesB, meshesB)) << bytes;
    return a;
}

const char kRig[] =
    "version 1\r\n\r\nnumBones 2\r\nbone 0 {\r\n\tname \"root\"\r\n\tparent \"\"\r\n\tinvBaseMatrix 1.0000 0.0000 "
    "0.0000 0.0000 0.0000 1.0000 0.0000 0.0000 0.0000 0.0000 1.0000 0.0000 -0.5000 0.0000 0.0000 1.0000\r\n}\r\n\r\n"
    "bone 1 {\r\n\tname \"a {b}\"\r\n\tparent \"root\"\r\n\tinvBaseMatrix 2.5 -0 1e3 +8 .5 5.\r\n}\r\n\r\nnumMeshes 1"
    "\r\nmesh 0 {\r\n\tname \"m\"\r\n\r\n\tvertices {\r\n\t\t0.0000 1.0000 2.0000\r\n\t\t-3.2500 4.0000 5.0000 7"
    "\r\n\t}\r\n\r\n\tnormals { 0 0 1 }\r\n\r\n\ttextureCoordinates {\r\n\t\tset 0 {\r\n\t\t\t0.0000 0.5000\r\n\t\t}"
    "\r\n\r\n\t\tset 1 {\r\n\t\t\t1.0000 1.0000\r\n\t\t}\r\n\t}\r\n\r\n\tmaterialNames {\r\n\t\t \"lambert\"\r\n\t}"
    "\r\n\r\n\tpolygonVertexCounts {\r\n\t\t3\r\n\t}\r\n\r\n\tpolygonVertexIndices {\r\n\t\t0 1 -1 +2\r\n\t}\r\n\r\n"
    "\tpolygonTexCoordIndices {\r\n\t\tset 0 {\r\n\t\t\t0 0 0\r\n\t\t}\r\n\t}\r\n\r\n\tvertexWeightCounts { 2 }"
    "\r\n\r\n\tweights {\r\n\t\t0 0.5000\r\n\t\t1 0.5000 1\r\n\t}\r\n\tmaterial \"x\"\r\n}\r\n";

}  // namespace

TEST(RigReaderInPlace, ReadsAsTheCopyingReaderDid) {
    const std::string rig = kRig;
    // The mutations start from a rig that reads whole, so that most of them read whole or
    // fail late in it.
    ASSERT_TRUE(ExpectSameAsCopies(rig));
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
            case 1:
                if (at < text.size()) text.erase(at, 1 + random() % 6);
                break;
            case 2:
                if (at < text.size()) text[at] = char(random() % 256);
                break;
            default: text.insert(at, text.substr(random() % text.size(), random() % 30)); break;
            }
        }
        ExpectSameAsCopies(text);
    }
}

namespace {

std::string Digits(std::mt19937& random, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += char('0' + random() % 10);
    return out;
}

// A real of one of the forms a list may meet: the writer's, longer and shorter ones on
// either side of the 15 digits a plain real may have, signs, lone points and exponents,
// and now and then a word that is no number.
std::string RandomReal(std::mt19937& random) {
    switch (random() % 8) {
    case 0: return Digits(random, 1 + int(random() % 19));
    case 1: return Digits(random, int(random() % 9)) + "." + Digits(random, int(random() % 9));
    case 2: return "-" + Digits(random, int(random() % 3)) + "." + Digits(random, 4);
    case 3:
        return (random() % 2 ? "+" : "-") + Digits(random, 1 + int(random() % 3)) + (random() % 2 ? "e" : "E") +
               (random() % 2 ? "-" : "") + Digits(random, 1 + int(random() % 2));
    case 4: return random() % 30 ? Digits(random, 1 + int(random() % 8)) + "." : "7x";
    default: return (random() % 2 ? "-" : "") + Digits(random, 1 + int(random() % 3)) + "." + Digits(random, 4);
    }
}

// An integer on either side of 32 bits and of the 9 digits every value fits in, now and
// then a real, which no integer list takes.
std::string RandomInteger(std::mt19937& random) {
    const bool rare = random() % 25 == 0;
    switch (random() % 6) {
    case 0: return Digits(random, rare ? 10 + int(random() % 2) : 8 + int(random() % 2));
    case 1: return rare ? "4294967296" : "4294967295";
    case 2: return rare ? "-2147483649" : "-" + Digits(random, 1 + int(random() % 9));
    case 3: return rare ? "1.5" : "000000" + Digits(random, 1 + int(random() % 9));
    case 4: return "+" + Digits(random, 2);
    default: return Digits(random, 1 + int(random() % 6));
    }
}

// A list block of count numbers with the writer's separators and others, sometimes closed
// right after its last digit.
std::string RandomList(std::mt19937& random, int count, std::string (*number)(std::mt19937&)) {
    static const char* const kSeparators[] = {" ", "\r\n\t\t", "\t", "  \n"};
    std::string out = "{";
    for (int i = 0; i < count; ++i) out += kSeparators[random() % 4] + number(random);
    return out + (random() % 3 ? "\r\n\t}" : "}");
}

}  // namespace

TEST(RigReaderInPlace, ReadsNumberListsAsTheCopyingReaderDid) {
    std::mt19937 random(11);
    int whole = 0;
    for (int round = 0; round < 600; ++round) {
        const int n = int(random() % 12);
        // Weights alternate bone indices and reals.
        std::string weights = "{";
        for (int i = 0; i < n * 2 + int(random() % 2); ++i)
            weights += (i % 2 ? " " + RandomReal(random) : "\r\n\t\t" + RandomInteger(random));
        weights += random() % 3 ? "\r\n\t}" : "}";
        const std::string rig = "version 1\r\nnumBones 0\r\nnumMeshes 1\r\nmesh 0 {\r\n\tvertices " +
                                RandomList(random, n * 3 + int(random() % 3), RandomReal) + "\r\n\tnormals " +
                                RandomList(random, n * 3, RandomReal) + "\r\n\ttextureCoordinates {\r\n\t\tset 0 " +
                                RandomList(random, n * 2 + int(random() % 2), RandomReal) +
                                "\r\n\t}\r\n\tpolygonVertexIndices " + RandomList(random, n, RandomInteger) +
                                "\r\n\tvertexWeightCounts " + RandomList(random, n, RandomInteger) + "\r\n\tweights " +
                                weights + "\r\n}\r\n";
        whole += ExpectSameAsCopies(rig);
    }
    // Most rounds must read whole, or the values would go unchecked.
    EXPECT_GT(whole, 300);
}
