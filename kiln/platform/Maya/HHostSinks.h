#pragma once
// The host sinks: output handlers that hand channel text to the host's script console,
// one display call per write. Installed by the plug-in on the output targets (2 and 3:
// info, 5: error, 7: warning).

#include "Core/OutputTarget.h"
#include "Platform/WindowsKernel.h"

namespace kiln::platform_maya {

class HHostSink : public brix::IOutputTarget {
public:
    enum class Kind { Info, Warning, Error };
    explicit HHostSink(Kind kind);
    ~HHostSink() override;
    HHostSink(const HHostSink&) = delete;
    HHostSink& operator=(const HHostSink&) = delete;

    void Lock() override;
    void Unlock() override;
    // The sink's lock is held from begin to end, so one message is not interleaved.
    void Begin() override { Lock(); }
    void Write(const brix::UString& text) override;
    void End() override { Unlock(); }

private:
    Kind m_kind;
    CRITICAL_SECTION m_lock;
};

HHostSink& GetInfoSink();
HHostSink& GetWarningSink();
HHostSink& GetErrorSink();

}  // namespace kiln::platform_maya
