#pragma once
// Large blocks on large pages: a block of several megabytes touched page by page costs a
// page fault every 4 KB, which on virtual machines is much of the time spent filling it.
// Asking the kernel for transparent huge pages over the block's 2 MB-aligned interior
// cuts those faults by a factor of 512. Where the system has no such pages the advice is
// ignored and nothing changes.

#include <cstddef>

namespace brix::platform {

// Blocks at least this large are advised.
constexpr size_t kLargePageBlockSize = size_t(4) << 20;

void AdviseLargePages(void* block, size_t size);

}  // namespace brix::platform
