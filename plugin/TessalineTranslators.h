#pragma once
// The two file translators the plug-in registers: TessalineExporter writes rig files,
// TessalineImporter reads them. Each is a thin adapter: it opens the file through the
// core services' file system, turns the host's option string into an option line, runs
// its driver and turns the driver's status into the host's.

#include <maya/MPxFileTranslator.h>

#include "CoreServices/Interfaces/IStream.h"
#include "HModuleInfo.h"
#include "Utils/UCommandLine.h"
#include "platform/Maya/Kits/HStatus.h"

using OptionLine = brix::UBaseCommandLine<unsigned char>;

constexpr uint32_t kExporterModuleId = 6;
constexpr uint32_t kImporterModuleId = 7;

class TessalineTranslator : public MPxFileTranslator, public kiln::ModuleInfoHolder {
public:
    explicit TessalineTranslator(uint32_t moduleId) : ModuleInfoHolder(moduleId) {}

    MString defaultExtension() const override;
    // By the name's extension, ignoring ASCII case; the file's bytes are not looked at.
    MFileKind identifyFile(const MFileObject& file, const char* buffer, short size) const override;
    // The extension without its dot.
    virtual brix::UString Extension() const { return brix::UString("tsl"); }

    // Driver status to host status.
    static MStatus ToHostStatus(const kiln::platform_maya::HStatus& status);

    bool m_yAxisUp = false;

protected:
    // The option line of the host's option string, named after this module.
    void BuildOptionLine(const MString& optionsString, OptionLine& line) const;
};

class TessalineExporter : public TessalineTranslator {
public:
    TessalineExporter() : TessalineTranslator(kExporterModuleId) {}
    static void* Creator();

    MStatus reader(const MFileObject&, const MString&, FileAccessMode) override { return MStatus::kFailure; }
    MStatus writer(const MFileObject& file, const MString& optionsString, FileAccessMode mode) override;
    bool haveReadMethod() const override { return false; }
    bool haveWriteMethod() const override { return true; }

    // Writes the scene (or only its selected meshes, with every joint) as a rig file.
    kiln::platform_maya::HStatus Export(const OptionLine& options, brix::IOutputStream& stream, bool selectedOnly);
};

class TessalineImporter : public TessalineTranslator {
public:
    TessalineImporter() : TessalineTranslator(kImporterModuleId) {}
    static void* Creator();

    MStatus reader(const MFileObject& file, const MString& optionsString, FileAccessMode mode) override;
    MStatus writer(const MFileObject&, const MString&, FileAccessMode) override { return MStatus::kFailure; }
    bool haveReadMethod() const override { return true; }
    bool haveWriteMethod() const override { return false; }

    // Reads a whole rig file and, when it is intact, builds it in the scene.
    kiln::platform_maya::HStatus Import(const OptionLine& options, brix::IInputStream& stream);
    void ParseImportOptions(const OptionLine& options);
};

// Destroys a translator made by either creator.
void DestroyTranslator(void* translator);

// Writes one channel 7 warning per option argument: no option name is known.
void WarnAboutOptions(const OptionLine& options);
