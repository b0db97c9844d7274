#pragma once
// Output channels: numbered, lockable message channels. A message is begun, written and
// ended under the channel's lock, and each step reaches up to four targets in list
// order. Channel 0 is silent; channels 2 and 7 put a prefix before each message and
// indent its continuation lines under the text that follows the prefix.

#include <cstdint>

#include "Core/OutputTarget.h"

namespace brix {

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
