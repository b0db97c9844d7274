#pragma once

#include <cstdint>

namespace brix {

// A source of raw memory blocks. Failures are reported on channel 7.
class IMemoryAllocator {
public:
    virtual ~IMemoryAllocator() = default;
    virtual void* Allocate(uint32_t size, const char* location) = 0;
    virtual void Free(void* block, const char* location) = 0;
};

}  // namespace brix
