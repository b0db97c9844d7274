#pragma once
// convert, info and check over many files: each file is done by this program running the
// single-file command in a child process, and the results are gathered into one table
// (or one JSON line per file and a summary line).

#include <string>
#include <vector>

#include "RoundTrip.h"
#include "Session.h"

namespace tessaline {

struct BatchOptions {
    std::vector<std::string> sources;  // files, folders, ZIP archives
    std::string outFolder;             // convert: where the targets go; check: where the rigs are
    std::string extension = "tsl";     // of the targets
    bool keepExtension = false;        // NAME.SRCEXT.EXT instead of NAME.EXT
    int jobs = 0;                      // 0: one per processor
    double timeout = 300;              // seconds per file; 0: no limit
    bool json = false;
    bool quiet = false;
    Options options;  // passed on to every child
};

// Each returns the exit status: 0 when every file succeeded, 1 when any did not, 2 on a
// usage error (nothing to do, targets that collide).
int BatchConvert(const BatchOptions& batch);
int BatchInfo(const BatchOptions& batch);
int BatchCheck(const BatchOptions& batch);

// What a single conversion writes for its batch (convert IN OUT --report FILE): one JSON
// document with the status (converted, unreadable, refused, failed), the error, the
// warnings, and the scene's counts. False when the file cannot be written.
bool WriteConversionReport(const std::string& path, const std::string& status, const std::string& error,
                           bool withCounts);
// What a single check writes for its batch (check SOURCE RIG --report FILE): {"error": ...,
// "rows": [{"what", "matched", "total", "firstMismatch"}...]}.
bool WriteCheckReport(const std::string& path, const std::vector<ComparisonRow>& rows, const std::string& error);

}  // namespace tessaline
