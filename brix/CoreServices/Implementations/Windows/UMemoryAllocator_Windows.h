#pragma once

#include "CoreServices/Interfaces/IMemoryAllocator.h"

namespace brix::platform_windows {

// Blocks of committed read-write virtual memory.
class UMemoryAllocator_Windows : public IMemoryAllocator {
public:
    void* Allocate(uint32_t size, const char* location) override;
    void Free(void* block, const char* location) override;
};

}  // namespace brix::platform_windows
