#include <gtest/gtest.h>

#include "support/PluginHostTest.h"
#include "support/RigCompare.h"

using plugin_test::PluginHostTest;

namespace {
struct RoundTrip {
    const char* golden;
    // What the format cannot carry back: a parent that is no bone becomes a root.
    const char* expectedDifference;
};
const RoundTrip kRoundTrips[] = {{"empty", ""},
                                 {"bones", "parent of bone root"},
                                 {"skinned", ""},
                                 {"unskinned", ""},
                                 {"yup", ""},
                                 {"influence_order", ""},
                                 {"non_joint_influence", ""}};
}  // namespace

using ImportRoundTrip = PluginHostTest;

// Each golden is imported into a fresh scene and exported again: the rig is the same
// (the host may list equal normals once), and a second trip reproduces the first one's
// bytes exactly.
TEST_F(ImportRoundTrip, EveryGoldenComesBack) {
    for (const RoundTrip& trip : kRoundTrips) {
        const std::string original = ReadFile(std::string(TESSALINE_TEST_DATA) + "/rig/" + trip.golden + ".tsl");
        ASSERT_FALSE(original.empty()) << trip.golden;
        const bool yUp = std::string(trip.golden) == "yup";
        std::string exported[2];
        std::string input = original;
        for (std::string& output : exported) {
            standin::resetScene();
            standin::setUpAxis(yUp);
            EXPECT_EQ(Import(input), 0) << trip.golden;
            output = Export();
            input = output;
        }
        EXPECT_EQ(plugin_test::RigDifference(original, exported[0]), trip.expectedDifference) << trip.golden;
        EXPECT_EQ(exported[1], exported[0]) << trip.golden;
        EXPECT_EQ(Warnings(), "") << trip.golden;
    }
}
