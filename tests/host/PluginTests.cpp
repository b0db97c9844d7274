// Plug-in registries, callbacks and the module harness.
#define _MApiVersion  // this program is not a plug-in
#include "HostTest.h"

#include <maya/MFnPlugin.h>
#include <maya/MGlobal.h>
#include <maya/MSceneMessage.h>

#include <dlfcn.h>

#include <unistd.h>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace {

// Entry points linked into this program, for registry behaviour without a module.
void* makeNothing() { return nullptr; }
int g_exitCalls = 0;

MStatus linkedInit(MObject obj) {
  MFnPlugin plugin(obj, "Linked", "0.1", "Any");
  MStatus s = plugin.registerFileTranslator("LinkedA", "none", makeNothing, "LinkedAOptions", "", false);
  if (!s) return s;
  return plugin.registerFileTranslator("LinkedB", "none", makeNothing, "LinkedBOptions", "opt=1", true);
}

MStatus linkedUninit(MObject obj) {
  MFnPlugin plugin(obj, "Unknown", "Unknown");
  MStatus a = plugin.deregisterFileTranslator("LinkedA");
  MStatus b = plugin.deregisterFileTranslator("LinkedB");
  return a ? b : a;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

std::string tempPath(const char* name) { return (::testing::TempDir() + std::to_string(::getpid()) + "_" + name); }

}  // namespace

class HostPlugin : public HostTest {};

TEST_F(HostPlugin, RegistryRecordsTranslatorsAndRefusesDuplicates) {
  ASSERT_TRUE(standin::loadPlugin(linkedInit, linkedUninit));
  EXPECT_EQ(s(standin::pluginVendor()), "Linked");
  EXPECT_EQ(s(standin::pluginVersion()), "0.1");
  ASSERT_EQ(standin::translatorCount(), 2u);
  standin::TranslatorInfo b = standin::translatorInfo(1);
  EXPECT_EQ(s(b.name), "LinkedB");
  EXPECT_EQ(s(b.pixmap), "none");
  EXPECT_EQ(s(b.optionsScript), "LinkedBOptions");
  EXPECT_EQ(s(b.defaultOptions), "opt=1");
  EXPECT_TRUE(b.requiresFullScript);

  MFnPlugin plugin(standin::pluginObject());
  EXPECT_EQ(plugin.registerFileTranslator("LinkedA", "none", makeNothing), MStatus::kFailure);
  EXPECT_EQ(plugin.deregisterFileTranslator("Nope"), MStatus::kFailure);
  EXPECT_TRUE(plugin.registerCommand("linkedCmd", makeNothing));
  EXPECT_EQ(plugin.registerCommand("linkedCmd", makeNothing), MStatus::kFailure);
  EXPECT_TRUE(plugin.deregisterCommand("linkedCmd"));
  EXPECT_EQ(plugin.deregisterCommand("linkedCmd"), MStatus::kFailure);
  // Unload-time MFnPlugin texts do not overwrite what was recorded at load.
  ASSERT_TRUE(standin::unloadPlugin());
  EXPECT_EQ(standin::translatorCount(), 0u);
  EXPECT_FALSE(standin::pluginLoaded());
  EXPECT_EQ(standin::consoleCount(), 0u);  // nothing was left behind

  // Loading again registers each translator once; an injected failure stops the load.
  ASSERT_TRUE(standin::loadPlugin(linkedInit, linkedUninit));
  EXPECT_EQ(standin::translatorCount(), 2u);
  standin::unloadPlugin();
  standin::failNext(standin::Fault::RegisterFileTranslator);
  EXPECT_EQ(standin::loadPlugin(linkedInit, linkedUninit), MStatus::kFailure);
  EXPECT_EQ(standin::translatorCount(), 0u);
}

TEST_F(HostPlugin, CallbacksFireOverACopyAndIdsAreNotReused) {
  static MCallbackId selfId = 0, otherId = 0;
  g_exitCalls = 0;
  auto removesItself = [](void*) {
    ++g_exitCalls;
    MMessage::removeCallback(selfId);
    MMessage::removeCallback(otherId);  // the next one must then not run
  };
  auto counts = [](void* data) { ++*static_cast<int*>(data); };
  int otherCalls = 0;
  MStatus st;
  selfId = MSceneMessage::addCallback(MSceneMessage::kMayaExiting, removesItself, nullptr, &st);
  ASSERT_TRUE(st);
  otherId = MSceneMessage::addCallback(MSceneMessage::kMayaExiting, counts, &otherCalls, &st);
  int afterNew = 0;
  MSceneMessage::addCallback(MSceneMessage::kAfterNew, counts, &afterNew);
  EXPECT_NE(selfId, otherId);
  standin::fireSceneMessage(MSceneMessage::kMayaExiting);
  EXPECT_EQ(g_exitCalls, 1);
  EXPECT_EQ(otherCalls, 0);
  EXPECT_EQ(afterNew, 0);
  EXPECT_EQ(standin::callbackCount(), 1u);
  EXPECT_EQ(MMessage::removeCallback(selfId), MStatus::kFailure);
  standin::failNext(standin::Fault::AddCallback);
  EXPECT_EQ(MSceneMessage::addCallback(MSceneMessage::kMayaExiting, counts, &otherCalls, &st), 0u);
  EXPECT_EQ(st, MStatus::kFailure);
}

class HostPluginModule : public HostTest {
protected:
  int liveTranslators() {
    void* h = dlopen(HOST_TEST_PLUGIN, RTLD_NOW | RTLD_NOLOAD);
    if (!h) return -1;
    auto f = reinterpret_cast<int (*)()>(dlsym(h, "hostTestPluginLiveTranslators"));
    int n = f ? f() : -1;
    dlclose(h);
    return n;
  }
};

TEST_F(HostPluginModule, LoadsExportsImportsAndUnloads) {
  ASSERT_TRUE(standin::loadPluginModule(HOST_TEST_PLUGIN));
  EXPECT_EQ(s(standin::pluginVendor()), "Host Test Vendor");
  EXPECT_EQ(s(standin::pluginVersion()), "1.2");
  EXPECT_EQ(s(standin::pluginApiVersion()), "Any");
  ASSERT_EQ(standin::translatorCount(), 1u);
  EXPECT_EQ(s(standin::translatorInfo(0).optionsScript), "HostTestJointsOptions");
  EXPECT_EQ(standin::callbackCount(), 1u);

  MObject hip = standin::makeJoint("hip", MObject::kNullObj, standin::translation(0, 1, 0));
  MObject knee = standin::makeJoint("knee", hip, standin::translation(0, -0.5, 0));
  std::string file = tempPath("joints.hte");
  ASSERT_TRUE(standin::exportFile("HostTestJoints", file.c_str(), "", false));
  EXPECT_EQ(readFile(file), "joint |hip 0 1 0\njoint |hip|knee 0 0.5 0\n");
  EXPECT_EQ(liveTranslators(), 0);  // the host deleted what it created
  standin::select(knee);
  ASSERT_TRUE(standin::exportFile("HostTestJoints", file.c_str(), "", true));
  EXPECT_EQ(readFile(file), "joint |hip|knee 0 0.5 0\n");
  EXPECT_EQ(standin::runWriter("HostTestJoints", file.c_str(), "", MPxFileTranslator::kImportAccessMode),
            MStatus::kFailure);
  EXPECT_EQ(standin::runWriter("NoSuchTranslator", file.c_str(), "", MPxFileTranslator::kExportAccessMode),
            MStatus::kNotFound);
  std::string missing = tempPath("no/such/dir/out.hte");
  EXPECT_EQ(standin::exportFile("HostTestJoints", missing.c_str(), "", false), MStatus::kFailure);
  EXPECT_EQ(s(standin::consoleText(standin::consoleCount() - 1)), "Can't open " + missing + " for writing.");

  // Import by identification into a fresh scene.
  EXPECT_EQ(standin::identify("HostTestJoints", file.c_str()), MPxFileTranslator::kIsMyFileType);
  standin::resetScene();
  ASSERT_TRUE(standin::importFile("", file.c_str(), ""));
  MObject imported = standin::nodeByName("knee");
  ASSERT_FALSE(imported.isNull());
  EXPECT_EQ(standin::worldMatrix(imported)(3, 1), 0.5);
  std::remove(file.c_str());

  ASSERT_TRUE(standin::unloadPlugin());
  EXPECT_FALSE(standin::pluginLoaded());
  EXPECT_EQ(standin::translatorCount(), 0u);
  EXPECT_EQ(standin::callbackCount(), 0u);
  EXPECT_EQ(dlopen(HOST_TEST_PLUGIN, RTLD_NOW | RTLD_NOLOAD), nullptr);  // the module is closed
}

TEST_F(HostPluginModule, ExceptionsEscapingATranslatorAreCaughtAndReported) {
  ASSERT_TRUE(standin::loadPluginModule(HOST_TEST_PLUGIN));
  struct Case {
    const char* content;
    const char* recorded;
  } cases[] = {{"throw-std\n", "bad file"}, {"throw-other\n", "unknown exception"}};
  std::string file = tempPath("throws.hte");
  for (const Case& c : cases) {
    std::ofstream(file) << c.content;
    EXPECT_EQ(standin::runReader("HostTestJoints", file.c_str(), ""), MStatus::kFailure);
    EXPECT_TRUE(standin::translatorThrew());
    EXPECT_EQ(s(standin::translatorException()), c.recorded);
    EXPECT_EQ(liveTranslators(), 0);  // deleted even though it threw
  }
  std::ofstream(file) << "joint |a 1 2 3\n";
  EXPECT_TRUE(standin::runReader("HostTestJoints", file.c_str(), ""));
  EXPECT_FALSE(standin::translatorThrew());
  std::remove(file.c_str());
  ASSERT_TRUE(standin::unloadPlugin());
}

TEST_F(HostPluginModule, HostExitRunsTheExitCallbackWhichUnloads) {
  ASSERT_TRUE(standin::loadPluginModule(HOST_TEST_PLUGIN));
  standin::exitHost();
  EXPECT_FALSE(standin::pluginLoaded());
  EXPECT_EQ(standin::translatorCount(), 0u);
  EXPECT_EQ(standin::callbackCount(), 0u);
  EXPECT_EQ(standin::consoleCount(), 0u);  // the plug-in deregistered everything itself
  // It can be loaded again afterwards.
  ASSERT_TRUE(standin::loadPluginModule(HOST_TEST_PLUGIN));
  EXPECT_EQ(standin::translatorCount(), 1u);
  ASSERT_TRUE(standin::unloadPlugin());
}

TEST_F(HostPluginModule, RefusedLoadsLeaveNothingLoaded) {
  standin::failNext(standin::Fault::AddCallback);
  EXPECT_EQ(standin::loadPluginModule(HOST_TEST_PLUGIN), MStatus::kFailure);
  EXPECT_FALSE(standin::pluginLoaded());
  EXPECT_EQ(standin::translatorCount(), 0u);
  auto lines = consoleLines();
  ASSERT_GE(lines.size(), 1u);
  EXPECT_EQ(lines[0], std::make_pair(standin::ConsoleKind::Error,
                                     std::string("Couldn't register callback upon program shutdown.")));

  struct Case {
    const char* path;
    const char* reason;
  } cases[] = {{HOST_TEST_PLUGIN_OLDAPI, "not 700"}, {"/nonexistent/plugin.so", "Cannot load plug-in"}};
  for (const Case& c : cases) {
    standin::clearConsole();
    EXPECT_EQ(standin::loadPluginModule(c.path), MStatus::kFailure) << c.path;
    EXPECT_FALSE(standin::pluginLoaded());
    ASSERT_EQ(standin::consoleCount(), 1u);
    EXPECT_EQ(standin::consoleKind(0), standin::ConsoleKind::Error);
    EXPECT_NE(s(standin::consoleText(0)).find(c.reason), std::string::npos) << s(standin::consoleText(0));
  }
}
