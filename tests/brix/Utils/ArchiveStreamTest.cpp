#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "CoreServices/Implementations/UCompressor.h"
#include "CoreServices/Implementations/UStream_Archive.h"
#include "CoreServices/Interfaces/ICoreServices.h"
#include "Utils/UTextParser.h"
#include "support/WarningCapture.h"

using namespace brix;
using brix::test::WarningCapture;

namespace {

using Bytes = std::vector<unsigned char>;

Bytes Fixture(const std::string& name) {
    std::ifstream in(std::string(TESSALINE_TEST_DATA) + "/archives/" + name, std::ios::binary);
    EXPECT_TRUE(in.good()) << name;
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

// The rig text the fixture script writes (make_archives.py, rig_text).
Bytes RigText(int lines) {
    std::string out;
    char line[128];
    for (int i = 0; i < lines; ++i) {
        snprintf(line, sizeof line, "bone \"joint%d\" \"joint%d\" { %.4f %.4f %.4f }\r\n", i, i / 2, i * 0.25, -i * 0.5,
                 1.0);
        out += line;
    }
    return Text(out);
}

Bytes ReadAll(IInputStream& stream) {
    Bytes out(size_t(stream.GetSize()));
    if (!out.empty()) {
        EXPECT_EQ(stream.Serialize(out.data(), out.size()), out.size());
    }
    return out;
}

uint32_t Get32(const Bytes& b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}
void Put32(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = (unsigned char)(v >> (8 * i));
}
void Put16(Bytes& b, size_t at, uint16_t v) {
    b[at] = (unsigned char)v;
    b[at + 1] = (unsigned char)(v >> 8);
}

size_t FindEndRecord(const Bytes& b) {
    for (size_t p = b.size() - 22 + 1; p-- > 0;)
        if (Get32(b, p) == 0x06054b50) return p;
    ADD_FAILURE() << "no end record";
    return 0;
}

// The offset of the central-directory record of `name`.
size_t FindDirectoryRecord(const Bytes& b, const std::string& name) {
    const size_t end = FindEndRecord(b);
    size_t at = Get32(b, end + 16);
    for (int i = 0; i < (b[end + 10] | b[end + 11] << 8); ++i) {
        const size_t nameLength = b[at + 28] | b[at + 29] << 8;
        if (std::string(b.begin() + long(at) + 46, b.begin() + long(at + 46 + nameLength)) == name) return at;
        at += 46 + nameLength + (b[at + 30] | b[at + 31] << 8) + (b[at + 32] | b[at + 33] << 8);
    }
    ADD_FAILURE() << "no record for " << name;
    return 0;
}

// Where the entry's data starts (after its local header).
size_t DataStart(const Bytes& b, const std::string& name) {
    const size_t local = Get32(b, FindDirectoryRecord(b, name) + 42);
    return local + 30 + (b[local + 26] | b[local + 27] << 8) + (b[local + 28] | b[local + 29] << 8);
}

// Opens an entry of an archive held in memory, recording what channel 7 says.
struct Opened {
    Opened(const Bytes& archive, const std::string& entry, const std::string& name = "test.zip", uint64_t startAt = 0)
        : source(archive.data(), archive.size(), UString(name.c_str())) {
        WarningCapture capture;
        source.SeekForward(int32_t(startAt));
        stream = std::make_unique<UStream_Archive>(source, UString(entry.c_str()));
        sourcePosition = source.Tell();
        warnings = capture.Text();
    }
    std::string Warning() const { return warnings; }

    UStream_Memory source;
    std::string warnings;
    std::unique_ptr<UStream_Archive> stream;
    uint64_t sourcePosition = 0;
};

std::string Warning(const std::string& text) { return "WARNING: " + text + "\r\n"; }

}  // namespace

TEST(ArchiveStream, ReadsEntriesOfRealArchives) {
    struct Case {
        const char* archive;
        const char* entry;
        Bytes expected;
    };
    const std::vector<Case> cases = {
        {"stored.zip", "rig.tsl", Text("stored rig\r\n")},
        {"stored.zip", "dir/sub.tsl", Text("in a folder\r\n")},
        {"deflated.zip", "rig.tsl", RigText(400)},
        {"deflated.zip", "small.tsl", Text("tiny")},
        {"comment.zip", "rig.tsl", Text("behind a comment\r\n")},
        {"streamed.zip", "-", RigText(100)},  // sizes only in the central directory
        {"duplicate.zip", "rig.tsl", Text("second copy\r\n")},
        {"duplicate.zip", "other.tsl", Text("other\r\n")},
        {"nested.zip", "top.tsl", Text("top level\r\n")},
        {"nested.zip", "packs/inner.zip/rig.tsl", RigText(50)},
        {"nested.zip", "packs/inner.zip\\rig.tsl", RigText(50)},
        {"nested.zip", "packs/inner.zip/more/deeper.zip/leaf.tsl", Text("three levels down\r\n")},
        // Backslashes typed where the archive has "/".
        {"stored.zip", "dir\\sub.tsl", Text("in a folder\r\n")},
        {"nested.zip", "packs\\inner.zip\\more\\deeper.zip\\leaf.tsl", Text("three levels down\r\n")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.archive) + " " + c.entry);
        const Bytes archive = Fixture(c.archive);
        // The source may start anywhere and is left where it was.
        Opened opened(archive, c.entry, c.archive, 7);
        ASSERT_TRUE(opened.stream->IsOpen());
        EXPECT_EQ(opened.Warning(), "");
        EXPECT_EQ(opened.sourcePosition, 7u);
        EXPECT_EQ(opened.stream->GetSize(), c.expected.size());
        EXPECT_EQ(ReadAll(*opened.stream), c.expected);
        EXPECT_EQ(opened.stream->GetName(), (std::string(c.archive) + "/" + c.entry).c_str());
        // The same bytes lie in the stream's block, a zero byte after them, to be read in place.
        const unsigned char* held = opened.stream->GetBytesInMemory();
        ASSERT_NE(held, nullptr);
        EXPECT_EQ(Bytes(held, held + c.expected.size()), c.expected);
        EXPECT_EQ(held[c.expected.size()], 0);
    }
}

// The stream parser tokenizes the entry's own block from the stream's position: no copy
// of the entry is made, and the tokens are those of a copy.
TEST(ArchiveStream, StreamParserReadsTheEntryInPlace) {
    const Bytes archive = Fixture("deflated.zip");
    Opened opened(archive, "rig.tsl");
    UStream_Archive& stream = *opened.stream;
    stream.SeekForward(5);
    TextParserPolicy_ParseStream<unsigned char> parser(&stream);
    EXPECT_EQ(stream.Tell(), 5u);
    EXPECT_EQ(parser.Parser().GetText(), reinterpret_cast<const char*>(stream.GetBytesInMemory()));

    const Bytes rig = RigText(400);
    const UString rest(rig.data() + 5, int32_t(rig.size() - 5));
    UTextParser copy(rest);
    int tokens = 0;
    for (; copy.HasMoreTokens(); ++tokens) {
        UString expected, value;
        copy >> expected;
        parser >> value;
        ASSERT_EQ(value, expected) << tokens;
    }
    EXPECT_FALSE(parser.HasMoreTokens());
    EXPECT_EQ(tokens, 400 * 4 - 1);  // four a line, the first "bone" skipped
}

TEST(ArchiveStream, ReadsLikeAnInputStream) {
    const Bytes archive = Fixture("deflated.zip");
    Opened opened(archive, "small.tsl");
    UStream_Archive& s = *opened.stream;
    unsigned char b[8] = {};
    EXPECT_EQ(s.Serialize(b, 2), 2u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(b), 2), "ti");
    EXPECT_EQ(s.Tell(), 2u);
    EXPECT_FALSE(s.IsEnd());
    s.SeekForward(1);
    EXPECT_TRUE(s.IsEnd());  // the last byte counts as the end
    EXPECT_EQ(s.Serialize(b, 8), 1u);
    EXPECT_EQ(b[0], 'y');
    EXPECT_EQ(s.Serialize(b, 8), 0u);
    s.SeekBackward(2);
    EXPECT_EQ(s.Tell(), 2u);
    s.SeekToStart();
    EXPECT_EQ(s.Tell(), 0u);
    s.Close();
    EXPECT_FALSE(s.IsOpen());
    EXPECT_EQ(s.Serialize(b, 8), 0u);
    EXPECT_EQ(s.GetBytesInMemory(), nullptr);
}

TEST(ArchiveStream, WritesTheMessagesOfUnreadableEntries) {
    struct Case {
        const char* what;
        Bytes archive;
        const char* entry;
        ArchiveResult reason;
        std::string warning;
    };
    using R = ArchiveResult;
    const Bytes deflated = Fixture("deflated.zip");
    const Bytes stored = Fixture("stored.zip");

    Bytes badCrc = deflated;
    Put32(badCrc, FindDirectoryRecord(badCrc, "rig.tsl") + 16,
          Get32(badCrc, FindDirectoryRecord(badCrc, "rig.tsl") + 16) ^ 1);
    Bytes storedDamage = stored;
    storedDamage[DataStart(storedDamage, "rig.tsl")] ^= 0x20;
    Bytes badDeflate = deflated;
    badDeflate[DataStart(badDeflate, "rig.tsl")] = 0x07;  // final block of the reserved type 3
    Bytes longer = deflated, shorter = deflated;
    const size_t rig = FindDirectoryRecord(deflated, "rig.tsl");
    Put32(longer, rig + 24, Get32(deflated, rig + 24) + 1);
    Put32(shorter, rig + 24, Get32(deflated, rig + 24) - 1);
    Bytes beyondDeflate = deflated;  // more than 1032 bytes for each compressed byte
    Put32(beyondDeflate, rig + 24, Get32(deflated, rig + 20) * 1032 + 1);

    const std::vector<Case> cases = {
        {"missing entry", stored, "missing.tsl", R::NotFound,
         Warning("The file \"missing.tsl\" can't be found inside the archive \"test.zip\".")},
        {"missing nested entry", Fixture("nested.zip"), "packs/other.zip/rig.tsl", R::NotFound,
         Warning("The file \"packs/other.zip/rig.tsl\" can't be found inside the archive \"test.zip\".")},
        {"not an archive", Text(std::string(500, 'x')), "rig.tsl", R::NoCentralDirectory,
         Warning("Can't handle file \"test.zip\". No central directory found.")},
        {"too short for an end record", Text("PK\x05\x06"), "rig.tsl", R::NoCentralDirectory,
         Warning("Can't handle file \"test.zip\". No central directory found.")},
        {"bzip2 entry", Fixture("bzip2.zip"), "rig.tsl", R::UnsupportedMethod,
         Warning("Can't handle file \"rig.tsl\" in archive \"test.zip\". Unsupported compression method used.")},
        {"checksum of a deflated entry", badCrc, "rig.tsl", R::ChecksumMismatch,
         Warning("Can't handle file \"rig.tsl\" in archive \"test.zip\". The data doesn't match its checksum.")},
        {"checksum of a stored entry", storedDamage, "rig.tsl", R::ChecksumMismatch,
         Warning("Can't handle file \"rig.tsl\" in archive \"test.zip\". The data doesn't match its checksum.")},
        {"Deflate data that does not decode", badDeflate, "rig.tsl", R::DamagedData,
         Warning("Can't handle file \"rig.tsl\" in archive \"test.zip\". The compressed data is damaged.")},
        {"decodes to fewer bytes than the directory says", longer, "rig.tsl", R::DamagedData,
         Warning("Can't handle file \"rig.tsl\" in archive \"test.zip\". The compressed data is damaged.")},
        {"decodes to more bytes than the directory says", shorter, "rig.tsl", R::DamagedData,
         Warning("Can't handle file \"rig.tsl\" in archive \"test.zip\". The compressed data is damaged.")},
        {"a size no Deflate data of that length decodes to", beyondDeflate, "rig.tsl", R::DamagedData,
         Warning("Can't handle file \"rig.tsl\" in archive \"test.zip\". The compressed data is damaged.")},
        {"empty entry: not open, nothing to say", deflated, "empty.tsl", R::Ok, ""},
        {"an archive with no entries", Text(std::string("PK\x05\x06", 4) + std::string(18, '\0')), "rig.tsl",
         R::NotFound, Warning("The file \"rig.tsl\" can't be found inside the archive \"test.zip\".")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Opened opened(c.archive, c.entry);
        EXPECT_FALSE(opened.stream->IsOpen());
        EXPECT_EQ(opened.stream->GetSize(), 0u);
        EXPECT_EQ(opened.stream->GetBytesInMemory(), nullptr);
        EXPECT_EQ(opened.stream->GetResult(), c.reason);
        EXPECT_EQ(opened.Warning(), c.warning);
    }
}

TEST(ArchiveStream, DirectoryFieldsPointingOutsideTheArchiveFailCleanly) {
    const Bytes deflated = Fixture("deflated.zip");
    const size_t end = FindEndRecord(deflated);
    const size_t rig = FindDirectoryRecord(deflated, "rig.tsl");
    const std::string noDirectory = Warning("Can't handle file \"test.zip\". No central directory found.");
    const std::string notFound = Warning("The file \"rig.tsl\" can't be found inside the archive \"test.zip\".");
    const std::string damagedHeader =
        Warning("Can't handle file \"rig.tsl\" in archive \"test.zip\". Its header is damaged.");
    const std::string zip64 = Warning(
        "Can't handle file \"rig.tsl\" in archive \"test.zip\". It uses ZIP64 extensions, which are not supported.");
    struct Case {
        const char* what;
        size_t at;
        int width;
        uint32_t value;
        std::string warning;
        ArchiveResult reason;
    };
    using R = ArchiveResult;
    const std::vector<Case> cases = {
        {"directory offset past the end", end + 16, 4, uint32_t(deflated.size() + 100), noDirectory,
         R::NoCentralDirectory},
        {"directory offset at the last byte", end + 16, 4, uint32_t(deflated.size() - 1), noDirectory,
         R::NoCentralDirectory},
        {"directory offset of 2^32-1", end + 16, 4, 0xFFFFFFFFu, noDirectory, R::NoCentralDirectory},
        {"more entries than records", end + 10, 2, 0xFFFF, noDirectory, R::NoCentralDirectory},
        {"no entries", end + 10, 2, 0, notFound, R::NotFound},
        {"name length past the end", rig + 28, 2, 0xFFFF, noDirectory, R::NoCentralDirectory},
        {"local header past the end", rig + 42, 4, 0xFFFFFFF0u, damagedHeader, R::DamagedHeader},
        {"local header not at a local header", rig + 42, 4, 5, damagedHeader, R::DamagedHeader},
        {"compressed size past the end", rig + 20, 4, 0x7FFFFFFFu, damagedHeader, R::DamagedHeader},
        // All ones stands for a value kept in a ZIP64 extra field.
        {"compressed size of 2^32-1", rig + 20, 4, 0xFFFFFFFFu, zip64, R::Zip64},
        {"uncompressed size of 2^32-1", rig + 24, 4, 0xFFFFFFFFu, zip64, R::Zip64},
        {"local header offset of 2^32-1", rig + 42, 4, 0xFFFFFFFFu, zip64, R::Zip64},
        {"encrypted (flag bit 0)", rig + 8, 2, 1,
         Warning("Can't handle file \"rig.tsl\" in archive \"test.zip\". The entry is encrypted."), R::Encrypted},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes archive = deflated;
        if (c.width == 4)
            Put32(archive, c.at, c.value);
        else
            Put16(archive, c.at, uint16_t(c.value));
        Opened opened(archive, "rig.tsl");
        EXPECT_FALSE(opened.stream->IsOpen());
        EXPECT_EQ(opened.stream->GetResult(), c.reason);
        EXPECT_EQ(opened.Warning(), c.warning);
    }
    {  // a stored entry whose size reaches past the end
        Bytes archive = Fixture("stored.zip");
        Put32(archive, FindDirectoryRecord(archive, "rig.tsl") + 24, 100000);
        Opened opened(archive, "rig.tsl");
        EXPECT_FALSE(opened.stream->IsOpen());
        EXPECT_EQ(opened.Warning(),
                  Warning("Can't handle file \"rig.tsl\" in archive \"test.zip\". Its header is damaged."));
    }
}

TEST(ArchiveStream, ZIP64ArchivesAreNamedAsSuch) {
    // The ZIP64 end-of-directory locator ("PK", 6, 7) sits 20 bytes before the end record
    // and the end record's fields say "see the ZIP64 record".
    const Bytes stored = Fixture("stored.zip");
    const size_t end = FindEndRecord(stored);
    Bytes archive(stored.begin(), stored.begin() + long(end));
    const Bytes locator = {'P', 'K', 6, 7, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0};
    archive.insert(archive.end(), locator.begin(), locator.end());
    archive.insert(archive.end(), stored.begin() + long(end), stored.end());
    Put16(archive, archive.size() - 22 + 10, 0xFFFF);
    Put32(archive, archive.size() - 22 + 16, 0xFFFFFFFFu);
    Opened opened(archive, "rig.tsl");
    EXPECT_FALSE(opened.stream->IsOpen());
    EXPECT_EQ(opened.Warning(),
              Warning("Can't handle file \"test.zip\". It uses ZIP64 extensions, which are not supported."));
}

// A ZIP archive of stored entries, written here so that tests can nest them deeply.
// A stored archive of the entries; with sharedData, every entry after the first is a
// directory record pointing at the first entry's local record (its data is not written).
Bytes StoredArchive(const std::vector<std::pair<std::string, Bytes>>& entries, bool sharedData = false) {
    Bytes out, directory;
    auto put16 = [](Bytes& b, uint32_t v) {
        b.push_back((unsigned char)v);
        b.push_back((unsigned char)(v >> 8));
    };
    auto put32 = [&](Bytes& b, uint32_t v) {
        put16(b, v & 0xFFFF);
        put16(b, v >> 16);
    };
    for (const auto& [name, data] : entries) {
        const uint32_t crc = Crc32(data.data(), data.size());
        const uint32_t offset = sharedData && !out.empty() ? 0u : uint32_t(out.size());
        if (offset == out.size()) {
            put32(out, 0x04034b50);
            for (uint32_t v : {20u, 0u, 0u, 0u, 0u}) put16(out, v);  // version, flags, method, time, date
            put32(out, crc);
            put32(out, uint32_t(data.size()));
            put32(out, uint32_t(data.size()));
            put16(out, uint32_t(name.size()));
            put16(out, 0);
            out.insert(out.end(), name.begin(), name.end());
            out.insert(out.end(), data.begin(), data.end());
        }
        put32(directory, 0x02014b50);
        for (uint32_t v : {20u, 20u, 0u, 0u, 0u, 0u}) put16(directory, v);
        put32(directory, crc);
        put32(directory, uint32_t(data.size()));
        put32(directory, uint32_t(data.size()));
        put16(directory, uint32_t(name.size()));
        for (uint32_t v : {0u, 0u, 0u, 0u}) put16(directory, v);
        put32(directory, 0);
        put32(directory, offset);
        directory.insert(directory.end(), name.begin(), name.end());
    }
    const uint32_t directoryAt = uint32_t(out.size());
    out.insert(out.end(), directory.begin(), directory.end());
    put32(out, 0x06054b50);
    for (uint32_t v : {0u, 0u}) put16(out, v);
    put16(out, uint32_t(entries.size()));
    put16(out, uint32_t(entries.size()));
    put32(out, uint32_t(directory.size()));
    put32(out, directoryAt);
    put16(out, 0);
    return out;
}

TEST(ArchiveStream, NestedArchivesReportOnce) {
    // 30 archives, each inside the next: deeper than archives are followed.
    Bytes archive = StoredArchive({{"leaf.tsl", Text("deep down\r\n")}});
    std::string path = "leaf.tsl";
    for (int level = 0; level < 30; ++level) {
        archive = StoredArchive({{"z.zip", archive}});
        path = "z.zip/" + path;
    }
    Opened tooDeep(archive, path);
    EXPECT_FALSE(tooDeep.stream->IsOpen());
    EXPECT_EQ(tooDeep.stream->GetResult(), ArchiveResult::NestedTooDeep);
    // Said once, by the archive at the limit.
    std::string limitArchive = "test.zip", rest = "leaf.tsl";
    for (int level = 0; level < UStream_Archive::kMaxNesting; ++level) limitArchive += "/z.zip";
    for (int level = UStream_Archive::kMaxNesting; level < 30; ++level) rest = "z.zip/" + rest;
    EXPECT_EQ(tooDeep.Warning(), Warning("Can't handle file \"" + rest + "\" in archive \"" + limitArchive +
                                         "\". Archives nested more than 16 deep are not read."));

    // Within the limit the entry reads, and a problem inside is told once, by the
    // archive where it is.
    Bytes shallow = StoredArchive({{"leaf.tsl", Text("deep down\r\n")}});
    for (int level = 0; level < 3; ++level) shallow = StoredArchive({{"z.zip", shallow}});
    EXPECT_TRUE(Opened(shallow, "z.zip/z.zip/z.zip/leaf.tsl").stream->IsOpen());
    Opened missing(shallow, "z.zip/z.zip/z.zip/none.tsl");
    EXPECT_FALSE(missing.stream->IsOpen());
    EXPECT_EQ(missing.Warning(), Warning("The file \"none.tsl\" can't be found inside the archive "
                                         "\"test.zip/z.zip/z.zip/z.zip\"."));
}

TEST(ArchiveStream, PathsThatSplitIntoArchivesManyWaysAreGivenUpOnQuickly) {
    // At every level the names "a", "a/a", ... up to sixteen parts all name the next
    // archive, so each way of cutting the path into archive names is worth trying: 2^17
    // of them, which took seconds, and four times as long for every two more parts.
    std::vector<std::string> names;
    for (std::string name = "a"; names.size() < 16; name += "/a") names.push_back(name);
    Bytes archive = StoredArchive({{"x.tsl", Text("found\r\n")}});
    for (int level = 0; level < 16; ++level) {
        std::vector<std::pair<std::string, Bytes>> entries;
        for (const std::string& name : names) entries.emplace_back(name, archive);
        archive = StoredArchive(entries, true);
    }
    std::string path;
    for (int part = 0; part < 18; ++part) path += "a/";
    Opened manyWays(archive, path + "x.tsl");
    EXPECT_FALSE(manyWays.stream->IsOpen());
    EXPECT_EQ(manyWays.stream->GetResult(), ArchiveResult::TooManyWays);
    EXPECT_NE(manyWays.Warning().find("Its path names nested archives in more ways than are tried."), std::string::npos)
        << manyWays.Warning();
    // Said once.
    EXPECT_EQ(manyWays.Warning().find("WARNING", 1), std::string::npos) << manyWays.Warning();

    // The same archives read an entry whose path leaves one way to cut it.
    Bytes small = StoredArchive({{"x.tsl", Text("found\r\n")}});
    for (int level = 0; level < 3; ++level) small = StoredArchive({{"a", small}, {"a/a", small}}, true);
    Opened oneWay(small, "a/a/a/x.tsl");
    ASSERT_TRUE(oneWay.stream->IsOpen());
    EXPECT_EQ(ReadAll(*oneWay.stream), Text("found\r\n"));
}

TEST(ArchiveStream, StoredArchivesInsideArchivesAreCheckedWhereTheyLie) {
    // Archives reached on the way to an entry are read where they lie in the archive
    // around them; their checksums are still checked.
    Bytes inner = StoredArchive({{"leaf.tsl", Text("deep down\r\n")}});
    Bytes middle = StoredArchive({{"inner.zip", inner}});
    middle[DataStart(middle, "inner.zip") + DataStart(inner, "leaf.tsl")] ^= 0x20;
    const Bytes outer = StoredArchive({{"middle.zip", middle}});
    Opened damaged(outer, "middle.zip/inner.zip/leaf.tsl");
    EXPECT_FALSE(damaged.stream->IsOpen());
    EXPECT_EQ(damaged.stream->GetResult(), ArchiveResult::ChecksumMismatch);
    EXPECT_EQ(damaged.Warning(), Warning("Can't handle file \"inner.zip\" in archive \"test.zip/middle.zip\". "
                                         "The data doesn't match its checksum."));
}

TEST(ArchiveStream, EveryPrefixOfAnArchiveFailsOrReadsExactly) {
    struct Case {
        const char* archive;
        const char* entry;
        Bytes expected;
    };
    const std::vector<Case> cases = {
        {"deflated.zip", "rig.tsl", RigText(400)},
        {"nested.zip", "packs/inner.zip/more/deeper.zip/leaf.tsl", Text("three levels down\r\n")},
        {"comment.zip", "rig.tsl", Text("behind a comment\r\n")},
    };
    for (const Case& c : cases) {
        const Bytes archive = Fixture(c.archive);
        for (size_t length = 0; length <= archive.size(); ++length) {
            SCOPED_TRACE(std::string(c.archive) + " prefix " + std::to_string(length));
            // Each prefix in its own block, so the sanitizer catches any read past it.
            const Bytes prefix(archive.begin(), archive.begin() + long(length));
            Opened opened(prefix, c.entry);
            if (length == archive.size()) {
                ASSERT_TRUE(opened.stream->IsOpen());
            }
            if (opened.stream->IsOpen()) {
                ASSERT_EQ(ReadAll(*opened.stream), c.expected);
            } else {
                ASSERT_NE(opened.Warning(), "");
            }
        }
    }
}

TEST(ArchiveStream, MemoryStreamSeeksWithinItsBlock) {
    const unsigned char data[5] = {'a', 'b', 'c', 'd', 'e'};
    UStream_Memory s(data, 5, UString("block"));
    EXPECT_TRUE(s.IsOpen());
    EXPECT_EQ(s.GetName(), "block");
    s.SeekToEnd();
    EXPECT_EQ(s.Tell(), 4u);  // the last byte
    EXPECT_TRUE(s.IsEnd());
    s.SeekToStart();
    s.SeekForward(-3);  // a negative forward seek moves backward: before the start
    EXPECT_EQ(s.Tell(), 0u);
    EXPECT_TRUE(s.HasFailed());

    UStream_Memory t(data, 5, UString("block"));
    t.SeekForward(3);
    EXPECT_EQ(t.Tell(), 3u);
    EXPECT_FALSE(t.HasFailed());
    t.SeekBackward(-1);  // forward by one
    EXPECT_EQ(t.Tell(), 4u);
    t.SeekForward(1);  // reaching the size: the last byte, and a failure
    EXPECT_EQ(t.Tell(), 4u);
    EXPECT_TRUE(t.HasFailed());
    t.SeekBackward(INT32_MIN);  // forward by 2^31 without overflow
    EXPECT_EQ(t.Tell(), 4u);

    UStream_Memory empty(nullptr, 0, UString("none"));
    EXPECT_FALSE(empty.IsOpen());
    EXPECT_TRUE(empty.IsEnd());
    empty.SeekToEnd();
    EXPECT_EQ(empty.Tell(), 0u);
    unsigned char b;
    EXPECT_EQ(empty.Serialize(&b, 1), 0u);
}
