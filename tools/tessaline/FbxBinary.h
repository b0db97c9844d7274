#pragma once
// Binary FBX as a tree of records, read and written back in the layout that FBX readers
// (Blender's, Assimp's) require.
//
// The layout, all numbers little-endian:
//   header   "Kaydara FBX Binary  \0\x1a\0" (23 bytes), then the version as a uint32.
//   record   end offset, property count, property list length: three uint32 before
//            version 7500, three uint64 from 7500 on. The end offset counts from the
//            start of the file. Then the name (a uint8 length and its bytes), the
//            properties, and the nested records, if any, closed by a null record.
//   null     a record header of zero bytes only: 13 bytes before 7500, 25 from 7500 on.
//            One closes every nested list, and one closes the top-level list.
//   footer   a 16-byte footer id, 4 zero bytes, zero bytes up to the next multiple of 16
//            (16 when already there), the version as a uint32, 120 zero bytes, and a
//            fixed 16-byte closing magic.
//
// A property is a type code and its data: Y (int16), C (bool, 1 byte), I (int32),
// F (float), D (double), L (int64); S (string) and R (raw bytes), a uint32 length and the
// bytes; f d l i b c (arrays of float, double, int64, int32, bool, byte), a uint32 count, a
// uint32 encoding (0 plain, 1 zlib) and a uint32 byte length, then the bytes.
//
// Readers find where a record's nested list ends by its end offset less the size of the
// null record, so a list left without its null record cannot be read at all. Reading here
// therefore accepts a nested list with or without its null record (of either size), and
// writing always puts one in.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tessaline::fbx {

struct Property {
    char type = 0;
    // The bytes after the type code, exactly as stored (with a string's or an array's own
    // length fields), so that writing the property back copies them unchanged.
    std::string data;
};

struct Record {
    std::string name;
    std::vector<Property> properties;
    std::vector<Record> children;
    // Written with a null record even without children: an empty block ("Name: {}"), as
    // a record was read when it had a null record, and every record without properties.
    bool block = false;
};

struct Document {
    uint32_t version = 0;
    std::vector<Record> records;  // the top-level list
    std::string footerId;         // the 16 bytes that open the footer
};

// Whether bytes claim to be binary FBX (rather than ASCII FBX or anything else).
bool IsBinaryFbx(std::string_view bytes);

// Reads the whole file. False with the reason, naming the byte offset, when anything does
// not fit the layout: every length and offset is checked against the bytes that hold it.
bool ParseFbxBinary(std::string_view bytes, Document& document, std::string& error);

// The file in the layout of document.version. False with the reason when it cannot be
// written (a name longer than 255 bytes, offsets that do not fit 32 bits before 7500).
bool WriteFbxBinary(const Document& document, std::string& bytes, std::string& error);

// Rewrites binary FBX in place in the layout of the version it declares, with every nested
// list closed by a null record of that version's size and a complete footer, and, when
// centimetresPerUnit is given, the unit it states (UnitScaleFactor, centimetres per unit)
// set to it. Anything that is not binary FBX (ASCII FBX) is left as it is. False with the
// reason, leaving bytes unchanged, when the file cannot be read.
bool MendFbxBinary(std::string& bytes, std::string& error, double centimetresPerUnit = 0);

}  // namespace tessaline::fbx
