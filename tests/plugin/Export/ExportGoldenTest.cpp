#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "support/PluginHostTest.h"
#include "support/SampleScenes.h"

using plugin_test::PluginHostTest;

namespace {
const char* const kGoldens[] = {
    "empty", "bones", "skinned", "unskinned", "yup", "influence_order", "non_joint_influence"};

std::string GoldenPath(const std::string& name) { return std::string(TESSALINE_TEST_DATA) + "/rig/" + name + ".tsl"; }

// With TESSALINE_UPDATE_GOLDEN=1 every golden is written (created or replaced) instead of
// compared.
bool WriteGoldenIfAsked(const std::string& path, const std::string& text) {
    const char* update = getenv("TESSALINE_UPDATE_GOLDEN");
    if (!update || std::string(update) != "1") return false;
    std::ofstream(path, std::ios::binary) << text;
    return true;
}
}  // namespace

using ExportGolden = PluginHostTest;

TEST_F(ExportGolden, FilesMatchByteForByte) {
    for (const char* name : kGoldens) {
        standin::resetScene();
        plugin_test::BuildScene(name);
        int code = -1;
        const std::string text = Export("", false, &code);
        EXPECT_EQ(code, 0) << name;
        const std::string path = GoldenPath(name);
        if (WriteGoldenIfAsked(path, text)) continue;
        EXPECT_EQ(text, ReadFile(path)) << name;
    }
}

TEST_F(ExportGolden, EmptySceneIsFourLinesWithoutFinalBreak) {
    EXPECT_EQ(Export(), "version 1\r\n\r\nnumBones 0\r\nnumMeshes 0");
}

TEST_F(ExportGolden, YUpConvertsVerticesAndMatrixRows) {
    plugin_test::BuildScene("yup");
    const std::string text = Export();
    EXPECT_NE(text.find("\r\n\t\t1.0000 -3.0000 2.0000\r\n"), std::string::npos);
    // The joint's world matrix translates by (1, 2, 3), so its inverse has rows
    // a = (1 0 0 0), b = (0 1 0 0), c = (0 0 1 0), d = (-1 -2 -3 1); the file holds a, -c, b, d.
    const size_t at = text.find("invBaseMatrix");
    ASSERT_NE(at, std::string::npos);
    std::istringstream numbers(text.substr(at + 13));
    const float expected[16] = {1, 0, 0, 0, 0, 0, -1, 0, 0, 1, 0, 0, -1, -2, -3, 1};
    for (float value : expected) {
        float read = 99;
        numbers >> read;
        EXPECT_EQ(read, value);
    }
}

TEST_F(ExportGolden, InfluencesMapToTheFilesBoneIndices) {
    plugin_test::BuildScene("influence_order");
    const std::string text = Export();
    // Bones X, A, B, C; influences B, C, A: vertex v is fully on influence v.
    EXPECT_NE(text.find("weights {\r\n\t\t2 1.0000\r\n\t\t3 1.0000\r\n\t\t1 1.0000\r\n\t}"), std::string::npos) << text;
}

TEST_F(ExportGolden, NonJointInfluenceWritesBoneZeroWithAWarning) {
    plugin_test::BuildScene("non_joint_influence");
    const std::string text = Export();
    EXPECT_NE(text.find("weights {\r\n\t\t0 0.5000\r\n\t\t0 0.5000\r\n"), std::string::npos) << text;
    EXPECT_EQ(Warnings(),
              "WARNING: Influence \"locator\" of mesh \"tri\" is not an exported joint. Its weights are "
              "written for bone 0.\r\n");
}
