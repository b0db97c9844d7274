#include "CoreServices/Implementations/UStream_Archive.h"

#include <cstring>

#include "Core/UMessage.h"
#include "CoreServices/Implementations/UCompressor.h"

namespace brix {

// ---------------------------------------------------------------------------------------
// UStream_Memory

UStream_Memory::UStream_Memory(const unsigned char* data, uint64_t size, const UString& name)
    : m_data(data), m_size(data ? size : 0), m_position(0), m_failed(false), m_name(name) {}

uint64_t UStream_Memory::Serialize(void* buffer, uint64_t size) {
    if (!m_data || m_position >= m_size || size == 0) return 0;
    const uint64_t count = size < m_size - m_position ? size : m_size - m_position;
    memcpy(buffer, m_data + m_position, size_t(count));
    m_position += count;
    return count;
}

void UStream_Memory::Close() {
    m_data = nullptr;
    m_size = 0;
    m_position = 0;
}

bool UStream_Memory::IsOpen() const { return m_data && m_size > 0; }
UString UStream_Memory::GetName() const { return m_name; }
uint64_t UStream_Memory::GetSize() { return m_size; }
uint64_t UStream_Memory::Tell() { return m_position; }
void UStream_Memory::SeekToStart() { m_position = 0; }
void UStream_Memory::SeekToEnd() { m_position = m_size ? m_size - 1 : 0; }

IInputStream& UStream_Memory::Forward(int64_t distance) {
    if (distance < 0) return Backward(-distance);
    if (m_position + uint64_t(distance) >= m_size) {
        SeekToEnd();
        m_failed = true;
    } else {
        m_position += uint64_t(distance);
    }
    return *this;
}

IInputStream& UStream_Memory::Backward(int64_t distance) {
    if (distance < 0) return Forward(-distance);
    if (uint64_t(distance) <= m_position) {
        m_position -= uint64_t(distance);
    } else {
        SeekToStart();
        m_failed = true;
    }
    return *this;
}

IInputStream& UStream_Memory::SeekForward(int32_t distance) { return Forward(distance); }
IInputStream& UStream_Memory::SeekBackward(int32_t distance) { return Backward(distance); }
bool UStream_Memory::IsEnd() { return m_size == 0 || m_position >= m_size - 1; }

// ---------------------------------------------------------------------------------------
// UStream_Archive

const char* ArchiveResultText(ArchiveResult result) {
    static_assert(UStream_Archive::kMaxNesting == 16, "the nesting text names the limit");
    switch (result) {
    case ArchiveResult::Ok: return "";
    case ArchiveResult::NoCentralDirectory: return "No central directory found.";
    case ArchiveResult::Zip64: return "It uses ZIP64 extensions, which are not supported.";
    case ArchiveResult::NotFound: return "It can't be found inside the archive.";
    case ArchiveResult::Encrypted: return "The entry is encrypted.";
    case ArchiveResult::UnsupportedMethod: return "Unsupported compression method used.";
    case ArchiveResult::DamagedHeader: return "Its header is damaged.";
    case ArchiveResult::DamagedData: return "The compressed data is damaged.";
    case ArchiveResult::ChecksumMismatch: return "The data doesn't match its checksum.";
    case ArchiveResult::NestedTooDeep: return "Archives nested more than 16 deep are not read.";
    case ArchiveResult::TooManyWays: return "Its path names nested archives in more ways than are tried.";
    }
    return "";
}

namespace {

constexpr uint32_t kEndOfDirectorySignature = 0x06054b50;  // "PK", 5, 6
constexpr uint32_t kLocalHeaderSignature = 0x04034b50;     // "PK", 3, 4
constexpr uint32_t kZip64LocatorSignature = 0x07064b50;    // "PK", 6, 7
constexpr int kEndOfDirectorySize = 22;
constexpr int kLocalHeaderSize = 30;

uint16_t U16(const unsigned char* p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t U32(const unsigned char* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

}  // namespace

UStream_Archive::UStream_Archive(IInputStream& source, const UString& entryName)
    : UStream_Archive(source, entryName, 0, nullptr, false) {}

UStream_Archive::UStream_Archive(IInputStream& source, const UString& entryName, int nesting, int* opensLeft,
                                 bool asArchive)
    : m_source(&source),
      m_entryName(entryName),
      m_sourceName(source.GetName()),
      m_sourceSize(0),
      m_nesting(nesting),
      m_opensLeft(opensLeft ? opensLeft : &m_opens),
      m_asArchive(asArchive) {
    const uint64_t remembered = source.Tell();
    m_sourceSize = source.GetSize();
    if (ReadCentralDirectory()) OpenEntry(m_entryName);
    SeekSource(remembered);
    m_source = nullptr;  // not used after construction
}

UStream_Archive::~UStream_Archive() noexcept(false) = default;

void UStream_Archive::SeekSource(uint64_t position) {
    m_source->SeekToStart();
    while (position > 0) {
        const uint64_t step = position < uint64_t(INT32_MAX) ? position : uint64_t(INT32_MAX);
        m_source->SeekForward(int32_t(step));
        position -= step;
    }
}

bool UStream_Archive::ReadAt(uint64_t position, void* buffer, uint64_t size) {
    if (position > m_sourceSize || size > m_sourceSize - position) return false;
    if (size == 0) return true;
    SeekSource(position);
    return m_source->Serialize(buffer, size) == size;
}

bool UStream_Archive::ReadCentralDirectory() {
    // The end record is searched backwards from the last place it fits (a trailing
    // comment may follow it) down to position 1, a block at a time.
    uint64_t endRecord = 0;
    if (m_sourceSize >= uint64_t(kEndOfDirectorySize) + 1) {
        constexpr uint64_t kBlock = 65536;
        UArray<unsigned char> block(int32_t(kBlock + 3));
        uint64_t high = m_sourceSize - kEndOfDirectorySize;  // highest candidate position
        while (!endRecord) {
            const uint64_t low = high >= kBlock ? high - kBlock + 1 : 1;
            if (!ReadAt(low, block.Data(), high - low + 4)) break;
            for (uint64_t p = high + 1; p-- > low;)
                if (U32(block.Data() + (p - low)) == kEndOfDirectorySignature) {
                    endRecord = p;
                    break;
                }
            if (low == 1) break;
            high = low - 1;
        }
    }

    // An archive with no entries is its end record alone, at position 0: it has a
    // directory, an empty one, and an entry looked up in it is simply not there.
    bool found = endRecord != 0;
    unsigned char end[kEndOfDirectorySize];
    if (!found && m_sourceSize >= uint64_t(kEndOfDirectorySize))
        found = ReadAt(0, end, 4) && U32(end) == kEndOfDirectorySignature;
    bool ok = found && ReadAt(endRecord, end, kEndOfDirectorySize);
    if (ok) {
        const uint32_t entryCount = U16(end + 10);
        uint64_t at = U32(end + 16);
        for (uint32_t i = 0; ok && i < entryCount; ++i) {
            ZIP_CENTRAL_DIRECTORY_FILE_HEADER header;
            ok = ReadAt(at, header.bytes, ZIP_CENTRAL_DIRECTORY_FILE_HEADER::kSize) &&
                 header.Signature() == ZIP_CENTRAL_DIRECTORY_FILE_HEADER::kSignature;
            if (!ok) break;
            const uint16_t nameLength = header.FileNameLength();
            UString name;
            name.Add(nameLength + 1);
            name[nameLength] = 0;
            ok = ReadAt(at + ZIP_CENTRAL_DIRECTORY_FILE_HEADER::kSize, name.Data(), nameLength);
            if (!ok) break;
            // A later record with the same name replaces the earlier one.
            if (ZIP_CENTRAL_DIRECTORY_FILE_HEADER* known = m_directory.Find(name))
                *known = header;
            else
                m_directory.Add(name, header);
            at += uint64_t(ZIP_CENTRAL_DIRECTORY_FILE_HEADER::kSize) + nameLength + header.ExtraFieldLength() +
                  header.FileCommentLength();
        }
    }
    if (!ok) {
        // A ZIP64 archive puts its locator record just before the end record.
        unsigned char locator[4];
        const ArchiveResult reason =
            endRecord >= 20 && ReadAt(endRecord - 20, locator, 4) && U32(locator) == kZip64LocatorSignature
                ? ArchiveResult::Zip64
                : ArchiveResult::NoCentralDirectory;
        UString message("Can't handle file \"");
        message.Append(m_sourceName);
        message.Append("\". ");
        message.Append(ArchiveResultText(reason));
        Report(message, reason);
    }
    return ok;
}

void UStream_Archive::Report(const UString& message, ArchiveResult reason) {
    if (m_result == ArchiveResult::Ok) m_result = reason;
    if (m_nesting == 0) {
        UMessage(Channel::Warning, "") << message;
    } else if (m_problem.IsEmpty()) {
        m_problem = message;
        m_problemResult = reason;
    }
}

void UStream_Archive::NotFound(const UString& name) {
    UString message("The file \"");
    message.Append(name);
    message.Append("\" can't be found inside the archive \"");
    message.Append(m_sourceName);
    message.Append("\".");
    Report(message, ArchiveResult::NotFound);
}

void UStream_Archive::Unreadable(const UString& name, ArchiveResult reason) {
    UString message("Can't handle file \"");
    message.Append(name);
    message.Append("\" in archive \"");
    message.Append(m_sourceName);
    message.Append("\". ");
    message.Append(ArchiveResultText(reason));
    Report(message, reason);
}

bool UStream_Archive::OpenNested(const UString& name) {
    for (int32_t i = name.Length() - 1; i > 0; --i) {
        if (name[i] != '/' && name[i] != '\\') continue;
        const UString outer(name.Data(), i);
        if (!m_directory.Find(outer)) continue;
        if (m_nesting >= kMaxNesting) {
            if (m_problem.IsEmpty()) Unreadable(name, ArchiveResult::NestedTooDeep);
            return false;
        }
        if (*m_opensLeft < 2) {
            // Said in place of whatever failed before the budget ran out, and by the
            // outermost stream once the lookup has given up.
            m_problem = UString("Can't handle file \"");
            m_problem.Append(name);
            m_problem.Append("\" in archive \"");
            m_problem.Append(m_sourceName);
            m_problem.Append("\". ");
            m_problem.Append(ArchiveResultText(ArchiveResult::TooManyWays));
            m_problemResult = ArchiveResult::TooManyWays;
            return false;
        }
        *m_opensLeft -= 2;
        UStream_Archive inner(*m_source, outer, m_nesting + 1, m_opensLeft, true);
        if (!inner.IsOpen()) {
            if (m_problem.IsEmpty()) {
                m_problem = inner.m_problem;
                m_problemResult = inner.m_problemResult;
            }
            continue;
        }
        const UString rest(name.Data() + i + 1, name.Length() - i - 1);
        UStream_Archive nested(inner, rest, m_nesting + 1, m_opensLeft, false);
        if (!nested.IsOpen()) {
            // What went wrong inside an archive that did open says most.
            if (!nested.m_problem.IsEmpty()) {
                m_problem = nested.m_problem;
                m_problemResult = nested.m_problemResult;
            }
            if (m_problemResult == ArchiveResult::TooManyWays) return false;
            continue;
        }
        const uint64_t size = nested.GetSize();
        m_bytes = std::move(nested.m_bytes);  // the entry's bytes change hands, uncopied
        m_memory = std::make_unique<UStream_Memory>(m_bytes.Data(), size, GetName());
        return true;
    }
    return false;
}

const unsigned char* UStream_Archive::ArchiveBytes(IInputStream& stream) {
    const UStream_Archive* archive = dynamic_cast<const UStream_Archive*>(&stream);
    if (!archive || !archive->IsOpen()) return nullptr;
    return archive->m_view ? archive->m_view : archive->m_bytes.Data();
}

bool UStream_Archive::OpenEntry(const UString& name) {
    // Archives separate folders with "/"; a path typed with backslashes means the same.
    UString slashed(name);
    for (int32_t i = 0; i < slashed.Length(); ++i)
        if (slashed[i] == '\\') slashed[i] = '/';
    const ZIP_CENTRAL_DIRECTORY_FILE_HEADER* found = m_directory.Find(name);
    if (!found) found = m_directory.Find(slashed);
    if (!found) {
        if (OpenNested(name) || (!(slashed == name) && OpenNested(slashed))) return true;
        const UString nestedProblem = m_problem;
        const ArchiveResult nestedResult = m_problemResult;
        m_problem = UString();
        m_problemResult = ArchiveResult::Ok;
        if (!nestedProblem.IsEmpty())
            Report(nestedProblem, nestedResult);
        else
            NotFound(name);
        return false;
    }
    const ZIP_CENTRAL_DIRECTORY_FILE_HEADER header = *found;

    // All ones in a size or offset says that the value is kept in a ZIP64 extra field.
    if (header.CompressedSize() == 0xffffffffu || header.UncompressedSize() == 0xffffffffu ||
        header.LocalHeaderOffset() == 0xffffffffu) {
        Unreadable(name, ArchiveResult::Zip64);
        return false;
    }
    if (header.Flags() & 1) {
        Unreadable(name, ArchiveResult::Encrypted);
        return false;
    }
    if (header.CompressionMethod() != 0 && header.CompressionMethod() != 8) {
        Unreadable(name, ArchiveResult::UnsupportedMethod);
        return false;
    }

    unsigned char local[kLocalHeaderSize];
    if (!ReadAt(header.LocalHeaderOffset(), local, kLocalHeaderSize) || U32(local) != kLocalHeaderSignature) {
        Unreadable(name, ArchiveResult::DamagedHeader);
        return false;
    }
    const uint64_t dataStart =
        uint64_t(header.LocalHeaderOffset()) + kLocalHeaderSize + U16(local + 26) + U16(local + 28);
    const uint32_t size = header.UncompressedSize();

    // The entry's bytes go into one block with a zero byte after them, where a text
    // reader reads them in place (GetBytesInMemory).
    switch (header.CompressionMethod()) {
    case 0:  // stored
        // Checked before anything is allocated for the entry.
        if (dataStart > m_sourceSize || size > m_sourceSize - dataStart || size > kMaxEntrySize) {
            Unreadable(name, ArchiveResult::DamagedHeader);
            return false;
        }
        if (const unsigned char* source = m_asArchive ? ArchiveBytes(*m_source) : nullptr) {
            // An archive read only to reach an entry inside it: its bytes stay where they
            // lie, so that a chain of stored archives holds one copy, not one per level.
            if (Crc32(source + dataStart, size) != header.Crc32()) {
                Unreadable(name, ArchiveResult::ChecksumMismatch);
                return false;
            }
            m_view = source + dataStart;
            m_memory = std::make_unique<UStream_Memory>(m_view, uint64_t(size), GetName());
            return true;
        }
        m_bytes.Empty();
        m_bytes.Add(int32_t(size) + 1);
        if (!ReadAt(dataStart, m_bytes.Data(), size)) {
            m_bytes.Empty();
            Unreadable(name, ArchiveResult::DamagedHeader);
            return false;
        }
        break;
    case 8: {  // Deflate
        const uint32_t compressedSize = header.CompressedSize();
        if (dataStart > m_sourceSize || compressedSize > m_sourceSize - dataStart ||
            compressedSize > uint32_t(INT32_MAX)) {
            Unreadable(name, ArchiveResult::DamagedHeader);
            return false;
        }
        UArray<unsigned char> compressed{int32_t(compressedSize)};
        if (!ReadAt(dataStart, compressed.Data(), compressedSize)) {
            Unreadable(name, ArchiveResult::DamagedHeader);
            return false;
        }
        // A size beyond the decoder's limit, or beyond what Deflate can make of the
        // compressed bytes, is never reached: damaged data, found before a block of that
        // size is taken.
        using Deflate = DecompressorPolicy_Deflate;
        if (size > Deflate::kMaxOutput || size > Deflate::kMaxExpansion * compressedSize) {
            Unreadable(name, ArchiveResult::DamagedData);
            return false;
        }
        // Inflated once, straight into the entry's block: the directory gives its size.
        m_bytes.Empty();
        m_bytes.Add(int32_t(size) + 1);
        std::unique_ptr<Deflate> decoder = std::make_unique<Deflate>();
        size_t written = 0;
        if (decoder->Decompress(compressed.Data(), compressedSize, m_bytes.Data(), size, written) !=
                InflateResult::Ok ||
            written != size) {
            m_bytes.Empty();
            Unreadable(name, ArchiveResult::DamagedData);
            return false;
        }
        break;
    }
    default: Unreadable(name, ArchiveResult::UnsupportedMethod); return false;
    }

    m_bytes[int32_t(size)] = 0;
    if (Crc32(m_bytes.Data(), size) != header.Crc32()) {
        m_bytes.Empty();
        Unreadable(name, ArchiveResult::ChecksumMismatch);
        return false;
    }
    m_memory = std::make_unique<UStream_Memory>(m_bytes.Data(), uint64_t(size), GetName());
    return true;
}

UString UStream_Archive::GetName() const {
    UString name(m_sourceName);
    name.Append("/");
    name.Append(m_entryName);
    return name;
}

uint64_t UStream_Archive::Serialize(void* buffer, uint64_t size) {
    return m_memory ? m_memory->Serialize(buffer, size) : 0;
}
void UStream_Archive::Close() {
    if (m_memory) m_memory->Close();
}
bool UStream_Archive::IsOpen() const { return m_memory && m_memory->IsOpen(); }
uint64_t UStream_Archive::GetSize() { return m_memory ? m_memory->GetSize() : 0; }
uint64_t UStream_Archive::Tell() { return m_memory ? m_memory->Tell() : 0; }
void UStream_Archive::SeekToStart() {
    if (m_memory) m_memory->SeekToStart();
}
void UStream_Archive::SeekToEnd() {
    if (m_memory) m_memory->SeekToEnd();
}
IInputStream& UStream_Archive::SeekForward(int32_t distance) {
    if (m_memory) m_memory->SeekForward(distance);
    return *this;
}
IInputStream& UStream_Archive::SeekBackward(int32_t distance) {
    if (m_memory) m_memory->SeekBackward(distance);
    return *this;
}
bool UStream_Archive::IsEnd() { return m_memory ? m_memory->IsEnd() : true; }
const unsigned char* UStream_Archive::GetBytesInMemory() const {
    return IsOpen() && !m_view ? m_bytes.Data() : nullptr;
}

// ---------------------------------------------------------------------------------------

InputStreamHandle OpenArchivePath(const UString& path, InputStreamHandle (*open)(const UString& path),
                                  UString& failure) {
    const char* text = path.c_str();
    // Every backslash from the end, then every "/" from the end. A "/" after a backslash
    // is tried too: in a Windows path such as C:\rigs\pack.zip/hero.tsl the backslashes
    // all lie before the archive.
    for (const char kind : {'\\', '/'}) {
        for (int32_t separator = path.Length() - 1; separator >= 0; --separator) {
            if (text[separator] != kind) continue;
            InputStreamHandle archive = open(UString(path.Data(), separator));
            if (!archive) continue;
            const UString entry(path.Data() + separator + 1, path.Length() - separator - 1);
            auto stream = std::make_unique<UStream_Archive>(*archive, entry);
            if (stream->IsOpen()) return stream;
            failure = stream->GetResult() == ArchiveResult::Ok ? UString(kEmptyEntryReason)
                                                               : UString(ArchiveResultText(stream->GetResult()));
            return nullptr;
        }
    }
    return nullptr;
}

}  // namespace brix
