#pragma once
// Input and output streams handed out by the file systems as owning handles. Positions
// and sizes are 64-bit.

#include <cstdint>
#include <memory>

#include "Core/UBaseString.h"

namespace brix {

class IInputStream {
public:
    // Reads up to size bytes into buffer; returns the number read.
    virtual uint64_t Serialize(void* buffer, uint64_t size) = 0;
    virtual ~IInputStream() noexcept(false) = default;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
    virtual UString GetName() const = 0;
    virtual uint64_t GetSize() = 0;
    virtual uint64_t Tell() = 0;
    virtual void SeekToStart() = 0;
    virtual void SeekToEnd() = 0;
    virtual IInputStream& SeekForward(int32_t distance) = 0;
    virtual IInputStream& SeekBackward(int32_t distance) = 0;
    virtual bool IsEnd() = 0;
    // All of the stream's bytes (GetSize of them) when it holds them in one block of its
    // own, followed by a zero byte, so that a text reader can read them in place instead
    // of copying them; valid while the stream is open. Null for a stream that reads from
    // elsewhere.
    virtual const unsigned char* GetBytesInMemory() const { return nullptr; }
};

class IOutputStream {
public:
    virtual void Serialize(const void* data, uint64_t size) = 0;
    virtual ~IOutputStream() noexcept(false) = default;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
    virtual UString GetName() const = 0;
    virtual void Flush() = 0;
    // True once any write, flush or close of the stream failed.
    virtual bool HasFailed() const = 0;
    // The operating system's words for the first failure; empty while none happened.
    virtual UString GetFailureReason() const = 0;
    // Ends the writing: flushes and closes the file and reports whether every byte got
    // there. A stream that writes beside its target renames its file over the target
    // here, and only when nothing failed. False after any failure (see
    // GetFailureReason).
    virtual bool Commit() = 0;
};

using InputStreamHandle = std::unique_ptr<IInputStream>;
using OutputStreamHandle = std::unique_ptr<IOutputStream>;

}  // namespace brix
