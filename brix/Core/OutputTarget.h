#pragma once
// Output targets: the eight process-wide ends of the output channels. A target passes
// begin, write and end on to its handler when one is installed and drops them
// otherwise. Handlers have the same operations (host sinks, test recorders).

#include "Core/UBaseString.h"
#include "Platform/WindowsKernel.h"

namespace brix {

class IOutputTarget {
public:
    virtual ~IOutputTarget() noexcept(false) = default;
    virtual void Lock() = 0;
    virtual void Unlock() = 0;
    virtual void Begin() = 0;
    virtual void Write(const UString& text) = 0;
    virtual void End() = 0;
};

class UOutputTarget final : public IOutputTarget {
public:
    UOutputTarget();
    ~UOutputTarget() override;
    UOutputTarget(const UOutputTarget&) = delete;
    UOutputTarget& operator=(const UOutputTarget&) = delete;

    void Lock() override;
    void Unlock() override;
    void Begin() override;
    void Write(const UString& text) override;
    void End() override;

    // Installs a handler (nullptr removes it) and returns the one it replaces.
    IOutputTarget* SetHandler(IOutputTarget* handler);

private:
    IOutputTarget* CurrentHandler();

    CRITICAL_SECTION m_lock;
    IOutputTarget* m_handler = nullptr;
};

constexpr int kOutputTargetCount = 8;

// The process-wide target with that number; any number outside 0..7 gives target 0.
UOutputTarget& GetOutputTarget(int index);

}  // namespace brix
