#include "CoreServices/Implementations/ANSI/UFileSystem_ANSI.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <cerrno>
#include <cstdio>
#include <cstring>

#if defined(_WIN32)
#include <direct.h>
#include <io.h>

#include "Platform/WindowsKernel.h"
#else
#include <unistd.h>
#endif

#include "Core/ErrorDescription.h"
#include "CoreServices/Implementations/ANSI/UFileANSI_SerializingPolicy.h"
#include "CoreServices/Implementations/UStream_Archive.h"

namespace brix {

namespace {

#if !defined(_WIN32)
// The C library's directory calls under their Windows runtime names.
int _mkdir(const char* path) { return mkdir(path, 0777); }
int _rmdir(const char* path) { return rmdir(path); }
int _chdir(const char* path) { return chdir(path); }
char* _getcwd(char* buffer, int size) { return getcwd(buffer, size_t(size)); }
#endif

// Whether path names the file that is open as in. The Windows C runtime has no inode
// numbers (st_ino is always 0), so there the volume and file index of both are compared.
bool IsSameFile(FILE* in, const UString& path) {
#if defined(_WIN32)
    BY_HANDLE_FILE_INFORMATION from, to;
    const HANDLE source = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(in)));
    if (source == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(source, &from)) return false;
    const HANDLE other = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (other == INVALID_HANDLE_VALUE) return false;
    const bool known = GetFileInformationByHandle(other, &to) != FALSE;
    CloseHandle(other);
    return known && from.dwVolumeSerialNumber == to.dwVolumeSerialNumber && from.nFileIndexHigh == to.nFileIndexHigh &&
           from.nFileIndexLow == to.nFileIndexLow;
#else
    struct stat from, to;
    return fstat(fileno(in), &from) == 0 && stat(path.c_str(), &to) == 0 && from.st_dev == to.st_dev &&
           from.st_ino == to.st_ino;
#endif
}

// Opens a file (never a directory, which some C libraries open for reading). Opening
// for reading never waits: a FIFO without a writer opens at once.
FILE* OpenFile(const UString& path, const char* mode) {
#if defined(_WIN32)
    FILE* file = fopen(path.c_str(), mode);
#else
    FILE* file = nullptr;
    if (mode[0] == 'r') {
        // O_NONBLOCK keeps the open from waiting; it is taken off again so that reads wait.
        const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) return nullptr;
        const int flags = fcntl(fd, F_GETFL);
        if (flags == -1 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0 || !(file = fdopen(fd, mode))) {
            const int error = errno;
            close(fd);
            errno = error;
            return nullptr;
        }
    } else {
        file = fopen(path.c_str(), mode);
    }
#endif
    if (!file) return nullptr;
    struct stat status;
    if (fstat(fileno(file), &status) == 0 && S_ISDIR(status.st_mode)) {
        fclose(file);
        errno = EISDIR;
        return nullptr;
    }
    return file;
}

// Opens a file for reading; a pipe or a device opens but is refused, with notAFile set.
InputStreamHandle OpenFileReader(const UString& path, bool* notAFile) {
    FILE* file = OpenFile(path, "rbS");
    if (!file) return nullptr;
    struct stat status;
    if (fstat(fileno(file), &status) != 0 || !S_ISREG(status.st_mode)) {
        fclose(file);
        if (notAFile) *notAFile = true;
        return nullptr;
    }
    return std::make_unique<UFileANSI_SerializingPolicy_Input>(file, path);
}

InputStreamHandle OpenReader(const UString& path) { return OpenFileReader(path, nullptr); }

// The reason for a failed open of path with errno error; a directory is named as such on
// every system (the Windows runtime only says that access is denied).
UString FailureReason(const UString& path, int error) {
    struct stat status;
    if (stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) return UString(kDirectoryReason);
    return UString(strerror(error));
}

}  // namespace

void UFileSystem_ANSI::Init() {
    BRIX_GUARD_BEGIN
    m_initialised = true;
    GetWorkingDirectory();
    BRIX_GUARD_END
}

void UFileSystem_ANSI::Shutdown() { m_initialised = false; }

InputStreamHandle UFileSystem_ANSI::CreateFileReader(const UString& path) {
    BRIX_GUARD_BEGIN
    bool notAFile = false;
    if (InputStreamHandle reader = OpenFileReader(path, &notAFile)) return reader;
    m_lastFailure = notAFile ? UString(kNotAFileReason) : FailureReason(path, errno);
    if (notAFile) return nullptr;
    return OpenArchivePath(path, OpenReader, m_lastFailure);
    BRIX_GUARD_END
}

OutputStreamHandle UFileSystem_ANSI::CreateFileWriter(const UString& path, bool, bool append) {
    BRIX_GUARD_BEGIN
    FILE* file = OpenFile(path, append ? "abS" : "wbS");
    if (!file) {
        m_lastFailure = FailureReason(path, errno);
        return nullptr;
    }
    return std::make_unique<UFileANSI_SerializingPolicy_Output>(file, path);
    BRIX_GUARD_END
}

uint64_t UFileSystem_ANSI::GetFileSize(const UString& path) {
    FILE* file = OpenFile(path, "r");
    if (!file) return 0;
    UFileANSI_SerializingPolicy_Input stream(file, path);
    return stream.GetSize();
}

bool UFileSystem_ANSI::ExistsFile(const UString& path) {
    FILE* file = OpenFile(path, "r");
    if (!file) return false;
    fclose(file);
    return true;
}

bool UFileSystem_ANSI::Delete(const UString& path) { return remove(path.c_str()) == 0; }

bool UFileSystem_ANSI::Copy(const UString& destination, const UString& source, bool overwrite,
                            ProgressCallback progress) {
    BRIX_GUARD_BEGIN
    if (progress) progress(0.0f);
    if (!overwrite && ExistsFile(destination)) return false;
    FILE* in = OpenFile(source, "rbS");
    if (!in) return false;
    UFileANSI_SerializingPolicy_Input reader(in, source);
    // Copying a file onto itself would truncate it before it is read.
    if (IsSameFile(in, destination)) return false;
    FILE* out = OpenFile(destination, "wbS");
    if (!out) return false;
    UFileANSI_SerializingPolicy_Output writer(out, destination);

    const uint64_t total = reader.GetSize();
    uint64_t copied = 0;
    unsigned char chunk[1024];
    while (copied < total && !reader.HasFailed() && !writer.HasFailed()) {
        const uint64_t wanted = total - copied < sizeof chunk ? total - copied : sizeof chunk;
        const uint64_t got = reader.Serialize(chunk, wanted);
        writer.Serialize(chunk, got);
        copied += got;
        if (progress) progress(float(double(copied) / double(total)));
    }
    writer.Close();
    if (reader.HasFailed() || writer.HasFailed() || copied != total) return false;
    if (progress) progress(1.0f);
    return true;
    BRIX_GUARD_END
}

bool UFileSystem_ANSI::Move(const UString& destination, const UString& source, bool overwrite,
                            ProgressCallback progress) {
    BRIX_GUARD_BEGIN
    if (progress) progress(0.0f);
    bool moved = Copy(destination, source, overwrite, nullptr);
    if (moved && !Delete(source)) {
        Delete(destination);
        moved = false;
    }
    if (progress) progress(1.0f);
    return moved;
    BRIX_GUARD_END
}

bool UFileSystem_ANSI::MakeDirectory(const UString& path) { return _mkdir(path.c_str()) == 0; }
bool UFileSystem_ANSI::DeleteDirectory(const UString& path) { return _rmdir(path.c_str()) == 0; }

bool UFileSystem_ANSI::SetWorkingDirectory(const UString& path) {
    BRIX_GUARD_BEGIN
    if (_chdir(path.c_str()) != 0) return false;
    m_workingDirectory = path;
    m_workingDirectory.Append("/");
    return true;
    BRIX_GUARD_END
}

UString UFileSystem_ANSI::GetWorkingDirectory() {
    BRIX_GUARD_BEGIN
    if (m_workingDirectory.IsEmpty()) {
        char buffer[4096];
        memset(buffer, 0, sizeof buffer);
        if (!_getcwd(buffer, int(sizeof buffer)))
            throw ErrorDescription(__FILE__, "brix::UFileSystem_ANSI::GetWorkingDirectory",
                                   "current path longer than 4096 bytes", __LINE__);
        m_workingDirectory = buffer;
        m_workingDirectory.Append("/");
    }
    return m_workingDirectory;
    BRIX_GUARD_END
}

OutputStreamHandle UFileSystem_ANSI::CreateReplacingFileWriter(const UString& path) {
    BRIX_GUARD_BEGIN
    OutputStreamHandle stream = UFileANSI_ReplacingOutput::Create(path);
    if (!stream) m_lastFailure = UString(strerror(errno));
    return stream;
    BRIX_GUARD_END
}

UString UFileSystem_ANSI::GetLastFailureReason() const { return m_lastFailure; }

}  // namespace brix
