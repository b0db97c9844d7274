#pragma once
// Test set-up for the drivers: a fresh stand-in scene and channels reaching the host
// console. Export and import run the drivers as the translators do (options reported,
// the host's up axis asked), without the translators or the module registry.

#include <maya/MGlobal.h>

#include <fstream>
#include <sstream>
#include <string>

#include "Export/ExportScene.h"
#include "Import/ImportScene.h"
#include "TranslatorOptions.h"
#include "support/HostConsole.h"
#include "support/MemoryStreams.h"

namespace plugin_test {

class PluginHostTest : public kiln_test::HostTest {
protected:
    // Exports the current scene to a string.
    std::string Export(const char* options = "", bool selectedOnly = false, int* code = nullptr) {
        OptionLine line;
        brix::ParseTranslatorOptions("TessalineExporter", brix::UString(options), line);
        ExportSettings settings;
        settings.yAxisUp = MGlobal::isYAxisUp();
        settings.selectedOnly = selectedOnly;
        WarnAboutOptions(line);
        MemoryOutputStream stream;
        const kiln::platform_maya::HStatus status = ExportScene(stream, settings);
        if (code) *code = status.GetCode();
        return stream.text;
    }

    // Imports text into the current scene; returns the driver's code.
    int Import(const std::string& text, const char* options = "", const char* name = "rig.tsl") {
        OptionLine line;
        brix::ParseTranslatorOptions("TessalineImporter", brix::UString(options), line);
        ImportSettings settings;
        settings.yAxisUp = MGlobal::isYAxisUp();
        WarnAboutOptions(line);
        MemoryInputStream stream(text, name);
        return ImportScene(stream, settings).GetCode();
    }

    static std::string ReadFile(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream buffer;
        buffer << in.rdbuf();
        return buffer.str();
    }
};

}  // namespace plugin_test
