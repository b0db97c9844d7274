#include <gtest/gtest.h>

#include <maya/MDoubleArray.h>
#include <maya/MFnDagNode.h>
#include <maya/MFnMesh.h>

#include <dirent.h>
#include <unistd.h>
#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/TestProcess.h"
#include "tessahost/StandIn.h"

namespace {

std::string TempPath(const char* name) { return std::string(testing::TempDir()) + name; }

// The system's text for an error, as the plug-in's messages give it (Windows, and Wine,
// have their own wording), and the stand-in's texts elsewhere.
#if defined(_WIN32)
std::string SystemText(DWORD code, const char*) {
    char text[512] = {};
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                                  sizeof text, nullptr);
    while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n' || text[length - 1] == ' ')) --length;
    return std::string(text, length);
}
#define SYSTEM_TEXT(code, text) SystemText(code, text)
#else
#define SYSTEM_TEXT(code, text) std::string(text)
#endif

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
    EXPECT_NE(errors.find("Can't open file \"" + missing + "\" for writing.\r\n" +
                          SYSTEM_TEXT(ERROR_PATH_NOT_FOUND, "The system cannot find the path specified.") + "\r\n"),
              std::string::npos)
        << errors;
    EXPECT_NE(errors.find("Can't open file \"" + missing + "\" for reading.\r\n" +
                          // Windows names the missing folder for reading too.
                          SYSTEM_TEXT(ERROR_PATH_NOT_FOUND, "The system cannot find the file specified.") + "\r\n"),
              std::string::npos)
        << errors;
    EXPECT_NE(console.find("WARNING: Can't handle file \"" + damaged + "\". Some data is missing or corrupt.\r\n"),
              std::string::npos);
    std::remove(damaged.c_str());
}

using testsupport::Listing;

#if defined(_WIN32)
// A new folder in base (the temporary folder unless given).
std::string NewFolder(std::string base = testing::TempDir()) {
    if (!base.empty() && base.back() != '\\' && base.back() != '/') base += '\\';
    static unsigned counter = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string path =
            base + "e2e_" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(++counter);
        if (CreateDirectoryA(path.c_str(), nullptr)) return path;
    }
    return std::string();
}
#else
std::string NewFolder() {
    std::string pattern = TempPath("e2e_XXXXXX");
    return mkdtemp(pattern.data()) ? pattern : std::string();
}
#endif

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
#if defined(_WIN32)
    // Windows has no file size limit for a process: a full volume fails the writes. The
    // Windows test script mounts a small volume for the run and names it here.
    const char* small = std::getenv("TESSALINE_SMALL_VOLUME");
    if (!small) GTEST_SKIP() << "no small volume (TESSALINE_SMALL_VOLUME) to fill";
    const std::string folder = NewFolder(small), path = folder + "/rig.tsl";
    ASSERT_FALSE(folder.empty());
    std::ofstream(path, std::ios::binary) << "the rig before";
    BuildRig();
    // Fill the volume, export, and free it again.
    const std::string filler = folder + "/filler";
    HANDLE file = CreateFileA(filler.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    static const char chunk[4096] = {};
    DWORD written = 0;
    for (int i = 0; i < (1 << 18) && WriteFile(file, chunk, sizeof chunk, &written, nullptr) && written > 0; ++i) {
    }
    const DWORD fillError = GetLastError();
    CloseHandle(file);
    std::string report = standin::exportFile("TessalineExporter", path.c_str(), "", false) ? "ok\n" : "failed\n";
    for (unsigned int i = 0; i < standin::consoleCount(); ++i)
        if (standin::consoleKind(i) == standin::ConsoleKind::Error) report += standin::consoleText(i).asChar();
    DeleteFileA(filler.c_str());
    ASSERT_EQ(fillError, DWORD(ERROR_DISK_FULL));
    EXPECT_EQ(report, "failed\nCan't write file \"" + path + "\".\r\n" + SystemText(ERROR_DISK_FULL, "") + "\r\n");
#else
    const std::string folder = NewFolder(), path = folder + "/rig.tsl";
    ASSERT_FALSE(folder.empty());
    std::ofstream(path, std::ios::binary) << "the rig before";
    BuildRig();
    // In a child process whose files may not grow past 1 KB; it reports the export's
    // status and the console's errors.
    const std::string report = testsupport::WithFileSizeLimit(1024, [&] {
        std::string seen = standin::exportFile("TessalineExporter", path.c_str(), "", false) ? "ok\n" : "failed\n";
        for (unsigned int i = 0; i < standin::consoleCount(); ++i)
            if (standin::consoleKind(i) == standin::ConsoleKind::Error) seen += standin::consoleText(i).asChar();
        return seen;
    });
    EXPECT_EQ(report, "failed\nCan't write file \"" + path +
                          "\".\r\nThe file size exceeds the limit allowed and cannot be saved.\r\n");
#endif
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
