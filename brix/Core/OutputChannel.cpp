#include "Core/OutputChannel.h"

#include <cstring>

namespace brix {

UOutputChannel::UOutputChannel(Kind kind, const char* prefix) : m_kind(kind), m_prefix(prefix) {
    InitializeCriticalSection(&m_lock);
}

UOutputChannel::~UOutputChannel() { DeleteCriticalSection(&m_lock); }

void UOutputChannel::Lock() { EnterCriticalSection(&m_lock); }
void UOutputChannel::Unlock() { LeaveCriticalSection(&m_lock); }

void UOutputChannel::WriteToTargets(const UString& text) {
    for (uint32_t i = 0; i < m_targetNum; ++i) m_targets[i]->Write(text);
}

void UOutputChannel::BeginMessage() {
    Lock();
    m_inMessage = true;
    for (uint32_t i = 0; i < m_targetNum; ++i) m_targets[i]->Begin();
    if (m_kind == Kind::Indented && m_prefix) WriteToTargets(UString(m_prefix));
}

void UOutputChannel::Write(const UString& text) {
    switch (m_kind) {
    case Kind::Silent: return;
    case Kind::Plain: WriteToTargets(text); return;
    case Kind::Indented: {
        // Each line goes out with its line break, then the indentation, so continuation
        // lines line up under the text after the prefix; the rest goes out last.
        const char* start = text.c_str();
        const UString indentation(kIndentation);
        for (const char* lineBreak; (lineBreak = strstr(start, "\r\n")) != nullptr; start = lineBreak + 2) {
            WriteToTargets(UString(reinterpret_cast<const unsigned char*>(start), int32_t(lineBreak + 2 - start)));
            WriteToTargets(indentation);
        }
        WriteToTargets(UString(start));
        return;
    }
    }
}

void UOutputChannel::EndMessage() {
    if (m_kind != Kind::Silent) WriteToTargets(UString("\r\n"));
    for (uint32_t i = 0; i < m_targetNum; ++i) m_targets[i]->End();
    m_inMessage = false;
    Unlock();
}

int32_t UOutputChannel::AddTarget(IOutputTarget* target) {
    if (m_targetNum >= kMaxTargets) return -1;
    m_targets[m_targetNum] = target;
    return int32_t(m_targetNum++);
}

IOutputTarget* UOutputChannel::RemoveTarget(IOutputTarget* target) {
    for (uint32_t i = 0; i < m_targetNum; ++i)
        if (m_targets[i] == target) return RemoveTargetAt(i);
    return nullptr;
}

IOutputTarget* UOutputChannel::RemoveTargetAt(uint32_t index) {
    if (index >= m_targetNum) return nullptr;
    IOutputTarget* removed = m_targets[index];
    for (uint32_t i = index + 1; i < m_targetNum; ++i) m_targets[i - 1] = m_targets[i];
    m_targets[--m_targetNum] = nullptr;
    return removed;
}

}  // namespace brix
