#pragma once
// The process-wide services object: memory pool and allocator, file system and the
// eight output channels, reached through the replaceable accessor GetCoreServices.

#include <cstdint>

#include "Core/OutputChannel.h"
#include "CoreServices/Interfaces/IFileSystem.h"
#include "CoreServices/Interfaces/IMemoryAllocator.h"

namespace brix {

class UMemoryPool;

constexpr int kChannelCount = 8;

class ICoreServices {
public:
    virtual ~ICoreServices() noexcept(false) = default;
    // A new, separate pool, or nullptr.
    virtual UMemoryPool* CreateMemoryPool(int32_t configuration) = 0;
    virtual IMemoryAllocator* GetAllocator() = 0;
    virtual UMemoryPool* GetMemoryPool() = 0;
    virtual IFileSystem* GetFileSystem() = 0;
    // The channel with that number; any number outside 0..7 gives channel 0.
    virtual UOutputChannel* GetChannel(int index) = 0;
    // The process-wide output target with that number (target 0 outside 0..7).
    virtual IOutputTarget* GetChannelTarget(int index) = 0;
    // Installs a handler on a target and returns the previous one; ignored outside 0..7.
    virtual IOutputTarget* SetChannelHandler(int index, IOutputTarget* handler) = 0;
    virtual bool Init(int32_t configuration) = 0;
};

using CoreServicesAccessor = ICoreServices* (*)();

// The accessor of the current core services; never returns nullptr. It starts at the
// bootstrap object, built on first use over the standard library.
extern CoreServicesAccessor GetCoreServices;

// Installs a new accessor and returns the previous one.
CoreServicesAccessor ExchangeCoreServicesAccessor(CoreServicesAccessor accessor);

// The initial accessor: returns the bootstrap object, building it on the first call.
ICoreServices* GetBootstrapCoreServices();

// Creates the plug-in's core services on the Windows kernel in a block of the current
// pool and initialises them; nullptr when either fails.
ICoreServices* CreateCoreServices_Default(int32_t configuration);

// Destroys core services made by CreateCoreServices_Default, returning the block through
// the accessor current now.
void DestroyCoreServices(ICoreServices* services);

}  // namespace brix
