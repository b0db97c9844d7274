#include "Rig/RigWriter.h"

#include <cmath>

#include <charconv>
#include <cstdio>
#include <cstring>

#include "Core/UMessage.h"

// The file's layout: lines end with CR LF; a bone's and a mesh's entries are indented one
// tab, the lines of a section two tabs, the lines of a set three.

void RigWriter::BeginFile() { WriteText("version 1\r\n"); }

void RigWriter::BoneCount(uint32_t count) {
    WriteText("\r\nnumBones ");
    WriteUnsigned(count);
}

void RigWriter::BeginRecord(const char* kind, uint32_t index, const brix::UString& name) {
    m_recordKind = kind;
    m_recordName = name;
    m_key = "";
    WriteText("\r\n");
    WriteText(kind);
    WriteText(" ");
    WriteUnsigned(index);
    WriteText(" {\r\n\tname \"");
    WriteName(name);
    WriteText("\"");
}

void RigWriter::BeginBone(uint32_t index, const brix::UString& name) { BeginRecord("bone", index, name); }

void RigWriter::BoneParent(const brix::UString& parentName) {
    WriteText("\r\n\tparent \"");
    if (!parentName.IsEmpty()) WriteName(parentName);
    WriteText("\"");
}

void RigWriter::BindMatrix(const float rows[4][4]) {
    m_key = "invBaseMatrix";
    WriteText("\r\n\tinvBaseMatrix");
    for (int row = 0; row < 4; ++row) {
        WriteText(" ");
        WriteReals(rows[row], 4);
    }
}

void RigWriter::EndBone() { WriteText("\r\n}\r\n"); }

void RigWriter::MeshCount(uint32_t count) {
    WriteText("\r\nnumMeshes ");
    WriteUnsigned(count);
}

void RigWriter::BeginMesh(uint32_t index, const brix::UString& name) {
    BeginRecord("mesh", index, name);
    m_sectionOpen = false;
}

void RigWriter::BeginSection(const char* key) {
    // The closing brace of the section before and the opening of this one are one text.
    m_key = key;
    brix::UString text(m_sectionOpen ? "\r\n\t}\r\n\r\n\t" : "\r\n\r\n\t");
    text.Append(key);
    text.Append(" {");
    WriteText(text);
    m_sectionOpen = true;
}

void RigWriter::VectorLine(const brix::TVector3<float>& v) {
    const float xyz[3] = {v.x, v.y, v.z};
    WriteText("\r\n\t\t");
    WriteReals(xyz, 3);
}

void RigWriter::NumberLine(uint32_t value) {
    WriteText("\r\n\t\t");
    WriteUnsigned(value);
}

void RigWriter::MaterialNameLine(const brix::UString& name) {
    WriteText("\r\n\t\t \"");
    WriteName(name);
    WriteText("\"");
}

void RigWriter::BeginSet(int32_t set) {
    WriteText("\r\n\t\tset ");
    WriteUnsigned(uint32_t(set));
    WriteText(" {");
}

void RigWriter::EndSet(bool lastSet) {
    WriteText("\r\n\t\t}");
    if (!lastSet) WriteText("\r\n");
}

void RigWriter::CoordinateLine(float u, float v) {
    WriteText("\r\n\t\t\t");
    const float pair[2] = {u, v};
    WriteReals(pair, 2);
}

void RigWriter::IndexLine(const unsigned int* indices, int32_t count, bool inSet) {
    WriteText(inSet ? "\r\n\t\t\t" : "\r\n\t\t");
    for (int32_t i = 0; i < count; ++i) {
        if (i) WriteText(" ");
        WriteUnsigned(indices[i]);
    }
}

void RigWriter::WeightLine(uint32_t bone, float weight) {
    WriteText("\r\n\t\t");
    WriteUnsigned(bone);
    WriteText(" ");
    WriteReals(weight);
}

void RigWriter::EndMesh() {
    WriteText(m_sectionOpen ? "\r\n\t}\r\n}\r\n" : "\r\n}\r\n");
    m_sectionOpen = false;
}

void RigWriter::WriteText(const char* text) { m_stream.Serialize(text, strlen(text)); }

void RigWriter::WriteText(const brix::UString& text) { m_stream.Serialize(text.c_str(), uint64_t(text.Length())); }

void RigWriter::WriteName(const brix::UString& name) {
    if (!memchr(name.c_str(), '"', size_t(name.Length()))) return WriteText(name);
    brix::UString written(name);
    for (int32_t i = 0; i < written.Length(); ++i)
        if (written[i] == '"') written[i] = '_';
    WriteText(written);
    for (const brix::UString& changed : m_changedNames)
        if (changed == name) return;
    m_changedNames.Append(name);
    brix::UMessage(brix::Channel::Warning, "Name \"") << name << "\" holds a double quote, which a rig file cannot carry. It is written as \""
                                 << written << "\".";
}

void RigWriter::WriteUnsigned(uint32_t value) {
    char digits[16];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    m_stream.Serialize(digits, uint64_t(result.ptr - digits));
}

namespace {

// "%.4f" of a float below 2^31 in magnitude, the values rigs hold: the float is m * 2^e
// exactly, so m * 10^4 * 2^e rounded to nearest, ties to even, is the number of
// ten-thousandths printf prints, found with integer arithmetic. False for other values.
bool FormatModestReal(float value, char* out, int& length) {
    uint32_t bits;
    memcpy(&bits, &value, sizeof bits);
    const int biased = int(bits >> 23) & 0xff;
    if (biased == 0xff) return false;  // infinity and NaN
    const uint64_t mantissa = biased ? (bits & 0x7fffffu) | 0x800000u : bits & 0x7fffffu;
    const int exponent = biased ? biased - 150 : -149;
    if (exponent > 7) return false;  // 2^31 or more
    const uint64_t scaled = mantissa * 10000u;  // below 2^38, so 64 bits hold it shifted by 7 too
    uint64_t units;
    if (exponent >= 0) {
        units = scaled << exponent;
    } else if (-exponent > 38) {
        units = 0;  // below 2^38 / 2^39: less than half a unit
    } else {
        const int shift = -exponent;
        units = scaled >> shift;
        const uint64_t rest = scaled & ((uint64_t(1) << shift) - 1);
        const uint64_t half = uint64_t(1) << (shift - 1);
        if (rest > half || (rest == half && (units & 1))) ++units;
    }
    char* p = out;
    if (bits >> 31) *p++ = '-';
    p = std::to_chars(p, p + 16, units / 10000).ptr;
    uint32_t fraction = uint32_t(units % 10000);
    p[0] = '.';
    for (int digit = 4; digit >= 1; --digit, fraction /= 10) p[digit] = char('0' + fraction % 10);
    length = int(p + 5 - out);
    return true;
}

}  // namespace

int RigWriter::FormatReal(float value, char* out) {
    int length;
    if (FormatModestReal(value, out, length)) return length;
    // Fixed notation with four decimals of the value widened to double, as "%.4f"
    // prints it (correctly rounded from the exact binary value, "inf" and "nan"
    // spelled alike), without the cost of parsing a format.
    const auto result = std::to_chars(out, out + kMaxRealText, double(value), std::chars_format::fixed, 4);
    if (result.ec == std::errc()) return int(result.ptr - out);
    return snprintf(out, kMaxRealText, "%.4f", double(value));
}

void RigWriter::WriteReals(const float* values, int count) {
    char line[4 * (kMaxRealText + 1)];
    int length = 0;
    for (int i = 0; i < count && i < 4; ++i) {
        if (i) line[length++] = ' ';
        length += FormatReal(values[i], line + length);
        if (!std::isfinite(values[i])) NoteNonFinite();
    }
    m_stream.Serialize(line, uint64_t(length));
}

void RigWriter::NoteNonFinite() {
    if (m_nonFinite) return;
    m_nonFinite = true;
    m_nonFiniteKind = m_recordKind;
    m_nonFiniteName = m_recordName;
    m_nonFiniteKey = m_key;
}
