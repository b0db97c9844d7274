#include "Console.h"

#include <cstdio>
#include <cstdlib>

namespace tessaline {

const char* KindName(standin::ConsoleKind kind) {
    switch (kind) {
    case standin::ConsoleKind::Info: return "info";
    case standin::ConsoleKind::Warning: return "warning";
    case standin::ConsoleKind::Error: return "error";
    }
    return "info";
}

namespace {
constexpr char kTimingPrefix[] = "Timing: ";

bool IsTiming(const ConsoleMessage& message) {
    return message.kind == standin::ConsoleKind::Info && message.text.rfind(kTimingPrefix, 0) == 0;
}

std::vector<ConsoleMessage> JoinedMessages(unsigned int first) {
    std::vector<ConsoleMessage> messages;
    bool open = false;
    for (unsigned int i = first; i < standin::consoleCount(); ++i) {
        const standin::ConsoleKind kind = standin::consoleKind(i);
        const std::string text = standin::consoleText(i).asChar();
        if (!open || messages.back().kind != kind) messages.push_back({kind, ""});
        messages.back().text += text;
        // The plug-in ends every message with a write of the line end alone.
        open = text != "\r\n";
    }
    for (ConsoleMessage& message : messages) {
        std::string clean;
        for (char c : message.text)
            if (c != '\r') clean += c;
        while (!clean.empty() && clean.back() == '\n') clean.pop_back();
        message.text = clean;
    }
    return messages;
}
}  // namespace

std::vector<ConsoleMessage> ConsoleMessages(unsigned int first) {
    std::vector<ConsoleMessage> messages = JoinedMessages(first);
    std::erase_if(messages, IsTiming);
    return messages;
}

std::vector<StageTime> StageTimings(const std::string& operation) {
    std::vector<StageTime> stages;
    const std::string prefix = kTimingPrefix + operation + " ";
    for (const ConsoleMessage& message : JoinedMessages(0)) {
        if (!IsTiming(message) || message.text.rfind(prefix, 0) != 0) continue;
        const size_t space = message.text.rfind(' ');
        if (space < prefix.size()) continue;
        stages.push_back({message.text.substr(prefix.size(), space - prefix.size()),
                          std::strtod(message.text.c_str() + space + 1, nullptr)});
    }
    return stages;
}

void ConsolePrinter::PrintNew() {
    const unsigned int count = standin::consoleCount();
    std::vector<ConsoleMessage> messages = ConsoleMessages(m_next);
    m_next = count;
    if (!messages.empty() && !quiet && beforePrint) beforePrint();
    for (ConsoleMessage& message : messages) {
        if (!quiet) {
            // Every message of the host's console says something about the run, not its
            // result (an info line is the reason after a warning, a bind-pose note, ...):
            // standard error, next to the warnings it explains, and out of the output.
            FILE* out = stderr;
            if (message.kind == standin::ConsoleKind::Error)
                fprintf(out, "ERROR: %s\n", message.text.c_str());
            else
                fprintf(out, "%s\n", message.text.c_str());
            fflush(out);
        }
        m_printed.push_back(std::move(message));
    }
}

}  // namespace tessaline
