#include "Session.h"

#include <maya/MStringArray.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

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

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
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

bool Session::Load(const std::string& path) {
    bool ok;
    if (IsRigPath(path)) {
        ok = standin::importFile("TessalineImporter", path.c_str(), m_options.translatorOptions.c_str());
    } else {
        std::string error;
        const SourceLoad load = LoadWithAssimp(path, error);
        ok = load == SourceLoad::Loaded;
        if (!ok) fprintf(stderr, "ERROR: Can't %s \"%s\": %s\n", load == SourceLoad::Unreadable ? "read" : "convert",
                         path.c_str(), error.c_str());
    }
    m_console.PrintNew();
    return ok;
}

bool Session::Save(const std::string& path) {
    bool ok;
    if (IsRigPath(path)) {
        if (!m_options.selected.empty()) {
            MStringArray names;
            for (const std::string& name : m_options.selected) names.append(name.c_str());
            standin::select(names);
        }
        ok = standin::exportFile("TessalineExporter", path.c_str(), m_options.translatorOptions.c_str(),
                                 !m_options.selected.empty());
    } else {
        std::string error;
        ok = SaveWithAssimp(path, error);
        if (!ok) fprintf(stderr, "ERROR: Can't write \"%s\": %s\n", path.c_str(), error.c_str());
    }
    m_console.PrintNew();
    return ok;
}

}  // namespace tessaline
