// RigDifference must see every field a rig carries: each row changes one value of the
// skinned golden (two bones, two UV sets, two materials, weights) and names the
// difference it must report.

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "support/RigCompare.h"

TEST(RigCompare, EveryChangedFieldIsADifference) {
    std::ifstream file(std::string(TESSALINE_TEST_DATA) + "/rig/skinned.tsl", std::ios::binary);
    std::stringstream read;
    read << file.rdbuf();
    const std::string golden = read.str();
    ASSERT_FALSE(golden.empty());
    ASSERT_EQ(plugin_test::RigDifference(golden, golden), "");

    struct Mutation {
        const char* from;  // first occurrence in the golden
        const char* to;
        const char* difference;
    } mutations[] = {
        {"parent \"hips\"", "parent \"\"", "parent of bone spine"},
        {"-2.0000 -0.0000 1.0000", "-2.0001 -0.0000 1.0000", "matrix of bone spine"},
        {"1.0000 1.0000 1.0000\r\n\t}", "1.0000 1.0000 1.0001\r\n\t}", "vertices of mesh body"},
        // The same number of corners, split 3 + 5 instead of 4 + 4.
        {"polygonVertexCounts {\r\n\t\t4\r\n\t\t4", "polygonVertexCounts {\r\n\t\t3\r\n\t\t5",
         "polygon sizes of mesh body"},
        {"0 2 3 1", "0 2 3 5", "polygon vertices of mesh body"},
        {"0.5774 0.5774 -0.5774", "0.5774 0.5774 -0.5773", "corner normals of mesh body"},
        {"0.1667 0.8333", "0.1667 0.8334", "corner UVs of mesh body"},
        {"\"cloth\"", "\"leather\"", "material names of mesh body"},
        {"polygonMaterialIndices {\r\n\t\t0", "polygonMaterialIndices {\r\n\t\t1", "polygon materials of mesh body"},
        {"1 0.7500", "1 0.7000", "weights of mesh body"},
    };
    for (const Mutation& mutation : mutations) {
        std::string changed = golden;
        const size_t at = changed.find(mutation.from);
        ASSERT_NE(at, std::string::npos) << mutation.from;
        changed.replace(at, std::string(mutation.from).size(), mutation.to);
        EXPECT_EQ(plugin_test::RigDifference(golden, changed), mutation.difference) << mutation.from;
        EXPECT_EQ(plugin_test::RigDifference(changed, golden), mutation.difference) << mutation.from;
    }
}
