#include "CoreServices/Implementations/Windows/UMemoryAllocator_Windows.h"

#include "Core/UMessage.h"
#include "CoreServices/Implementations/ANSI/UMemoryAllocator_ANSI.h"
#include "Platform/WindowsKernel.h"

namespace brix::platform_windows {

void* UMemoryAllocator_Windows::Allocate(uint32_t size, const char* location) {
    void* block = VirtualAlloc(nullptr, size, MEM_COMMIT, PAGE_READWRITE);
    if (!block) ReportAllocationFailure(size, location);
    return block;
}

void UMemoryAllocator_Windows::Free(void* block, const char* location) {
    if (!VirtualFree(block, 0, MEM_RELEASE))
        UMessage(Channel::Warning, "memory release from location \"") << location << "\" failed";
}

}  // namespace brix::platform_windows
