#include <gtest/gtest.h>

#include <maya/MDoubleArray.h>
#include <maya/MFnDagNode.h>
#include <maya/MFnMesh.h>

#include <dirent.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <vector>
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
    std::string console, errors;
    for (unsigned int i = 0; i < standin::consoleCount(); ++i) {
        console += standin::consoleText(i).asChar();
        if (standin::consoleKind(i) == standin::ConsoleKind::Error) errors += standin::consoleText(i).asChar();
    }
    // Errors, each with the system's reason on a line of its own.
    EXPECT_NE(errors.find("Can't open file \"" + missing +
                          "\" for writing.\r\nThe system cannot find the path specified.\r\n"),
              std::string::npos)
        << errors;
    EXPECT_NE(errors.find("Can't open file \"" + missing +
                          "\" for reading.\r\nThe system cannot find the file specified.\r\n"),
              std::string::npos)
        << errors;
    EXPECT_NE(console.find("WARNING: Can't handle file \"" + damaged + "\". Some data is missing or corrupt.\r\n"),
              std::string::npos);
    std::remove(damaged.c_str());
}

// The files of a folder, sorted.
std::vector<std::string> Listing(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* entry = readdir(dir))
            if (strcmp(entry->d_name, ".") && strcmp(entry->d_name, "..")) names.push_back(entry->d_name);
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string NewFolder() {
    std::string pattern = TempPath("e2e_XXXXXX");
    return mkdtemp(pattern.data()) ? pattern : std::string();
}

TEST_F(ModuleEndToEnd, AFailedExportLeavesTheExistingFileAsItWas) {
    const std::string folder = NewFolder(), path = folder + "/rig.tsl";
    ASSERT_FALSE(folder.empty());
    std::ofstream(path, std::ios::binary) << "the rig before";
    BuildRig();
    MMatrix flat;
    flat(2, 2) = 0;  // a joint whose bind matrix cannot be inverted
    standin::makeJoint("flat", MObject::kNullObj, flat);
    EXPECT_FALSE(standin::exportFile("TessalineExporter", path.c_str(), "", false));
    EXPECT_EQ(ReadFile(path), "the rig before");
    EXPECT_EQ(Listing(folder), std::vector<std::string>{"rig.tsl"});
    std::remove(path.c_str());
    rmdir(folder.c_str());
}

TEST_F(ModuleEndToEnd, AWriteLimitFailsTheExportAndKeepsTheFile) {
    const std::string folder = NewFolder(), path = folder + "/rig.tsl";
    ASSERT_FALSE(folder.empty());
    std::ofstream(path, std::ios::binary) << "the rig before";
    BuildRig();
    // In a child process whose files may not grow past 1 KB; it reports the export's
    // status and the console's errors through a pipe.
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    const pid_t child = fork();
    if (child == 0) {
        close(ends[0]);
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{1024, 1024};
        setrlimit(RLIMIT_FSIZE, &limit);
        std::string report = standin::exportFile("TessalineExporter", path.c_str(), "", false) ? "ok\n" : "failed\n";
        for (unsigned int i = 0; i < standin::consoleCount(); ++i)
            if (standin::consoleKind(i) == standin::ConsoleKind::Error) report += standin::consoleText(i).asChar();
        _exit(write(ends[1], report.data(), report.size()) < 0 ? 2 : 0);
    }
    close(ends[1]);
    std::string report;
    char buffer[256];
    for (ssize_t n; (n = read(ends[0], buffer, sizeof buffer)) > 0;) report.append(buffer, size_t(n));
    close(ends[0]);
    waitpid(child, nullptr, 0);
    EXPECT_EQ(report, "failed\nCan't write file \"" + path +
                          "\".\r\nThe file size exceeds the limit allowed and cannot be saved.\r\n");
    EXPECT_EQ(ReadFile(path), "the rig before");
    EXPECT_EQ(Listing(folder), std::vector<std::string>{"rig.tsl"});
    std::remove(path.c_str());
    rmdir(folder.c_str());
}

TEST_F(ModuleEndToEnd, HostExitUnloadsThroughTheCallback) {
    standin::exitHost();
    EXPECT_EQ(standin::translatorCount(), 0u);
    EXPECT_FALSE(standin::pluginLoaded());
}
