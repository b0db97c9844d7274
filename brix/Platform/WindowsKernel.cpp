#include "Platform/WindowsKernel.h"

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <thread>

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
    if (address != nullptr || size == 0 || !(allocationType & MEM_COMMIT) || protect != PAGE_READWRITE) return nullptr;
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

// ---- Files and directories ----

namespace {

// Static TLS, not dynamic: this code also lives in the plug-in module, which the host
// loads with dlopen, and a dynamic TLS block of a loaded module is what the leak checker
// of the sanitizer builds misreads (it crashes scanning it at exit). Four bytes fit in
// the room the loader keeps for such modules.
__attribute__((tls_model("initial-exec"))) thread_local DWORD g_lastError = NO_ERROR;

DWORD ErrorFromErrno(int error) {
    switch (error) {
    case 0: return NO_ERROR;
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS: return ERROR_ACCESS_DENIED;
    case EBADF: return ERROR_INVALID_HANDLE;
    case EXDEV: return ERROR_NOT_SAME_DEVICE;
    case EEXIST: return ERROR_FILE_EXISTS;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    case ENOSPC: return ERROR_DISK_FULL;
    case ENOTEMPTY: return ERROR_DIR_NOT_EMPTY;
    case EFBIG: return ERROR_FILE_TOO_LARGE;
    case EDQUOT: return ERROR_DISK_QUOTA_EXCEEDED;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case EMFILE:
    case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    case EIO: return ERROR_IO_DEVICE;
    default: return ERROR_GEN_FAILURE;
    }
}

BOOL Fail(DWORD error) {
    g_lastError = error;
    return FALSE;
}
BOOL FailFromErrno() { return Fail(ErrorFromErrno(errno)); }

// Handles carry the descriptor plus one, so that no valid handle is null or
// INVALID_HANDLE_VALUE.
HANDLE HandleFromDescriptor(int fd) { return reinterpret_cast<HANDLE>(intptr_t(fd) + 1); }
int DescriptorOf(HANDLE handle) {
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return -1;
    return int(reinterpret_cast<intptr_t>(handle) - 1);
}

// True when some handle holds the file open (it cannot be moved or deleted then).
bool IsHeldOpen(const char* path) {
    const int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    const bool held = flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    close(fd);
    return held;
}

bool Exists(const char* path) {
    struct stat status;
    return lstat(path, &status) == 0;
}

}  // namespace

DWORD GetLastError() { return g_lastError; }
void SetLastError(DWORD error) { g_lastError = error; }

DWORD FormatMessageA(DWORD flags, LPCVOID, DWORD messageId, DWORD, LPSTR buffer, DWORD size, void*) {
    static const struct {
        DWORD code;
        const char* text;
    } kTexts[] = {
        {ERROR_FILE_NOT_FOUND, "The system cannot find the file specified."},
        {ERROR_PATH_NOT_FOUND, "The system cannot find the path specified."},
        {ERROR_TOO_MANY_OPEN_FILES, "The system cannot open the file."},
        {ERROR_ACCESS_DENIED, "Access is denied."},
        {ERROR_INVALID_HANDLE, "The handle is invalid."},
        {ERROR_NOT_SAME_DEVICE, "The system cannot move the file to a different disk drive."},
        {ERROR_GEN_FAILURE, "A device attached to the system is not functioning."},
        {ERROR_SHARING_VIOLATION, "The process cannot access the file because it is being used by another process."},
        {ERROR_FILE_EXISTS, "The file exists."},
        {ERROR_INVALID_PARAMETER, "The parameter is incorrect."},
        {ERROR_DISK_FULL, "There is not enough space on the disk."},
        {ERROR_NEGATIVE_SEEK, "An attempt was made to move the file pointer before the beginning of the file."},
        {ERROR_DIR_NOT_EMPTY, "The directory is not empty."},
        {ERROR_ALREADY_EXISTS, "Cannot create a file when that file already exists."},
        {ERROR_FILENAME_EXCED_RANGE, "The filename or extension is too long."},
        {ERROR_FILE_TOO_LARGE, "The file size exceeds the limit allowed and cannot be saved."},
        {ERROR_IO_DEVICE, "The request could not be performed because of an I/O device error."},
        {ERROR_REQUEST_ABORTED, "The request was aborted."},
        {ERROR_DISK_QUOTA_EXCEEDED, "Disk quota exceeded."},
    };
    if (!(flags & FORMAT_MESSAGE_FROM_SYSTEM) || !buffer || size == 0) return Fail(ERROR_INVALID_PARAMETER);
    for (const auto& entry : kTexts) {
        if (entry.code != messageId) continue;
        const int length = snprintf(buffer, size, "%s\r\n", entry.text);
        if (length < 0 || DWORD(length) >= size) return Fail(ERROR_INVALID_PARAMETER);
        return DWORD(length);
    }
    return Fail(ERROR_INVALID_PARAMETER);
}

HANDLE CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode, LPSECURITY_ATTRIBUTES, DWORD creation, DWORD,
                   HANDLE) {
    if (!fileName) {
        Fail(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    int flags = O_CLOEXEC;
    const bool reading = desiredAccess & GENERIC_READ, writing = desiredAccess & GENERIC_WRITE;
    flags |= reading && writing ? O_RDWR : writing ? O_WRONLY : O_RDONLY;
    switch (creation) {
    case CREATE_NEW: flags |= O_CREAT | O_EXCL; break;
    case CREATE_ALWAYS:
    case OPEN_ALWAYS: flags |= O_CREAT; break;
    case OPEN_EXISTING:
    case TRUNCATE_EXISTING: break;
    default: Fail(ERROR_INVALID_PARAMETER); return INVALID_HANDLE_VALUE;
    }
    const bool existed = Exists(fileName);
    // Without O_NONBLOCK, opening a FIFO would wait for its other end; the flag is taken
    // off again below, so reads and writes block as usual.
    const int fd = open(fileName, flags | O_NONBLOCK, 0666);
    if (fd < 0) {
        // A file that may be created is missing only when its folder is.
        if (errno == ENOENT && (flags & O_CREAT))
            Fail(ERROR_PATH_NOT_FOUND);
        else
            FailFromErrno();
        return INVALID_HANDLE_VALUE;
    }
    struct stat status;
    if (fstat(fd, &status) != 0 || S_ISDIR(status.st_mode)) {
        close(fd);
        Fail(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    const int statusFlags = fcntl(fd, F_GETFL);
    if (statusFlags == -1 || fcntl(fd, F_SETFL, statusFlags & ~O_NONBLOCK) != 0) {
        FailFromErrno();
        close(fd);
        return INVALID_HANDLE_VALUE;
    }
    if (flock(fd, (shareMode == 0 ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
        close(fd);
        Fail(ERROR_SHARING_VIOLATION);
        return INVALID_HANDLE_VALUE;
    }
    // Truncate only once the lock is held, so a file in use is left alone.
    if ((creation == CREATE_ALWAYS || creation == TRUNCATE_EXISTING) && ftruncate(fd, 0) != 0) {
        FailFromErrno();
        close(fd);
        return INVALID_HANDLE_VALUE;
    }
    g_lastError = existed && (creation == CREATE_ALWAYS || creation == OPEN_ALWAYS) ? ERROR_ALREADY_EXISTS : NO_ERROR;
    return HandleFromDescriptor(fd);
}

BOOL CloseHandle(HANDLE handle) {
    const int fd = DescriptorOf(handle);
    if (fd < 0) return Fail(ERROR_INVALID_HANDLE);
    return close(fd) == 0 ? TRUE : FailFromErrno();
}

namespace {

// Reads up to size bytes at offset, stopping early only at the end of the file; -1 with
// errno on an error.
ssize_t ReadAt(int fd, char* buffer, size_t size, off_t offset) {
    size_t done = 0;
    while (done < size) {
        const ssize_t n = pread(fd, buffer + done, size - done, offset + off_t(done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return -1;
        if (n == 0) break;
        done += size_t(n);
    }
    return ssize_t(done);
}

// From this size on, a read of a plain file is split in two halves read side by side:
// most of its time is the kernel giving the buffer fresh pages and copying into them, and
// two threads do that on two cores.
constexpr DWORD kSplitReadBytes = DWORD(32) << 20;

// The split read; false when it could not be started (the caller then reads plainly).
bool ReadInHalves(int fd, char* buffer, DWORD toRead, DWORD& done, int& error) {
    struct stat info;
    const off_t start = lseek(fd, 0, SEEK_CUR);
    if (start < 0 || fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return false;
    const size_t half = toRead / 2;
    ssize_t second = 0;
    int secondError = 0;
    std::thread other;
    try {
        other = std::thread([&] {
            second = ReadAt(fd, buffer + half, toRead - half, start + off_t(half));
            secondError = errno;
        });
    } catch (...) {
        return false;
    }
    const ssize_t first = ReadAt(fd, buffer, half, start);
    const int firstError = errno;
    other.join();
    error = first < 0 ? firstError : second < 0 ? secondError : 0;
    // A short first half means the file ended there: what the second half found, if the
    // file grew meanwhile, does not follow it.
    done = first < 0 ? 0 : size_t(first) < half ? DWORD(first) : DWORD(half + size_t(second < 0 ? 0 : second));
    lseek(fd, start + off_t(done), SEEK_SET);
    return true;
}

}  // namespace

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED) {
    if (read) *read = 0;
    const int fd = DescriptorOf(file);
    if (fd < 0) return Fail(ERROR_INVALID_HANDLE);
    DWORD done = 0;
    int error = 0;
    if (toRead >= kSplitReadBytes && ReadInHalves(fd, static_cast<char*>(buffer), toRead, done, error)) {
        if (read) *read = done;
        if (error) {
            errno = error;
            return FailFromErrno();
        }
        return TRUE;
    }
    while (done < toRead) {
        const ssize_t n = ::read(fd, static_cast<char*>(buffer) + done, toRead - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (read) *read = done;
            return FailFromErrno();
        }
        if (n == 0) break;
        done += DWORD(n);
    }
    if (read) *read = done;
    return TRUE;
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written, LPOVERLAPPED) {
    if (written) *written = 0;
    const int fd = DescriptorOf(file);
    if (fd < 0) return Fail(ERROR_INVALID_HANDLE);
    DWORD done = 0;
    while (done < toWrite) {
        const ssize_t n = write(fd, static_cast<const char*>(buffer) + done, toWrite - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (written) *written = done;
            return FailFromErrno();
        }
        done += DWORD(n);
    }
    if (written) *written = done;
    return TRUE;
}

DWORD SetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD moveMethod) {
    const int fd = DescriptorOf(file);
    if (fd < 0) {
        Fail(ERROR_INVALID_HANDLE);
        return INVALID_SET_FILE_POINTER;
    }
    const int64_t offset =
        distanceHigh ? int64_t((uint64_t(uint32_t(*distanceHigh)) << 32) | uint32_t(distance)) : int64_t(distance);
    const int whence = moveMethod == FILE_BEGIN     ? SEEK_SET
                       : moveMethod == FILE_CURRENT ? SEEK_CUR
                       : moveMethod == FILE_END     ? SEEK_END
                                                    : -1;
    if (whence < 0) {
        Fail(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    const off_t position = lseek(fd, off_t(offset), whence);
    if (position < 0) {
        Fail(errno == EINVAL ? ERROR_NEGATIVE_SEEK : ErrorFromErrno(errno));
        return INVALID_SET_FILE_POINTER;
    }
    if (distanceHigh) *distanceHigh = LONG(uint64_t(position) >> 32);
    g_lastError = NO_ERROR;
    return DWORD(uint64_t(position));
}

DWORD GetFileSize(HANDLE file, LPDWORD high) {
    struct stat status;
    const int fd = DescriptorOf(file);
    if (fd < 0 || fstat(fd, &status) != 0) {
        Fail(fd < 0 ? ERROR_INVALID_HANDLE : ErrorFromErrno(errno));
        return INVALID_FILE_SIZE;
    }
    if (high) *high = DWORD(uint64_t(status.st_size) >> 32);
    g_lastError = NO_ERROR;
    return DWORD(uint64_t(status.st_size));
}

DWORD GetFileType(HANDLE file) {
    struct stat status;
    const int fd = DescriptorOf(file);
    if (fd < 0 || fstat(fd, &status) != 0) {
        Fail(fd < 0 ? ERROR_INVALID_HANDLE : ErrorFromErrno(errno));
        return FILE_TYPE_UNKNOWN;
    }
    g_lastError = NO_ERROR;
    if (S_ISREG(status.st_mode)) return FILE_TYPE_DISK;
    if (S_ISCHR(status.st_mode)) return FILE_TYPE_CHAR;
    if (S_ISFIFO(status.st_mode) || S_ISSOCK(status.st_mode)) return FILE_TYPE_PIPE;
    return FILE_TYPE_UNKNOWN;
}

DWORD GetFileAttributesA(LPCSTR fileName) {
    struct stat status;
    if (!fileName) {
        Fail(ERROR_INVALID_PARAMETER);
        return INVALID_FILE_ATTRIBUTES;
    }
    if (stat(fileName, &status) != 0) {
        FailFromErrno();
        return INVALID_FILE_ATTRIBUTES;
    }
    return S_ISDIR(status.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
}

BOOL FlushFileBuffers(HANDLE file) {
    const int fd = DescriptorOf(file);
    if (fd < 0) return Fail(ERROR_INVALID_HANDLE);
    return fsync(fd) == 0 ? TRUE : FailFromErrno();
}

void StartWriteBack(HANDLE file, uint64_t offset, uint64_t length) {
#if defined(__linux__)
    const int fd = DescriptorOf(file);
    if (fd >= 0) sync_file_range(fd, off64_t(offset), off64_t(length), SYNC_FILE_RANGE_WRITE);
#else
    (void)file;
    (void)offset;
    (void)length;
#endif
}

BOOL CopyFileExA(LPCSTR existingFileName, LPCSTR newFileName, LPPROGRESS_ROUTINE progress, LPVOID data, LPBOOL cancel,
                 DWORD copyFlags) {
    if (!existingFileName || !newFileName) return Fail(ERROR_INVALID_PARAMETER);
    HANDLE in = CreateFileA(existingFileName, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (in == INVALID_HANDLE_VALUE) return FALSE;
    struct stat from, to;
    fstat(DescriptorOf(in), &from);
    if (stat(newFileName, &to) == 0 && to.st_dev == from.st_dev && to.st_ino == from.st_ino) {
        CloseHandle(in);
        return Fail(ERROR_SHARING_VIOLATION);  // a file copied onto itself
    }
    HANDLE out = CreateFileA(newFileName, GENERIC_WRITE, 0, nullptr,
                             (copyFlags & COPY_FILE_FAIL_IF_EXISTS) ? CREATE_NEW : CREATE_ALWAYS, 0, nullptr);
    if (out == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        CloseHandle(in);
        return Fail(error);
    }
    fchmod(DescriptorOf(out), from.st_mode & 07777);

    LARGE_INTEGER total, done;
    total.QuadPart = int64_t(from.st_size);
    done.QuadPart = 0;
    bool quiet = false;
    DWORD error = NO_ERROR;
    auto report = [&](DWORD reason) {
        if (cancel && *cancel) return false;
        if (!progress || quiet) return true;
        const DWORD answer = progress(total, done, total, done, 1, reason, in, out, data);
        if (answer == PROGRESS_QUIET) quiet = true;
        return answer == PROGRESS_CONTINUE || answer == PROGRESS_QUIET;
    };
    if (!report(CALLBACK_STREAM_SWITCH)) error = ERROR_REQUEST_ABORTED;
    static constexpr DWORD kChunk = 65536;
    char* chunk = static_cast<char*>(malloc(kChunk));
    if (!chunk) error = ERROR_GEN_FAILURE;
    while (error == NO_ERROR) {
        DWORD got = 0, put = 0;
        if (!ReadFile(in, chunk, kChunk, &got, nullptr)) {
            error = GetLastError();
            break;
        }
        if (got == 0) break;
        if (!WriteFile(out, chunk, got, &put, nullptr) || put != got) {
            error = GetLastError() != NO_ERROR ? GetLastError() : ERROR_DISK_FULL;
            break;
        }
        done.QuadPart += got;
        if (!report(CALLBACK_CHUNK_FINISHED)) error = ERROR_REQUEST_ABORTED;
    }
    free(chunk);
    CloseHandle(in);
    CloseHandle(out);
    if (error != NO_ERROR) {
        unlink(newFileName);
        return Fail(error);
    }
    g_lastError = NO_ERROR;
    return TRUE;
}

BOOL CopyFileA(LPCSTR existingFileName, LPCSTR newFileName, BOOL failIfExists) {
    return CopyFileExA(existingFileName, newFileName, nullptr, nullptr, nullptr,
                       failIfExists ? COPY_FILE_FAIL_IF_EXISTS : 0);
}

BOOL MoveFileExA(LPCSTR existingFileName, LPCSTR newFileName, DWORD flags) {
    if (!existingFileName || !newFileName) return Fail(ERROR_INVALID_PARAMETER);
    if (!Exists(existingFileName)) return Fail(ERROR_FILE_NOT_FOUND);
    if (!(flags & MOVEFILE_REPLACE_EXISTING) && Exists(newFileName)) return Fail(ERROR_ALREADY_EXISTS);
    if (IsHeldOpen(existingFileName)) return Fail(ERROR_SHARING_VIOLATION);
    if (rename(existingFileName, newFileName) == 0) {
        g_lastError = NO_ERROR;
        return TRUE;
    }
    if (errno != EXDEV || !(flags & MOVEFILE_COPY_ALLOWED)) return FailFromErrno();
    if (!CopyFileA(existingFileName, newFileName, !(flags & MOVEFILE_REPLACE_EXISTING))) return FALSE;
    if (unlink(existingFileName) != 0) {
        const DWORD error = ErrorFromErrno(errno);
        unlink(newFileName);
        return Fail(error);
    }
    g_lastError = NO_ERROR;
    return TRUE;
}

BOOL DeleteFileA(LPCSTR fileName) {
    if (!fileName) return Fail(ERROR_INVALID_PARAMETER);
    struct stat status;
    if (lstat(fileName, &status) != 0) return FailFromErrno();
    if (S_ISDIR(status.st_mode)) return Fail(ERROR_ACCESS_DENIED);
    if (IsHeldOpen(fileName)) return Fail(ERROR_SHARING_VIOLATION);
    return unlink(fileName) == 0 ? TRUE : FailFromErrno();
}

BOOL CreateDirectoryA(LPCSTR pathName, LPSECURITY_ATTRIBUTES) {
    if (!pathName) return Fail(ERROR_INVALID_PARAMETER);
    if (mkdir(pathName, 0777) == 0) return TRUE;
    return errno == EEXIST ? Fail(ERROR_ALREADY_EXISTS) : FailFromErrno();
}

BOOL RemoveDirectoryA(LPCSTR pathName) {
    if (!pathName) return Fail(ERROR_INVALID_PARAMETER);
    return rmdir(pathName) == 0 ? TRUE : FailFromErrno();
}

BOOL SetCurrentDirectoryA(LPCSTR pathName) {
    if (!pathName) return Fail(ERROR_INVALID_PARAMETER);
    return chdir(pathName) == 0 ? TRUE : FailFromErrno();
}

DWORD GetCurrentDirectoryA(DWORD bufferLength, LPSTR buffer) {
    char* current = getcwd(nullptr, 0);
    if (!current) {
        FailFromErrno();
        return 0;
    }
    const size_t length = strlen(current);
    DWORD result;
    if (buffer && length < bufferLength) {
        memcpy(buffer, current, length + 1);
        result = DWORD(length);
    } else {
        result = DWORD(length + 1);
    }
    free(current);
    g_lastError = NO_ERROR;
    return result;
}

#endif
