// A file cut short anywhere must never build part of a rig. Each proper prefix of every
// golden file is refused as damaged, or builds nothing because it ends before the first
// count has its value, or builds the whole rig because all it lacks is line breaks.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/PluginHostTest.h"

using plugin_test::PluginHostTest;

using ImportPrefix = PluginHostTest;

TEST_F(ImportPrefix, EveryProperPrefixOfEveryGoldenIsRefusedOrBuildsNothingOrAll) {
    const char kDamaged[] = "WARNING: Can't handle file \"rig.tsl\". Some data is missing or corrupt.\r\n";
    int goldens = 0;
    for (const auto& entry : std::filesystem::directory_iterator(std::string(TESSALINE_TEST_DATA) + "/rig")) {
        if (entry.path().extension() != ".tsl") continue;
        ++goldens;
        const std::string original = ReadFile(entry.path().string());
        const std::string name = entry.path().filename().string();
        const bool yUp = name == "yup.tsl";
        standin::resetScene();
        standin::setUpAxis(yUp);
        ASSERT_EQ(Import(original), 0) << name;
        const std::string wholeWarnings = Warnings();  // a golden that names materials says so
        const std::string whole = Export();
        // Up to here a prefix holds no count with its value.
        const size_t countValue = original.find("numBones ") + 9;
        ASSERT_NE(countValue, std::string::npos + 9) << name;

        for (size_t length = 0; length < original.size(); ++length) {
            const std::string prefix = original.substr(0, length);
            standin::resetScene();
            standin::setUpAxis(yUp);
            const unsigned int nodesBefore = standin::allNodes().length();
            const int code = Import(prefix);
            const bool builtNothing = standin::allNodes().length() == nodesBefore;
            if (code == 1) {
                EXPECT_TRUE(builtNothing) << name << " cut at " << length;
                EXPECT_EQ(Warnings(), kDamaged) << name << " cut at " << length;
                continue;
            }
            ASSERT_EQ(code, 0) << name << " cut at " << length;
            EXPECT_EQ(Warnings(), builtNothing ? "" : wholeWarnings) << name << " cut at " << length;
            if (length <= countValue) {
                EXPECT_TRUE(builtNothing) << name << " cut at " << length;
            } else {
                EXPECT_EQ(original.find_first_not_of("\r\n", length), std::string::npos)
                    << name << " cut at " << length << " imports";
                EXPECT_EQ(Export(), whole) << name << " cut at " << length;
            }
        }
    }
    EXPECT_GT(goldens, 0) << "no golden rig files found";
}
