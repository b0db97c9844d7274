// The three symbols the host looks for in the plug-in module: the two entry points, and
// MApiVersion, which the host header defines in this one file.

#include <maya/MFnPlugin.h>
#include <maya/MMessage.h>
#include <maya/MSceneMessage.h>

#include "Core/UMessage.h"
#include "Headers.h"

// PLUGIN_EXPORT makes them visible outside the module: the default visibility of ELF
// modules, dllexport on Windows.
PLUGIN_EXPORT MStatus initializePlugin(MObject plugin);
PLUGIN_EXPORT MStatus uninitializePlugin(MObject plugin);

namespace {

MObject g_pluginObject;
MCallbackId g_shutdownCallback = 0;

MStatus Register(const kiln::ModuleInfoBase& record, MFnPlugin& plugin) {
    switch (record.m_kind) {
    case kiln::ModuleInfoBase::KIND_COMMAND:
        return plugin.registerCommand(record.m_name.c_str(), reinterpret_cast<MCreatorFunction>(record.m_creator));
    case kiln::ModuleInfoBase::KIND_IMPORTER:
    case kiln::ModuleInfoBase::KIND_EXPORTER: {
        brix::UString optionsScript(record.m_name);
        optionsScript.Append("Options");
        return plugin.registerFileTranslator(record.m_name.c_str(), "none",
                                             reinterpret_cast<MCreatorFunction>(record.m_creator),
                                             optionsScript.c_str(), "", false);
    }
    default:
        brix::UMessage(brix::Channel::Info, "Couldn't register module with name \"")
            << record.m_name << "\". Unknown module type.";
        return MStatus::kFailure;
    }
}

MStatus Deregister(const kiln::ModuleInfoBase& record, MFnPlugin& plugin) {
    switch (record.m_kind) {
    case kiln::ModuleInfoBase::KIND_COMMAND: return plugin.deregisterCommand(record.m_name.c_str());
    case kiln::ModuleInfoBase::KIND_IMPORTER:
    case kiln::ModuleInfoBase::KIND_EXPORTER: return plugin.deregisterFileTranslator(record.m_name.c_str());
    default:
        brix::UMessage(brix::Channel::Info, "Couldn't deregister module with name \"")
            << record.m_name << "\". Unknown module type.";
        return MStatus::kFailure;
    }
}

void OnHostExit(void* clientData) {
    MObject plugin = *static_cast<MObject*>(clientData);
    uninitializePlugin(plugin);
}

}  // namespace

extern "C" {

// The host calls its entry points with the plug-in object by value.
MStatus initializePlugin(MObject plugin) {  // NOLINT(performance-unnecessary-value-param)
    InitializePlugin_Base();
    kiln::PluginDescription& description = kiln::GetPluginDescription();
    const brix::UString vendor = description.VendorText();
    const brix::UString version = description.VersionText();
    MFnPlugin fnPlugin(plugin, vendor.c_str(), version.c_str(), "Any");

    MStatus status;
    for (kiln::ModuleInfoBase* record = description.first; record; record = record->m_next) {
        status = Register(*record, fnPlugin);
        if (!status) return status;
    }
    g_pluginObject = plugin;
    g_shutdownCallback = MSceneMessage::addCallback(MSceneMessage::kMayaExiting, OnHostExit, &g_pluginObject, &status);
    if (!status) {
        brix::UMessage(brix::Channel::Error, "Couldn't register callback upon program shutdown.");
        RestoreCoreServicesAccessor();
    }
    return status;
}

MStatus uninitializePlugin(MObject plugin) {  // NOLINT(performance-unnecessary-value-param)
    MFnPlugin fnPlugin(plugin, "Unknown", "Unknown", "Any");
    kiln::PluginDescription& description = kiln::GetPluginDescription();
    MStatus status;
    for (kiln::ModuleInfoBase* record = description.first; record && status; record = record->m_next)
        status = Deregister(*record, fnPlugin);
    MMessage::removeCallback(g_shutdownCallback);
    description.ReleaseModules();
    RestoreCoreServicesAccessor();
    return status;
}

}  // extern "C"
