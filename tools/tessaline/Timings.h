#pragma once
// convert --timings and info --timings: the wall-clock time of each stage of the run on
// standard error, the translators' own stages (read, parse, each build step; reading the
// scene back and writing) under the step of the run that holds them, so that a user can
// see where a slow file spends its time.

#include <cstdio>

#include "Utils/UStageClock.h"

namespace tessaline {

class TimingTable {
public:
    // Asks the translators for their stage timings when enabled (through the
    // environment, which is how the plug-in is told), and not otherwise.
    explicit TimingTable(bool enabled);
    // Prints the table when enabled.
    ~TimingTable();
    TimingTable(const TimingTable&) = delete;
    TimingTable& operator=(const TimingTable&) = delete;

    // Ends the running step and starts the named one: "start", "load", "fit skins",
    // "write" or "report". A load's stages are the importer's, a write's the exporter's.
    void Step(const char* name) { m_steps.Start(name); }

private:
    bool m_enabled;
    brix::UStageClock m_steps;
};

}  // namespace tessaline
