#pragma once
// brix::UStream_Archive reads one entry of a ZIP archive, or of an archive inside an
// archive, as an input stream. It reads the archive's central directory from a source
// stream, finds the entry, reads its bytes (stored or Deflate-compressed) completely
// into memory and serves every read from there; the source is used only while the
// stream is being built. A Deflate entry is inflated once, straight into the block that
// then holds it, and a text reader can read that block in place (GetBytesInMemory). A
// stored archive passed through on the way to an entry inside it is not copied: it is
// read where it lies in the archive around it. Only what a plain, single-disk,
// unencrypted archive needs is read: the end-of-central-directory record, the central
// directory and the local header of the entry.
//
// An entry that cannot be read leaves the stream not open, with one warning saying why
// and the reason kept (GetResult): no central directory, entry not found, an encrypted
// entry, unsupported compression, ZIP64 extensions, a damaged header (a local header
// that is missing or whose data lies outside the archive), damaged data (a Deflate
// stream that does not decode to the directory's size), or bytes whose CRC-32 differs
// from the directory's. Offsets, counts and sizes in the archive are checked against the
// source's size before anything is read. An entry name with backslashes that the
// archive does not hold is also looked up with "/" in their place. Archives opened
// inside an archive report nothing themselves: the outermost stream writes the one
// message, giving the reason found deepest down when there is one.

#include <cstdint>
#include <memory>

#include "Core/UArray.h"
#include "Core/UBaseString.h"
#include "Core/UTable.h"
#include "CoreServices/Interfaces/IStream.h"

namespace brix {

// Why an archive entry could not be read; Ok when it was read (an empty entry is read
// but reads as a stream that is not open).
enum class ArchiveResult : uint8_t {
    Ok,
    NoCentralDirectory,
    Zip64,     // the archive or the entry needs ZIP64 extensions
    NotFound,  // the archive holds no entry of that name
    Encrypted,
    UnsupportedMethod,  // neither stored nor Deflate
    DamagedHeader,      // a local header missing, or data lying outside the archive
    DamagedData,        // Deflate data that does not decode to the directory's size
    ChecksumMismatch,
    NestedTooDeep,  // archives inside archives deeper than UStream_Archive::kMaxNesting
    TooManyWays,    // the path splits into nested archives in more ways than are tried
};

// The sentence that the warning gives as the reason (a missing entry is told in a
// sentence of its own, which names the entry and the archive).
const char* ArchiveResultText(ArchiveResult result);

// The 46-byte central-directory record, stored as read (little-endian).
struct ZIP_CENTRAL_DIRECTORY_FILE_HEADER {
    static constexpr uint32_t kSignature = 0x02014b50;  // "PK", 1, 2
    static constexpr int kSize = 46;

    unsigned char bytes[kSize];

    uint32_t Signature() const { return U32(0); }
    uint16_t Flags() const { return U16(8); }
    uint16_t CompressionMethod() const { return U16(10); }
    uint32_t Crc32() const { return U32(16); }
    uint32_t CompressedSize() const { return U32(20); }
    uint32_t UncompressedSize() const { return U32(24); }
    uint16_t FileNameLength() const { return U16(28); }
    uint16_t ExtraFieldLength() const { return U16(30); }
    uint16_t FileCommentLength() const { return U16(32); }
    uint32_t LocalHeaderOffset() const { return U32(42); }

private:
    uint16_t U16(int at) const { return uint16_t(bytes[at] | bytes[at + 1] << 8); }
    uint32_t U32(int at) const {
        return uint32_t(bytes[at]) | uint32_t(bytes[at + 1]) << 8 | uint32_t(bytes[at + 2]) << 16 |
               uint32_t(bytes[at + 3]) << 24;
    }
};

// An input stream over a block of bytes it does not own.
class UStream_Memory : public IInputStream {
public:
    UStream_Memory(const unsigned char* data, uint64_t size, const UString& name);

    // Copies min(size, bytes left) bytes and advances; 0 at or past the end.
    uint64_t Serialize(void* buffer, uint64_t size) override;
    // Forgets data, size and position.
    void Close() override;
    // True while there is data of at least one byte.
    bool IsOpen() const override;
    UString GetName() const override;
    uint64_t GetSize() override;
    uint64_t Tell() override;
    void SeekToStart() override;
    // Moves to the last byte (position 0 for an empty block).
    void SeekToEnd() override;
    // A negative distance moves backward. Reaching the size moves to the last byte and
    // marks the stream as failed.
    IInputStream& SeekForward(int32_t distance) override;
    // A negative distance moves forward. Moving before the start moves to position 0 and
    // marks the stream as failed.
    IInputStream& SeekBackward(int32_t distance) override;
    // True for an empty block or from the last byte on.
    bool IsEnd() override;

    // True once a seek went out of range.
    bool HasFailed() const { return m_failed; }

private:
    IInputStream& Forward(int64_t distance);
    IInputStream& Backward(int64_t distance);

    const unsigned char* m_data;
    uint64_t m_size;
    uint64_t m_position;
    bool m_failed;
    UString m_name;
};

class UStream_Archive : public IInputStream {
public:
    // Reads the entry `entryName` of the archive in `source` (which may be positioned
    // anywhere and is left where it was). Test the result with IsOpen.
    UStream_Archive(IInputStream& source, const UString& entryName);
    ~UStream_Archive() noexcept(false) override;

    // Every stream operation is passed on to the in-memory stream over the entry's
    // bytes; a stream that is not open reads nothing and reports size 0.
    uint64_t Serialize(void* buffer, uint64_t size) override;
    void Close() override;
    bool IsOpen() const override;
    // The archive's name, "/" and the entry name.
    UString GetName() const override;
    uint64_t GetSize() override;
    uint64_t Tell() override;
    void SeekToStart() override;
    void SeekToEnd() override;
    IInputStream& SeekForward(int32_t distance) override;
    IInputStream& SeekBackward(int32_t distance) override;
    bool IsEnd() override;
    // The entry's bytes, inflated or read once into a block of the stream's own; a text
    // reader reads them there.
    const unsigned char* GetBytesInMemory() const override;

    // Archives nest at most this deep (an archive may contain itself).
    static constexpr int kMaxNesting = 16;
    // At most this many archives are opened inside others while one path is looked up:
    // when several leading parts of an entry path name archives, each split is tried, and
    // archives built to match many splits at every level would take exponential time.
    static constexpr int kMaxNestedOpens = 256;
    // The largest entry read: its bytes and the zero byte after them fill at most one
    // array block.
    static constexpr uint32_t kMaxEntrySize = uint32_t(INT32_MAX) - UArrayBase::kGranularity;

    // Why the entry could not be read, or Ok.
    ArchiveResult GetResult() const { return m_result; }

private:
    // asArchive: the entry is read only as an archive inside this one; a stored entry is
    // then served from the bytes of an archive stream it lies in, uncopied.
    UStream_Archive(IInputStream& source, const UString& entryName, int nesting, int* opensLeft, bool asArchive);

    // The bytes of an open archive stream (its own block or its view), or null for any
    // other stream.
    static const unsigned char* ArchiveBytes(IInputStream& stream);
    bool ReadCentralDirectory();
    bool OpenEntry(const UString& name);
    bool OpenNested(const UString& name);
    // Reads exactly size bytes at position of the source; false when the range does
    // not lie inside the source or the read comes up short.
    bool ReadAt(uint64_t position, void* buffer, uint64_t size);
    void SeekSource(uint64_t position);
    void Unreadable(const UString& name, ArchiveResult reason);
    void NotFound(const UString& name);
    // Writes the message as a warning at the outermost level; inside a nested archive
    // keeps it (the first one) for the outer stream instead. Either way the first
    // reason becomes the stream's result.
    void Report(const UString& message, ArchiveResult reason);

    IInputStream* m_source;
    UArray<unsigned char> m_bytes;
    const unsigned char* m_view = nullptr;  // the entry's bytes inside the source archive's block
    std::unique_ptr<UStream_Memory> m_memory;
    UString m_entryName;
    UTable<UString, ZIP_CENTRAL_DIRECTORY_FILE_HEADER> m_directory;
    UString m_sourceName;
    uint64_t m_sourceSize;
    int m_nesting;
    int m_opens = kMaxNestedOpens;  // what is left of the lookup's budget, in the outermost stream
    int* m_opensLeft;
    bool m_asArchive;
    UString m_problem;  // a nested stream's unreported message
    ArchiveResult m_problemResult = ArchiveResult::Ok;
    ArchiveResult m_result = ArchiveResult::Ok;
};

// The archive fall-back of the file systems' CreateFileReader. The path is taken as an
// archive path followed by an entry name: the prefixes ending before each backslash are
// tried from the end, then those ending before each "/" from the end, so a backslash is
// preferred to a later "/" but does not hide one. The first prefix that `open` opens is
// the archive, and the text after that separator the entry. Returns the open archive
// stream, or an empty handle when no prefix opens or the entry cannot be read; in the
// latter case failure is set to the reason (ArchiveResultText, or kEmptyEntryReason).
InputStreamHandle OpenArchivePath(const UString& path, InputStreamHandle (*open)(const UString& path),
                                  UString& failure);

// Why an entry that was found reads as nothing.
constexpr const char* kEmptyEntryReason = "The file is empty.";

}  // namespace brix
