#include "CoreServices/Implementations/Windows/UFileSystem_Windows.h"

#include <cstring>

#include "Core/ErrorDescription.h"
#include "CoreServices/Implementations/UStream_Archive.h"
#include "CoreServices/Implementations/Windows/UFileWindows_SerializingPolicy.h"
#include "Platform/WindowsKernel.h"

namespace brix::platform_windows {

namespace {

// Readers share the file with other readers; a writer (which shares nothing) keeps
// them out, and they keep a writer out, so no half-written file is read.
HANDLE OpenForReading(const UString& path) {
    return CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
}

// Opens a file for reading; a pipe or a device opens but is refused, with notAFile set.
InputStreamHandle OpenFileReader(const UString& path, bool* notAFile) {
    HANDLE handle = OpenForReading(path);
    if (handle == INVALID_HANDLE_VALUE) return nullptr;
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        CloseHandle(handle);
        if (notAFile) *notAFile = true;
        return nullptr;
    }
    return std::make_unique<UFileWindows_SerializingPolicy_Input>(handle, path);
}

InputStreamHandle OpenReader(const UString& path) { return OpenFileReader(path, nullptr); }

// The reason for a failed open of path with the system's error code error: the
// system's words, except for a directory, where it only says access is denied.
UString FailureReason(const UString& path, DWORD error) {
    if (error == ERROR_ACCESS_DENIED) {
        const DWORD attributes = GetFileAttributesA(path.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
            return UString(kDirectoryReason);
    }
    return DescribeSystemError(error);
}

// Passes the fraction copied on to the file system's progress callback.
DWORD WINAPI ReportCopyProgress(LARGE_INTEGER totalFileSize, LARGE_INTEGER totalBytesTransferred, LARGE_INTEGER,
                                LARGE_INTEGER, DWORD, DWORD, HANDLE, HANDLE, LPVOID data) {
    const ProgressCallback progress = *static_cast<const ProgressCallback*>(data);
    if (totalFileSize.QuadPart > 0)
        progress(float(double(totalBytesTransferred.QuadPart) / double(totalFileSize.QuadPart)));
    return PROGRESS_CONTINUE;
}

}  // namespace

void UFileSystem_Windows::Init() {
    BRIX_GUARD_BEGIN
    m_initialised = true;
    GetWorkingDirectory();
    BRIX_GUARD_END
}

void UFileSystem_Windows::Shutdown() { m_initialised = false; }

InputStreamHandle UFileSystem_Windows::CreateFileReader(const UString& path) {
    BRIX_GUARD_BEGIN
    bool notAFile = false;
    if (InputStreamHandle reader = OpenFileReader(path, &notAFile)) return reader;
    // The reason of the path itself, not of the archive prefixes tried after it.
    m_lastFailure = notAFile ? UString(kNotAFileReason) : FailureReason(path, GetLastError());
    if (notAFile) return nullptr;
    return OpenArchivePath(path, OpenReader, m_lastFailure);
    BRIX_GUARD_END
}

OutputStreamHandle UFileSystem_Windows::CreateFileWriter(const UString& path, bool, bool append) {
    BRIX_GUARD_BEGIN
    HANDLE handle = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, append ? OPEN_ALWAYS : CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        m_lastFailure = FailureReason(path, GetLastError());
        return nullptr;
    }
    // OPEN_ALWAYS leaves the position at the start; appending writes after the end.
    if (append) SetFilePointer(handle, 0, nullptr, FILE_END);
    return std::make_unique<UFileWindows_SerializingPolicy_Output>(handle, path);
    BRIX_GUARD_END
}

uint64_t UFileSystem_Windows::GetFileSize(const UString& path) {
    HANDLE handle = OpenForReading(path);
    if (handle == INVALID_HANDLE_VALUE) return 0;
    DWORD high = 0;
    const DWORD low = ::GetFileSize(handle, &high);
    const bool failed = low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR;
    CloseHandle(handle);
    return failed ? 0 : (uint64_t(high) << 32) | low;
}

bool UFileSystem_Windows::ExistsFile(const UString& path) {
    HANDLE handle = OpenForReading(path);
    if (handle == INVALID_HANDLE_VALUE) return false;
    CloseHandle(handle);
    return true;
}

bool UFileSystem_Windows::Delete(const UString& path) { return DeleteFileA(path.c_str()) != FALSE; }

bool UFileSystem_Windows::Copy(const UString& destination, const UString& source, bool overwrite,
                               ProgressCallback progress) {
    BRIX_GUARD_BEGIN
    if (progress) progress(0.0f);
    const BOOL copied = CopyFileExA(source.c_str(), destination.c_str(), progress ? ReportCopyProgress : nullptr,
                                    &progress, nullptr, overwrite ? 0 : COPY_FILE_FAIL_IF_EXISTS);
    if (!copied) return false;
    if (progress) progress(1.0f);
    return true;
    BRIX_GUARD_END
}

bool UFileSystem_Windows::Move(const UString& destination, const UString& source, bool overwrite,
                               ProgressCallback progress) {
    BRIX_GUARD_BEGIN
    if (progress) progress(0.0f);
    bool moved = MoveFileExA(source.c_str(), destination.c_str(),
                             MOVEFILE_WRITE_THROUGH | (overwrite ? MOVEFILE_REPLACE_EXISTING : 0)) != FALSE;
    if (!moved && CopyFileA(source.c_str(), destination.c_str(), !overwrite)) {
        moved = Delete(source);
        if (!moved) Delete(destination);
    }
    if (progress) progress(1.0f);
    return moved;
    BRIX_GUARD_END
}

bool UFileSystem_Windows::MakeDirectory(const UString& path) {
    return CreateDirectoryA(path.c_str(), nullptr) != FALSE;
}
bool UFileSystem_Windows::DeleteDirectory(const UString& path) { return RemoveDirectoryA(path.c_str()) != FALSE; }

bool UFileSystem_Windows::SetWorkingDirectory(const UString& path) {
    BRIX_GUARD_BEGIN
    if (!SetCurrentDirectoryA(path.c_str())) return false;
    m_workingDirectory = path;
    m_workingDirectory.Append("/");
    return true;
    BRIX_GUARD_END
}

UString UFileSystem_Windows::GetWorkingDirectory() {
    BRIX_GUARD_BEGIN
    if (m_workingDirectory.IsEmpty()) {
        char buffer[4096];
        memset(buffer, 0, sizeof buffer);
        const DWORD length = GetCurrentDirectoryA(sizeof buffer, buffer);
        if (length == 0 || length > sizeof buffer - 1)
            throw ErrorDescription(__FILE__, "brix::platform_windows::UFileSystem_Windows::GetWorkingDirectory",
                                   "current path longer than 4096 bytes", __LINE__);
        m_workingDirectory = buffer;
        m_workingDirectory.Append("/");
    }
    return m_workingDirectory;
    BRIX_GUARD_END
}

OutputStreamHandle UFileSystem_Windows::CreateReplacingFileWriter(const UString& path) {
    BRIX_GUARD_BEGIN
    OutputStreamHandle stream = UFileWindows_ReplacingOutput::Create(path);
    if (!stream) m_lastFailure = DescribeSystemError(GetLastError());
    return stream;
    BRIX_GUARD_END
}

UString UFileSystem_Windows::GetLastFailureReason() const { return m_lastFailure; }

}  // namespace brix::platform_windows
