#include "Core/OutputTarget.h"

namespace brix {

UOutputTarget::UOutputTarget() { InitializeCriticalSection(&m_lock); }
UOutputTarget::~UOutputTarget() { DeleteCriticalSection(&m_lock); }

void UOutputTarget::Lock() { EnterCriticalSection(&m_lock); }
void UOutputTarget::Unlock() { LeaveCriticalSection(&m_lock); }

IOutputTarget* UOutputTarget::CurrentHandler() {
    Lock();
    IOutputTarget* handler = m_handler;
    Unlock();
    return handler;
}

void UOutputTarget::Begin() {
    if (IOutputTarget* handler = CurrentHandler()) handler->Begin();
}

void UOutputTarget::Write(const UString& text) {
    if (IOutputTarget* handler = CurrentHandler()) handler->Write(text);
}

void UOutputTarget::End() {
    if (IOutputTarget* handler = CurrentHandler()) handler->End();
}

IOutputTarget* UOutputTarget::SetHandler(IOutputTarget* handler) {
    Lock();
    IOutputTarget* previous = m_handler;
    m_handler = handler;
    Unlock();
    return previous;
}

UOutputTarget& GetOutputTarget(int index) {
    // Created on first use, destroyed at process exit.
    static UOutputTarget targets[kOutputTargetCount];
    return targets[(index >= 0 && index < kOutputTargetCount) ? index : 0];
}

}  // namespace brix
