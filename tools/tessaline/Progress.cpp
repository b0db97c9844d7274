#include "Progress.h"

#include <unistd.h>

#include <cstdio>

namespace tessaline {

std::string FormatDuration(double seconds) {
    const long total = seconds > 0 ? long(seconds + 0.5) : 0;
    char text[32];
    if (total >= 3600) snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60, total % 60);
    else snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
    return text;
}

ProgressLine::ProgressLine(bool enabled)
    : m_shown(enabled && isatty(STDERR_FILENO)), m_start(std::chrono::steady_clock::now()), m_last(m_start) {}

ProgressLine::~ProgressLine() { Clear(); }

void ProgressLine::Files(size_t done, size_t total, size_t running, const std::string& what) {
    if (!m_shown) return;
    const auto now = std::chrono::steady_clock::now();
    if (m_drawn && now - m_last < std::chrono::milliseconds(100) && done < total) return;
    m_last = now;
    const double elapsed = std::chrono::duration<double>(now - m_start).count();
    std::string line = "[" + std::to_string(done) + "/" + std::to_string(total) + " " + what + "] " +
                       std::to_string(running) + " running, " + FormatDuration(elapsed) + " elapsed";
    if (done > 0 && elapsed > 0) {
        const double rate = double(done) / elapsed;
        char text[96];
        snprintf(text, sizeof text, ", %.1f files/s, about %s left", rate,
                 FormatDuration(double(total - done) / rate).c_str());
        line += text;
    }
    // Carriage return, the line, and erase to the end of the terminal line.
    fprintf(stderr, "\r%s\x1b[K", line.c_str());
    fflush(stderr);
    m_drawn = true;
}

void ProgressLine::Clear() {
    if (!m_drawn) return;
    fprintf(stderr, "\r\x1b[K");
    fflush(stderr);
    m_drawn = false;
}

}  // namespace tessaline
