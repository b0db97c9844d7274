#include "Session.h"

#include <maya/MGlobal.h>
#include <maya/MSelectionList.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "AssimpScene.h"
#include "tessahost/StandIn.h"

namespace tessaline {

namespace {
bool EndsWithIgnoringCase(const std::string& text, const std::string& ending) {
    if (text.size() < ending.size()) return false;
    for (size_t i = 0; i < ending.size(); ++i)
        if (tolower(static_cast<unsigned char>(text[text.size() - ending.size() + i])) != ending[i]) return false;
    return true;
}
}  // namespace

bool IsRigPath(const std::string& path) { return EndsWithIgnoringCase(path, ".tsl"); }

std::string DefaultPluginPath() {
    char self[4096];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    std::string directory = ".";
    if (length > 0) {
        self[length] = '\0';
        directory = self;
        directory = directory.substr(0, directory.rfind('/'));
    }
    return directory + "/TessalineExporter.so";
}

bool ReadWholeFile(const std::string& path, std::string& bytes) {
    std::ifstream in(path, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return in.is_open() && !in.bad();
}

std::string ReadWholeFile(const std::string& path) {
    std::string bytes;
    return ReadWholeFile(path, bytes) ? bytes : std::string();
}

Session::Session(const Options& options) : m_options(options) {}

Session::~Session() {
    if (standin::pluginLoaded()) standin::exitHost();
    m_console.PrintNew();
}

bool Session::Start() {
    standin::setConsoleEcho(false);
    standin::resetHost();
    ResetScene();
    const std::string path = m_options.pluginPath.empty() ? DefaultPluginPath() : m_options.pluginPath;
    const bool loaded = standin::loadPluginModule(path.c_str());
    m_console.PrintNew();
    return loaded;
}

void Session::ResetScene() {
    // The reset empties the host console: print what is pending, then read it from its
    // start again.
    m_console.PrintNew();
    standin::resetScene();
    m_console.Restart();
    standin::setUpAxis(m_options.yAxisUp);
}

void Session::Fail(const std::string& error) {
    m_lastError = error;
    if (!m_console.quiet) {
        fprintf(stderr, "ERROR: %s\n", error.c_str());
        fflush(stderr);
    }
}

bool Session::TranslatorRan(bool succeeded, const char* what, const std::string& path, unsigned int firstMessage) {
    m_console.PrintNew();
    if (standin::translatorThrew()) {
        Fail(std::string("The translator stopped with an exception: ") + standin::translatorException().asChar());
        return false;
    }
    if (succeeded) return true;
    // The translator's own error message, when it wrote one, is the error.
    const std::vector<ConsoleMessage> messages = ConsoleMessages(firstMessage);
    for (auto message = messages.rbegin(); message != messages.rend(); ++message)
        if (message->kind == standin::ConsoleKind::Error) {
            m_lastError = message->text;
            return false;
        }
    Fail(std::string("Can't ") + what + " \"" + path + "\".");
    return false;
}

bool Session::Load(const std::string& path) {
    m_lastError.clear();
    if (IsRigPath(path)) {
        const unsigned int first = standin::consoleCount();
        const bool ok = standin::importFile("TessalineImporter", path.c_str(), m_options.translatorOptions.c_str());
        return TranslatorRan(ok, "read", path, first);
    }
    std::string error;
    const SourceLoad load = LoadWithAssimp(path, error);
    m_console.PrintNew();
    if (load != SourceLoad::Loaded)
        Fail(std::string(load == SourceLoad::Unreadable ? "Can't read \"" : "Can't convert \"") + path +
             "\": " + error);
    return load == SourceLoad::Loaded;
}

bool Session::Select(std::string& unknown) {
    MSelectionList list;
    for (const std::string& name : m_options.selected)
        if (!list.add(MString(name.c_str()))) {
            unknown = name;
            return false;
        }
    return bool(MGlobal::setActiveSelectionList(list, MGlobal::kReplaceList));
}

bool Session::Save(const std::string& path) {
    m_lastError.clear();
    // Selection means the same for every output.
    std::string unknown;
    if (!m_options.selected.empty() && !Select(unknown)) {
        Fail("--selected: no node of the scene is named \"" + unknown + "\".");
        return false;
    }
    if (IsRigPath(path)) {
        const unsigned int first = standin::consoleCount();
        const bool ok = standin::exportFile("TessalineExporter", path.c_str(), m_options.translatorOptions.c_str(),
                                            !m_options.selected.empty());
        return TranslatorRan(ok, "write", path, first);
    }
    std::string error;
    const bool ok = SaveWithAssimp(path, error, !m_options.selected.empty());
    m_console.PrintNew();
    if (!ok) Fail(error);
    return ok;
}

}  // namespace tessaline
