#include "Headers.h"

#include "Core/ErrorDescription.h"
#include "Core/LegacyTexts.h"
#include "CoreServices/Interfaces/ICoreServices.h"
#include "TessalineTranslators.h"
#include "platform/Maya/HHostSinks.h"

namespace {

brix::ICoreServices* g_pluginCoreServices = nullptr;
brix::CoreServicesAccessor g_savedAccessor = nullptr;
// Replaceable so that a failing creation can be exercised.
brix::ICoreServices* (*g_createCoreServices)(int32_t) = brix::CreateCoreServices_Default;

brix::ICoreServices* GetPluginCoreServices() { return g_pluginCoreServices; }

// The plug-in's core services outlive every unload: blocks allocated from their pool
// may still be released during process exit.
struct ExitCleanup {
    ~ExitCleanup() { ReleasePluginCoreServices(); }
} g_exitCleanup;

}  // namespace

void ReleasePluginCoreServices() {
    if (!g_pluginCoreServices) return;
    if (brix::GetCoreServices == GetPluginCoreServices) brix::GetCoreServices = g_savedAccessor;
    brix::ICoreServices* services = g_pluginCoreServices;
    g_pluginCoreServices = nullptr;
    brix::DestroyCoreServices(services);
}

void InitializePlugin_Base() {
    brix::ICoreServices* services = g_createCoreServices(4096);
    ReleasePluginCoreServices();
    g_pluginCoreServices = services;
    if (!services) {
        const brix::legacy::ErrorSite& site = brix::legacy::kCoreServicesNotCreated;
        throw brix::ErrorDescription(site.file, site.function, brix::legacy::kCoreServicesNotCreatedText, site.line);
    }
    g_savedAccessor = brix::GetCoreServices;
    brix::GetCoreServices = GetPluginCoreServices;

    using namespace kiln::platform_maya;
    services->SetChannelHandler(int(brix::SinkTarget::DebugInfo), &GetInfoSink());
    services->SetChannelHandler(int(brix::SinkTarget::Info), &GetInfoSink());
    services->SetChannelHandler(int(brix::SinkTarget::Warning), &GetWarningSink());
    services->SetChannelHandler(int(brix::SinkTarget::Error), &GetErrorSink());

    kiln::PluginDescription& description = kiln::GetPluginDescription();
    description.Reset();
    DescribePlugin(description);
}

void DescribePlugin(kiln::PluginDescription& description) {
    description.vendor = "Vantorel";
    description.names[0] = "TessalineExporter";
    description.majorVersion = 0;
    description.minorVersion = 1;
    description.Append(kiln::ModuleInfoBase("TessalineExporter", kExporterModuleId, kiln::ModuleInfoBase::KIND_EXPORTER,
                                            TessalineExporter::Creator, DestroyTranslator));
    description.Append(kiln::ModuleInfoBase("TessalineImporter", kImporterModuleId, kiln::ModuleInfoBase::KIND_IMPORTER,
                                            TessalineImporter::Creator, DestroyTranslator));
}

void RestoreCoreServicesAccessor() {
    if (g_savedAccessor) brix::GetCoreServices = g_savedAccessor;
}
