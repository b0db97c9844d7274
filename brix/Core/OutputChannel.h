#pragma once
// Output channels: numbered, lockable message channels. A message is begun, written and
// ended under the channel's lock, and each step reaches up to four targets in list
// order. Channel 0 is silent; channels 2 and 7 put a prefix before each message and
// indent its continuation lines under the text that follows the prefix.

#include <cstdint>

#include "Core/OutputTarget.h"

namespace brix {

// The eight channels of the core services by what they carry, and where their text goes
// (the output targets each writes to, in order). The host sinks sit on targets 2 and 3
// (info), 5 (error) and 7 (warning).
enum class Channel : int {
    Silent = 0,   // no targets: writes nothing; any number outside 0..7 means this one
    Log = 1,      // target 1
    Debug = 2,    // targets 1, 2; each message starts with "DEBUG:   "
    Notice = 3,   // targets 3, 1
    Verbose = 4,  // targets 1, 3, 4
    Error = 5,    // targets 5, 1: a host error
    Info = 6,     // targets 1, 3, 6: a host info message
    Warning = 7,  // targets 1, 7, 4: a host warning; each message starts with "WARNING: "
};

// The output targets on which the plug-in installs the host sinks.
enum class SinkTarget : int { DebugInfo = 2, Info = 3, Error = 5, Warning = 7 };

class UOutputChannel {
public:
    enum class Kind { Silent, Plain, Indented };
    static constexpr uint32_t kMaxTargets = 4;
    static constexpr const char* kIndentation = "         ";

    // prefix is used by Indented channels only.
    explicit UOutputChannel(Kind kind = Kind::Plain, const char* prefix = nullptr);
    virtual ~UOutputChannel();
    UOutputChannel(const UOutputChannel&) = delete;
    UOutputChannel& operator=(const UOutputChannel&) = delete;

    virtual void Lock();
    virtual void Unlock();
    virtual void BeginMessage();
    virtual void Write(const UString& text);
    virtual void EndMessage();
    // Appends the target and returns its index, or -1 when four are listed already.
    virtual int32_t AddTarget(IOutputTarget* target);
    // Removes the target keeping the order of the others; nullptr when not listed.
    virtual IOutputTarget* RemoveTarget(IOutputTarget* target);
    virtual IOutputTarget* RemoveTargetAt(uint32_t index);

    uint32_t GetNumTargets() const { return m_targetNum; }
    IOutputTarget* GetTarget(uint32_t index) const { return index < m_targetNum ? m_targets[index] : nullptr; }
    bool IsInMessage() const { return m_inMessage; }

private:
    void WriteToTargets(const UString& text);

    Kind m_kind;
    const char* m_prefix;
    CRITICAL_SECTION m_lock;
    IOutputTarget* m_targets[kMaxTargets] = {};
    uint32_t m_targetNum = 0;
    bool m_inMessage = false;
};

}  // namespace brix
