#pragma once
// Wall-clock time of the stages of one operation (a file's import, say), summed per stage
// name in the order the names first ran, so that a slow file shows where its time goes.
// Stage names are static texts; a clock keeps at most kMaxStages names and adds the time
// of any further name to the last one.

#include <chrono>

namespace brix {

class UStageClock {
public:
    static constexpr int kMaxStages = 16;
    struct Stage {
        const char* name;
        double seconds;
    };

    // Ends the running stage, if any, and starts the named one.
    void Start(const char* name);
    // Ends the running stage.
    void Stop();

    int Num() const { return m_count; }
    const Stage& operator[](int index) const { return m_stages[index]; }

private:
    using Clock = std::chrono::steady_clock;
    Stage m_stages[kMaxStages] = {};
    int m_count = 0;
    int m_running = -1;
    Clock::time_point m_started;
};

}  // namespace brix
