#pragma once
// Function set on the plug-in object handed to initializePlugin/uninitializePlugin:
// registers file translators and commands with the host.
#include <maya/MFnBase.h>
#include <maya/MString.h>
#include <maya/MSyntax.h>

typedef void* (*MCreatorFunction)();
typedef MSyntax (*MCreateSyntaxFunction)();

class MFnPlugin : public MFnBase {
public:
  MFnPlugin();
  // While the host is loading the plug-in, vendor, version and API version are recorded
  // on the plug-in record; at other times (unload) they are ignored.
  MFnPlugin(const MObject& plugin, const char* vendor = "Unknown", const char* version = "Unknown",
            const char* requiredApiVersion = "Any", MStatus* ReturnStatus = nullptr);
  MFn::Type type() const override;

  MString vendor(MStatus* ReturnStatus = nullptr) const;
  MString version(MStatus* ReturnStatus = nullptr) const;
  MString apiVersion(MStatus* ReturnStatus = nullptr) const;
  MString loadPath(MStatus* ReturnStatus = nullptr) const;

  // A name already registered gives kFailure.
  MStatus registerFileTranslator(const MString& translatorName, const char* pixmapName,
                                 MCreatorFunction creatorFunction, const char* optionsScriptName = nullptr,
                                 const char* defaultOptionsString = nullptr, bool requiresFullScript = false);
  // An unknown name gives kFailure.
  MStatus deregisterFileTranslator(const MString& translatorName);
  MStatus registerCommand(const MString& commandName, MCreatorFunction creatorFunction,
                          MCreateSyntaxFunction createSyntaxFunction = nullptr);
  MStatus deregisterCommand(const MString& commandName);
};

// The API version text a plug-in module exports; define _MApiVersion in every translation
// unit but one that includes this header.
#ifndef _MApiVersion
#define _MApiVersion
PLUGIN_EXPORT const char MApiVersion[] = "700";
#endif
