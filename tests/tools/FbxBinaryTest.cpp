// Binary FBX mended into the layout FBX readers require: a small file written here in the
// layout Assimp writes (nested lists without the null record that closes them) is mended
// and read back the way Blender's importer reads, field by field; damaged files are
// refused; and a rig converted by the program reads back in both readers.
#include <dirent.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "FbxBinary.h"
#include "support/CliRun.h"

namespace {

using tessaline::fbx::Document;
using tessaline::fbx::MendFbxBinary;
using tessaline::fbx::ParseFbxBinary;

const std::string kMagic("Kaydara FBX Binary  \0\x1a\0", 23);
const std::string kClosingMagic("\xf8\x5a\x8c\x6a\xde\xf5\xd9\x7e\xec\xe9\x0c\xe3\x75\x8f\x29\x0b", 16);
const std::string kFooterId = "FOOTER-ID-16-BYT";

size_t Word(uint32_t version) { return version >= 7500 ? 8 : 4; }
size_t NullSize(uint32_t version) { return 3 * Word(version) + 1; }

std::string LE(uint64_t value, size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i, value >>= 8) bytes[i] = char(value & 0xff);
    return bytes;
}

uint64_t Load(const std::string& bytes, size_t at, size_t size) {
    uint64_t value = 0;
    for (size_t i = size; i-- > 0;) value = value << 8 | uint8_t(bytes.at(at + i));
    return value;
}

bool Zeros(const std::string& bytes, size_t at, size_t count) {
    return at + count <= bytes.size() && bytes.compare(at, count, std::string(count, '\0')) == 0;
}

// Properties as stored: the type code and its data.
template <typename T>
std::string Scalar(char type, T value) {
    std::string bytes(1, type);
    bytes.append(reinterpret_cast<const char*>(&value), sizeof value);
    return bytes;
}
std::string Text(char type, const std::string& text) { return type + LE(text.size(), 4) + text; }
std::string Array(char type, uint32_t count, uint32_t encoding, const std::string& data) {
    return type + LE(count, 4) + LE(encoding, 4) + LE(data.size(), 4) + data;
}

// A record as the test writes it and as it reads it back.
struct Node {
    std::string name;
    uint64_t count = 0;      // properties
    std::string properties;  // their bytes, back to back
    std::vector<Node> children;
    bool block = false;  // closed by a null record
    bool operator==(const Node&) const = default;
};

// A record that holds a nested list, closed by a null record in the readers' layout:
// one with children, and one without properties (an empty block).
Node N(const std::string& name, const std::vector<std::string>& properties, std::vector<Node> children = {}) {
    Node node{name, properties.size(), "", std::move(children), false};
    for (const std::string& property : properties) node.properties += property;
    node.block = !node.children.empty() || properties.empty();
    return node;
}

// Writes node; nestedNull is the size of the null record after a nested list, 0 for none
// (as Assimp writes).
void Emit(const Node& node, size_t word, size_t nestedNull, std::string& out) {
    const size_t start = out.size();
    out += LE(0, word) + LE(node.count, word) + LE(node.properties.size(), word);
    out += char(node.name.size()) + node.name + node.properties;
    for (const Node& child : node.children) Emit(child, word, nestedNull, out);
    if (node.block) out.append(nestedNull, '\0');
    out.replace(start, word, LE(out.size(), word));
}

// A whole file, whose footer after its id is not the readers' (it is rebuilt anyway).
std::string File(uint32_t version, const std::vector<Node>& records, size_t nestedNull) {
    std::string out = kMagic + LE(version, 4);
    for (const Node& record : records) Emit(record, Word(version), nestedNull, out);
    out.append(NullSize(version), '\0');
    return out + kFooterId + std::string(7, '\0') + LE(version, 4) + kClosingMagic;
}

// Each property type once, nested two levels deep, and an empty record.
std::vector<Node> Fixture() {
    const std::string floats = LE(0x3fc00000, 4) + LE(0x40200000, 4);  // 1.5, 2.5
    const std::string deflated("\x78\x01\x63\x64\x62\x66\x61\x65\x63\xe7\x60\xc4\x41\x03\x00\x08\xc0\x00\x91", 19);
    return {
        N("Header", {}, {N("Version", {Scalar('I', int32_t(7500))}), N("Creator", {Text('S', "test")})}),
        N("Objects", {},
          {N("Model", {Scalar('L', int64_t(42)), Text('S', std::string("a\0\1Model", 8)), Text('S', "Null")},
             {N("Scalars", {Scalar('C', true), Scalar('Y', int16_t(-2)), Scalar('F', 1.5f), Scalar('D', 2.5)}),
              N("Raw", {Text('R', "\x01\x02\x03")}),
              N("Arrays", {Array('f', 2, 0, floats), Array('d', 1, 0, LE(0x4004000000000000, 8)),
                           Array('l', 1, 0, LE(7, 8)), Array('i', 2, 0, LE(1, 4) + LE(2, 4)),
                           Array('b', 2, 0, std::string("\1\0", 2)), Array('c', 32, 1, deflated)})})}),
        N("Empty", {}),
    };
}

// Reads records the way Blender's importer does: a nested list runs up to the record's end
// offset less a null record, which must follow, all zeros, right up to that end offset.
struct StrictReader {
    const std::string& bytes;
    size_t word;
    std::string fault;

    bool Fail(size_t at, const std::string& why) {
        fault = "byte " + std::to_string(at) + ": " + why;
        return false;
    }

    bool Record(size_t& at, Node& node) {
        const size_t null = 3 * word + 1;
        if (at + null > bytes.size()) return Fail(at, "header past the end");
        const uint64_t end = Load(bytes, at, word), length = Load(bytes, at + 2 * word, word);
        const size_t nameLength = uint8_t(bytes[at + 3 * word]);
        node.count = Load(bytes, at + word, word);
        size_t p = at + null;
        if (end > bytes.size() || p + nameLength + length > end) return Fail(at, "fields past the record's end");
        node.name = bytes.substr(p, nameLength);
        node.properties = bytes.substr(p + nameLength, length);
        p += nameLength + length;
        node.block = p < end;
        if (node.block) {
            if (end - p < null) return Fail(p, "no room for the null record");
            while (p < end - null) {
                node.children.emplace_back();
                if (!Record(p, node.children.back())) return false;
            }
            if (p != end - null || !Zeros(bytes, p, null)) return Fail(p, "no null record closes the list");
        }
        at = end;
        return true;
    }

    // The top-level list, up to and including its null record.
    bool List(size_t& at, std::vector<Node>& nodes) {
        while (at + word <= bytes.size() && Load(bytes, at, word) != 0) {
            nodes.emplace_back();
            if (!Record(at, nodes.back())) return false;
        }
        if (!Zeros(bytes, at, 3 * word + 1)) return Fail(at, "no null record closes the top-level list");
        at += 3 * word + 1;
        return true;
    }
};

// The footer from at: its id, 4 zero bytes, zeros to a multiple of 16 (a full 16 when
// already there), the version, 120 zeros and the closing magic, ending the file.
void ExpectFooter(const std::string& bytes, size_t at, uint32_t version, const std::string& footerId) {
    EXPECT_EQ(bytes.substr(at, 16), footerId);
    EXPECT_TRUE(Zeros(bytes, at + 16, 4));
    at += 20;
    const size_t pad = 16 - at % 16;
    EXPECT_TRUE(Zeros(bytes, at, pad));
    at += pad;
    EXPECT_EQ(Load(bytes, at, 4), version);
    EXPECT_TRUE(Zeros(bytes, at + 4, 120));
    EXPECT_EQ(bytes.substr(at + 124), kClosingMagic);
}

}  // namespace

TEST(FbxBinary, MendedFileHasTheLayoutReadersRequire) {
    // Where the first record and its closing null record lie, worked out by hand: a header
    // of 3 words and a name length, "Header", then "Version" (I) and "Creator" (S "test").
    struct Layout {
        uint32_t version;
        uint64_t headerEnd;
    };
    for (const Layout layout :
         {Layout{7400, 27 + 19 + (20 + 5) + (20 + 9) + 13}, Layout{7500, 27 + 31 + (32 + 5) + (32 + 9) + 25}}) {
        const uint32_t version = layout.version;
        std::string first;
        // Nested lists without a null record (as Assimp writes them), with the null record
        // of the other version's size, and as they should be.
        for (const size_t nestedNull : {size_t(0), size_t(13), size_t(25)}) {
            SCOPED_TRACE("version " + std::to_string(version) + ", nested null records of " +
                         std::to_string(nestedNull) + " bytes");
            std::string bytes = File(version, Fixture(), nestedNull), error;
            ASSERT_TRUE(MendFbxBinary(bytes, error)) << error;

            EXPECT_EQ(bytes.substr(0, 23), kMagic);
            EXPECT_EQ(Load(bytes, 23, 4), version);
            EXPECT_EQ(Load(bytes, 27, Word(version)), layout.headerEnd);
            EXPECT_TRUE(Zeros(bytes, layout.headerEnd - NullSize(version), NullSize(version)));
            StrictReader reader{bytes, Word(version), ""};
            std::vector<Node> records;
            size_t at = 27;
            ASSERT_TRUE(reader.List(at, records)) << reader.fault;
            EXPECT_TRUE(records == Fixture());  // names, property counts, lengths and bytes
            ExpectFooter(bytes, at, version, kFooterId);

            // Every way of closing the lists mends to the same bytes, and mending again
            // changes nothing.
            if (first.empty()) first = bytes;
            EXPECT_EQ(bytes, first);
            ASSERT_TRUE(MendFbxBinary(bytes, error)) << error;
            EXPECT_EQ(bytes, first);
        }
    }
}

TEST(FbxBinary, FooterIsPaddedAtEveryAlignment) {
    // A string of 0 to 15 bytes moves the footer through every position modulo 16.
    for (size_t length = 0; length < 16; ++length) {
        std::string bytes = File(7500, {N("Pad", {Text('S', std::string(length, 'x'))})}, 0), error;
        ASSERT_TRUE(MendFbxBinary(bytes, error)) << error;
        const size_t footer = 27 + 25 + 3 + 5 + length + 25;
        ASSERT_TRUE(Zeros(bytes, footer - 25, 25));
        SCOPED_TRACE("footer at " + std::to_string(footer));
        ExpectFooter(bytes, footer, 7500, kFooterId);
    }
}

TEST(FbxBinary, FilesBlenderWroteComeBackByteForByte) {
    // Blender's exporter writes version 7400 with every nested list closed, an empty block
    // for each record without properties, and the same footer: mending changes nothing.
    const std::string folder = std::string(TESSALINE_TEST_DATA) + "/../dcc/rigs/";
    int files = 0;
    if (DIR* listing = opendir(folder.c_str())) {
        while (const dirent* entry = readdir(listing)) {
            const std::string name = entry->d_name;
            if (name.size() < 4 || name.compare(name.size() - 4, 4, ".fbx") != 0) continue;
            const std::string original = testsupport::ReadFile(folder + name);
            std::string bytes = original, error;
            EXPECT_TRUE(MendFbxBinary(bytes, error)) << name << ": " << error;
            EXPECT_TRUE(bytes == original) << name;
            ++files;
        }
        closedir(listing);
    }
    EXPECT_GT(files, 0) << "no FBX file in " << folder;
}

TEST(FbxBinary, OtherFilesAreLeftAlone) {
    for (const std::string text : {"; FBX 7.5.0 project file\nFBXHeaderExtension:  {\n}\n", ""}) {
        std::string bytes = text, error;
        EXPECT_TRUE(MendFbxBinary(bytes, error)) << error;
        EXPECT_EQ(bytes, text);
    }
}

TEST(FbxBinary, DamagedFilesAreRefused) {
    // Parsed from a buffer of exactly the file's size, so that a read past its end is one
    // past the allocation (caught by the sanitizer build).
    const auto refused = [](const std::string& bytes, std::string& error) {
        std::unique_ptr<char[]> exact(new char[bytes.size() + 1]);
        memcpy(exact.get(), bytes.data(), bytes.size());
        Document document;
        return !ParseFbxBinary(std::string_view(exact.get(), bytes.size()), document, error);
    };

    // Every truncation before the end of the footer id: the records and the footer id
    // are needed; the rest of the footer is rebuilt.
    for (const uint32_t version : {7400u, 7500u}) {
        const std::string whole = File(version, Fixture(), 0);
        const size_t needed = whole.size() - (7 + 4 + 16);
        for (size_t size = 0; size < whole.size(); ++size) {
            std::string error;
            EXPECT_EQ(refused(whole.substr(0, size), error), size < needed) << version << ", " << size << " bytes";
        }
    }

    // One record with an array and a child with a string, in the layout Assimp writes:
    // A at 27 (end 27, count 35, length 43, name 51-52), its array at 53 ('i', count,
    // encoding, byte length, one int32; to 70), B at 70 (end 70, count 78, length 86,
    // name 94-95, 'S' at 96, its length at 97, "xy"; to 103). The top-level null record
    // is 103-127, the footer id 128-143.
    const std::string base = File(7500, {N("A", {Array('i', 1, 0, LE(7, 4))}, {N("B", {Text('S', "xy")})})}, 0);
    ASSERT_EQ(Load(base, 27, 8), 103u);
    const auto set = [](size_t at, uint64_t value, size_t size) {
        return [=](std::string& bytes) { bytes.replace(at, size, LE(value, size)); };
    };
    std::vector<Node> deep{N("L", {Scalar('I', 0)})};
    for (int level = 0; level < 70; ++level) deep = {N("L", {Scalar('I', level)}, deep)};
    struct Case {
        const char* what;
        std::function<void(std::string&)> damage;
        const char* reason;
    };
    const Case cases[] = {
        {"header", set(21, 0x1b, 1), "binary FBX header"},
        {"end past the file", set(27, 1 << 20, 8), "end offset 1048576"},
        {"end inside the header", set(27, 40, 8), "end offset 40"},
        {"child ends past its parent", set(70, 104, 8), "end offset 104 is not within bytes 95 to 103"},
        {"name past the record", set(94, 200, 1), "name runs past"},
        {"property list past the record", set(43, 60, 8), "runs past the record's end"},
        {"more properties than the list holds", set(35, 2, 8), "has 2 properties"},
        {"fewer properties than the list holds", set(35, 0, 8), "their list's length says byte 70"},
        {"unknown property type", set(53, 'Z', 1), "unknown property type 90"},
        {"string past the list", set(97, 3, 4), "takes 7 bytes"},
        {"array of the wrong length", set(62, 5, 4), "stored in 5"},
        {"array of an unknown encoding", set(58, 2, 4), "unknown encoding 2"},
        {"top-level null record not zero", set(120, 1, 1), "closes the top-level list"},
        {"bytes after a nested list",
         [](std::string& bytes) {
             bytes = File(7500, Fixture(), 25);
             bytes[150] = 1;
         },
         "neither a record nor a null record"},
        {"null record of 7 bytes", [](std::string& bytes) { bytes = File(7500, Fixture(), 7); },
         "neither a record nor a null record"},
        {"nested too deep", [&](std::string& bytes) { bytes = File(7500, deep, 0); }, "nest deeper"},
    };
    for (const Case& c : cases) {
        std::string bytes = base, error;
        c.damage(bytes);
        EXPECT_TRUE(refused(bytes, error)) << c.what;
        EXPECT_NE(error.find(c.reason), std::string::npos) << c.what << ": " << error;
        const std::string before = bytes;
        EXPECT_FALSE(MendFbxBinary(bytes, error)) << c.what;
        EXPECT_EQ(bytes, before) << c.what;
    }
}

#ifdef TESSALINE_CLI_PATH

TEST(FbxBinary, ConvertedRigReadsBackInBothReaders) {
    const std::string rig = std::string(TESSALINE_TEST_DATA) + "/rig/skinned.tsl";
    const std::string fbx = testsupport::TempPath("fbx", "skinned.fbx");
    const testsupport::ProgramRun run = testsupport::Tessaline("convert " + rig + " " + fbx);
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string bytes = testsupport::ReadFile(fbx);

    Document document;
    std::string error;
    ASSERT_TRUE(ParseFbxBinary(bytes, document, error)) << error;
    std::vector<std::string> names;
    for (const auto& record : document.records) names.push_back(record.name);
    EXPECT_EQ(names,
              (std::vector<std::string>{"FBXHeaderExtension", "FileId", "CreationTime", "Creator", "GlobalSettings",
                                        "Documents", "References", "Definitions", "Objects", "Connections"}));
    // Blender's way of reading, and Assimp's own reader, which refuses the same faults.
    StrictReader reader{bytes, Word(document.version), ""};
    std::vector<Node> records;
    size_t at = 27;
    EXPECT_TRUE(reader.List(at, records)) << reader.fault;
    const testsupport::ProgramRun info = testsupport::Tessaline("info " + fbx);
    EXPECT_EQ(info.status, 0) << info.err;
    EXPECT_NE(info.out.find("influences"), std::string::npos) << info.out;
    std::remove(fbx.c_str());
}

#endif
