#pragma once
// The few Windows kernel calls that brix's _Windows classes are written against.
// On Windows this is the system header; elsewhere brix supplies the calls itself over
// POSIX (WindowsKernel.cpp), so the same classes compile and run unchanged.

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef NOGDI
#define NOGDI
#endif
#include <windows.h>
// The header renames calls to their A or W forms by macro, which would rename the scene
// kits' methods of the same names too (GDI's GetObject is left out above).
#undef GetFullPathName
#undef GetObject
#else

#include <pthread.h>
#include <cstddef>
#include <cstdint>

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

// ---- Files and directories ----
// A file handle wraps a POSIX file descriptor. The share mode is kept among handles made
// by CreateFileA with an advisory lock: a handle opened without sharing holds an
// exclusive lock, any other a shared one, so a file held open without sharing cannot be
// opened again, and a file held open at all cannot be moved or deleted. Directories
// never open as files. Opening never waits (a FIFO without a writer opens at once).
// Errors are reported through GetLastError with Windows codes.

typedef void* HANDLE;
typedef int32_t LONG;
typedef LONG* PLONG;
typedef DWORD* LPDWORD;
typedef BOOL* LPBOOL;
typedef const char* LPCSTR;
typedef char* LPSTR;
typedef const void* LPCVOID;
struct SECURITY_ATTRIBUTES;
typedef SECURITY_ATTRIBUTES* LPSECURITY_ATTRIBUTES;
struct OVERLAPPED;
typedef OVERLAPPED* LPOVERLAPPED;
union LARGE_INTEGER {
    struct {
        DWORD LowPart;
        LONG HighPart;
    } u;
    int64_t QuadPart;
};

#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)
#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_SHARE_READ 0x00000001u
#define FILE_SHARE_WRITE 0x00000002u
#define FILE_SHARE_DELETE 0x00000004u
#define CREATE_NEW 1u
#define CREATE_ALWAYS 2u
#define OPEN_EXISTING 3u
#define OPEN_ALWAYS 4u
#define TRUNCATE_EXISTING 5u
#define FILE_ATTRIBUTE_NORMAL 0x00000080u
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010u
#define INVALID_FILE_ATTRIBUTES ((DWORD)-1)
#define FILE_TYPE_UNKNOWN 0x0000u
#define FILE_TYPE_DISK 0x0001u
#define FILE_TYPE_CHAR 0x0002u
#define FILE_TYPE_PIPE 0x0003u
#define FILE_BEGIN 0u
#define FILE_CURRENT 1u
#define FILE_END 2u
#define INVALID_SET_FILE_POINTER ((DWORD)-1)
#define INVALID_FILE_SIZE ((DWORD)0xFFFFFFFF)
#define COPY_FILE_FAIL_IF_EXISTS 0x00000001u
#define PROGRESS_CONTINUE 0u
#define PROGRESS_CANCEL 1u
#define PROGRESS_STOP 2u
#define PROGRESS_QUIET 3u
#define CALLBACK_CHUNK_FINISHED 0x00000000u
#define CALLBACK_STREAM_SWITCH 0x00000001u
#define MOVEFILE_REPLACE_EXISTING 0x00000001u
#define MOVEFILE_COPY_ALLOWED 0x00000002u
#define MOVEFILE_WRITE_THROUGH 0x00000008u

#define NO_ERROR 0u
#define ERROR_FILE_NOT_FOUND 2u
#define ERROR_PATH_NOT_FOUND 3u
#define ERROR_ACCESS_DENIED 5u
#define ERROR_INVALID_HANDLE 6u
#define ERROR_NOT_SAME_DEVICE 17u
#define ERROR_GEN_FAILURE 31u
#define ERROR_SHARING_VIOLATION 32u
#define ERROR_FILE_EXISTS 80u
#define ERROR_INVALID_PARAMETER 87u
#define ERROR_DISK_FULL 112u
#define ERROR_NEGATIVE_SEEK 131u
#define ERROR_DIR_NOT_EMPTY 145u
#define ERROR_ALREADY_EXISTS 183u
#define ERROR_FILENAME_EXCED_RANGE 206u
#define ERROR_FILE_TOO_LARGE 223u
#define ERROR_IO_DEVICE 1117u
#define ERROR_REQUEST_ABORTED 1235u
#define ERROR_DISK_QUOTA_EXCEEDED 1295u
#define ERROR_TOO_MANY_OPEN_FILES 4u

#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200u
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000u

// The calling convention of callbacks the system calls; the default one here.
#define WINAPI

typedef DWORD(WINAPI* LPPROGRESS_ROUTINE)(LARGE_INTEGER totalFileSize, LARGE_INTEGER totalBytesTransferred,
                                          LARGE_INTEGER streamSize, LARGE_INTEGER streamBytesTransferred,
                                          DWORD streamNumber, DWORD callbackReason, HANDLE sourceFile,
                                          HANDLE destinationFile, LPVOID data);

DWORD GetLastError();
void SetLastError(DWORD error);
// The system's text for an error code (FORMAT_MESSAGE_FROM_SYSTEM, no inserts, into the
// caller's buffer), ending in CR LF as on Windows; the length written, or 0 for a code
// it has no text for.
DWORD FormatMessageA(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId, LPSTR buffer, DWORD size,
                     void* arguments);

HANDLE CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode, LPSECURITY_ATTRIBUTES security,
                   DWORD creationDisposition, DWORD flagsAndAttributes, HANDLE templateFile);
BOOL CloseHandle(HANDLE handle);
// Reads up to toRead bytes; TRUE with *read 0 at the end of the file.
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED overlapped);
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written, LPOVERLAPPED overlapped);
// Moves by distance (sign-extended, or the low half of a 64-bit distance when
// distanceHigh is given) from FILE_BEGIN, FILE_CURRENT or FILE_END. Returns the low 32
// bits of the new position (the high half through distanceHigh), or
// INVALID_SET_FILE_POINTER with the last error set.
DWORD SetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD moveMethod);
// The low 32 bits of the size (the high half through high when given).
DWORD GetFileSize(HANDLE file, LPDWORD high);
BOOL FlushFileBuffers(HANDLE file);
// FILE_TYPE_DISK for a regular file, FILE_TYPE_CHAR for a character device,
// FILE_TYPE_PIPE for a FIFO or a socket, FILE_TYPE_UNKNOWN otherwise.
DWORD GetFileType(HANDLE file);
// FILE_ATTRIBUTE_DIRECTORY for a directory, FILE_ATTRIBUTE_NORMAL for anything else that
// exists; INVALID_FILE_ATTRIBUTES with the last error set when nothing is there.
DWORD GetFileAttributesA(LPCSTR fileName);
BOOL CopyFileA(LPCSTR existingFileName, LPCSTR newFileName, BOOL failIfExists);
// Copies in chunks, calling progress (when given) once before the first chunk and after
// each; PROGRESS_CANCEL or PROGRESS_STOP, or *cancel set, abandons the copy and removes
// the destination.
BOOL CopyFileExA(LPCSTR existingFileName, LPCSTR newFileName, LPPROGRESS_ROUTINE progress, LPVOID data, LPBOOL cancel,
                 DWORD copyFlags);
// Renames; fails on an existing destination without MOVEFILE_REPLACE_EXISTING, and across
// file systems without MOVEFILE_COPY_ALLOWED (ERROR_NOT_SAME_DEVICE).
BOOL MoveFileExA(LPCSTR existingFileName, LPCSTR newFileName, DWORD flags);
BOOL DeleteFileA(LPCSTR fileName);
BOOL CreateDirectoryA(LPCSTR pathName, LPSECURITY_ATTRIBUTES security);
BOOL RemoveDirectoryA(LPCSTR pathName);
BOOL SetCurrentDirectoryA(LPCSTR pathName);
// Writes the current directory and returns its length without the NUL; when the
// buffer is too small, returns the size needed including the NUL; 0 on failure.
DWORD GetCurrentDirectoryA(DWORD bufferLength, LPSTR buffer);

#endif

#include <cstdint>

// Not a Windows call but brix's own, beside them because it works on the same handles:
// asks the system to start writing a range of a file's bytes to the disk without
// waiting for it, so that the flush that ends a long write finds most of them written.
// Advice only: where the system has no such call, and on any failure, nothing happens.
#if defined(_WIN32)
inline void StartWriteBack(HANDLE, uint64_t, uint64_t) {}
#else
void StartWriteBack(HANDLE file, uint64_t offset, uint64_t length);
#endif
