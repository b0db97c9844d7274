#pragma once
// Export of the host scene as one rig file: the export driver, a plain function over an
// open output stream. The translator around it opens and commits the file, reports the
// option line and maps the status for the host.

#include "CoreServices/Interfaces/IStream.h"
#include "platform/Maya/Kits/HStatus.h"

struct ExportSettings {
    // The host scene is Y-up; the file is Z-up, so points and matrices are converted.
    bool yAxisUp = false;
    // Only the selected meshes are written; every joint of the scene is, always.
    bool selectedOnly = false;
    // Says the time of each stage (the scene's lists, the bones, and each kind of mesh
    // data, read and written) on the info channel, one "Timing: export STAGE SECONDS"
    // line each.
    bool reportTimings = false;
};

// Writes the scene's joints and meshes to the stream, showing the host's progress bar
// meanwhile. A broken invariant while writing is reported on the error channel and ends
// the file where it stands, with a failure status.
kiln::platform_maya::HStatus ExportScene(brix::IOutputStream& stream, const ExportSettings& settings);
