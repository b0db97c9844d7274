// Rigs read through tsl.h and through the plug-in's importer over the stand-in host give
// the same rig: the goldens, random rigs in the writer's layout, those rigs damaged a
// byte at a time, and (when TSL_CORPUS_RIGS names a folder) rigs converted from the
// scene-file corpus.

#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "support/ImporterCompare.h"
#include "support/RandomRig.h"

using engine_test::EngineHostTest;

namespace {

std::vector<std::string> TslFiles(const std::string& folder) {
    std::vector<std::string> paths;
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (name.size() > 4 && name.ends_with(".tsl")) paths.push_back(folder + "/" + name);
        }
        closedir(dir);
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

TEST_F(EngineHostTest, GoldensReadTheSameInZUpAndYUpScenes) {
    const std::vector<std::string> goldens = TslFiles(std::string(TESSALINE_TEST_DATA) + "/rig");
    ASSERT_GE(goldens.size(), 7u);
    for (const std::string& path : goldens)
        for (bool yUp : {false, true})
            EXPECT_EQ(ReadersDiffer(ReadFile(path), yUp), "") << path << (yUp ? " (Y up)" : "");
}

TEST_F(EngineHostTest, RandomRigsReadTheSame) {
    for (uint32_t seed = 1; seed <= 300; ++seed) {
        const std::string rig = plugin_test::RandomRig(seed).Write();
        ASSERT_EQ(ReadersDiffer(rig, seed % 2 == 0), "") << "seed " << seed << "\n" << rig;
    }
}

// One byte deleted, doubled or replaced by a byte the grammar cares about: both readers
// refuse the result, or both build the same rig from it.
TEST_F(EngineHostTest, RandomRigsDamagedAByteAtATimeReadTheSame) {
    static const char kBytes[] = " \n{}\"0-.9xe";
    std::mt19937 random(7);
    int refused = 0, read = 0;
    for (uint32_t seed = 1; seed <= 150; ++seed) {
        const std::string rig = plugin_test::RandomRig(seed).Write();
        for (int k = 0; k < 12; ++k) {
            std::string damaged = rig;
            const size_t at = std::uniform_int_distribution<size_t>(0, rig.size() - 1)(random);
            const char byte = kBytes[std::uniform_int_distribution<size_t>(0, sizeof kBytes - 2)(random)];
            switch (k % 3) {
            case 0: damaged.erase(at, 1); break;
            case 1: damaged.insert(at, 1, damaged[at]); break;
            default: damaged[at] = byte; break;
            }
            tsl_rig model;
            const bool accepted = tsl_parse(damaged.data(), damaged.size(), nullptr, &model) == TSL_OK;
            // A number too large for a float is read as infinity by both; the scene then
            // holds values no comparison can judge.
            const bool finite = !accepted || tsl_validate(&model) != TSL_ERROR_NOT_FINITE;
            tsl_free(&model);
            if (!finite) continue;
            (accepted ? read : refused) += 1;
            ASSERT_EQ(ReadersDiffer(damaged), "") << "seed " << seed << " change " << k << " at byte " << at << "\n"
                                                  << damaged;
        }
    }
    // Both outcomes occur, so the comparison ran on each.
    EXPECT_GT(refused, 100);
    EXPECT_GT(read, 100);
}

TEST_F(EngineHostTest, CorpusRigsReadTheSame) {
    const char* folder = std::getenv("TSL_CORPUS_RIGS");
    if (!folder) GTEST_SKIP() << "TSL_CORPUS_RIGS names no folder of converted rigs";
    const std::vector<std::string> rigs = TslFiles(folder);
    ASSERT_FALSE(rigs.empty()) << folder;
    for (const std::string& path : rigs) EXPECT_EQ(ReadersDiffer(ReadFile(path)), "") << path;
    std::printf("%zu corpus rigs read the same through both readers\n", rigs.size());
}

}  // namespace
