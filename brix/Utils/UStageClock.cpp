#include "Utils/UStageClock.h"

#include <cstring>

namespace brix {

void UStageClock::Start(const char* name) {
    Stop();
    int index = 0;
    while (index < m_count && std::strcmp(m_stages[index].name, name) != 0) ++index;
    if (index == m_count) {
        if (m_count < kMaxStages)
            m_stages[m_count++] = Stage{name, 0.0};
        else
            index = kMaxStages - 1;
    }
    m_running = index;
    m_started = Clock::now();
}

void UStageClock::Stop() {
    if (m_running < 0) return;
    m_stages[m_running].seconds += std::chrono::duration<double>(Clock::now() - m_started).count();
    m_running = -1;
}

}  // namespace brix
