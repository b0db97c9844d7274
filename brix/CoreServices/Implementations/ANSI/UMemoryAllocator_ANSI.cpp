#include "CoreServices/Implementations/ANSI/UMemoryAllocator_ANSI.h"

#include <cstdlib>

#include "Core/UMessage.h"
#include "Platform/LargePages.h"

namespace brix {

void ReportAllocationFailure(uint32_t size, const char* location) {
    UMessage(Channel::Warning, "memory allocation of ") << size << " bytes from location \"" << location << "\" failed";
}

void* UMemoryAllocator_ANSI::Allocate(uint32_t size, const char* location) {
    void* block = malloc(size);
    if (!block) ReportAllocationFailure(size, location);
    platform::AdviseLargePages(block, size);
    return block;
}

void UMemoryAllocator_ANSI::Free(void* block, const char* /*location*/) { free(block); }

}  // namespace brix
