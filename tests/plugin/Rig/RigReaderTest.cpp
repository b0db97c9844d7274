#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "Rig/RigReader.h"

using brix::UArray;
using brix::UString;
using brix::UTextParser;

namespace {
struct Rig {
    UArray<BoneData> bones;
    UArray<MeshData> meshes;
    bool ok = false;
};

Rig Read(const std::string& text) {
    Rig rig;
    UString subject(text.c_str());
    UTextParser parser(subject);
    rig.ok = rig::ReadRigFile(parser, rig.bones, rig.meshes);
    return rig;
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
