// Plug-in side of the host: MFnPlugin registries, translators, file objects, scene
// message callbacks, and the harness that loads modules and runs translators.
#include "Core.h"

#include <maya/MFnPlugin.h>
#include <maya/MGlobal.h>
#include <maya/MPxFileTranslator.h>
#include <tessahost/StandIn.h>

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>

using namespace standin::core;

namespace {

// Opening plug-in modules: LoadLibrary on Windows, dlopen elsewhere. On failure the
// system's reason is put in why.
#if defined(_WIN32)
void* openModule(const char* path, std::string& why) {
  HMODULE module = LoadLibraryA(path);
  if (!module) {
    const DWORD error = GetLastError();
    char text[512] = {};
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text,
                                  sizeof text, nullptr);
    while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n' || text[length - 1] == '.')) --length;
    why = length ? std::string(text, length) : "error " + std::to_string(error);
  }
  return reinterpret_cast<void*>(module);
}
void* moduleSymbol(void* module, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
}
void closeModuleHandle(void* module) { FreeLibrary(static_cast<HMODULE>(module)); }
#else
void* openModule(const char* path, std::string& why) {
  void* module = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (!module) {
    const char* error = dlerror();
    why = error ? error : "unknown error";
  }
  return module;
}
void* moduleSymbol(void* module, const char* name) { return dlsym(module, name); }
void closeModuleHandle(void* module) { dlclose(module); }
#endif

}  // namespace

// ---------------------------------------------------------------- MFnPlugin

MFnPlugin::MFnPlugin() {}

MFnPlugin::MFnPlugin(const MObject& plugin, const char* vendor, const char* version, const char* api, MStatus* st) {
  MStatus s = setObject(plugin);
  setStatus(st, s);
  PluginEntity* p = entityAs<PluginEntity>(m_object, EntityKind::Plugin);
  if (p && scene().pluginLoading) {
    p->vendor = vendor ? vendor : "";
    p->version = version ? version : "";
    p->apiVersion = api ? api : "";
  }
}

MFn::Type MFnPlugin::type() const { return MFn::kPlugin; }

namespace {
PluginEntity* pluginOf(const MObject& o) { return entityAs<PluginEntity>(o, EntityKind::Plugin); }

MString field(const MObject& o, std::string PluginEntity::*member, MStatus* st) {
  PluginEntity* p = pluginOf(o);
  setStatus(st, p ? MStatus::kSuccess : MStatus::kInvalidParameter);
  return p ? MString((p->*member).c_str()) : MString();
}
}  // namespace

MString MFnPlugin::vendor(MStatus* st) const { return field(m_object, &PluginEntity::vendor, st); }
MString MFnPlugin::version(MStatus* st) const { return field(m_object, &PluginEntity::version, st); }
MString MFnPlugin::apiVersion(MStatus* st) const { return field(m_object, &PluginEntity::apiVersion, st); }
MString MFnPlugin::loadPath(MStatus* st) const { return field(m_object, &PluginEntity::path, st); }

MStatus MFnPlugin::registerFileTranslator(const MString& name, const char* pixmap, MCreatorFunction creator,
                                          const char* optionsScript, const char* defaultOptions,
                                          bool requiresFullScript) {
  Scene& s = scene();
  if (!pluginOf(m_object) || name.length() == 0 || !creator) return MStatus::kInvalidParameter;
  if (s.failRegisterTranslator) {
    s.failRegisterTranslator = false;
    return MStatus::kFailure;
  }
  std::string n = str(name);
  for (const TranslatorRecord& t : s.translators)
    if (t.name == n) return MStatus::kFailure;
  TranslatorRecord r;
  r.name = n;
  r.pixmap = pixmap ? pixmap : "";
  r.optionsScript = optionsScript ? optionsScript : "";
  r.defaultOptions = defaultOptions ? defaultOptions : "";
  r.creator = creator;
  r.requiresFullScript = requiresFullScript;
  s.translators.push_back(r);
  return MStatus::kSuccess;
}

MStatus MFnPlugin::deregisterFileTranslator(const MString& name) {
  if (!pluginOf(m_object)) return MStatus::kInvalidParameter;
  auto& v = scene().translators;
  std::string n = str(name);
  auto it = std::find_if(v.begin(), v.end(), [&](const TranslatorRecord& t) { return t.name == n; });
  if (it == v.end()) return MStatus::kFailure;
  v.erase(it);
  return MStatus::kSuccess;
}

MStatus MFnPlugin::registerCommand(const MString& name, MCreatorFunction creator, MCreateSyntaxFunction) {
  if (!pluginOf(m_object) || name.length() == 0 || !creator) return MStatus::kInvalidParameter;
  auto& v = scene().commands;
  std::string n = str(name);
  for (const CommandRegistration& c : v)
    if (c.name == n) return MStatus::kFailure;
  v.push_back({n, creator});
  return MStatus::kSuccess;
}

MStatus MFnPlugin::deregisterCommand(const MString& name) {
  if (!pluginOf(m_object)) return MStatus::kInvalidParameter;
  auto& v = scene().commands;
  std::string n = str(name);
  auto it = std::find_if(v.begin(), v.end(), [&](const CommandRegistration& c) { return c.name == n; });
  if (it == v.end()) return MStatus::kFailure;
  v.erase(it);
  return MStatus::kSuccess;
}

// ---------------------------------------------------------------- MPxFileTranslator

MPxFileTranslator::MPxFileTranslator() {}
MPxFileTranslator::~MPxFileTranslator() {}
MStatus MPxFileTranslator::reader(const MFileObject&, const MString&, FileAccessMode) { return MStatus::kFailure; }
MStatus MPxFileTranslator::writer(const MFileObject&, const MString&, FileAccessMode) { return MStatus::kFailure; }
bool MPxFileTranslator::haveReadMethod() const { return false; }
bool MPxFileTranslator::haveWriteMethod() const { return false; }
bool MPxFileTranslator::haveNamespaceSupport() const { return false; }
bool MPxFileTranslator::haveReferenceMethod() const { return false; }
MString MPxFileTranslator::defaultExtension() const { return MString(); }
MString MPxFileTranslator::filter() const { return MString("*.*"); }
bool MPxFileTranslator::canBeOpened() const { return true; }
MPxFileTranslator::MFileKind MPxFileTranslator::identifyFile(const MFileObject&, const char*, short) const {
  return kNotMyFileType;
}

// ---------------------------------------------------------------- MFileObject

MFileObject::MFileObject() {}
MFileObject::MFileObject(const MFileObject& o) : m_text(o.m_text) {}
MFileObject::~MFileObject() {}
MFileObject& MFileObject::operator=(const MFileObject& o) {
  m_text = o.m_text;
  return *this;
}
MStatus MFileObject::setName(const MString& n) {
  m_text = n;
  return MStatus::kSuccess;
}
MStatus MFileObject::setFullName(const MString& n) { return setName(n); }
MStatus MFileObject::setRawFullName(const MString& n) { return setName(n); }
MString MFileObject::name() const { return m_text; }
MString MFileObject::fullName() const { return m_text; }
MString MFileObject::rawFullName() const { return m_text; }
MString MFileObject::resolvedName() const { return m_text; }
MString MFileObject::resolvedFullName() const { return m_text; }
MString MFileObject::path() const {
  int slash = m_text.rindex('/');
  return slash < 0 ? MString() : m_text.substring(0, slash);
}
bool MFileObject::exists() const {
  FILE* f = std::fopen(m_text.asChar(), "rb");
  if (f) std::fclose(f);
  return f != nullptr;
}

// ---------------------------------------------------------------- messages

MStatus MMessage::removeCallback(MCallbackId id) {
  auto& v = scene().callbacks;
  auto it = std::find_if(v.begin(), v.end(), [id](const CallbackRecord& c) { return c.id == id; });
  if (it == v.end()) return MStatus::kFailure;
  v.erase(it);
  return MStatus::kSuccess;
}

MCallbackId MSceneMessage::addCallback(Message message, MMessage::MBasicFunction function, void* clientData,
                                       MStatus* st) {
  Scene& s = scene();
  if (s.failAddCallback) {
    s.failAddCallback = false;
    setStatus(st, MStatus::kFailure);
    return 0;
  }
  if (!function) {
    setStatus(st, MStatus::kInvalidParameter);
    return 0;
  }
  MCallbackId id = s.nextCallbackId++;
  s.callbacks.push_back({id, message, function, clientData});
  setStatus(st, MStatus::kSuccess);
  return id;
}

// ---------------------------------------------------------------- harness

namespace standin {

namespace {

// Drops registrations a plug-in left behind: their creators and callbacks point into a
// module that is about to close.
void dropLeftovers() {
  Scene& s = scene();
  size_t left = s.translators.size() + s.commands.size() + s.callbacks.size();
  if (left) {
    console(core::ConsoleKind::Warning,
            "Plug-in left " + std::to_string(left) + " registration(s) behind; removed them.");
  }
  s.translators.clear();
  s.commands.clear();
  s.callbacks.clear();
}

void closeModule() {
  Scene& s = scene();
  if (s.moduleHandle) closeModuleHandle(s.moduleHandle);
  s.moduleHandle = nullptr;
  s.uninit = nullptr;
  s.plugin = MObject();
}

MStatus initialize(PluginEntry init, PluginEntry uninit, const std::string& path) {
  Scene& s = scene();
  if (!s.plugin.isNull()) {
    console(core::ConsoleKind::Error, "A plug-in is already loaded.");
    return MStatus::kFailure;
  }
  PluginEntity* p = new PluginEntity();
  p->path = path;
  s.plugin = Access::make(p);
  s.uninit = uninit;
  s.pluginLoading = true;
  MStatus st = init(s.plugin);
  s.pluginLoading = false;
  return st;
}

const TranslatorRecord* findTranslator(const std::string& name) {
  for (const TranslatorRecord& t : scene().translators)
    if (t.name == name) return &t;
  return nullptr;
}

template <class Call>
MStatus withTranslator(const MString& name, Call call) {
  Scene& s = scene();
  s.translatorThrew = false;
  s.translatorException.clear();
  const TranslatorRecord* r = findTranslator(str(name));
  if (!r) return MStatus::kNotFound;
  MPxFileTranslator* t = static_cast<MPxFileTranslator*>(r->creator());
  if (!t) return MStatus::kFailure;
  MStatus status = MStatus::kFailure;
  try {
    status = call(*t);
  } catch (const std::exception& e) {
    s.translatorThrew = true;
    s.translatorException = e.what();
  } catch (...) {
    s.translatorThrew = true;
    s.translatorException = "unknown exception";
  }
  delete t;
  return status;
}

}  // namespace

MStatus loadPlugin(PluginEntry init, PluginEntry uninit) {
  if (!init || !uninit) return MStatus::kInvalidParameter;
  return initialize(init, uninit, "");
}

MStatus loadPluginModule(const MString& path) {
  Scene& s = scene();
  if (!s.plugin.isNull()) {
    console(core::ConsoleKind::Error, "A plug-in is already loaded.");
    return MStatus::kFailure;
  }
  std::string why;
  void* h = openModule(path.asChar(), why);
  if (!h) {
    console(core::ConsoleKind::Error, "Cannot load plug-in \"" + str(path) + "\": " + why + ".");
    return MStatus::kFailure;
  }
  const char* version = static_cast<const char*>(moduleSymbol(h, "MApiVersion"));
  auto init = reinterpret_cast<PluginEntry>(moduleSymbol(h, "initializePlugin"));
  auto uninit = reinterpret_cast<PluginEntry>(moduleSymbol(h, "uninitializePlugin"));
  std::string problem;
  if (!version)
    problem = "it does not export MApiVersion";
  else if (std::strcmp(version, "700") != 0)
    problem = std::string("it was built for API version ") + version + ", not 700";
  else if (!init || !uninit)
    problem = "it does not export initializePlugin and uninitializePlugin";
  if (!problem.empty()) {
    closeModuleHandle(h);
    console(core::ConsoleKind::Error, "Cannot load plug-in \"" + str(path) + "\": " + problem + ".");
    return MStatus::kFailure;
  }
  s.moduleHandle = h;
  MStatus st = initialize(init, uninit, str(path));
  if (!st) {
    // As the host does, a plug-in whose initialisation failed is not kept loaded.
    dropLeftovers();
    closeModule();
  }
  return st;
}

MStatus unloadPlugin() {
  Scene& s = scene();
  if (s.plugin.isNull()) return MStatus::kFailure;
  MObject plugin = s.plugin;
  MStatus st = s.uninit(plugin);
  dropLeftovers();
  closeModule();
  return st;
}

bool pluginLoaded() { return !scene().plugin.isNull(); }
MObject pluginObject() { return scene().plugin; }

MString pluginVendor() {
  PluginEntity* p = pluginOf(scene().plugin);
  return p ? MString(p->vendor.c_str()) : MString();
}
MString pluginVersion() {
  PluginEntity* p = pluginOf(scene().plugin);
  return p ? MString(p->version.c_str()) : MString();
}
MString pluginApiVersion() {
  PluginEntity* p = pluginOf(scene().plugin);
  return p ? MString(p->apiVersion.c_str()) : MString();
}

void fireSceneMessage(MSceneMessage::Message message) {
  std::vector<CallbackRecord> copy = scene().callbacks;
  for (const CallbackRecord& c : copy) {
    if (c.message != message) continue;
    auto& live = scene().callbacks;
    bool stillThere = std::any_of(live.begin(), live.end(), [&](const CallbackRecord& r) { return r.id == c.id; });
    if (stillThere) c.function(c.clientData);
  }
}

void exitHost() {
  fireSceneMessage(MSceneMessage::kMayaExiting);
  if (pluginLoaded()) {
    dropLeftovers();
    closeModule();
  }
}

unsigned int callbackCount() { return (unsigned)scene().callbacks.size(); }

unsigned int translatorCount() { return (unsigned)scene().translators.size(); }

TranslatorInfo translatorInfo(unsigned int i) {
  TranslatorInfo info{MString(), MString(), MString(), MString(), false};
  auto& v = scene().translators;
  if (i < v.size()) {
    info.name = v[i].name.c_str();
    info.pixmap = v[i].pixmap.c_str();
    info.optionsScript = v[i].optionsScript.c_str();
    info.defaultOptions = v[i].defaultOptions.c_str();
    info.requiresFullScript = v[i].requiresFullScript;
  }
  return info;
}

bool hasTranslator(const MString& name) { return findTranslator(str(name)) != nullptr; }

unsigned int commandCount() { return (unsigned)scene().commands.size(); }
MString commandName(unsigned int i) {
  auto& v = scene().commands;
  return i < v.size() ? MString(v[i].name.c_str()) : MString();
}

MStatus runWriter(const MString& translator, const MString& path, const MString& options,
                  MPxFileTranslator::FileAccessMode mode) {
  MFileObject file;
  file.setFullName(path);
  return withTranslator(translator, [&](MPxFileTranslator& t) { return t.writer(file, options, mode); });
}

MStatus runReader(const MString& translator, const MString& path, const MString& options,
                  MPxFileTranslator::FileAccessMode mode) {
  MFileObject file;
  file.setFullName(path);
  return withTranslator(translator, [&](MPxFileTranslator& t) { return t.reader(file, options, mode); });
}

MPxFileTranslator::MFileKind identify(const MString& translator, const MString& path) {
  char buffer[512];
  short size = 0;
  if (FILE* f = std::fopen(path.asChar(), "rb")) {
    size = (short)std::fread(buffer, 1, sizeof buffer, f);
    std::fclose(f);
  }
  MFileObject file;
  file.setFullName(path);
  MPxFileTranslator::MFileKind kind = MPxFileTranslator::kNotMyFileType;
  withTranslator(translator, [&](MPxFileTranslator& t) {
    kind = t.identifyFile(file, buffer, size);
    return MStatus(MStatus::kSuccess);
  });
  return kind;
}

MStatus exportFile(const MString& translator, const MString& path, const MString& options, bool selectedOnly) {
  return runWriter(translator, path, options,
                   selectedOnly ? MPxFileTranslator::kExportActiveAccessMode : MPxFileTranslator::kExportAccessMode);
}

MStatus importFile(const MString& translator, const MString& path, const MString& options) {
  if (translator.length()) return runReader(translator, path, options);
  std::vector<std::string> names;
  for (const TranslatorRecord& t : scene().translators) names.push_back(t.name);
  std::string chosen;
  for (int pass = 0; pass < 2 && chosen.empty(); ++pass)
    for (const std::string& n : names) {
      auto want = pass == 0 ? MPxFileTranslator::kIsMyFileType : MPxFileTranslator::kCouldBeMyFileType;
      bool readable = false;
      withTranslator(n.c_str(), [&](MPxFileTranslator& t) {
        readable = t.haveReadMethod();
        return MStatus(MStatus::kSuccess);
      });
      if (readable && identify(n.c_str(), path) == want) {
        chosen = n;
        break;
      }
    }
  if (chosen.empty()) {
    console(core::ConsoleKind::Error, "No translator recognises \"" + str(path) + "\".");
    return MStatus::kFailure;
  }
  return runReader(chosen.c_str(), path, options);
}

bool translatorThrew() { return scene().translatorThrew; }
MString translatorException() { return MString(scene().translatorException.c_str()); }

// Used by resetHost(): forget the plug-in without calling into it.
void forgetPlugin() {
  Scene& s = scene();
  s.translators.clear();
  s.commands.clear();
  s.callbacks.clear();
  closeModule();
}

}  // namespace standin
