#pragma once
// The two file translators the plug-in registers: TessalineExporter writes rig files,
// TessalineImporter reads them. Each is a thin adapter around its driver (ExportScene,
// ImportScene): it identifies files by extension, opens the file through the core
// services' file system, reports the option line (no option is known), asks the host for
// its up axis, runs the driver, checks that the written file reached the disk, and turns
// the driver's status into the host's.

#include <maya/MPxFileTranslator.h>

#include "CoreServices/Interfaces/IStream.h"
#include "HModuleInfo.h"
#include "TranslatorOptions.h"
#include "platform/Maya/Kits/HStatus.h"

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
};

class TessalineImporter : public TessalineTranslator {
public:
    TessalineImporter() : TessalineTranslator(kImporterModuleId) {}
    static void* Creator();

    MStatus reader(const MFileObject& file, const MString& optionsString, FileAccessMode mode) override;
    MStatus writer(const MFileObject&, const MString&, FileAccessMode) override { return MStatus::kFailure; }
    bool haveReadMethod() const override { return true; }
    bool haveWriteMethod() const override { return false; }
};

// Destroys a translator made by either creator.
void DestroyTranslator(void* translator);
