#pragma once
// The plug-in frame's start-up: the plug-in's own core services, the host sinks, and
// the plug-in description with its module records.

#include "HModuleInfo.h"

// Creates and installs the plug-in's core services, installs the host sinks, resets the
// description and fills it. Raises an ErrorDescription when the core services cannot be
// created.
void InitializePlugin_Base();
// The plug-in's own description: vendor, name, version and the two translators.
void DescribePlugin(kiln::PluginDescription& description);
// Puts the core-services accessor saved at start-up back.
void RestoreCoreServicesAccessor();
// Destroys the plug-in's core services (at process exit).
void ReleasePluginCoreServices();
