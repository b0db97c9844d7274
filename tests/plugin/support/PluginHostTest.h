#pragma once
// Test set-up for the drivers: a fresh stand-in scene, channels reaching the host
// console, and the plug-in description that the translators look their records up in.

#include <fstream>
#include <sstream>
#include <string>

#include "Headers.h"
#include "TessalineTranslators.h"
#include "support/HostConsole.h"
#include "support/MemoryStreams.h"

namespace plugin_test {

class PluginHostTest : public kiln_test::HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        kiln::PluginDescription& description = kiln::GetPluginDescription();
        description.Reset();
        DescribePlugin(description);
    }

    // Exports the current scene to a string.
    std::string Export(const char* options = "", bool selectedOnly = false, int* code = nullptr) {
        TessalineExporter exporter;
        OptionLine line;
        brix::ParseTranslatorOptions("TessalineExporter", brix::UString(options), line);
        MemoryOutputStream stream;
        const kiln::platform_maya::HStatus status = exporter.Export(line, stream, selectedOnly);
        if (code) *code = status.GetCode();
        return stream.text;
    }

    // Imports text into the current scene; returns the driver's code.
    int Import(const std::string& text, const char* options = "", const char* name = "rig.tsl") {
        TessalineImporter importer;
        OptionLine line;
        brix::ParseTranslatorOptions("TessalineImporter", brix::UString(options), line);
        MemoryInputStream stream(text, name);
        return importer.Import(line, stream).GetCode();
    }

    static std::string ReadFile(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream buffer;
        buffer << in.rdbuf();
        return buffer.str();
    }
};

}  // namespace plugin_test
