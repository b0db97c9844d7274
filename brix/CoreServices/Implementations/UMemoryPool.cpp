#include "CoreServices/Implementations/UMemoryPool.h"

#include <cstdlib>

#include "Core/UMessage.h"
#include "Platform/LargePages.h"

namespace brix {

namespace {
// Keeps the caller's block 16-byte aligned, as the heap's own blocks are.
constexpr size_t kHeader = 16;
constexpr double kMegabyte = 1048576.0;
}  // namespace

void* UMemoryPool::HeapAllocate(uint32_t size) {
    unsigned char* raw = static_cast<unsigned char*>(malloc(size_t(size) + kHeader));
    if (!raw) return nullptr;
    platform::AdviseLargePages(raw, size_t(size) + kHeader);
    *reinterpret_cast<uint32_t*>(raw) = size;
    return raw + kHeader;
}

uint32_t UMemoryPool::HeapBlockSize(const void* block) {
    return *reinterpret_cast<const uint32_t*>(static_cast<const unsigned char*>(block) - kHeader);
}

void UMemoryPool::HeapRelease(void* block) {
    if (block) free(static_cast<unsigned char*>(block) - kHeader);
}

void* UMemoryPool::Allocate(uint32_t size, const char* /*location*/) {
    std::unique_lock<std::mutex> lock(m_lock);
    UMemoryStatistics& s = m_statistics;
    if (size == 0) {
        ++s.currentZeroSizeAllocations;
        if (uint64_t(s.currentZeroSizeAllocations) > s.maximumZeroSizeAllocations && s.currentZeroSizeAllocations > 0)
            s.maximumZeroSizeAllocations = uint64_t(s.currentZeroSizeAllocations);
        return nullptr;
    }
    ++s.currentAllocations;
    if (s.currentAllocations > 0 && uint64_t(s.currentAllocations) > s.maximumAllocations)
        s.maximumAllocations = uint64_t(s.currentAllocations);
    ++s.cumulatedAllocations;
    if (size < s.minimumAllocationSize) s.minimumAllocationSize = size;
    if (size > s.maximumAllocationSize) s.maximumAllocationSize = size;
    s.bytesInUse += size;
    lock.unlock();
    return HeapAllocate(size);
}

void UMemoryPool::Free(void* block, const char* /*location*/) {
    std::unique_lock<std::mutex> lock(m_lock);
    if (!block) {
        --m_statistics.currentZeroSizeAllocations;
        return;
    }
    --m_statistics.currentAllocations;
    m_statistics.bytesInUse -= HeapBlockSize(block);
    lock.unlock();
    HeapRelease(block);
}

bool UMemoryPool::Init(int32_t /*configuration*/) { return true; }

void UMemoryPool::Destroy() {}

void UMemoryPool::PrintStatistics(UOutputChannel& channel) {
    const UMemoryStatistics s = GetStatistics();
    UMessage message(channel, "memory allocator statistics:");
    message << "\r\n";
    message << "    memory currently used: " << s.bytesInUse << " bytes (" << double(s.bytesInUse) / kMegabyte
            << "MB)\r\n";
    message << "    number of current allocations: " << s.currentAllocations << "\r\n";
    message << "    number of maximum allocations: " << s.maximumAllocations << "\r\n";
    message << "    number of cumulated allocations: " << s.cumulatedAllocations << "\r\n";
    message << "    cumulated allocation overhead: " << s.cumulatedOverhead << " bytes ("
            << double(s.cumulatedOverhead) / kMegabyte << "MB)\r\n";
    message << "    average allocation size: " << s.averageAllocationSize << " bytes ("
            << double(s.averageAllocationSize) / kMegabyte << "MB)\r\n";
    message << "    minimum allocation size: " << s.minimumAllocationSize << " bytes ("
            << double(s.minimumAllocationSize) / kMegabyte << "MB)\r\n";
    message << "    maximum allocation size: " << s.maximumAllocationSize << " bytes ("
            << double(s.maximumAllocationSize) / kMegabyte << "MB)\r\n";
    message << "    current number of zero-size allocations: " << s.currentZeroSizeAllocations << "\r\n";
    message << "    maximum number of zero-size allocations: " << s.maximumZeroSizeAllocations << "\r\n";
}

}  // namespace brix
