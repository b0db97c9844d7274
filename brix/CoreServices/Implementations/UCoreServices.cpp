#include "CoreServices/Implementations/UCoreServices.h"

#include <cstdlib>

namespace brix {

template class UCoreServices<UMemoryAllocator_ANSI, UMemoryPool, UFileSystem_ANSI>;
template class UCoreServices<platform_windows::UMemoryAllocator_Windows, UMemoryPool,
                             platform_windows::UFileSystem_Windows>;

namespace {

// The bootstrap object lives in static storage and is built on first use, so the
// allocation operators can reach a pool before any static constructor has run. Its
// construction allocates nothing.
alignas(UCoreServices_ANSI) unsigned char g_bootstrapStorage[sizeof(UCoreServices_ANSI)];
UCoreServices_ANSI* g_bootstrap = nullptr;
bool g_bootstrapDestroyed = false;

void DestroyBootstrap() {
    if (!g_bootstrap) return;
    g_bootstrap->~UCoreServices_ANSI();
    g_bootstrap = nullptr;
    g_bootstrapDestroyed = true;
}

}  // namespace

ICoreServices* GetBootstrapCoreServices() {
    if (!g_bootstrap) {
        g_bootstrap = new (g_bootstrapStorage) UCoreServices_ANSI();
        g_bootstrapDestroyed = false;
        atexit(DestroyBootstrap);
    }
    return g_bootstrap;
}

bool IsBootstrapCoreServicesAlive() { return !g_bootstrapDestroyed; }

CoreServicesAccessor GetCoreServices = GetBootstrapCoreServices;

CoreServicesAccessor ExchangeCoreServicesAccessor(CoreServicesAccessor accessor) {
    CoreServicesAccessor previous = GetCoreServices;
    GetCoreServices = accessor;
    return previous;
}

ICoreServices* CreateCoreServices_Default(int32_t configuration) {
    BRIX_GUARD_BEGIN
    void* block = GetCoreServices()->GetMemoryPool()->Allocate(sizeof(UCoreServices_Windows), "global operator new");
    if (!block) return nullptr;
    UCoreServices_Windows* services = new (block) UCoreServices_Windows();
    if (!services->Init(configuration)) {
        DestroyCoreServices(services);
        return nullptr;
    }
    return services;
    BRIX_GUARD_END
}

void DestroyCoreServices(ICoreServices* services) {
    if (!services) return;
    services->~ICoreServices();
    GetCoreServices()->GetMemoryPool()->Free(services, "global operator delete");
}

}  // namespace brix
