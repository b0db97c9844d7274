#pragma once
// One run of the command-line host: the stand-in host with the plug-in module loaded,
// and the steps the host's dialogs take (load a scene file, save one).

#include <string>
#include <vector>

#include "Console.h"

namespace tessaline {

struct Options {
    std::string pluginPath;  // empty: next to the program
    bool yAxisUp = true;
    std::string translatorOptions;      // the option string handed to the translators
    std::vector<std::string> selected;  // names to select before saving a rig file
    unsigned int maxInfluences = 0;     // convert: skins fitted to this many influences; 0 leaves them
};

class Session {
public:
    explicit Session(const Options& options);
    ~Session();

    bool Start();
    // Empties the scene for the next load, keeping the plug-in.
    void ResetScene();
    // A rig file (or an entry of a ZIP archive) through the importer; anything else
    // through Assimp.
    bool Load(const std::string& path);
    // A .tsl path through the exporter; anything else through Assimp. The target is
    // replaced only by a complete file.
    bool Save(const std::string& path);
    // Selects the nodes of the options' selection; false with the first name that
    // names no node.
    bool Select(std::string& unknown);

    ConsolePrinter& Console() { return m_console; }
    // The error of the last failed Load or Save, as printed (without "ERROR: ").
    const std::string& LastError() const { return m_lastError; }

private:
    // Records the error and prints it on standard error unless the console is quiet.
    void Fail(const std::string& error);
    // After a translator ran: its exception, when one escaped it, becomes the error.
    bool TranslatorRan(bool succeeded, const char* what, const std::string& path, unsigned int firstMessage);

    Options m_options;
    ConsolePrinter m_console;
    std::string m_lastError;
};

bool IsRigPath(const std::string& path);
std::string DefaultPluginPath();
// The bytes of a whole file; false when it cannot be opened or read to its end.
bool ReadWholeFile(const std::string& path, std::string& bytes);
// The same, empty when the file cannot be read.
std::string ReadWholeFile(const std::string& path);

}  // namespace tessaline
