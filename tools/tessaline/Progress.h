#pragma once
// One progress line on standard error, redrawn in place, for work that takes a while.
// It is drawn only when standard error is a terminal, so that a log or a pipe that a
// script reads (--json on standard output included) never holds it; --quiet turns it off.

#include <chrono>
#include <cstddef>
#include <string>

namespace tessaline {

class ProgressLine {
public:
    // Drawn when enabled and standard error is a terminal.
    explicit ProgressLine(bool enabled);
    ~ProgressLine();

    bool Shown() const { return m_shown; }
    // done of total files finished, running under way; redrawn at most ten times a second.
    void Files(size_t done, size_t total, size_t running, const std::string& what);
    // Erases the line, so that what is printed next starts on a clean line.
    void Clear();

private:
    bool m_shown;
    bool m_drawn = false;
    std::chrono::steady_clock::time_point m_start, m_last;
};

// The step a single command is in (reading a file, writing one), shown once it has taken a
// second and redrawn four times a second: the step, the file, its size (when reading) or
// the bytes written so far (beside a target being written), and the time so far. Drawn
// only when standard error is a terminal.
class StepProgress {
public:
    explicit StepProgress(bool enabled);
    ~StepProgress();
    StepProgress(const StepProgress&) = delete;
    StepProgress& operator=(const StepProgress&) = delete;

    // Starts timing a step: reading path, or writing it.
    void Begin(const char* what, const std::string& path, bool writing);
    // Ends the step and erases its line.
    void End();
    // Erases the line now, before something else is printed on the terminal, and holds
    // it back for half a second.
    void Clear();

private:
    void Run();
    void Draw();

    struct State;
    State* m_state = nullptr;
};

// "1:05" for 65 seconds, "1:02:03" past an hour.
std::string FormatDuration(double seconds);

}  // namespace tessaline
