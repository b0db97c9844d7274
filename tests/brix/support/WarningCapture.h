#pragma once
// Records the channel-7 warnings that library code writes through GetCoreServices()
// while the object lives. Library code reaches its channels through the process-wide
// accessor, so the accessor is switched to core services whose channels are connected
// to their targets (as the plug-in's are once initialised), and a recording handler is
// installed on output target 7.

#include <string>

#include "CoreServices/Implementations/UCoreServices.h"
#include "support/RecordingHandler.h"

namespace brix::test {

class WarningCapture {
public:
    // The services are built before the accessor points at them: building them allocates.
    WarningCapture() : m_previous((Services(), ExchangeCoreServicesAccessor(&Services))), m_handler(7, &m_recorder) {}
    ~WarningCapture() { ExchangeCoreServicesAccessor(m_previous); }
    WarningCapture(const WarningCapture&) = delete;
    WarningCapture& operator=(const WarningCapture&) = delete;

    // Everything written, with the "WARNING: " prefix and the closing "\r\n".
    std::string Text() const { return m_recorder.Text(); }

private:
    static ICoreServices* Services() {
        static UCoreServices_ANSI* services = [] {
            auto* s = new UCoreServices_ANSI();
            s->Init(0);
            return s;
        }();
        return services;
    }

    CoreServicesAccessor m_previous;
    RecordingHandler m_recorder;
    ScopedHandler m_handler;
};

}  // namespace brix::test
