#include "TessalineTranslators.h"

#include <maya/MFileObject.h>
#include <maya/MGlobal.h>

#include <cstdlib>
#include <cstring>
#include <new>

#include "Core/ErrorDescription.h"
#include "Core/LegacyTexts.h"
#include "Core/UMessage.h"
#include "CoreServices/Interfaces/ICoreServices.h"
#include "Export/ExportScene.h"
#include "Import/ImportScene.h"
#include "Utils/UStageClock.h"

using kiln::platform_maya::HStatus;

namespace {
// TESSALINE_TIMINGS set (and not "0") in the environment asks the translators to say how
// long each stage of a file took, for finding where a slow file spends its time.
bool TimingsAsked() {
    const char* value = std::getenv("TESSALINE_TIMINGS");
    return value && *value && std::strcmp(value, "0") != 0;
}
}  // namespace

MString TessalineTranslator::defaultExtension() const { return MString(Extension().c_str()); }

MPxFileTranslator::MFileKind TessalineTranslator::identifyFile(const MFileObject& file, const char*, short) const {
    const MString name = file.name();
    const char* dot = strrchr(name.asChar(), '.');
    if (!dot) return kNotMyFileType;
    const brix::UString extension = Extension();
    if (strlen(dot + 1) != size_t(extension.Length())) return kNotMyFileType;
    for (const char *a = dot + 1, *b = extension.c_str(); *a; ++a, ++b) {
        const char lowerA = (*a >= 'A' && *a <= 'Z') ? char(*a - 'A' + 'a') : *a;
        const char lowerB = (*b >= 'A' && *b <= 'Z') ? char(*b - 'A' + 'a') : *b;
        if (lowerA != lowerB) return kNotMyFileType;
    }
    return kIsMyFileType;
}

MStatus TessalineTranslator::ToHostStatus(const HStatus& status) {
    switch (status.GetCode()) {
    case HStatus::SUCCESS: return MStatus::kSuccess;
    case HStatus::FAILURE: return MStatus::kFailure;
    case HStatus::INVALID_PARAMETER: return MStatus::kInvalidParameter;
    case HStatus::OUT_OF_MEMORY: return MStatus::kInsufficientMemory;
    case HStatus::HOST_CODE_4: return MStatus::kLicenseFailure;
    case HStatus::UNKNOWN_PARAMETER: return MStatus::kUnknownParameter;
    case HStatus::NOT_IMPLEMENTED: return MStatus::kNotImplemented;
    case HStatus::NOT_FOUND: return MStatus::kNotFound;
    default: return MStatus::kFailure;
    }
}

void TessalineTranslator::BuildOptionLine(const MString& optionsString, OptionLine& line) const {
    brix::ParseTranslatorOptions(GetModuleInfo().m_name.c_str(), brix::UString(optionsString.asChar()), line);
}

void* TessalineExporter::Creator() {
    void* block = ::operator new(sizeof(TessalineExporter), std::nothrow);
    if (!block) return nullptr;
    try {
        return new (block) TessalineExporter();
    } catch (...) {
        ::operator delete(block);
        throw;
    }
}

void* TessalineImporter::Creator() {
    void* block = ::operator new(sizeof(TessalineImporter), std::nothrow);
    if (!block) return nullptr;
    try {
        return new (block) TessalineImporter();
    } catch (...) {
        ::operator delete(block);
        throw;
    }
}

void DestroyTranslator(void* translator) {
    if (translator) delete static_cast<TessalineTranslator*>(translator);
}

// The file is written beside its target and replaces it only once the export has
// succeeded and every byte reached the disk: a failed export leaves an existing file as
// it was.
MStatus TessalineExporter::writer(const MFileObject& file, const MString& optionsString, FileAccessMode mode) {
    bool selectedOnly;
    if (mode == kSaveAccessMode || mode == kExportAccessMode)
        selectedOnly = false;
    else if (mode == kExportActiveAccessMode)
        selectedOnly = true;
    else
        return MStatus::kFailure;

    const brix::UString name(file.name().asChar());
    brix::IFileSystem* files = brix::GetCoreServices()->GetFileSystem();
    brix::OutputStreamHandle stream = files->CreateReplacingFileWriter(name);
    if (!stream) {
        brix::UMessage(brix::Channel::Error, "Can't open file \"") << name << "\" for writing.\r\n"
                                                                   << files->GetLastFailureReason();
        return MStatus::kFailure;
    }

    OptionLine options;
    BuildOptionLine(optionsString, options);
    ExportSettings settings;
    settings.yAxisUp = MGlobal::isYAxisUp();
    settings.selectedOnly = selectedOnly;
    settings.reportTimings = TimingsAsked();
    WarnAboutOptions(options);
    const HStatus status = ExportScene(*stream, settings);
    if (status.GetCode() != HStatus::SUCCESS) return ToHostStatus(status);
    brix::UStageClock clock;
    clock.Start("commit");
    const bool committed = stream->Commit();
    clock.Stop();
    if (settings.reportTimings) brix::UMessage(brix::Channel::Info, "Timing: export commit ") << clock[0].seconds;
    if (!committed) {
        brix::UMessage(brix::Channel::Error, "Can't write file \"") << name << "\".\r\n" << stream->GetFailureReason();
        return MStatus::kFailure;
    }
    return MStatus::kSuccess;
}

MStatus TessalineImporter::reader(const MFileObject& file, const MString& optionsString, FileAccessMode) {
    const brix::UString name(file.name().asChar());
    brix::IFileSystem* files = brix::GetCoreServices()->GetFileSystem();
    brix::InputStreamHandle stream = files->CreateFileReader(name);
    if (!stream) {
        brix::UMessage(brix::Channel::Error, "Can't open file \"") << name << "\" for reading.\r\n"
                                                                   << files->GetLastFailureReason();
        return MStatus::kFailure;
    }
    OptionLine options;
    BuildOptionLine(optionsString, options);
    // A broken invariant below the import is reported with its text rather than left
    // to the host, which would show no reason.
    try {
        ImportSettings settings;
        settings.yAxisUp = MGlobal::isYAxisUp();
        settings.reportTimings = TimingsAsked();
        WarnAboutOptions(options);
        return ToHostStatus(ImportScene(*stream, settings));
    } catch (const brix::ErrorDescription& error) {
        brix::UMessage(brix::Channel::Error, brix::legacy::kPluginThrewException) << error.Format();
    } catch (const std::bad_alloc&) {
        brix::UMessage(brix::Channel::Error, "Not enough memory to import file \"") << name << "\".";
    } catch (const std::exception& exception) {
        brix::UMessage(brix::Channel::Error, brix::legacy::kPluginThrewException) << exception.what();
    }
    return MStatus::kFailure;
}
