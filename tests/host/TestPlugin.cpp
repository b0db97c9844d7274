// A small plug-in module for the host tests. It registers one file translator that
// writes and reads joints ("joint <full path> <x> <y> <z>" lines), installs the exit
// callback, and replaces the allocation operators inside this module only: every block
// it hands out carries a tag, and freeing an untagged block aborts, so memory crossing
// the module boundary in either direction is caught (the host freeing a tagged block
// hands a pointer malloc never returned to free).
#ifdef HOST_TEST_PLUGIN_API
#define _MApiVersion
#endif
#include <maya/MDagPath.h>
#include <maya/MFnDagNode.h>
#include <maya/MFnIkJoint.h>
#include <maya/MFnPlugin.h>
#include <maya/MGlobal.h>
#include <maya/MItDependencyNodes.h>
#include <maya/MPxFileTranslator.h>
#include <maya/MSceneMessage.h>
#include <maya/MSelectionList.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>

#ifdef HOST_TEST_PLUGIN_API
PLUGIN_EXPORT const char MApiVersion[] = HOST_TEST_PLUGIN_API;
#endif

// ------------------------------------------------------------------ module-local heap

namespace {
constexpr unsigned long kTag = 0x7e55a11e7e55a11eul;
constexpr std::size_t kHeader = 16;  // keeps the alignment malloc gives

void* tagged(std::size_t n) {
  unsigned char* p = static_cast<unsigned char*>(std::malloc(n + kHeader));
  if (!p) throw std::bad_alloc();
  std::memcpy(p, &kTag, sizeof kTag);
  return p + kHeader;
}

void untag(void* q) {
  if (!q) return;
  unsigned char* p = static_cast<unsigned char*>(q) - kHeader;
  unsigned long tag;
  std::memcpy(&tag, p, sizeof tag);
  if (tag != kTag) {
    std::fprintf(stderr, "test plug-in: freeing memory it did not allocate\n");
    std::abort();
  }
  std::memset(p, 0, sizeof tag);
  std::free(p);
}
}  // namespace

void* operator new(std::size_t n) { return tagged(n); }
void* operator new[](std::size_t n) { return tagged(n); }
void operator delete(void* p) noexcept { untag(p); }
void operator delete[](void* p) noexcept { untag(p); }
void operator delete(void* p, std::size_t) noexcept { untag(p); }
void operator delete[](void* p, std::size_t) noexcept { untag(p); }

// ------------------------------------------------------------------ translator

namespace {
int g_liveTranslators = 0;
struct BrokenInvariant {
  const char* text;
};
MObject* g_plugin = nullptr;
MCallbackId g_exitCallback = 0;

class JointTranslator : public MPxFileTranslator {
public:
  JointTranslator() { ++g_liveTranslators; }
  ~JointTranslator() override { --g_liveTranslators; }

  MStatus writer(const MFileObject& file, const MString&, FileAccessMode mode) override {
    if (mode != kSaveAccessMode && mode != kExportAccessMode && mode != kExportActiveAccessMode)
      return MStatus::kFailure;
    MSelectionList selection;
    if (mode == kExportActiveAccessMode && !MGlobal::getActiveSelectionList(selection)) return MStatus::kFailure;
    FILE* f = std::fopen(file.name().asChar(), "w");
    if (!f) {
      MGlobal::displayInfo("Can't open " + file.name() + " for writing.");
      return MStatus::kFailure;
    }
    int written = 0;
    for (MItDependencyNodes it(MFn::kJoint); !it.isDone(); it.next()) {
      MDagPath path;
      // A heap-allocated function set: made and destroyed across the module boundary.
      MFnDagNode* node = new MFnDagNode(it.item());
      node->getPath(path);
      delete node;
      if (mode == kExportActiveAccessMode && !selection.hasItem(path)) continue;
      MMatrix m = path.inclusiveMatrix();
      std::fprintf(f, "joint %s %g %g %g\n", path.fullPathName().asChar(), m(3, 0), m(3, 1), m(3, 2));
      ++written;
    }
    std::fclose(f);
    MString note("wrote ");
    note += written;
    note += " joints";
    MGlobal::displayInfo(note);
    return MStatus::kSuccess;
  }

  MStatus reader(const MFileObject& file, const MString&, FileAccessMode) override {
    FILE* f = std::fopen(file.name().asChar(), "r");
    if (!f) return MStatus::kFailure;
    char name[256];
    // Files starting with a throw word make the reader throw, as a reader may let a
    // broken invariant escape to the host.
    if (std::fscanf(f, " throw-%15s", name) == 1) {
      std::fclose(f);
      if (std::strcmp(name, "std") == 0) throw std::runtime_error("bad file");
      throw BrokenInvariant{"not a std::exception"};
    }
    double x, y, z;
    while (std::fscanf(f, " joint %255s %lf %lf %lf", name, &x, &y, &z) == 4) {
      MFnIkJoint joint;
      joint.create();
      const char* shortName = std::strrchr(name, '|');
      joint.setName(shortName ? shortName + 1 : name);
      MMatrix m;
      m(3, 0) = x;
      m(3, 1) = y;
      m(3, 2) = z;
      joint.set(MTransformationMatrix(m));
    }
    std::fclose(f);
    return MStatus::kSuccess;
  }

  bool haveReadMethod() const override { return true; }
  bool haveWriteMethod() const override { return true; }
  MString defaultExtension() const override { return "hte"; }

  MFileKind identifyFile(const MFileObject& file, const char* buffer, short size) const override {
    MString n = file.name();
    bool extension = n.length() > 4 && std::strcmp(n.asChar() + n.length() - 4, ".hte") == 0;
    bool content = size >= 6 && std::strncmp(buffer, "joint ", 6) == 0;
    return extension && content ? kIsMyFileType : extension ? kCouldBeMyFileType : kNotMyFileType;
  }
};

void* createTranslator() { return new JointTranslator(); }

MStatus shutdown(MObject plugin);
void onExit(void* clientData) { shutdown(*static_cast<MObject*>(clientData)); }
}  // namespace

PLUGIN_EXPORT int hostTestPluginLiveTranslators() { return g_liveTranslators; }

PLUGIN_EXPORT MStatus initializePlugin(MObject obj) {
  MFnPlugin plugin(obj, "Host Test Vendor", "1.2", "Any");
  MStatus status =
      plugin.registerFileTranslator("HostTestJoints", "none", createTranslator, "HostTestJointsOptions", "", false);
  if (!status) return status;
  delete g_plugin;
  g_plugin = new MObject(obj);
  g_exitCallback = MSceneMessage::addCallback(MSceneMessage::kMayaExiting, onExit, g_plugin, &status);
  if (!status) {
    MGlobal::displayError("Couldn't register callback upon program shutdown.");
    delete g_plugin;
    g_plugin = nullptr;
  }
  return status;
}

PLUGIN_EXPORT MStatus uninitializePlugin(MObject obj) { return shutdown(obj); }

namespace {
MStatus shutdown(MObject obj) {
  MFnPlugin plugin(obj);
  MStatus status = plugin.deregisterFileTranslator("HostTestJoints");
  MMessage::removeCallback(g_exitCallback);
  delete g_plugin;
  g_plugin = nullptr;
  return status;
}
}  // namespace
