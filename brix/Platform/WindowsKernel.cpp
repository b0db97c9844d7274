#include "Platform/WindowsKernel.h"

#if !defined(_WIN32)
#include <sys/mman.h>

void InitializeCriticalSection(CRITICAL_SECTION* section) {
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(&section->mutex, &attributes);
    pthread_mutexattr_destroy(&attributes);
}

void DeleteCriticalSection(CRITICAL_SECTION* section) { pthread_mutex_destroy(&section->mutex); }
void EnterCriticalSection(CRITICAL_SECTION* section) { pthread_mutex_lock(&section->mutex); }
void LeaveCriticalSection(CRITICAL_SECTION* section) { pthread_mutex_unlock(&section->mutex); }

namespace {
// munmap needs the length that VirtualFree is not given, so each region starts with a
// header holding its mapped length; the caller gets the address just after it.
constexpr size_t kRegionHeader = 16;
}  // namespace

LPVOID VirtualAlloc(LPVOID address, SIZE_T size, DWORD allocationType, DWORD protect) {
    if (address != nullptr || size == 0 || !(allocationType & MEM_COMMIT) || protect != PAGE_READWRITE)
        return nullptr;
    if (size > SIZE_MAX - kRegionHeader) return nullptr;
    const size_t mapped = size + kRegionHeader;
    void* region = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (region == MAP_FAILED) return nullptr;
    *static_cast<size_t*>(region) = mapped;
    return static_cast<unsigned char*>(region) + kRegionHeader;
}

BOOL VirtualFree(LPVOID address, SIZE_T size, DWORD freeType) {
    if (address == nullptr || size != 0 || freeType != MEM_RELEASE) return FALSE;
    unsigned char* region = static_cast<unsigned char*>(address) - kRegionHeader;
    return munmap(region, *reinterpret_cast<size_t*>(region)) == 0 ? TRUE : FALSE;
}
#endif
