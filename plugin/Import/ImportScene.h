#pragma once
// Import of one rig file into the host scene: the import driver, a plain function over an
// open input stream. The translator around it opens the file, reports the option line,
// turns exceptions into messages and maps the status for the host.

#include "CoreServices/Interfaces/IStream.h"
#include "platform/Maya/Kits/HStatus.h"

struct ImportSettings {
    // The host scene is Y-up; the file is Z-up, so points and matrices are converted.
    bool yAxisUp = false;
    // Says the time of each stage (read, parse, joints, and the mesh steps) on the info
    // channel, one "Timing: import STAGE SECONDS" line each.
    bool reportTimings = false;
};

// Reads the whole stream into the rig model and, only when it is intact, builds its
// joints, meshes and skin clusters. A damaged file draws one warning, then an info line
// naming the rule it broke and where, and a failure status; the scene is left untouched.
kiln::platform_maya::HStatus ImportScene(brix::IInputStream& stream, const ImportSettings& settings);
