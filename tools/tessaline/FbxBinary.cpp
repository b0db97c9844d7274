#include "FbxBinary.h"

#include <utility>

namespace tessaline::fbx {

namespace {

constexpr std::string_view kMagic{"Kaydara FBX Binary  \0\x1a\0", 23};
constexpr size_t kHeaderSize = kMagic.size() + 4;  // the magic and the version
// The footer id of files whose writer does not derive one from the file's time stamp
// (Blender's, Assimp's); written for a document that brings none.
constexpr std::string_view kFooterId{"\xfa\xbc\xab\x09\xd0\xc8\xd4\x66\xb1\x76\xfb\x83\x1c\xf7\x26\x7e", 16};
constexpr std::string_view kClosingMagic{"\xf8\x5a\x8c\x6a\xde\xf5\xd9\x7e\xec\xe9\x0c\xe3\x75\x8f\x29\x0b", 16};
constexpr size_t kFooterZeros = 120;
// Real files nest a handful of levels; the bound keeps a crafted file from exhausting the
// stack through recursion.
constexpr int kMaxDepth = 64;

// The width of a record's end offset, property count and list length fields.
size_t WordSize(uint32_t version) { return version >= 7500 ? 8 : 4; }
// A null record is a record header of zeros: three words and an empty name's length.
size_t NullSize(uint32_t version) { return 3 * WordSize(version) + 1; }

// Little-endian load of size bytes at at; the caller has checked they are there.
uint64_t Load(std::string_view bytes, size_t at, size_t size) {
    uint64_t value = 0;
    for (size_t i = size; i-- > 0;) value = value << 8 | uint8_t(bytes[at + i]);
    return value;
}

void Store(std::string& bytes, size_t at, size_t size, uint64_t value) {
    for (size_t i = 0; i < size; ++i, value >>= 8) bytes[at + i] = char(value & 0xff);
}

bool AllZero(std::string_view bytes) {
    for (char c : bytes)
        if (c != 0) return false;
    return true;
}

std::string At(size_t offset) { return "byte " + std::to_string(offset) + ": "; }

class Parser {
public:
    Parser(std::string_view bytes, uint32_t version, std::string& error)
        : m_bytes(bytes), m_word(WordSize(version)), m_null(NullSize(version)), m_error(error) {}

    // The top-level list from at, up to and including the null record that closes it.
    bool TopLevel(size_t& at, std::vector<Record>& records) {
        for (;;) {
            const size_t left = m_bytes.size() - at;
            if (left < m_word) return Fail(at, "the top-level list has no null record to close it");
            if (Load(m_bytes, at, m_word) == 0) {
                if (left < m_null || !AllZero(m_bytes.substr(at, m_null)))
                    return Fail(at, "the null record that closes the top-level list is not " + std::to_string(m_null) +
                                        " zero bytes");
                at += m_null;
                return true;
            }
            Record record;
            if (!ParseRecord(at, m_bytes.size(), 0, record)) return false;
            records.push_back(std::move(record));
        }
    }

private:
    bool Fail(size_t at, const std::string& why) {
        m_error = At(at) + why;
        return false;
    }

    // The record at at, which must end by limit (its parent's end, or the end of the
    // file); at moves to its end.
    bool ParseRecord(size_t& at, size_t limit, int depth, Record& record) {
        const size_t start = at;
        const size_t header = 3 * m_word + 1;
        if (limit - start < header)
            return Fail(start, "a record header takes " + std::to_string(header) + " bytes, " +
                                   std::to_string(limit - start) + " are left");
        const uint64_t end = Load(m_bytes, start, m_word);
        const uint64_t count = Load(m_bytes, start + m_word, m_word);
        const uint64_t length = Load(m_bytes, start + 2 * m_word, m_word);
        const size_t nameLength = uint8_t(m_bytes[start + 3 * m_word]);
        if (end < start + header || end > limit)
            return Fail(start, "the record's end offset " + std::to_string(end) + " is not within bytes " +
                                   std::to_string(start + header) + " to " + std::to_string(limit));
        size_t p = start + header;
        if (end - p < nameLength) return Fail(start, "the record's name runs past its end");
        record.name = std::string(m_bytes.substr(p, nameLength));
        p += nameLength;
        if (end - p < length)
            return Fail(start, "the property list of \"" + record.name + "\" (" + std::to_string(length) +
                                   " bytes) runs past the record's end at byte " + std::to_string(end));
        if (!ParseProperties(p, p + size_t(length), count, record)) return false;
        p += size_t(length);
        if (p < end) {
            if (depth >= kMaxDepth) return Fail(p, "records nest deeper than " + std::to_string(kMaxDepth) + " levels");
            bool closed = false;
            if (!ParseNested(p, size_t(end), depth + 1, record.children, closed)) return false;
            record.block = closed || !record.children.empty();
        }
        at = size_t(end);
        return true;
    }

    // Properties from at to exactly end, count of them.
    bool ParseProperties(size_t at, size_t end, uint64_t count, Record& record) {
        for (uint64_t i = 0; i < count; ++i) {
            if (at >= end)
                return Fail(at, "\"" + record.name + "\" has " + std::to_string(count) +
                                    " properties, its property list ends after " + std::to_string(i));
            const char type = m_bytes[at++];
            const size_t left = end - at;
            uint64_t size = 0;
            switch (type) {
            case 'C': size = 1; break;
            case 'Y': size = 2; break;
            case 'I':
            case 'F': size = 4; break;
            case 'D':
            case 'L': size = 8; break;
            case 'S':
            case 'R':
                if (left < 4) return Fail(at, "a string's length runs past the property list");
                size = 4 + Load(m_bytes, at, 4);
                break;
            case 'f':
            case 'd':
            case 'l':
            case 'i':
            case 'b':
            case 'c': {
                if (left < 12) return Fail(at, "an array's header runs past the property list");
                const uint64_t elements = Load(m_bytes, at, 4);
                const uint64_t encoding = Load(m_bytes, at + 4, 4);
                const uint64_t stored = Load(m_bytes, at + 8, 4);
                const uint64_t element = type == 'd' || type == 'l' ? 8 : type == 'f' || type == 'i' ? 4 : 1;
                if (encoding > 1) return Fail(at, "an array has the unknown encoding " + std::to_string(encoding));
                if (encoding == 0 && stored != elements * element)
                    return Fail(at, "an array of " + std::to_string(elements) + " elements of " +
                                        std::to_string(element) + " bytes is stored in " + std::to_string(stored));
                size = 12 + stored;
                break;
            }
            default: return Fail(at - 1, "unknown property type " + std::to_string(uint8_t(type)));
            }
            if (size > left)
                return Fail(at - 1, std::string("a property of type ") + type + " takes " + std::to_string(size) +
                                        " bytes, the property list has " + std::to_string(left) + " left");
            record.properties.push_back({type, std::string(m_bytes.substr(at, size_t(size)))});
            at += size_t(size);
        }
        if (at != end)
            return Fail(at, "the properties of \"" + record.name + "\" end here, their list's length says byte " +
                                std::to_string(end));
        return true;
    }

    // A nested list from at to exactly end: records, then the null record that closes
    // the list if there is one. The null record may be missing or have the other
    // version's size; anything else after the records is refused.
    bool ParseNested(size_t at, size_t end, int depth, std::vector<Record>& records, bool& closed) {
        while (at < end) {
            const size_t left = end - at;
            if (left < m_word || Load(m_bytes, at, m_word) == 0) {
                if (!AllZero(m_bytes.substr(at, left)) || (left != NullSize(7400) && left != NullSize(7500)))
                    return Fail(at, "the " + std::to_string(left) + " bytes before the end of the list at byte " +
                                        std::to_string(end) + " are neither a record nor a null record");
                closed = true;
                return true;
            }
            Record record;
            if (!ParseRecord(at, end, depth, record)) return false;
            records.push_back(std::move(record));
        }
        return true;
    }

    std::string_view m_bytes;
    size_t m_word, m_null;
    std::string& m_error;
};

class Writer {
public:
    Writer(uint32_t version, std::string& bytes, std::string& error)
        : m_word(WordSize(version)), m_null(NullSize(version)), m_bytes(bytes), m_error(error) {}

    bool List(const std::vector<Record>& records) {
        for (const Record& record : records)
            if (!Write(record)) return false;
        m_bytes.append(m_null, '\0');
        return true;
    }

private:
    bool Write(const Record& record) {
        if (record.name.size() > 255) {
            m_error = "the record name \"" + record.name.substr(0, 40) + "...\" is longer than 255 bytes";
            return false;
        }
        const size_t start = m_bytes.size();
        m_bytes.append(3 * m_word, '\0');  // filled in below, once the sizes are known
        m_bytes.push_back(char(record.name.size()));
        m_bytes += record.name;
        const size_t properties = m_bytes.size();
        for (const Property& property : record.properties) {
            m_bytes.push_back(property.type);
            m_bytes += property.data;
        }
        const size_t length = m_bytes.size() - properties;
        // A record without properties is a block even when empty: readers tell "Name:"
        // from "Name: {}" by the null record.
        if (!record.children.empty() || record.block || record.properties.empty())
            if (!List(record.children)) return false;
        Store(m_bytes, start, m_word, m_bytes.size());
        Store(m_bytes, start + m_word, m_word, record.properties.size());
        Store(m_bytes, start + 2 * m_word, m_word, length);
        return true;
    }

    size_t m_word, m_null;
    std::string& m_bytes;
    std::string& m_error;
};

}  // namespace

bool IsBinaryFbx(std::string_view bytes) { return bytes.substr(0, 18) == kMagic.substr(0, 18); }

bool ParseFbxBinary(std::string_view bytes, Document& document, std::string& error) {
    document = Document();
    if (bytes.size() < kHeaderSize || bytes.substr(0, kMagic.size()) != kMagic) {
        error = At(0) + "the file does not start with the binary FBX header";
        return false;
    }
    document.version = uint32_t(Load(bytes, kMagic.size(), 4));
    size_t at = kHeaderSize;
    if (!Parser(bytes, document.version, error).TopLevel(at, document.records)) return false;
    // Only the footer's id is kept: the rest is the same in every file of a version, and
    // writers disagree on its padding, which readers do not look at.
    if (bytes.size() - at < kFooterId.size()) {
        error = At(at) + "the footer is missing";
        return false;
    }
    document.footerId = std::string(bytes.substr(at, kFooterId.size()));
    return true;
}

bool WriteFbxBinary(const Document& document, std::string& bytes, std::string& error) {
    bytes.assign(kMagic);
    bytes.append(4, '\0');
    Store(bytes, kMagic.size(), 4, document.version);
    if (!Writer(document.version, bytes, error).List(document.records)) return false;
    if (WordSize(document.version) == 4 && bytes.size() > UINT32_MAX) {
        error = "the records take " + std::to_string(bytes.size()) +
                " bytes, more than the 32-bit offsets of version " + std::to_string(document.version) + " reach";
        return false;
    }
    bytes += document.footerId.size() == kFooterId.size() ? std::string_view(document.footerId) : kFooterId;
    bytes.append(4, '\0');
    bytes.append(16 - bytes.size() % 16, '\0');  // to a multiple of 16, a full 16 when there already
    bytes.append(4, '\0');
    Store(bytes, bytes.size() - 4, 4, document.version);
    bytes.append(kFooterZeros, '\0');
    bytes += kClosingMagic;
    return true;
}

namespace {

// A string property's text: its uint32 length, then the bytes.
std::string_view PropertyText(const Property& property) {
    if (property.type != 'S' || property.data.size() < 4) return {};
    return std::string_view(property.data).substr(4);
}

// Sets the value of GlobalSettings' UnitScaleFactor and OriginalUnitScaleFactor: the P
// records of its Properties70 named so, whose value is their last property, a double.
bool SetUnitScale(Document& document, double centimetres) {
    bool set = false;
    for (Record& settings : document.records) {
        if (settings.name != "GlobalSettings") continue;
        for (Record& properties : settings.children) {
            if (properties.name != "Properties70") continue;
            for (Record& p : properties.children) {
                if (p.name != "P" || p.properties.empty() || p.properties.back().type != 'D') continue;
                const std::string_view key = PropertyText(p.properties.front());
                if (key != "UnitScaleFactor" && key != "OriginalUnitScaleFactor") continue;
                p.properties.back().data.assign(reinterpret_cast<const char*>(&centimetres), sizeof centimetres);
                set = true;
            }
        }
    }
    return set;
}

}  // namespace

bool MendFbxBinary(std::string& bytes, std::string& error, double centimetresPerUnit) {
    if (!IsBinaryFbx(bytes)) return true;
    Document document;
    std::string reason, mended;
    if (!ParseFbxBinary(bytes, document, reason)) {
        error = "the binary FBX that was written cannot be mended: " + reason;
        return false;
    }
    if (centimetresPerUnit > 0 && !SetUnitScale(document, centimetresPerUnit)) {
        error = "the binary FBX that was written states no unit to set";
        return false;
    }
    if (!WriteFbxBinary(document, mended, reason)) {
        error = "the binary FBX that was written cannot be mended: " + reason;
        return false;
    }
    bytes.swap(mended);
    return true;
}

}  // namespace tessaline::fbx
