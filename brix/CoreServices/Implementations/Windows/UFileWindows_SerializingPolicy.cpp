#include "CoreServices/Implementations/Windows/UFileWindows_SerializingPolicy.h"

#include "Platform/TemporaryFiles.h"

#include <cstdio>
#include <cstring>

#include "Core/ErrorDescription.h"

namespace brix::platform_windows {

namespace {
// Reads and writes go through 32-bit counts. The check is spelled out instead of using
// `assure` because the condition's text, "size < (1<<31)", would overflow an int if
// compiled as written.
void CheckSize(uint64_t size, const char* signature, int line) {
    if (!(size < (uint64_t(1) << 31))) ThrowAssureFailure(__FILE__, signature, "'assure' failed: size < (1<<31)", line);
}
}  // namespace

UFileWindows_SerializingPolicy_Input::UFileWindows_SerializingPolicy_Input(HANDLE handle, const UString& path)
    : m_handle(handle), m_path(path), m_failed(false), m_size(~uint64_t(0)) {}

UFileWindows_SerializingPolicy_Input::~UFileWindows_SerializingPolicy_Input() noexcept(false) { Close(); }

uint64_t UFileWindows_SerializingPolicy_Input::Serialize(void* buffer, uint64_t size) {
    CheckSize(size, __PRETTY_FUNCTION__, __LINE__);
    DWORD read = 0;
    if (m_handle == INVALID_HANDLE_VALUE || !ReadFile(m_handle, buffer, DWORD(size), &read, nullptr)) m_failed = true;
    return read;
}

void UFileWindows_SerializingPolicy_Input::Close() {
    if (m_handle != INVALID_HANDLE_VALUE) CloseHandle(m_handle);
    m_handle = INVALID_HANDLE_VALUE;
}

bool UFileWindows_SerializingPolicy_Input::IsOpen() const { return m_handle != INVALID_HANDLE_VALUE; }
UString UFileWindows_SerializingPolicy_Input::GetName() const { return m_path; }

uint64_t UFileWindows_SerializingPolicy_Input::GetSize() {
    if (m_handle == INVALID_HANDLE_VALUE) return 0;
    if (m_size == ~uint64_t(0)) {
        DWORD high = 0;
        const DWORD low = ::GetFileSize(m_handle, &high);
        if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) {
            m_failed = true;
            return 0;
        }
        m_size = (uint64_t(high) << 32) | low;
    }
    return m_size;
}

uint64_t UFileWindows_SerializingPolicy_Input::Tell() {
    LONG high = 0;
    const DWORD low =
        m_handle == INVALID_HANDLE_VALUE ? INVALID_SET_FILE_POINTER : SetFilePointer(m_handle, 0, &high, FILE_CURRENT);
    if (low == INVALID_SET_FILE_POINTER && (m_handle == INVALID_HANDLE_VALUE || GetLastError() != NO_ERROR)) {
        m_failed = true;
        return 0;
    }
    return (uint64_t(uint32_t(high)) << 32) | low;
}

void UFileWindows_SerializingPolicy_Input::Seek(int64_t distance, DWORD method) {
    if (m_handle == INVALID_HANDLE_VALUE) {
        m_failed = true;
        return;
    }
    LONG high = LONG(distance >> 32);
    if (SetFilePointer(m_handle, LONG(uint32_t(uint64_t(distance))), &high, method) == INVALID_SET_FILE_POINTER &&
        GetLastError() != NO_ERROR)
        m_failed = true;
}

void UFileWindows_SerializingPolicy_Input::SeekToStart() { Seek(0, FILE_BEGIN); }
void UFileWindows_SerializingPolicy_Input::SeekToEnd() { Seek(0, FILE_END); }
IInputStream& UFileWindows_SerializingPolicy_Input::SeekForward(int32_t distance) {
    Seek(distance, FILE_CURRENT);
    return *this;
}
IInputStream& UFileWindows_SerializingPolicy_Input::SeekBackward(int32_t distance) {
    Seek(-int64_t(distance), FILE_CURRENT);
    return *this;
}
bool UFileWindows_SerializingPolicy_Input::IsEnd() { return Tell() >= GetSize(); }

UFileWindows_SerializingPolicy_Output::UFileWindows_SerializingPolicy_Output(HANDLE handle, const UString& path)
    : m_handle(handle), m_path(path), m_failed(false) {}

UFileWindows_SerializingPolicy_Output::~UFileWindows_SerializingPolicy_Output() noexcept(false) { Close(); }

void UFileWindows_SerializingPolicy_Output::Serialize(const void* data, uint64_t size) {
    // The common case: a short text that fits the buffer.
    if (size <= kBufferSize - m_buffered && m_buffer) {
        memcpy(m_buffer.get() + m_buffered, data, size_t(size));
        m_buffered += uint32_t(size);
        return;
    }
    CheckSize(size, __PRETTY_FUNCTION__, __LINE__);
    if (m_handle == INVALID_HANDLE_VALUE) {
        SetLastError(ERROR_INVALID_HANDLE);
        Fail();
        return;
    }
    if (size >= kBufferSize) {
        WriteBuffer();
        Write(data, uint32_t(size));
        m_written += size;
        return;
    }
    if (m_buffered + size > kBufferSize) WriteBuffer();
    if (!m_buffer) m_buffer.reset(new unsigned char[kBufferSize]);
    memcpy(m_buffer.get() + m_buffered, data, size_t(size));
    m_buffered += uint32_t(size);
}

void UFileWindows_SerializingPolicy_Output::Write(const void* data, uint32_t size) {
    DWORD written = 0;
    if (!WriteFile(m_handle, data, DWORD(size), &written, nullptr)) {
        Fail();
    } else if (written != size) {
        // A write the system cut short without an error: the disk took no more.
        SetLastError(ERROR_DISK_FULL);
        Fail();
    }
}

void UFileWindows_SerializingPolicy_Output::Fail() {
    if (!m_failed) m_error = GetLastError();
    m_failed = true;
}

UString UFileWindows_SerializingPolicy_Output::GetFailureReason() const {
    return m_failed ? DescribeSystemError(m_error) : UString();
}

bool UFileWindows_SerializingPolicy_Output::Commit() {
    if (m_handle == INVALID_HANDLE_VALUE) return false;
    Flush();
    if (!CloseHandle(m_handle)) Fail();
    m_handle = INVALID_HANDLE_VALUE;
    m_buffer.reset();
    return !m_failed;
}

void UFileWindows_SerializingPolicy_Output::WriteBuffer() {
    if (m_buffered == 0 || m_handle == INVALID_HANDLE_VALUE) return;
    Write(m_buffer.get(), m_buffered);
    m_written += m_buffered;
    m_buffered = 0;
    // The disk starts on each few megabytes as they are written, so that Commit's flush
    // waits for the last of them only.
    if (m_written - m_writtenBack >= kWriteBackStep) {
        StartWriteBack(m_handle, m_writtenBack, m_written - m_writtenBack);
        m_writtenBack = m_written;
    }
}

void UFileWindows_SerializingPolicy_Output::Close() {
    WriteBuffer();
    // Without a buffer, a write after closing takes the path that reports the failure.
    m_buffer.reset();
    if (m_handle != INVALID_HANDLE_VALUE && !CloseHandle(m_handle)) Fail();
    m_handle = INVALID_HANDLE_VALUE;
}

bool UFileWindows_SerializingPolicy_Output::IsOpen() const { return m_handle != INVALID_HANDLE_VALUE; }
UString UFileWindows_SerializingPolicy_Output::GetName() const { return m_path; }

void UFileWindows_SerializingPolicy_Output::Flush() {
    WriteBuffer();
    if (m_handle == INVALID_HANDLE_VALUE) SetLastError(ERROR_INVALID_HANDLE);
    if (m_handle == INVALID_HANDLE_VALUE || !FlushFileBuffers(m_handle)) Fail();
}

// ---------------------------------------------------------------------------------------

UFileWindows_ReplacingOutput::UFileWindows_ReplacingOutput(HANDLE handle, const UString& target,
                                                           const UString& temporary)
    : UFileWindows_SerializingPolicy_Output(handle, target),
      m_temporary(temporary),
      m_registration(platform::RegisterTemporaryFile(temporary.c_str())) {}

std::unique_ptr<UFileWindows_ReplacingOutput> UFileWindows_ReplacingOutput::Create(const UString& target) {
    // CREATE_NEW fails on a name in use, so the first free number is taken atomically.
    for (unsigned int number = 1; number <= platform::kMostTemporaryNames; ++number) {
        const UString temporary(platform::TemporaryName(target.c_str(), number).c_str());
        HANDLE handle =
            CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle != INVALID_HANDLE_VALUE)
            return std::unique_ptr<UFileWindows_ReplacingOutput>(
                new UFileWindows_ReplacingOutput(handle, target, temporary));
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return nullptr;
    }
    return nullptr;
}

UFileWindows_ReplacingOutput::~UFileWindows_ReplacingOutput() noexcept(false) { Abandon(); }

void UFileWindows_ReplacingOutput::Abandon() {
    if (m_done) return;
    m_done = true;
    UFileWindows_SerializingPolicy_Output::Close();
    DeleteFileA(m_temporary.c_str());
    platform::ForgetTemporaryFile(m_registration);
}

void UFileWindows_ReplacingOutput::Close() { Abandon(); }

bool UFileWindows_ReplacingOutput::Commit() {
    if (m_done) return false;
    if (!UFileWindows_SerializingPolicy_Output::Commit()) {
        Abandon();
        return false;
    }
    if (!MoveFileExA(m_temporary.c_str(), GetName().c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        Fail();
        Abandon();
        return false;
    }
    m_done = true;
    platform::ForgetTemporaryFile(m_registration);
    return true;
}

UString DescribeSystemError(DWORD code) {
    char text[512];
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                                  sizeof text, nullptr);
    while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n' || text[length - 1] == ' ')) --length;
    if (length == 0)
        snprintf(text, sizeof text, "system error %u", unsigned(code));
    else
        text[length] = 0;
    return UString(text);
}

}  // namespace brix::platform_windows
