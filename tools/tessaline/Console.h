#pragma once
// Prints the stand-in host's console as the command-line host goes: info on standard
// output, warnings and errors on standard error. The plug-in writes one message as
// several console entries (a prefix, lines, indentation, the line end); entries are
// joined back into whole messages here.

#include <functional>
#include <string>
#include <vector>

#include "tessahost/StandIn.h"

namespace tessaline {

struct ConsoleMessage {
    standin::ConsoleKind kind;
    std::string text;  // without line-end characters at its end
};

// The console entries from index first on, joined into messages; the translators' stage
// timings are not among them.
std::vector<ConsoleMessage> ConsoleMessages(unsigned int first = 0);

// The stage timings a translator gave for an operation ("import" or "export"), in order.
struct StageTime {
    std::string stage;
    double seconds;
};
std::vector<StageTime> StageTimings(const std::string& operation);

class ConsolePrinter {
public:
    // Prints the messages added since the last call.
    void PrintNew();
    // Reads the console from its start again, after the host emptied it.
    void Restart() { m_next = 0; }
    // Messages printed so far.
    const std::vector<ConsoleMessage>& Printed() const { return m_printed; }
    bool quiet = false;
    // Called before messages are printed (to take a progress line off the terminal).
    std::function<void()> beforePrint;

private:
    unsigned int m_next = 0;
    std::vector<ConsoleMessage> m_printed;
};

const char* KindName(standin::ConsoleKind kind);

}  // namespace tessaline
