#pragma once
// The message builder: opened on a channel with a first text, it collects texts and
// numbers and, when it goes out of scope, writes the whole text with one write and
// ends the message. Typical use:
//     UMessage(Channel::Warning, "file ") << "\"" << name << "\" is damaged.";

#include <cstdint>

#include "Core/OutputChannel.h"

namespace brix {

class UMessage {
public:
    UMessage(UOutputChannel& channel, const char* first);
    UMessage(UOutputChannel& channel, const UString& first);
    // On that channel of the current core services (defined with them, in
    // CoreServices/ChannelMessages.cpp, as the channels are theirs).
    UMessage(Channel channel, const char* first);
    ~UMessage();
    UMessage(const UMessage&) = delete;
    UMessage& operator=(const UMessage&) = delete;

    UMessage& operator<<(const char* text);
    UMessage& operator<<(const UString& text);
    UMessage& operator<<(int32_t value) { return *this << int64_t(value); }
    UMessage& operator<<(uint32_t value);
    UMessage& operator<<(int64_t value);
    UMessage& operator<<(uint64_t value);
    UMessage& operator<<(double value);

private:
    UOutputChannel& m_channel;
    UString m_text;
};

}  // namespace brix
