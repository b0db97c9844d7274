#pragma once
// An output handler that records every call it receives, for checking what a channel
// delivers to its targets.

#include <string>
#include <vector>

#include "Core/OutputTarget.h"
#include "CoreServices/Interfaces/ICoreServices.h"

namespace brix::test {

class RecordingHandler : public IOutputTarget {
public:
    void Lock() override {}
    void Unlock() override {}
    void Begin() override { events.push_back("<begin>"); }
    void Write(const UString& text) override {
        events.push_back(text.c_str());
        writes.push_back(text.c_str());
    }
    void End() override { events.push_back("<end>"); }

    // The text of all writes joined.
    std::string Text() const {
        std::string all;
        for (const std::string& w : writes) all += w;
        return all;
    }

    std::vector<std::string> events;
    std::vector<std::string> writes;
};

// Installs a recording handler on a process-wide target for the lifetime of the object.
class ScopedHandler {
public:
    ScopedHandler(int target, IOutputTarget* handler) : m_target(target) {
        m_previous = GetCoreServices()->SetChannelHandler(target, handler);
    }
    ~ScopedHandler() { GetCoreServices()->SetChannelHandler(m_target, m_previous); }

private:
    int m_target;
    IOutputTarget* m_previous;
};

}  // namespace brix::test
