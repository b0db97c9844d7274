#pragma once
// The memory pool behind the global allocation operators: blocks from the standard
// library heap, with statistics of every allocation and release. Each block carries its
// requested size in a small header, so releases subtract exactly what was requested.
// Threads share the pool (the rig reader allocates on several): the statistics are kept
// under a lock.

#include <cstdint>
#include <mutex>

#include "Core/OutputChannel.h"

namespace brix {

struct UMemoryStatistics {
    int64_t bytesInUse = 0;
    int64_t currentAllocations = 0;
    uint64_t maximumAllocations = 0;
    uint64_t cumulatedAllocations = 0;
    uint64_t cumulatedOverhead = 0;
    uint64_t averageAllocationSize = 0;
    uint64_t minimumAllocationSize = 4294967295u;
    uint64_t maximumAllocationSize = 0;
    int64_t currentZeroSizeAllocations = 0;
    uint64_t maximumZeroSizeAllocations = 0;
};

class UMemoryPool {
public:
    UMemoryPool() = default;
    virtual ~UMemoryPool() = default;
    UMemoryPool(const UMemoryPool&) = delete;
    UMemoryPool& operator=(const UMemoryPool&) = delete;

    // Size 0 is counted as a zero-size allocation and yields nullptr.
    virtual void* Allocate(uint32_t size, const char* location);
    // nullptr is counted as the release of a zero-size allocation.
    virtual void Free(void* block, const char* location);
    // The configuration value is ignored.
    virtual bool Init(int32_t configuration);
    virtual void Destroy();
    // Writes the statistics as one message on the channel.
    virtual void PrintStatistics(UOutputChannel& channel);

    // A copy taken under the lock.
    UMemoryStatistics GetStatistics() const {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_statistics;
    }

    // The heap blocks with their size header, usable without a pool object.
    static void* HeapAllocate(uint32_t size);
    static uint32_t HeapBlockSize(const void* block);
    static void HeapRelease(void* block);

private:
    mutable std::mutex m_lock;
    UMemoryStatistics m_statistics;
};

}  // namespace brix
