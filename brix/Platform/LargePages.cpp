#include "Platform/LargePages.h"

#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace brix::platform {

void AdviseLargePages(void* block, size_t size) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    if (!block || size < kLargePageBlockSize) return;
    constexpr uintptr_t kHugePage = uintptr_t(2) << 20;
    const uintptr_t begin = (reinterpret_cast<uintptr_t>(block) + kHugePage - 1) & ~(kHugePage - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(block) + size) & ~(kHugePage - 1);
    // Advice only: a refusal (no huge page support) leaves the block as it was.
    if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
    (void)block;
    (void)size;
#endif
}

}  // namespace brix::platform
