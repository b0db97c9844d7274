#pragma once

#include "CoreServices/Interfaces/IMemoryAllocator.h"

namespace brix {

// Blocks from the standard library heap.
class UMemoryAllocator_ANSI : public IMemoryAllocator {
public:
    void* Allocate(uint32_t size, const char* location) override;
    void Free(void* block, const char* location) override;
};

// Writes "memory allocation of N bytes from location "L" failed" on channel 7.
void ReportAllocationFailure(uint32_t size, const char* location);

}  // namespace brix
