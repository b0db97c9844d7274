#include "CoreServices/Implementations/Windows/UFileSystem_Windows.h"

#include <cstring>

#include "Core/ErrorDescription.h"
#include "CoreServices/Implementations/Windows/UFileWindows_SerializingPolicy.h"
#include "Platform/WindowsKernel.h"
#include "Utils/UStream_Archive.h"

namespace brix::platform_windows {

namespace {

HANDLE OpenForReading(const UString& path) {
    return CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

InputStreamHandle OpenReader(const UString& path) {
    HANDLE handle = OpenForReading(path);
    if (handle == INVALID_HANDLE_VALUE) return nullptr;
    return std::make_unique<UFileWindows_SerializingPolicy_Input>(handle, path);
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
    if (InputStreamHandle reader = OpenReader(path)) return reader;
    // The reason of the path itself, not of the archive prefixes tried after it.
    m_lastError = GetLastError();
    return OpenArchivePath(path, OpenReader);
    BRIX_GUARD_END
}

OutputStreamHandle UFileSystem_Windows::CreateFileWriter(const UString& path, bool, bool append) {
    BRIX_GUARD_BEGIN
    HANDLE handle = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, append ? OPEN_ALWAYS : CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        m_lastError = GetLastError();
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
    DWORD size = ::GetFileSize(handle, nullptr);
    if (size == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) size = 0;
    CloseHandle(handle);
    return size;
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

bool UFileSystem_Windows::MakeDirectory(const UString& path) { return CreateDirectoryA(path.c_str(), nullptr) != FALSE; }
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
    if (!stream) m_lastError = GetLastError();
    return stream;
    BRIX_GUARD_END
}

UString UFileSystem_Windows::GetLastFailureReason() const { return DescribeSystemError(m_lastError); }

}  // namespace brix::platform_windows
