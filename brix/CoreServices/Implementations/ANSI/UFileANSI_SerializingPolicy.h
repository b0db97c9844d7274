#pragma once
// The file streams of the ANSI file system, over standard library FILE streams. Each
// owns its FILE from creation to destruction. A status flag records the first failed
// operation (short read, failed write or seek); the file system's Copy checks it.

#include <cstdio>
#include <memory>

#include "CoreServices/Interfaces/IStream.h"

namespace brix {

class UFileANSI_SerializingPolicy_Input : public IInputStream {
public:
    // Takes ownership of file (which may be nullptr: the stream is then not open).
    UFileANSI_SerializingPolicy_Input(FILE* file, const UString& path);
    ~UFileANSI_SerializingPolicy_Input() noexcept(false) override;

    // Reads with fread; a read that delivers fewer bytes than asked marks a failure.
    uint64_t Serialize(void* buffer, uint64_t size) override;
    void Close() override;
    bool IsOpen() const override;
    UString GetName() const override;
    // The end position, found by seeking to the end and back; cached.
    uint64_t GetSize() override;
    uint64_t Tell() override;
    void SeekToStart() override;
    void SeekToEnd() override;
    IInputStream& SeekForward(int32_t distance) override;
    IInputStream& SeekBackward(int32_t distance) override;
    bool IsEnd() override;

    bool HasFailed() const { return m_failed; }

private:
    void Seek(long long offset, int origin);

    FILE* m_file;
    UString m_path;
    bool m_failed;
    uint64_t m_size;  // all ones while unknown
};

class UFileANSI_SerializingPolicy_Output : public IOutputStream {
public:
    UFileANSI_SerializingPolicy_Output(FILE* file, const UString& path);
    ~UFileANSI_SerializingPolicy_Output() noexcept(false) override;

    // Writes the bytes as one block with fwrite; size 0 writes nothing.
    void Serialize(const void* data, uint64_t size) override;
    void Close() override;
    bool IsOpen() const override;
    UString GetName() const override;
    void Flush() override;

    bool HasFailed() const override { return m_failed; }
    // strerror of the errno of the first failure.
    UString GetFailureReason() const override;
    // fflush and fclose; true when nothing ever failed.
    bool Commit() override;

protected:
    // Records a failure with the current errno.
    void Fail();
    FILE* m_file;

private:
    UString m_path;
    bool m_failed;
    int m_error = 0;
};

// Writes a new temporary file beside the target (the target's name followed by "~" and
// a number, created exclusively) and renames it over the target on
// Commit. Closing or destroying it without a successful Commit removes the temporary
// file. GetName gives the target.
class UFileANSI_ReplacingOutput : public UFileANSI_SerializingPolicy_Output {
public:
    // Empty, with errno set, when no temporary file could be made.
    static std::unique_ptr<UFileANSI_ReplacingOutput> Create(const UString& target);
    ~UFileANSI_ReplacingOutput() noexcept(false) override;

    void Close() override;
    bool Commit() override;

private:
    UFileANSI_ReplacingOutput(FILE* file, const UString& target, const UString& temporary);
    void Abandon();

    UString m_temporary;
    int m_registration;  // removed on an interrupting signal until committed or abandoned
    bool m_done = false;
};

}  // namespace brix
