#include <gtest/gtest.h>

#include "support/PluginHostTest.h"
#include "support/RigCompare.h"

using plugin_test::PluginHostTest;

namespace {
struct RoundTrip {
    const char* golden;
    // What the format cannot carry back: a parent that is no bone becomes a root.
    const char* expectedDifference;
    // Whether the file comes back byte for byte. It does not when it names materials
    // (the importer builds none), a parent that is no bone, or two weights of one vertex
    // on one bone (a non-joint influence written on bone 0).
    bool sameBytes;
};
const RoundTrip kRoundTrips[] = {{"empty", "", true},
                                 {"bones", "parent of bone root", false},
                                 {"skinned", "", false},
                                 {"unskinned", "", true},
                                 {"yup", "", true},
                                 {"influence_order", "", true},
                                 {"non_joint_influence", "", false}};
}  // namespace

using ImportRoundTrip = PluginHostTest;

// Each golden is imported into a fresh scene and exported again: the rig is the same,
// the file itself comes back where the format carries everything, and a second trip
// always reproduces the first one's bytes.
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
        // Materials are the one thing the importer builds nothing of (see sameBytes).
        EXPECT_EQ(plugin_test::RigDifference(original, exported[0], plugin_test::Materials::Ignored),
                  trip.expectedDifference)
            << trip.golden;
        EXPECT_EQ(exported[1], exported[0]) << trip.golden;
        if (trip.sameBytes) {
            EXPECT_EQ(exported[0], original) << trip.golden;
        }
        EXPECT_EQ(Warnings(), "") << trip.golden;
    }
}
