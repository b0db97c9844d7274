#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "Rig/RigReader.h"

using brix::UArray;
using brix::UString;
using brix::UTextParser;

namespace {
struct Rig {
    UArray<BoneData> bones;
    UArray<MeshData> meshes;
    rig::RigReadReport report;
    bool ok = false;
};

Rig Read(const std::string& text) {
    Rig rig;
    UString subject(reinterpret_cast<const unsigned char*>(text.data()), int32_t(text.size()));
    UTextParser parser(subject);
    rig.ok = rig::ReadRigFile(parser, rig.bones, rig.meshes, rig.report);
    return rig;
}

std::string Golden(const char* name) {
    std::ifstream in(std::string(TESSALINE_TEST_DATA) + "/rig/" + name + ".tsl", std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// A damage rule's row: the text, and where the reader must find it damaged and why;
// None for a text that reads whole.
struct DamageCase {
    std::string text;
    std::string at;  // the first occurrence in text is where the damage lies; "" for the end
    rig::DamageRule rule;
};

void ExpectDamage(const DamageCase& c) {
    const Rig rig = Read(c.text);
    if (c.rule == rig::DamageRule::None) {
        EXPECT_TRUE(rig.ok) << c.text << "\n" << rig::DamageRuleText(rig.report.damage.rule);
        return;
    }
    EXPECT_FALSE(rig.ok) << c.text;
    EXPECT_EQ(rig.report.damage.rule, c.rule) << c.text << "\n" << rig::DamageRuleText(rig.report.damage.rule);
    const size_t at = c.at.empty() ? c.text.size() : c.text.find(c.at);
    ASSERT_NE(at, std::string::npos) << c.at;
    EXPECT_EQ(rig.report.damage.offset, int64_t(at)) << c.text;
}
}  // namespace

TEST(RigReader, AcceptsAndRejectsTopLevelEntries) {
    struct Case {
        const char* text;
        bool ok;
    } cases[] = {
        {"version 1", true},
        {"", true},
        {"version 2", false},
        {"version 1.0", false},
        {"version \"1\"", true},
        {"version", false},
        {"numBones 4999", false},  // declared but never given
        {"numBones 0 numMeshes 0", true},
        {"numBones 5000", false},
        {"numBones -1", false},
        {"bone 0 { name \"a\" }", false},
        {"numBones 1 bone 0 { name \"a\" } numMeshes 0", true},
        {"numBones 1 bone 1 { }", false},
        {"numBones 1 bone -1 { }", false},
        {"numMeshes 1 mesh 0 { } mesh 1 { }", false},
        {"numMeshes 5000", false},
        {"comment \"x\" materialNames { \"m\" } 17 version 1", true},
        {"numMeshes 1 mesh 0 { textureCoordinates { set 1 { 0 0 } } }", false},
        {"numMeshes 1 mesh 0 { textureCoordinates { set 0 { 0 0 } set 0 { 1 1 } } }", false},
        {"numMeshes 1 mesh 0 { polygonTexCoordIndices { sets 0 { 0 } } }", false},
        {"numMeshes 1 mesh 0 { textureCoordinates { set 0 { 0 0 } set 1 { 1 1 } } }", true},
    };
    for (const Case& c : cases) EXPECT_EQ(Read(c.text).ok, c.ok) << c.text;
}

// UV sets are limited as records are: set 4999 is the last one a mesh may have.
TEST(RigReader, SetNumbersStayBelowTheRecordLimit) {
    for (const char* list : {"textureCoordinates", "polygonTexCoordIndices"})
        for (int sets : {5000, 5001}) {
            std::string text = std::string("numMeshes 1 mesh 0 { ") + list + " {";
            for (int i = 0; i < sets; ++i) text += " set " + std::to_string(i) + " { }";
            text += " } }";
            EXPECT_EQ(Read(text.c_str()).ok, sets == 5000) << list << " with " << sets << " sets";
        }
}

// A file cut short is damaged wherever it was cut: inside a block or a quoted string,
// after a key, before a declared record, or before the mesh count.
TEST(RigReader, FilesCutShortAreDamaged) {
    struct Case {
        const char* text;
        bool ok;
    } cases[] = {
        {"numBones", false},
        {"numBones 0", false},
        {"numBones 0 numMeshes", false},
        {"numBones 1 numMeshes 0", false},
        {"numBones 2 bone 0 { } bone 0 { } numMeshes 0", false},
        {"numBones 1 bone", false},
        {"numBones 1 bone 0", false},
        {"numMeshes 1 mesh 0", false},
        {"numMeshes 1 mesh 0 { name \"m\" vertices { 0 0 0 }", false},
        {"numMeshes 1 mesh 0 { name \"m", false},
        {"numMeshes 1 mesh 0 { } comment \"x", false},
        {"numMeshes 0", true},
        {"numMeshes 1 mesh 0 { name \"m\" }", true},
        {"numMeshes 0 } }", true},  // a stray closing brace is passed over
        {"vers", true},
    };
    for (const Case& c : cases) EXPECT_EQ(Read(c.text).ok, c.ok) << c.text;
}

// Integers are read whole: one that does not fit 32 bits is not cut to its low bits.
TEST(RigReader, IntegersBeyond32BitsAreDamaged) {
    struct Case {
        const char* text;
        bool ok;
    } cases[] = {
        {"numBones 4294967297", false},
        {"numBones 1 bone 4294967296 { } numMeshes 0", false},
        {"numMeshes 1 mesh 4294967296 { }", false},
        {"numMeshes 1 mesh 0 { textureCoordinates { set 4294967296 { } } }", false},
        {"numMeshes 1 mesh 0 { polygonTexCoordIndices { set 0 { 4294967296 } } }", false},
        {"numMeshes 1 mesh 0 { polygonVertexIndices { 4294967298 } }", false},
        {"numMeshes 1 mesh 0 { polygonVertexCounts { -2147483649 } }", false},
        {"numMeshes 1 mesh 0 { vertexWeightCounts { 99999999999999999999 } }", false},
        {"numMeshes 1 mesh 0 { weights { 4294967296 0.5 } }", false},
        {"numMeshes 1 mesh 0 { polygonVertexIndices { 4294967295 -2147483648 } }", true},
    };
    for (const Case& c : cases) EXPECT_EQ(Read(c.text).ok, c.ok) << c.text;
    Rig rig = Read("numMeshes 1 mesh 0 { polygonVertexIndices { 4294967295 -1 } }");
    ASSERT_TRUE(rig.ok);
    EXPECT_EQ(rig.meshes[0].polygonVertexIndices[0], 4294967295u);
    EXPECT_EQ(rig.meshes[0].polygonVertexIndices[1], 4294967295u);
}

// Braces inside quoted strings are bytes of a name, never nesting.
TEST(RigReader, QuotedBracesDoNotNest) {
    const std::string name(1001, '{');
    std::string text = "numBones 1002 ";
    for (int i = 0; i < 1002; ++i) text += "bone " + std::to_string(i) + " { name \"b" + std::to_string(i) + "{\" } ";
    text += "numMeshes 1 mesh 0 { name \"" + name + "\" }";
    Rig rig = Read(text);
    ASSERT_TRUE(rig.ok);
    EXPECT_EQ(std::string(rig.meshes[0].name.c_str()), name);
    EXPECT_STREQ(rig.bones[1001].name.c_str(), "b1001{");
}

TEST(RigReader, TokenizerFailureMakesTheFileDamaged) {
    std::string deep = "version 1 numBones 1 bone 0 " + std::string(1200, '{') + std::string(1200, '}');
    EXPECT_FALSE(Read(deep).ok);
}

TEST(RigReader, ReadsBonesWithDefaultsAndLaterCountsDiscardEarlierRecords) {
    Rig rig = Read(
        "numBones 2 bone 0 { name \"gone\" } numBones 3 bone 1 { } "
        "bone 2 { parent \"root\" name \"c\" unknown 5 invBaseMatrix 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 } "
        "bone 0 { name \"a\" invBaseMatrix 1 2 } numMeshes 0");
    ASSERT_TRUE(rig.ok);
    ASSERT_EQ(rig.bones.Num(), 3);
    EXPECT_STREQ(rig.bones[0].name.c_str(), "a");
    EXPECT_EQ(rig.bones[0].name.Num(), 2);
    EXPECT_EQ(rig.bones[1].name.Num(), 0);  // its block sets no name
    EXPECT_EQ(rig.bones[1].invBaseMatrix, RigMatrix::Identity());
    EXPECT_STREQ(rig.bones[2].parent.c_str(), "root");
    EXPECT_EQ(rig.bones[2].invBaseMatrix.m[3][3], 16.0f);
    // A matrix cut short reads its missing numbers as 0.
    EXPECT_EQ(rig.bones[0].invBaseMatrix.m[0][1], 2.0f);
    EXPECT_EQ(rig.bones[0].invBaseMatrix.m[0][2], 0.0f);
    EXPECT_EQ(rig.bones[0].invBaseMatrix.m[3][3], 0.0f);
}

// A bind matrix that four decimals would spoil is written with as many decimals as each
// entry needs; every one reads back as the float it was written from, beyond 15 digits too.
TEST(RigReader, BindMatrixEntriesOfAnyLengthReadBackExactly) {
    Rig rig = Read(
        "numBones 1 bone 0 { invBaseMatrix 0.01 0.00007 -0.000049497475 0.33333334 "
        "0.0000000000000000000000000000000000000117549435 -1234.5677 100 -0 0.0001 0 0 0 0 0 0 1 } numMeshes 0");
    ASSERT_TRUE(rig.ok);
    const float expected[8] = {0.01f, 7e-5f, -4.9497475e-5f, 1.0f / 3.0f, 1.17549435e-38f, -1234.5677f, 100.0f, -0.0f};
    for (int i = 0; i < 8; ++i) {
        const float read = rig.bones[0].invBaseMatrix.m[i / 4][i % 4];
        EXPECT_EQ(memcmp(&read, &expected[i], sizeof read), 0) << i << ": " << read;
    }
}

TEST(RigReader, ReadsMeshListsAndRestartsThemPerBlock) {
    Rig rig = Read(
        "numMeshes 1\r\n"
        "mesh 0 { name \"first\" vertices { 1 2 3 } material \"name\" }\r\n"
        "mesh 0 {\r\n"
        "\tvertices { 4 5 6 } vertices { 7 8 }\r\n"
        "\tnormals { 0 0 1 }\r\n"
        "\ttextureCoordinates { set 0 { 0.25 0.5 1 1 } set 1 { 0 0 } }\r\n"
        "\tmaterialNames { \"lambert1\" } polygonMaterialIndices { 0 }\r\n"
        "\tpolygonVertexCounts { 3 } polygonVertexIndices { 0 1 2 } polygonNormalIndices { 0 0 0 }\r\n"
        "\tpolygonTexCoordIndices { set 0 { 0 1 0 } }\r\n"
        "\tvertexWeightCounts { 2 0 } weights { 1 0.5 0 0.2 }\r\n"
        "}");
    ASSERT_TRUE(rig.ok);
    const MeshData& mesh = rig.meshes[0];
    // The second block has no name, and the material's value is passed over, not read
    // as a key.
    EXPECT_STREQ(mesh.name.c_str(), "first");
    ASSERT_EQ(mesh.vertices.Num(), 2);  // concatenated, the missing z read as 0
    EXPECT_EQ(mesh.vertices[0], (brix::TVector3<float>{4, 5, 6}));
    EXPECT_EQ(mesh.vertices[1], (brix::TVector3<float>{7, 8, 0}));
    ASSERT_EQ(mesh.textureCoordinates.Num(), 2);
    EXPECT_EQ(mesh.textureCoordinates[0].Num(), 2);
    EXPECT_EQ(mesh.textureCoordinates[0][0], (brix::TVector2<float>{0.25f, 0.5f}));
    ASSERT_EQ(mesh.polygonTexCoordIndices.Num(), 1);
    EXPECT_EQ(mesh.polygonTexCoordIndices[0][1], 1u);
    EXPECT_EQ(mesh.polygonVertexIndices.Num(), 3);
    ASSERT_EQ(mesh.weights.Num(), 2);
    EXPECT_EQ(mesh.weights[0].boneIndex, 1u);
    EXPECT_EQ(mesh.weights[0].weight, 0.5f);  // kept as read, not normalised
    EXPECT_EQ(mesh.weights[1].weight, 0.2f);
    EXPECT_EQ(mesh.vertexWeightCounts[1], 0u);
}

// A mesh with megabytes of lists is read on several threads: every number lands in its
// list in file order, a key given twice appends (a list) or starts over (a set list), and
// an integer out of range in any list still makes the file damaged.
TEST(RigReader, LargeListsReadWholeAndInOrder) {
    constexpr uint32_t kCount = 200000;
    auto numbers = [](uint32_t first, uint32_t count, uint32_t step) {
        std::string text;
        for (uint32_t i = 0; i < count; ++i) text += ' ' + std::to_string(first + i * step);
        return text;
    };
    std::string text = "numMeshes 1 mesh 0 { vertices {" + numbers(0, 3 * kCount, 1) + " }";
    text += " vertices { 7 8 9 }";
    text += " textureCoordinates { set 0 { 5 5 } }";
    text += " textureCoordinates { set 0 {" + numbers(1, 2 * kCount, 2) + " } set 1 { 0.5 } }";
    text += " polygonVertexIndices {" + numbers(3, kCount, 3) + " }";
    text += " weights {" + numbers(0, 2 * kCount, 1) + " } }";

    Rig rig = Read(text);
    ASSERT_TRUE(rig.ok);
    const MeshData& mesh = rig.meshes[0];
    ASSERT_EQ(mesh.vertices.Num(), int32_t(kCount + 1));
    for (uint32_t i = 0; i < kCount; ++i) ASSERT_EQ(mesh.vertices[int32_t(i)].y, float(3 * i + 1)) << i;
    EXPECT_EQ(mesh.vertices[int32_t(kCount)].z, 9.0f);
    ASSERT_EQ(mesh.textureCoordinates.Num(), 2);
    ASSERT_EQ(mesh.textureCoordinates[0].Num(), int32_t(kCount));
    EXPECT_EQ(mesh.textureCoordinates[0][0].x, 1.0f);
    EXPECT_EQ(mesh.textureCoordinates[0][int32_t(kCount) - 1].y, float(1 + (2 * kCount - 1) * 2));
    ASSERT_EQ(mesh.textureCoordinates[1].Num(), 1);
    EXPECT_EQ(mesh.textureCoordinates[1][0].x, 0.5f);
    EXPECT_EQ(mesh.textureCoordinates[1][0].y, 0.0f);  // a missing number reads as 0
    ASSERT_EQ(mesh.polygonVertexIndices.Num(), int32_t(kCount));
    for (uint32_t i = 0; i < kCount; ++i) ASSERT_EQ(mesh.polygonVertexIndices[int32_t(i)], 3 + 3 * i) << i;
    ASSERT_EQ(mesh.weights.Num(), int32_t(kCount));
    EXPECT_EQ(mesh.weights[int32_t(kCount) - 1].boneIndex, 2 * kCount - 2);
    EXPECT_EQ(mesh.weights[int32_t(kCount) - 1].weight, float(2 * kCount - 1));

    const size_t last = text.rfind(" } }");
    EXPECT_FALSE(Read(text.substr(0, last) + " 4294967296 0 } }").ok);

    // Tokens that are not numbers in two lists read on different threads: the one found
    // first in the file is reported.
    std::string damaged = text;
    const size_t inWeights = damaged.rfind(" 123456 ") + 1;
    damaged.replace(inWeights, 6, "12345x");
    const size_t inVertices = damaged.find(" 123456 ") + 1;
    damaged.replace(inVertices, 6, "\"1234\"");
    ASSERT_LT(inVertices, inWeights);
    const Rig read = Read(damaged);
    EXPECT_FALSE(read.ok);
    EXPECT_EQ(read.report.damage.rule, rig::DamageRule::NotANumber);
    EXPECT_EQ(read.report.damage.offset, int64_t(inVertices));
}

// A list given again in thousands of small blocks appends each in turn, across the
// batches the reader reads them in; a bad entry in any batch makes the file damaged.
TEST(RigReader, AListGivenInManyBlocksKeepsEveryEntryInOrder) {
    constexpr int kBlocks = 10000;
    std::string text = "numMeshes 1 mesh 0 {";
    for (int i = 0; i < kBlocks; ++i) text += " polygonVertexIndices { " + std::to_string(i) + " }";
    text += " textureCoordinates { set 0 { 1 2 } } }";
    const Rig rig = Read(text);
    ASSERT_TRUE(rig.ok);
    const MeshData& mesh = rig.meshes[0];
    ASSERT_EQ(mesh.polygonVertexIndices.Num(), kBlocks);
    for (int i = 0; i < kBlocks; ++i) ASSERT_EQ(mesh.polygonVertexIndices[i], uint32_t(i));
    ASSERT_EQ(mesh.textureCoordinates.Num(), 1);
    EXPECT_EQ(mesh.textureCoordinates[0][0].y, 2.0f);

    const size_t early = text.find("{ 17 }");
    EXPECT_FALSE(Read(text.replace(early, 6, "{ 99999999999 }")).ok);
}

// A rig file is text: a NUL byte anywhere makes it damaged, where it would otherwise cut
// the name, list or block it stands in.
TEST(RigReader, ANulByteAnywhereIsDamage) {
    const std::string skinned = Golden("skinned");
    ASSERT_NE(skinned.find("vertexWeightCounts"), std::string::npos);
    const std::string nul(1, '\0');
    auto before = [&nul](std::string text, const char* marker) { return text.insert(text.find(marker), nul); };
    const DamageCase cases[] = {
        {skinned, "", rig::DamageRule::None},
        // It cut the mesh block: the weight counts were lost, the weights kept.
        {before(skinned, "vertexWeightCounts"), nul, rig::DamageRule::NulByte},
        {before(skinned, "dy\""), nul, rig::DamageRule::NulByte},                    // in a name: "bo\0dy"
        {before(skinned, "-1.0000 1.0000 -1.0000"), nul, rig::DamageRule::NulByte},  // in a vertex list
        {before(skinned, "numMeshes"), nul, rig::DamageRule::NulByte},               // between records
        {skinned + nul, nul, rig::DamageRule::NulByte},                              // after the last block
        {nul + "version 1", nul, rig::DamageRule::NulByte},
    };
    for (const DamageCase& c : cases) ExpectDamage(c);
}

// Where a number belongs (a count, an index, a set number, a bind matrix entry, a list
// entry) the token must be a whole decimal number of its kind: integers in counts,
// indices and integer lists, reals in the matrix and in real lists. Any other token is
// damage, not read as its digits or as 0.
TEST(RigReader, ATokenThatIsNotANumberWhereANumberBelongsIsDamage) {
    using enum rig::DamageRule;
    const std::string mesh = "numMeshes 1 mesh 0 { ";
    const std::string bone = "numBones 1 bone 0 { invBaseMatrix ";
    const DamageCase cases[] = {
        {mesh + "vertices { 1 7x 3 } }", "7x", NotANumber},
        {mesh + "vertices { 1 \"word\" 3 } }", "\"word\"", NotANumber},
        {mesh + "vertices { 1 { 2 } 3 } }", "{ 2 }", NotANumber},
        {mesh + "normals { inf 0 0 } }", "inf", NotANumber},
        {mesh + "textureCoordinates { set 0 { 0x1p3 0 } } }", "0x1p3", NotANumber},
        {mesh + "polygonVertexIndices { 0 1.5 2 } }", "1.5", NotANumber},
        {mesh + "polygonTexCoordIndices { set 0 { 0 1e2 } } }", "1e2", NotANumber},
        {mesh + "weights { 0 0.5 1x 0.5 } }", "1x", NotANumber},
        {mesh + "weights { 0 nan } }", "nan", NotANumber},
        {mesh + "weights { 0 - } }", "- ", NotANumber},
        {mesh + "textureCoordinates { set 0x { } } }", "0x", NotANumber},
        {"numBones 2x", "2x", NotANumber},
        {"numMeshes {1} mesh 0 { }", "{1}", NotANumber},
        {"numBones 1 bone \"0\" { } numMeshes 0", "\"0\"", NotANumber},
        {bone + "1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1x } numMeshes 0", "1x", NotANumber},
        // A matrix cut short by the next key: the key is not read as a 0.
        {bone + "1 2 name \"a\" } numMeshes 0", "name", NotANumber},
        // Two files glued together where the first ends in a count.
        {Golden("empty") + Golden("bones"), "0version", NotANumber},
        // Whole numbers of every decimal form read.
        {mesh + "vertices { 1e3 -2 +.5 5. -0.0000 1.5E-3 0.000000000000000000001 } polygonVertexIndices { +1 -1 007 } "
                "weights { 0 } }",
         "", rig::DamageRule::None},
        {"numBones +1 bone 0 { invBaseMatrix 1e0 2 } numMeshes 0", "", rig::DamageRule::None},
    };
    for (const DamageCase& c : cases) ExpectDamage(c);
    const Rig rig = Read(cases[std::size(cases) - 2].text);
    ASSERT_TRUE(rig.ok);
    EXPECT_EQ(rig.meshes[0].vertices[0], (brix::TVector3<float>{1000.0f, -2.0f, 0.5f}));
    EXPECT_FLOAT_EQ(rig.meshes[0].vertices[1].z, 0.0015f);
    EXPECT_EQ(rig.meshes[0].polygonVertexIndices[2], 7u);
    EXPECT_EQ(rig.meshes[0].weights[0].weight, 0.0f);  // a missing last number reads as 0
}

// Where the format puts a block (after bone and mesh and their index, after a list key,
// after "set k") anything else is damage, and so is a block where a word or quoted string
// belongs (the version, a name); a value missing at the end of its block is damage too.
TEST(RigReader, AValueOfTheWrongKindIsDamage) {
    using enum rig::DamageRule;
    const std::string mesh = "numMeshes 1 mesh 0 { ";
    const DamageCase cases[] = {
        {"numBones 1 bone 0 xyz numMeshes 0", "xyz", NotABlock},
        {"numMeshes 1 mesh 0 body", "body", NotABlock},
        {"numMeshes 1 mesh 0 \"m\" { }", "\"m\"", NotABlock},
        {mesh + "vertices 5 }", "5", NotABlock},
        {mesh + "weights \"0 1\" }", "\"0 1\"", NotABlock},
        {mesh + "polygonTexCoordIndices xyz }", "xyz", NotABlock},
        {mesh + "textureCoordinates { set 0 xyz } }", "xyz", NotABlock},
        {"version {1}", "{1}", BlockNotAllowed},
        {mesh + "name { m } }", "{ m }", BlockNotAllowed},
        {"numBones 1 bone 0 { parent {p} } numMeshes 0", "{p}", BlockNotAllowed},
        {mesh + "vertices }", "vertices", ValueMissing},
        {mesh + "textureCoordinates { set 0 } }", "set", ValueMissing},
        {"numBones 1 bone 0 { name } numMeshes 0", "name", ValueMissing},
        {"version", "version", ValueMissing},
        {"numBones 1 bone 0", "bone", ValueMissing},
        {"version \"1\" numMeshes 1 mesh 0 { name m materialNames x polygonMaterialIndices 0 }", "",
         rig::DamageRule::None},
    };
    for (const DamageCase& c : cases) ExpectDamage(c);
}

// Each rule of the damaged-file list names itself and where it was found.
TEST(RigReader, DamageSaysWhichRuleAndWhere) {
    using enum rig::DamageRule;
    const DamageCase cases[] = {
        {"version 2", "2", Version},
        {"numBones 5000", "numBones", CountOutOfRange},
        {"numMeshes 1 mesh 1 { }", "mesh", IndexOutsideCount},
        {"numMeshes 1 mesh 0 { polygonVertexCounts { 3 4294967296 } }", "4294967296", Beyond32Bits},
        {"numMeshes 1 mesh 0 { weights { 0 1 -2147483649 1 } }", "-2147483649", Beyond32Bits},
        {"numMeshes 1 mesh 0 { textureCoordinates { set 1 { } } }", "set", SetOutOfOrder},
        {"numMeshes 1 mesh 0 { name \"m", "", EndsInside},
        {"numBones 2 bone 0 { } numMeshes 0", "", RecordMissing},
        {"numBones 0", "", NoMeshCount},
    };
    for (const DamageCase& c : cases) ExpectDamage(c);
    const Rig deep = Read("numBones 1 bone 0 " + std::string(1200, '{') + std::string(1200, '}'));
    EXPECT_EQ(deep.report.damage.rule, Unreadable);
    EXPECT_EQ(deep.report.damage.offset, -1);  // the tokenizer does not tell where
}

// A count given again starts its records over, as two files written one after the other
// read: the report counts the records that had been read and are lost.
TEST(RigReader, ALaterCountReportsTheRecordsItDiscards) {
    struct Case {
        std::string text;
        int32_t bones, meshes;  // discarded
        int32_t bonesLeft, meshesLeft;
    } cases[] = {
        {Golden("skinned") + Golden("unskinned"), 2, 1, 0, 1},
        {Golden("skinned") + "\r\n" + Golden("bones"), 2, 1, 2, 0},
        {Golden("skinned") + "\r\n" + Golden("skinned"), 2, 1, 2, 1},
        {"numBones 2 numBones 1 bone 0 { } numMeshes 0", 0, 0, 1, 0},
        {"numBones 2 bone 1 { } bone 1 { } numBones 1 bone 0 { } numMeshes 0", 1, 0, 1, 0},
        {"numBones 1 bone 0 { } numMeshes 1 mesh 0 { } numMeshes 1 "
         "numBones 1 bone 0 { } numBones 1 bone 0 { } mesh 0 { }",
         2, 1, 1, 1},
        {Golden("skinned"), 0, 0, 2, 1},
    };
    for (const Case& c : cases) {
        const Rig rig = Read(c.text);
        ASSERT_TRUE(rig.ok) << c.text;
        EXPECT_EQ(rig.report.discardedBones, c.bones) << c.text;
        EXPECT_EQ(rig.report.discardedMeshes, c.meshes) << c.text;
        EXPECT_EQ(rig.bones.Num(), c.bonesLeft) << c.text;
        EXPECT_EQ(rig.meshes.Num(), c.meshesLeft) << c.text;
    }
}
