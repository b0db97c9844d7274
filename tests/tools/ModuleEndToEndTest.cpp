#include <gtest/gtest.h>

#include <maya/MDoubleArray.h>
#include <maya/MFnDagNode.h>
#include <maya/MFnMesh.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "tessahost/StandIn.h"

namespace {

std::string TempPath(const char* name) { return std::string(testing::TempDir()) + name; }

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Two joints under a group, a skinned cube posed after binding.
void BuildRig() {
    standin::resetScene();
    standin::setConsoleEcho(false);
    standin::setUpAxis(false);
    MObject group = standin::makeTransform("rig");
    MObject hips = standin::makeJoint("hips", group, standin::translation(0, 0, 1));
    MObject spine = standin::makeJoint("spine", hips, standin::translation(0, 0, 1));
    MObject shape = standin::makeCube("body");
    MObjectArray influences;
    influences.append(hips);
    influences.append(spine);
    MDoubleArray weights;
    for (int v = 0; v < 8; ++v) {
        weights.append(v < 4 ? 1.0 : 0.25);
        weights.append(v < 4 ? 0.0 : 0.75);
    }
    standin::bindSkin(shape, influences, weights);
    standin::setLocalMatrix(spine, standin::translation(1, 0, 1));
}

class ModuleEndToEnd : public testing::Test {
protected:
    void SetUp() override {
        standin::resetHost();
        ASSERT_TRUE(standin::loadPluginModule(TESSALINE_MODULE_PATH));
    }
    void TearDown() override {
        if (standin::pluginLoaded()) standin::unloadPlugin();
    }
};

}  // namespace

TEST_F(ModuleEndToEnd, RegistersBothTranslatorsWithTheirDescription) {
    EXPECT_EQ(standin::translatorCount(), 2u);
    EXPECT_TRUE(standin::hasTranslator("TessalineExporter"));
    EXPECT_TRUE(standin::hasTranslator("TessalineImporter"));
    EXPECT_EQ(standin::pluginVendor(), "Vantorel TessalineExporter");
    EXPECT_EQ(standin::pluginVersion(), "0.1");
    EXPECT_EQ(standin::translatorInfo(0).optionsScript, "TessalineExporterOptions");
    EXPECT_EQ(standin::translatorInfo(0).pixmap, "none");
    EXPECT_EQ(standin::callbackCount(), 1u);
}

TEST_F(ModuleEndToEnd, ExportsAndImportsThroughTheLoadedModule) {
    BuildRig();
    const std::string path = TempPath("e2e_rig.tsl");
    ASSERT_TRUE(standin::exportFile("TessalineExporter", path.c_str(), "", false));
    const std::string written = ReadFile(path);
    EXPECT_EQ(written.rfind("version 1\r\n\r\nnumBones 2\r\n", 0), 0u);

    standin::resetScene();
    standin::setUpAxis(false);
    EXPECT_EQ(standin::identify("TessalineImporter", path.c_str()), MPxFileTranslator::kIsMyFileType);
    ASSERT_TRUE(standin::importFile("", path.c_str(), ""));
    EXPECT_FALSE(standin::nodeByName("hips").isNull());
    MFnDagNode spine(standin::nodeByName("spine"));
    EXPECT_EQ(MFnDagNode(spine.parent(0)).name(), "hips");
    MFnMesh mesh(MFnDagNode(standin::nodeByName("body")).child(0));
    EXPECT_EQ(mesh.numVertices(), 8);
    EXPECT_EQ(mesh.numPolygons(), 6);

    // The scene built from the file writes the same bones and vertices again; only the
    // group above the root, which is no bone, is not rebuilt.
    const std::string again = TempPath("e2e_again.tsl");
    ASSERT_TRUE(standin::exportFile("TessalineExporter", again.c_str(), "", false));
    const std::string rewritten = ReadFile(again);
    const std::string from = "bone 1 {", to = "\tnormals {";
    EXPECT_EQ(rewritten.substr(rewritten.find(from), rewritten.find(to) - rewritten.find(from)),
              written.substr(written.find(from), written.find(to) - written.find(from)));
    EXPECT_NE(written.find("\tparent \"rig\""), std::string::npos);
    std::remove(path.c_str());
    std::remove(again.c_str());
}

TEST_F(ModuleEndToEnd, ReloadingRegistersOnceAndStillExports) {
    ASSERT_TRUE(standin::unloadPlugin());
    EXPECT_EQ(standin::translatorCount(), 0u);
    EXPECT_EQ(standin::callbackCount(), 0u);
    ASSERT_TRUE(standin::loadPluginModule(TESSALINE_MODULE_PATH));
    EXPECT_EQ(standin::translatorCount(), 2u);
    BuildRig();
    const std::string path = TempPath("e2e_reload.tsl");
    EXPECT_TRUE(standin::exportFile("TessalineExporter", path.c_str(), "", false));
    EXPECT_NE(ReadFile(path).find("name \"body\""), std::string::npos);
    std::remove(path.c_str());
}

TEST_F(ModuleEndToEnd, FailuresReachTheConsole) {
    const std::string missing = TempPath("no/such/folder/rig.tsl");
    EXPECT_FALSE(standin::exportFile("TessalineExporter", missing.c_str(), "", false));
    EXPECT_FALSE(standin::importFile("TessalineImporter", missing.c_str(), ""));
    const std::string damaged = TempPath("e2e_damaged.tsl");
    std::ofstream(damaged, std::ios::binary) << "version 2";
    EXPECT_FALSE(standin::importFile("TessalineImporter", damaged.c_str(), ""));
    std::string console;
    for (unsigned int i = 0; i < standin::consoleCount(); ++i) console += standin::consoleText(i).asChar();
    EXPECT_NE(console.find("Can't open file \"" + missing + "\" for writing.\r\n"), std::string::npos) << console;
    EXPECT_NE(console.find("Can't open file \"" + missing + "\" for reading.\r\n"), std::string::npos);
    EXPECT_NE(console.find("WARNING: Can't handle file \"" + damaged + "\". Some data is missing or corrupt.\r\n"),
              std::string::npos);
    std::remove(damaged.c_str());
}

TEST_F(ModuleEndToEnd, HostExitUnloadsThroughTheCallback) {
    standin::exitHost();
    EXPECT_EQ(standin::translatorCount(), 0u);
    EXPECT_FALSE(standin::pluginLoaded());
}
