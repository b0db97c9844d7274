#include "Timings.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "Console.h"

namespace tessaline {

TimingTable::TimingTable(bool enabled) : m_enabled(enabled) {
    if (enabled)
        setenv("TESSALINE_TIMINGS", "1", 1);
    else
        unsetenv("TESSALINE_TIMINGS");
}

TimingTable::~TimingTable() {
    if (!m_enabled) return;
    m_steps.Stop();
    double total = 0;
    std::string table = "Timings (seconds, wall clock):\n";
    char line[160];
    for (int i = 0; i < m_steps.Num(); ++i) {
        snprintf(line, sizeof line, "  %-26s %9.4f\n", m_steps[i].name, m_steps[i].seconds);
        table += line;
        total += m_steps[i].seconds;
        const char* operation = !strcmp(m_steps[i].name, "load")    ? "import"
                                : !strcmp(m_steps[i].name, "write") ? "export"
                                                                    : nullptr;
        if (!operation) continue;
        for (const StageTime& stage : StageTimings(operation)) {
            snprintf(line, sizeof line, "    %-24s %9.4f\n", stage.stage.c_str(), stage.seconds);
            table += line;
        }
    }
    snprintf(line, sizeof line, "  %-26s %9.4f\n", "total", total);
    table += line;
    fputs(table.c_str(), stderr);
}

}  // namespace tessaline
