#include "Core/UMessage.h"

namespace brix {

UMessage::UMessage(UOutputChannel& channel, const char* first) : m_channel(channel) {
    m_channel.BeginMessage();
    m_text.Append(first);
}

UMessage::UMessage(UOutputChannel& channel, const UString& first) : m_channel(channel) {
    m_channel.BeginMessage();
    m_text.Append(first);
}

UMessage::~UMessage() {
    m_channel.Write(m_text);
    m_channel.EndMessage();
}

UMessage& UMessage::operator<<(const char* text) {
    m_text.Append(text);
    return *this;
}
UMessage& UMessage::operator<<(const UString& text) {
    m_text.Append(text);
    return *this;
}
UMessage& UMessage::operator<<(uint32_t value) {
    m_text.AppendNumber(value);
    return *this;
}
UMessage& UMessage::operator<<(int64_t value) {
    m_text.AppendNumber(value);
    return *this;
}
UMessage& UMessage::operator<<(uint64_t value) {
    m_text.AppendNumber(value);
    return *this;
}
UMessage& UMessage::operator<<(double value) {
    m_text.AppendNumber(value);
    return *this;
}

}  // namespace brix
