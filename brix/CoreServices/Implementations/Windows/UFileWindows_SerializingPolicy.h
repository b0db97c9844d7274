#pragma once

#include <memory>
// The file streams of the Windows file system, over Windows file handles. Each owns its
// handle from creation to destruction. A status flag records the first failed
// operation (ReadFile, WriteFile, a seek or a position query).

#include "CoreServices/Interfaces/IStream.h"
#include "Platform/WindowsKernel.h"

namespace brix::platform_windows {

class UFileWindows_SerializingPolicy_Input : public IInputStream {
public:
    // Takes ownership of handle (INVALID_HANDLE_VALUE gives a stream that is not open).
    UFileWindows_SerializingPolicy_Input(HANDLE handle, const UString& path);
    ~UFileWindows_SerializingPolicy_Input() noexcept(false) override;

    // Reads with ReadFile. A size of 2^31 bytes or more fails the check
    // "size < (1<<31)".
    uint64_t Serialize(void* buffer, uint64_t size) override;
    void Close() override;
    bool IsOpen() const override;
    UString GetName() const override;
    // The 64-bit size, cached after the first query.
    uint64_t GetSize() override;
    // The 64-bit position.
    uint64_t Tell() override;
    void SeekToStart() override;
    void SeekToEnd() override;
    IInputStream& SeekForward(int32_t distance) override;
    IInputStream& SeekBackward(int32_t distance) override;
    bool IsEnd() override;

    bool HasFailed() const { return m_failed; }

private:
    void Seek(int64_t distance, DWORD method);

    HANDLE m_handle;
    UString m_path;
    bool m_failed;
    uint64_t m_size;  // all ones while unknown
};

class UFileWindows_SerializingPolicy_Output : public IOutputStream {
public:
    UFileWindows_SerializingPolicy_Output(HANDLE handle, const UString& path);
    ~UFileWindows_SerializingPolicy_Output() noexcept(false) override;

    // Writes with WriteFile, which succeeds only when every byte was written. A size of
    // 2^31 bytes or more fails the check "size < (1<<31)". Small writes are gathered in
    // a buffer and written together when it fills, on Flush and on Close: a text written
    // a number at a time would otherwise cost a system call per number.
    void Serialize(const void* data, uint64_t size) override;
    void Close() override;
    bool IsOpen() const override;
    UString GetName() const override;
    void Flush() override;

    bool HasFailed() const override { return m_failed; }
    // The system's text for the error of the first failure.
    UString GetFailureReason() const override;
    // Flush, FlushFileBuffers and Close; true when nothing ever failed.
    bool Commit() override;

protected:
    // Records a failure with the error code the last kernel call left.
    void Fail();
    HANDLE m_handle;

private:
    static constexpr uint32_t kBufferSize = 1u << 18;

    // Hands the gathered bytes to WriteFile.
    void WriteBuffer();
    void Write(const void* data, uint32_t size);

    UString m_path;
    bool m_failed;
    DWORD m_error = NO_ERROR;
    std::unique_ptr<unsigned char[]> m_buffer;
    uint32_t m_buffered = 0;
    static constexpr uint64_t kWriteBackStep = uint64_t(8) << 20;
    uint64_t m_written = 0;      // bytes handed to WriteFile
    uint64_t m_writtenBack = 0;  // of those, the ones the disk was asked to start on
};

// Writes a new temporary file beside the target (the target's name followed by "~" and
// a number, made with CREATE_NEW so that no other file is touched) and, on Commit,
// moves it over the target with MoveFileExA. Closing or destroying it without a
// successful Commit deletes the temporary file. GetName gives the target.
class UFileWindows_ReplacingOutput : public UFileWindows_SerializingPolicy_Output {
public:
    // Empty, with the error left in GetLastError, when no temporary name could be made.
    static std::unique_ptr<UFileWindows_ReplacingOutput> Create(const UString& target);
    ~UFileWindows_ReplacingOutput() noexcept(false) override;

    void Close() override;
    bool Commit() override;
    const UString& GetTemporaryName() const { return m_temporary; }

private:
    UFileWindows_ReplacingOutput(HANDLE handle, const UString& target, const UString& temporary);
    void Abandon();

    UString m_temporary;
    int m_registration;  // removed on an interrupting signal until committed or abandoned
    bool m_done = false;
};

// The system's text for a Windows error code, without the line end; "system error N"
// when the system has none.
UString DescribeSystemError(DWORD code);

}  // namespace brix::platform_windows
