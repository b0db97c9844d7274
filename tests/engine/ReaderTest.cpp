// The reader's damage rules, each case read by tsl.h and by the plug-in's importer: both
// refuse it for the same rule at the same byte, or both read it. Then what the reader
// tolerates, cut files, numbers, errors' lines and records, and allocation hooks.

#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "support/ImporterCompare.h"

using engine_test::EngineHostTest;

namespace {

struct Damage {
    const char* name;
    std::string text;
    tsl_result expected;
    int64_t offset;  // -1: none
};

std::string Deep(int depth) { return "x " + std::string(size_t(depth), '{') + std::string(size_t(depth), '}'); }

const std::string kBone = "numBones 1 bone 0 { name \"b\" ";
const std::string kMesh = "numMeshes 1 mesh 0 { ";

std::vector<Damage> DamageCases() {
    return {
        {"nul byte", std::string("version 1\0 numMeshes 0", 22), TSL_ERROR_NUL_BYTE, 9},
        {"nul byte before other damage", std::string("numBones x \0", 12), TSL_ERROR_NUL_BYTE, 11},
        {"version 2", "version 2", TSL_ERROR_VERSION, 8},
        {"version 01", "version 01", TSL_ERROR_VERSION, 8},
        {"version in a block", "version {1}", TSL_ERROR_BLOCK_NOT_ALLOWED, 8},
        {"version without value", "version", TSL_ERROR_VALUE_MISSING, 0},
        {"count 5000", "numBones 5000", TSL_ERROR_COUNT_OUT_OF_RANGE, 0},
        {"count negative", "numMeshes -1", TSL_ERROR_COUNT_OUT_OF_RANGE, 0},
        {"count beyond 64 bits", "numMeshes 99999999999999999999999", TSL_ERROR_COUNT_OUT_OF_RANGE, 0},
        {"count a word", "numBones x", TSL_ERROR_NOT_A_NUMBER, 9},
        {"count quoted", "numBones \"1\"", TSL_ERROR_NOT_A_NUMBER, 9},
        {"count missing", "numMeshes", TSL_ERROR_VALUE_MISSING, 0},
        {"index outside count", "numBones 1 bone 1 { }", TSL_ERROR_INDEX_OUTSIDE_COUNT, 11},
        {"index before any count", "mesh 0 { }", TSL_ERROR_INDEX_OUTSIDE_COUNT, 0},
        {"record not a block", "numBones 1 bone 0 \"x\"", TSL_ERROR_NOT_A_BLOCK, 18},
        {"record block missing", "numBones 1 bone 0", TSL_ERROR_VALUE_MISSING, 11},
        {"name a block", kBone + "parent {a} } numMeshes 0", TSL_ERROR_BLOCK_NOT_ALLOWED, 36},
        {"name last in its block", "numBones 1 bone 0 { name } numMeshes 0", TSL_ERROR_VALUE_MISSING, 20},
        {"matrix entry a word", kBone + "invBaseMatrix 1 0 inf } numMeshes 0", TSL_ERROR_NOT_A_NUMBER, 47},
        {"matrix cut by a key", kBone + "invBaseMatrix 1 0 0 0 name \"c\" } numMeshes 0", TSL_ERROR_NOT_A_NUMBER, 51},
        {"bones cut short", "numBones 2 bone 0 { }", TSL_ERROR_RECORD_MISSING, 21},
        {"bones without mesh count", "numBones 1 bone 0 { }", TSL_ERROR_NO_MESH_COUNT, 21},
        {"list entry beyond 32 bits", kMesh + "polygonVertexIndices { 0 4294967296 } }", TSL_ERROR_BEYOND_32_BITS, 46},
        {"list entry below -2^31", kMesh + "vertexWeightCounts { -2147483649 } }", TSL_ERROR_BEYOND_32_BITS, 42},
        {"weight bone beyond 32 bits", kMesh + "weights { 0 1.0 4294967296 0.5 } }", TSL_ERROR_BEYOND_32_BITS, 37},
        {"real list entry nan", kMesh + "vertices { 1 nan 3 } }", TSL_ERROR_NOT_A_NUMBER, 34},
        {"real list entry 7x", kMesh + "normals { 7x } }", TSL_ERROR_NOT_A_NUMBER, 31},
        {"real list entry hex", kMesh + "vertices { 0x1p3 } }", TSL_ERROR_NOT_A_NUMBER, 32},
        {"integer list entry 1.5", kMesh + "polygonVertexCounts { 1.5 } }", TSL_ERROR_NOT_A_NUMBER, 43},
        {"list entry quoted", kMesh + "vertices { 1 \"2\" } }", TSL_ERROR_NOT_A_NUMBER, 34},
        {"list entry a block", kMesh + "vertices { 1 {2} } }", TSL_ERROR_NOT_A_NUMBER, 34},
        {"list not a block", kMesh + "vertices 1 } }", TSL_ERROR_NOT_A_BLOCK, 30},
        {"list last in its block", kMesh + "weights } numBones 0", TSL_ERROR_VALUE_MISSING, 21},
        {"first set not 0", kMesh + "textureCoordinates { set 1 { } } }", TSL_ERROR_SET_OUT_OF_ORDER, 42},
        {"set entry another word", kMesh + "polygonTexCoordIndices { set 0 { } sat 1 { } } }",
         TSL_ERROR_SET_OUT_OF_ORDER, 56},
        {"set number 5000", kMesh + "textureCoordinates { set 5000 { } } }", TSL_ERROR_SET_OUT_OF_ORDER, 42},
        {"set block missing", kMesh + "textureCoordinates { set 0 } }", TSL_ERROR_VALUE_MISSING, 42},
        {"set number a word", kMesh + "textureCoordinates { set x { } } }", TSL_ERROR_NOT_A_NUMBER, 46},
        {"unclosed block", kMesh + "vertices { 1 2 3 }", TSL_ERROR_ENDS_INSIDE, 39},
        {"unclosed quote", kMesh + "name \"a } }", TSL_ERROR_ENDS_INSIDE, 32},
        {"cut file beats an earlier fault", "numBones x {", TSL_ERROR_ENDS_INSIDE, 12},
        {"two files, the first ending in a count", "version 1\r\nnumMeshes 0version 1\r\nnumMeshes 0",
         TSL_ERROR_NOT_A_NUMBER, 21},
        {"nested too deeply", Deep(1001), TSL_ERROR_NESTED_TOO_DEEPLY, -1},
    };
}

TEST_F(EngineHostTest, DamagedFilesAreRefusedByBothReadersForTheSameRuleByteAndLine) {
    for (const Damage& c : DamageCases()) {
        tsl_rig rig;
        EXPECT_EQ(tsl_parse(c.text.data(), c.text.size(), nullptr, &rig), c.expected) << c.name;
        EXPECT_EQ(rig.error.type, c.expected) << c.name;
        EXPECT_EQ(rig.error.offset, c.offset) << c.name;
        EXPECT_EQ(rig.num_bones + rig.num_meshes, 0u) << c.name;
        // The importer names the rule on its info channel, after the byte when it knows it.
        standin::resetScene();
        EXPECT_NE(Import(c.text), 0) << c.name;
        const std::string rule = c.expected == TSL_ERROR_NESTED_TOO_DEEPLY
                                     ? "text the tokenizer cannot read to its end (blocks nested too deeply)"
                                     : rig.error.message;
        const std::string line = (c.offset >= 0 ? "at byte " + std::to_string(c.offset) + ", line " +
                                                      std::to_string(rig.error.line) + ": " + rule
                                                : rule) +
                                 "\r\n";
        EXPECT_EQ(Infos(), line) << c.name;
        tsl_free(&rig);
    }
}

// Texts both readers take, though they look odd; each must give the same rig.
TEST_F(EngineHostTest, OddButIntactTextsReadTheSameThroughBothReaders) {
    const std::vector<std::pair<const char*, std::string>> cases = {
        {"nothing", ""},
        {"version alone", "version 1"},
        {"quoted version", "version \"1\""},
        {"stray closing braces", "} version 1 }} numMeshes 0 }"},
        {"unknown keys pass one token at a time", "fog {version 2} \"x\" version 1 numMeshes 0"},
        {"quoted and block keys", "\"numBones\" 1 {bone} 0 { name \"a\" } numMeshes 0"},
        {"braces inside quoted names", "numBones 1 bone 0 { name \"a{b}\" parent \"}\" } numMeshes 0"},
        {"number forms", kBone + "invBaseMatrix +1 .0 0. 0 0 1e0 0 0 0 0 1.5E-0 0 -0 0 0 1 } numMeshes 0"},
        {"nesting of 1000", Deep(1000) + " numMeshes 0"},
        {"matrix cut by its block", kBone + "invBaseMatrix 2 0 0 } numMeshes 0"},
        {"second count starts over", "numBones 1 bone 0 { name \"a\" } numBones 1 bone 0 { name \"b\" } numMeshes 0"},
        {"list entries as 32-bit forms", kMesh + "vertices { 0 0 0 1 0 0 0 1 0 } polygonVertexCounts { +3 } "
                                                 "polygonVertexIndices { 000 1 2 } vertexWeightCounts { -0 -0 0 } }"},
    };
    for (const auto& [name, text] : cases) EXPECT_EQ(ReadersDiffer(text), "") << name << "\n" << text;
}

// What a file may hold that the importer leaves out, step by step; the models agree and
// tsl.h lists what it left out.
TEST_F(EngineHostTest, StepsTheImporterLeavesOutAreLeftOutAndReported) {
    const std::string bones = "numBones 2 bone 0 { name \"a\" } bone 1 { name \"b\" parent \"a\" } ";
    const std::string tri = "vertices { 0 0 0 1 0 0 0 1 0 } polygonVertexCounts { 3 } polygonVertexIndices { 0 1 2 } ";
    struct Case {
        const char* name;
        std::string text;
        std::vector<tsl_warning_type> warnings;
    };
    const std::vector<Case> cases = {
        {"polygon of two corners",
         "numMeshes 2 mesh 0 { polygonVertexCounts { 2 } polygonVertexIndices { 0 1 } "
         "vertices { 0 0 0 1 1 1 } } mesh 1 { " +
             tri + "}",
         {TSL_WARN_MESH_SKIPPED}},
        {"corner past the vertices",
         kMesh + "vertices { 0 0 0 } polygonVertexCounts { 3 } polygonVertexIndices { 0 0 1 } }",
         {TSL_WARN_MESH_SKIPPED}},
        {"normal index past the list",
         kMesh + tri + "normals { 0 0 1 } polygonNormalIndices { 0 0 1 } }",
         {TSL_WARN_NORMALS_DROPPED}},
        {"normal indices not one per corner",
         kMesh + tri + "normals { 0 0 1 } polygonNormalIndices { 0 0 } }",
         {TSL_WARN_NORMALS_DROPPED}},
        {"fewer index lists than sets",
         kMesh + tri +
             "textureCoordinates { set 0 { 0 0 } set 1 { 1 1 } } "
             "polygonTexCoordIndices { set 0 { 0 0 0 } } }",
         {TSL_WARN_UV_SETS_CUT}},
        {"UV index past its set",
         kMesh + tri +
             "textureCoordinates { set 0 { 0 0 } set 1 { 1 1 } } "
             "polygonTexCoordIndices { set 0 { 0 0 1 } set 1 { 0 0 0 } } }",
         {TSL_WARN_UV_SET_EMPTIED}},
        {"unmapped set, longer index list",
         kMesh + tri +
             "textureCoordinates { set 0 { } set 1 { .5 .25 } } "
             "polygonTexCoordIndices { set 0 { 0 0 0 } set 1 { 0 0 0 0 } } }",
         {}},
        {"weights on a bone outside, pairs beyond",
         bones + kMesh + tri +
             "vertexWeightCounts { 1 2 0 } "
             "weights { 0 1 7 .5 1 .5 0 .25 } }",
         {TSL_WARN_WEIGHTS_OUTSIDE, TSL_WARN_WEIGHTS_BEYOND}},
        {"a bone twice for a vertex is summed",
         bones + kMesh + tri +
             "vertexWeightCounts { 3 1 1 } "
             "weights { 1 .25 0 .5 1 .25 0 1 1 1 } }",
         {}},
        {"weight counts not one per vertex",
         bones + kMesh + tri + "vertexWeightCounts { 1 } weights { 0 1 } }",
         {TSL_WARN_SKIN_DROPPED}},
        {"no weight left",
         bones + kMesh + tri + "vertexWeightCounts { 1 0 0 } weights { 9 1 } }",
         {TSL_WARN_WEIGHTS_OUTSIDE, TSL_WARN_SKIN_DROPPED}},
        {"unnamed bone keeps no weights",
         "numBones 2 bone 0 { } bone 1 { name \"b\" } " + kMesh + tri +
             "vertexWeightCounts { 2 1 1 } weights { 0 .5 1 .5 1 1 1 1 } }",
         {TSL_WARN_BONE_UNNAMED}},
        {"parents in a cycle",
         "numBones 3 bone 0 { name \"a\" parent \"c\" } bone 1 { name \"b\" parent \"a\" } "
         "bone 2 { name \"c\" parent \"b\" } numMeshes 0",
         {}},
        {"a child finds the later of two names",
         "numBones 3 bone 0 { name \"a\" } bone 1 { name \"a\" } "
         "bone 2 { name \"c\" parent \"a\" } numMeshes 0",
         {}},
        {"a bone its own parent", "numBones 1 bone 0 { name \"a\" parent \"a\" } numMeshes 0", {}},
        {"lists given twice append; short groups pad",
         kMesh + "vertices { 0 0 0 1 } vertices { 0 1 0 1 1 } "
                 "polygonVertexCounts { 3 } polygonVertexIndices { 0 1 } "
                 "polygonVertexIndices { 2 } }",
         {}},
        {"a mesh block again empties its lists",
         "numMeshes 1 mesh 0 { name \"m\" vertices { 9 9 9 } } mesh 0 { " + tri + "}",
         {}},
        {"a later count discards",
         "numMeshes 1 mesh 0 { " + tri + "} numMeshes 1 mesh 0 { " + tri + "}",
         {TSL_WARN_MESHES_DISCARDED}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ReadersDiffer(c.text), "") << c.name;
        tsl_rig rig;
        ASSERT_EQ(tsl_parse(c.text.data(), c.text.size(), nullptr, &rig), TSL_OK) << c.name;
        std::vector<tsl_warning_type> warnings;
        for (uint32_t i = 0; i < rig.num_warnings; ++i) warnings.push_back(rig.warnings[i].type);
        EXPECT_EQ(warnings, c.warnings) << c.name;
        EXPECT_EQ(tsl_validate(&rig), TSL_OK) << c.name;
        tsl_free(&rig);
    }
}

TEST(EngineReader, SummedWeightsCyclesAndCountsAreWhatTheModelSays) {
    const std::string text =
        "numBones 3 bone 0 { name \"a\" parent \"c\" } bone 1 { name \"b\" parent \"a\" } bone 2 { name \"c\" parent "
        "\"b\" } "
        "numMeshes 1 mesh 0 { vertices { 0 0 0 1 0 0 0 1 0 } polygonVertexCounts { 3 } polygonVertexIndices { 0 1 2 } "
        "vertexWeightCounts { 3 1 1 } weights { 1 .25 0 .5 1 .25 0 1 7 1 2 1 } }";
    tsl_rig rig;
    ASSERT_EQ(tsl_parse(text.data(), text.size(), nullptr, &rig), TSL_OK);
    // Bone 0 is made first; its parent c waits for b, whose parent a is under way: b is a root.
    EXPECT_EQ(rig.bones[0].parent, 2);
    EXPECT_EQ(rig.bones[1].parent, -1);
    EXPECT_EQ(rig.bones[2].parent, 1);
    const tsl_mesh& mesh = rig.meshes[0];
    ASSERT_TRUE(mesh.skinned);
    ASSERT_EQ(mesh.weight_offsets[1], 2u);
    EXPECT_EQ(mesh.weights[0].bone, 1u);
    EXPECT_EQ(mesh.weights[0].weight, 0.5f);
    EXPECT_EQ(mesh.weights[1].bone, 0u);
    EXPECT_EQ(mesh.weight_offsets[2], 3u);
    EXPECT_EQ(mesh.weight_offsets[3], 3u);  // its pair names bone 7, which is dropped
    ASSERT_EQ(rig.num_warnings, 2u);
    EXPECT_EQ(rig.warnings[0].type, TSL_WARN_WEIGHTS_OUTSIDE);
    EXPECT_EQ(rig.warnings[0].count, 1u);
    EXPECT_EQ(rig.warnings[1].type, TSL_WARN_WEIGHTS_BEYOND);
    EXPECT_EQ(rig.warnings[1].count, 1u);
    tsl_free(&rig);
}

std::vector<std::string> Goldens() {
    std::vector<std::string> paths;
    const std::string folder = std::string(TESSALINE_TEST_DATA) + "/rig";
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* entry = readdir(dir))
            if (std::string(entry->d_name).size() > 4 && std::string(entry->d_name).ends_with(".tsl"))
                paths.push_back(folder + "/" + entry->d_name);
        closedir(dir);
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

// A file cut short never reads as part of a rig. A proper prefix of a golden is refused,
// unless it ends before the first count has its value (a file with no counts is complete
// and empty) or lacks only the last line breaks (then it reads whole).
TEST(EngineReader, EveryProperPrefixOfEveryGoldenIsRefusedUnlessItHoldsNoCount) {
    const std::vector<std::string> goldens = Goldens();
    ASSERT_GE(goldens.size(), 7u);
    for (const std::string& path : goldens) {
        const std::string text = engine_test::ReadText(path);
        const size_t countValue = text.find("numBones ") + 9;
        ASSERT_NE(countValue, std::string::npos + 9) << path;
        int refused = 0;
        for (size_t length = 0; length < text.size(); ++length) {
            tsl_rig rig;
            const tsl_result result = tsl_parse(text.data(), length, nullptr, &rig);
            if (result != TSL_OK) {
                ++refused;
            } else if (length <= countValue) {
                EXPECT_EQ(rig.num_bones + rig.num_meshes + rig.num_warnings, 0u) << path << " cut at " << length;
            } else {
                EXPECT_EQ(text.find_first_not_of("\r\n", length), std::string::npos) << path << " cut at " << length;
            }
            tsl_free(&rig);
        }
        EXPECT_GE(size_t(refused), text.size() - countValue - 1) << path;
    }
}

TEST(EngineReader, ErrorsGiveTheLineAndTheRecordWhereReadingStopped) {
    const std::string text =
        "version 1\r\nnumBones 1\r\nnumMeshes 2\r\nbone 0 { name \"a\" }\r\nmesh 0 {\r\n}\r\n"
        "mesh 1 {\r\n\tvertices { 1 2 x }\r\n}";
    tsl_rig rig;
    ASSERT_EQ(tsl_parse(text.data(), text.size(), nullptr, &rig), TSL_ERROR_NOT_A_NUMBER);
    EXPECT_EQ(rig.error.line, 8u);
    EXPECT_EQ(rig.error.offset, int64_t(text.find("x }")));
    EXPECT_EQ(rig.error.mesh, 1);
    EXPECT_EQ(rig.error.bone, -1);
    EXPECT_STREQ(rig.error.message, "a token that is not a number where a number belongs");
    tsl_free(&rig);
}

// Numbers convert as atof then a cast to float: the plain fast path and the general one
// give the same floats, exponents and long forms included.
TEST(EngineReader, RealsAreTheFloatNearestTheirDoubleOnEveryPath) {
    const char* numbers[] = {"0.1",
                             "-0.0000",
                             "1234.5679",
                             "0.00007",
                             "-0.000049497474",
                             "0.33333334",
                             "100",
                             "16777217",
                             "123456789012345",
                             "1234567890123456789",
                             "1e-3",
                             "+2.5",
                             "3.4028234e38",
                             "1e39",
                             ".5",
                             "5.",
                             "0.1000000000000000055511151231257827"};
    for (const char* number : numbers) {
        const std::string text = kMesh + "vertices { " + number + " 0 0 } }";
        tsl_rig rig;
        ASSERT_EQ(tsl_parse(text.data(), text.size(), nullptr, &rig), TSL_OK) << number;
        const float expected = float(std::strtod(number, nullptr));
        // The mesh has no polygons, so it is built with its vertex alone.
        ASSERT_EQ(rig.num_meshes, 1u);
        EXPECT_EQ(std::memcmp(&rig.meshes[0].positions[0], &expected, sizeof expected), 0) << number;
        const bool overflow = std::string(number) == "1e39";
        EXPECT_EQ(rig.num_warnings == 1 && rig.warnings[0].type == TSL_WARN_NOT_FINITE, overflow) << number;
        EXPECT_EQ(tsl_validate(&rig), overflow ? TSL_ERROR_NOT_FINITE : TSL_OK) << number;
        tsl_free(&rig);
    }
}

// Every block comes from the hooks and goes back to them; a hook that fails makes the
// read fail cleanly, at any allocation.
struct Counting {
    int live = 0, calls = 0, failAt = -1;
};
void* CountingAlloc(void* user, size_t size) {
    Counting* c = static_cast<Counting*>(user);
    if (c->calls++ == c->failAt) return nullptr;
    ++c->live;
    return std::malloc(size);
}
void CountingFree(void* user, void* block) {
    --static_cast<Counting*>(user)->live;
    std::free(block);
}

TEST(EngineReader, AllocationHooksGetEveryBlockBackEvenWhenOneFails) {
    const std::vector<std::string> goldens = Goldens();
    for (const std::string& path : goldens) {
        const std::string text = engine_test::ReadText(path);
        Counting counting;
        tsl_options options{{CountingAlloc, CountingFree, &counting}};
        tsl_rig rig;
        ASSERT_EQ(tsl_parse(text.data(), text.size(), &options, &rig), TSL_OK) << path;
        const int calls = counting.calls;
        tsl_free(&rig);
        EXPECT_EQ(counting.live, 0) << path;
        for (int failAt = 0; failAt < calls; ++failAt) {
            Counting failing;
            failing.failAt = failAt;
            tsl_options hooks{{CountingAlloc, CountingFree, &failing}};
            EXPECT_EQ(tsl_parse(text.data(), text.size(), &hooks, &rig), TSL_ERROR_OUT_OF_MEMORY)
                << path << " " << failAt;
            EXPECT_EQ(rig.num_meshes + rig.num_bones, 0u);
            tsl_free(&rig);
            EXPECT_EQ(failing.live, 0) << path << " " << failAt;
        }
    }
}

}  // namespace
