// The replaced global allocation operators: every new and delete goes through the
// memory pool of the current core services, tagged with the operator's location text.
//
// Visibility: in a program that links brix, these definitions replace the C++ runtime's
// for the whole process, because the runtime's out-of-line code (strings, streams)
// releases blocks that inline code allocated, and both must meet the same pool. In a
// loadable plug-in module the opposite holds: the host's own allocations must stay
// untouched, so a module links brix through `brix_module`, which hides every symbol of
// the static library inside the shared object (the operators cannot carry a hidden
// attribute themselves: the standard header has already declared them visible). They
// then bind only inside the module, and nothing may be allocated on one side of the
// module boundary and released on the other.

#include <cstddef>
#include <cstdint>
#include <new>

#include "CoreServices/Implementations/UCoreServices.h"

namespace {

// The pool of the current core services, or nullptr at the very end of the process
// once the bootstrap object is gone; blocks are then taken from the heap directly, in
// the same block format.
brix::UMemoryPool* CurrentPool() {
    if (brix::GetCoreServices == brix::GetBootstrapCoreServices && !brix::IsBootstrapCoreServicesAlive())
        return nullptr;
    return brix::GetCoreServices()->GetMemoryPool();
}

void* Allocate(size_t size, const char* location) {
    if (size > UINT32_MAX) return nullptr;
    brix::UMemoryPool* pool = CurrentPool();
    return pool ? pool->Allocate(uint32_t(size), location) : brix::UMemoryPool::HeapAllocate(uint32_t(size));
}

void Release(void* block, const char* location) {
    brix::UMemoryPool* pool = CurrentPool();
    if (pool)
        pool->Free(block, location);
    else
        brix::UMemoryPool::HeapRelease(block);
}

// The throwing forms must not hand back nullptr: the compiler constructs into their
// result unchecked and the C++ runtime's containers write through it. A failed request
// (including a zero-size one, which the pool answers with nothing) raises bad_alloc for
// them; the nothrow forms return nullptr as the pool does.
void* AllocateOrThrow(size_t size, const char* location) {
    void* block = Allocate(size == 0 ? 1 : size, location);
    if (!block) throw std::bad_alloc();
    return block;
}

}  // namespace

void* operator new(size_t size) { return AllocateOrThrow(size, "global operator new"); }
void* operator new[](size_t size) { return AllocateOrThrow(size, "global operator new[]"); }
void* operator new(size_t size, const std::nothrow_t&) noexcept { return Allocate(size, "global operator new"); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return Allocate(size, "global operator new[]"); }

void operator delete(void* block) noexcept { Release(block, "global operator delete"); }
void operator delete[](void* block) noexcept { Release(block, "global operator delete[]"); }
void operator delete(void* block, size_t) noexcept { Release(block, "global operator delete"); }
void operator delete[](void* block, size_t) noexcept { Release(block, "global operator delete[]"); }
void operator delete(void* block, const std::nothrow_t&) noexcept { Release(block, "global operator delete"); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { Release(block, "global operator delete[]"); }
