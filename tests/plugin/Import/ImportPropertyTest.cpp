// Import followed by export describes the same rig, for random rigs in the writer's
// exact layout, in Z-up and Y-up scenes.

#include <gtest/gtest.h>

#include "support/PluginHostTest.h"
#include "support/RandomRig.h"
#include "support/RigCompare.h"

using plugin_test::PluginHostTest;

using ImportProperty = PluginHostTest;

TEST_F(ImportProperty, RandomRigsComeBackFromImportAndExport) {
    for (uint32_t seed = 1; seed <= 500; ++seed) {
        const std::string rig = plugin_test::RandomRig(seed).Write();
        standin::resetScene();
        standin::setUpAxis(seed % 2 == 0);
        ASSERT_EQ(Import(rig), 0) << "seed " << seed << "\n" << rig;
        // Its meshes name one material each, which the importer says it leaves out.
        const bool named = rig.find("materialNames {\r\n\t\t \"") != std::string::npos;
        ASSERT_EQ(Warnings(), named ? "WARNING: File \"rig.tsl\": its materials are not imported; the meshes are "
                                      "built without material names and polygon materials.\r\n"
                                    : "")
            << "seed " << seed << "\n"
            << rig;
        const std::string exported = Export();
        // The importer builds no materials; the random rig's one material is not exported again.
        ASSERT_EQ(plugin_test::RigDifference(rig, exported, plugin_test::Materials::Ignored), "")
            << "seed " << seed << "\n"
            << rig << "\n"
            << exported;
    }
}
