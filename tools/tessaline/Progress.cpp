#include "Progress.h"

#include <unistd.h>

#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <thread>

namespace tessaline {

std::string FormatDuration(double seconds) {
    const long total = seconds > 0 ? std::lround(seconds) : 0;
    char text[32];
    if (total >= 3600)
        snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60, total % 60);
    else
        snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
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

struct StepProgress::State {
    std::mutex mutex;
    std::condition_variable wake;
    bool stop = false, active = false, drawn = false, writing = false;
    std::string what, path;
    std::chrono::steady_clock::time_point start, holdUntil;
    std::thread thread;
};

namespace {

std::string Bytes(uintmax_t bytes) {
    char text[32];
    if (bytes >= (uintmax_t(1) << 30))
        snprintf(text, sizeof text, "%.1f GB", double(bytes) / (1 << 30));
    else if (bytes >= (uintmax_t(1) << 20))
        snprintf(text, sizeof text, "%.1f MB", double(bytes) / (1 << 20));
    else
        snprintf(text, sizeof text, "%.1f kB", double(bytes) / 1024);
    return text;
}

// The bytes of the file being written for target: the largest "TARGET~N" beside it.
uintmax_t Written(const std::string& target) {
    namespace fs = std::filesystem;
    const fs::path path(target);
    const std::string prefix = path.filename().string() + "~";
    uintmax_t largest = 0;
    std::error_code failure;
    for (fs::directory_iterator it(path.parent_path().empty() ? "." : path.parent_path(), failure), end;
         !failure && it != end; it.increment(failure))
        if (it->path().filename().string().rfind(prefix, 0) == 0) {
            std::error_code ignored;
            const uintmax_t size = fs::file_size(it->path(), ignored);
            if (!ignored && size > largest) largest = size;
        }
    return largest;
}

}  // namespace

StepProgress::StepProgress(bool enabled) {
    if (!enabled || !isatty(STDERR_FILENO)) return;
    m_state = new State;
    m_state->thread = std::thread([this] { Run(); });
}

StepProgress::~StepProgress() {
    if (!m_state) return;
    {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        m_state->stop = true;
    }
    m_state->wake.notify_all();
    m_state->thread.join();
    End();
    delete m_state;
}

void StepProgress::Begin(const char* what, const std::string& path, bool writing) {
    if (!m_state) return;
    std::lock_guard<std::mutex> lock(m_state->mutex);
    m_state->active = true;
    m_state->what = what;
    m_state->path = path;
    m_state->writing = writing;
    m_state->start = std::chrono::steady_clock::now();
}

void StepProgress::End() {
    if (!m_state) return;
    std::lock_guard<std::mutex> lock(m_state->mutex);
    m_state->active = false;
    if (m_state->drawn) fprintf(stderr, "\r\x1b[K");
    fflush(stderr);
    m_state->drawn = false;
}

void StepProgress::Clear() {
    if (!m_state) return;
    std::lock_guard<std::mutex> lock(m_state->mutex);
    if (m_state->drawn) fprintf(stderr, "\r\x1b[K");
    fflush(stderr);
    m_state->drawn = false;
    m_state->holdUntil = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
}

void StepProgress::Run() {
    std::unique_lock<std::mutex> lock(m_state->mutex);
    while (!m_state->stop) {
        m_state->wake.wait_for(lock, std::chrono::milliseconds(250));
        if (m_state->stop) break;
        const auto now = std::chrono::steady_clock::now();
        if (!m_state->active || now - m_state->start < std::chrono::seconds(1) || now < m_state->holdUntil) continue;
        Draw();
    }
}

// Under the state's lock.
void StepProgress::Draw() {
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - m_state->start).count();
    std::string line = m_state->what + " " + m_state->path;
    if (m_state->writing) {
        line += ": " + Bytes(Written(m_state->path)) + " written";
    } else {
        std::error_code failure;
        const uintmax_t size = std::filesystem::file_size(m_state->path, failure);
        if (!failure) line += " (" + Bytes(size) + ")";
    }
    line += ", " + FormatDuration(elapsed) + " elapsed";
    fprintf(stderr, "\r%s\x1b[K", line.c_str());
    fflush(stderr);
    m_state->drawn = true;
}

void ProgressLine::Clear() {
    if (!m_drawn) return;
    fprintf(stderr, "\r\x1b[K");
    fflush(stderr);
    m_drawn = false;
}

}  // namespace tessaline
