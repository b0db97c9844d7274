#pragma once
// brix::UCoreServices: the one implementation of the core services, a template over
// its allocator, pool and file system. Two instantiations exist: the bootstrap object
// on the standard library, and the plug-in's object on the Windows kernel.

#include <new>

#include "Core/ErrorDescription.h"
#include "CoreServices/Implementations/ANSI/UFileSystem_ANSI.h"
#include "CoreServices/Implementations/ANSI/UMemoryAllocator_ANSI.h"
#include "CoreServices/Implementations/UMemoryPool.h"
#include "CoreServices/Implementations/Windows/UFileSystem_Windows.h"
#include "CoreServices/Implementations/Windows/UMemoryAllocator_Windows.h"
#include "CoreServices/Interfaces/ICoreServices.h"

namespace brix {

template <typename Allocator, typename Pool, typename FileSystem>
class UCoreServices : public ICoreServices {
public:
    UCoreServices()
        : m_channel0(UOutputChannel::Kind::Silent),
          m_channel2(UOutputChannel::Kind::Indented, "DEBUG:   "),
          m_channel7(UOutputChannel::Kind::Indented, "WARNING: "),
          m_channels{&m_channel0, &m_channel1, &m_channel2, &m_channel3,
                     &m_channel4, &m_channel5, &m_channel6, &m_channel7} {}

    UMemoryPool* CreateMemoryPool(int32_t configuration) override {
        BRIX_GUARD_BEGIN
        void* block = GetCoreServices()->GetMemoryPool()->Allocate(sizeof(Pool), "global operator new");
        if (!block) return nullptr;
        Pool* pool = new (block) Pool();
        if (!pool->Init(configuration)) {
            pool->~Pool();
            GetCoreServices()->GetMemoryPool()->Free(block, "global operator delete");
            return nullptr;
        }
        return pool;
        BRIX_GUARD_END
    }

    IMemoryAllocator* GetAllocator() override { return &m_allocator; }
    UMemoryPool* GetMemoryPool() override { return &m_pool; }
    IFileSystem* GetFileSystem() override { return &m_fileSystem; }

    UOutputChannel* GetChannel(int index) override {
        return m_channels[(index >= 0 && index < kChannelCount) ? index : 0];
    }

    IOutputTarget* GetChannelTarget(int index) override {
        UOutputTarget& target = GetOutputTarget(index);
        target.Lock();
        target.Unlock();
        return &target;
    }

    IOutputTarget* SetChannelHandler(int index, IOutputTarget* handler) override {
        if (index < 0 || index >= kOutputTargetCount) return nullptr;
        return GetOutputTarget(index).SetHandler(handler);
    }

    // Initialises the pool and connects each channel to its targets.
    bool Init(int32_t configuration) override {
        BRIX_GUARD_BEGIN
        m_pool.Init(configuration);
        static constexpr int kTargets[kChannelCount][4] = {{-1},          {1, -1},    {1, 2, -1},    {3, 1, -1},
                                                           {1, 3, 4, -1}, {5, 1, -1}, {1, 3, 6, -1}, {1, 7, 4, -1}};
        for (int channel = 1; channel < kChannelCount; ++channel)
            for (int i = 0; i < 4 && kTargets[channel][i] >= 0; ++i)
                m_channels[channel]->AddTarget(GetChannelTarget(kTargets[channel][i]));
        return true;
        BRIX_GUARD_END
    }

private:
    Allocator m_allocator;
    Pool m_pool;
    FileSystem m_fileSystem;
    UOutputChannel m_channel0;
    UOutputChannel m_channel1;
    UOutputChannel m_channel2;
    UOutputChannel m_channel3;
    UOutputChannel m_channel4;
    UOutputChannel m_channel5;
    UOutputChannel m_channel6;
    UOutputChannel m_channel7;
    UOutputChannel* m_channels[kChannelCount];
};

using UCoreServices_ANSI = UCoreServices<UMemoryAllocator_ANSI, UMemoryPool, UFileSystem_ANSI>;
using UCoreServices_Windows =
    UCoreServices<platform_windows::UMemoryAllocator_Windows, UMemoryPool, platform_windows::UFileSystem_Windows>;

extern template class UCoreServices<UMemoryAllocator_ANSI, UMemoryPool, UFileSystem_ANSI>;
extern template class UCoreServices<platform_windows::UMemoryAllocator_Windows, UMemoryPool,
                                    platform_windows::UFileSystem_Windows>;

// True while the bootstrap object exists (it is destroyed at process exit).
bool IsBootstrapCoreServicesAlive();

}  // namespace brix
