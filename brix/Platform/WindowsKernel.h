#pragma once
// The few Windows kernel calls that brix's _Windows classes are written against.
// On Windows this is the system header; elsewhere brix supplies the calls itself over
// POSIX (WindowsKernel.cpp), so the same classes compile and run unchanged.

#if defined(_WIN32)
#include <windows.h>
#else

#include <cstddef>
#include <cstdint>
#include <pthread.h>

typedef int BOOL;
typedef uint32_t DWORD;
typedef size_t SIZE_T;
typedef void* LPVOID;

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

#define MEM_COMMIT 0x00001000u
#define MEM_RESERVE 0x00002000u
#define MEM_RELEASE 0x00008000u
#define PAGE_READWRITE 0x04u

// A critical section is a recursive lock, as on Windows.
struct CRITICAL_SECTION {
    pthread_mutex_t mutex;
};

void InitializeCriticalSection(CRITICAL_SECTION* section);
void DeleteCriticalSection(CRITICAL_SECTION* section);
void EnterCriticalSection(CRITICAL_SECTION* section);
void LeaveCriticalSection(CRITICAL_SECTION* section);

// Reserves and commits read-write pages; returns nullptr on failure.
LPVOID VirtualAlloc(LPVOID address, SIZE_T size, DWORD allocationType, DWORD protect);
// Releases a whole region returned by VirtualAlloc (size must be 0 with MEM_RELEASE).
BOOL VirtualFree(LPVOID address, SIZE_T size, DWORD freeType);

#endif
