#include "Rig/RigWriter.h"

#include <cmath>

#include <charconv>
#include <cstdio>
#include <cstring>

#include "Core/UMessage.h"
#include "Utils/UNumberText.h"

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

void RigWriter::BindMatrix(const float rows[4][4], const float world[4][4], float rigSize) {
    m_key = "invBaseMatrix";
    WriteText("\r\n\tinvBaseMatrix");
    const auto format = FourDecimalsKeepBone(rows, world, rigSize) ? FormatReal : FormatExactReal;
    for (int row = 0; row < 4; ++row) {
        WriteText(" ");
        WriteRealsWith(rows[row], 4, format);
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

namespace {

// Lines are composed in the writer's line buffer and handed to the stream in large
// pieces: writing each number and separator on its own was most of the cost of a large
// mesh's sections.
constexpr char kLineBreak2[] = "\r\n\t\t";
constexpr char kLineBreak3[] = "\r\n\t\t\t";

template <size_t N>
char* Put(char* out, const char (&text)[N]) {
    memcpy(out, text, N - 1);
    return out + N - 1;
}

char* PutUnsigned(char* out, uint32_t value) { return std::to_chars(out, out + 10, value).ptr; }

}  // namespace

void RigWriter::VectorLine(const brix::TVector3<float>& v) {
    const float xyz[3] = {v.x, v.y, v.z};
    char* end = Put(LineRoom(sizeof kLineBreak2 + 3 * (kMaxRealText + 1)), kLineBreak2);
    EndLine(end + FormatReals(xyz, 3, FormatReal, end));
}

void RigWriter::NumberLine(uint32_t value) {
    EndLine(PutUnsigned(Put(LineRoom(sizeof kLineBreak2 + 10), kLineBreak2), value));
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
    const float pair[2] = {u, v};
    char* end = Put(LineRoom(sizeof kLineBreak3 + 2 * (kMaxRealText + 1)), kLineBreak3);
    EndLine(end + FormatReals(pair, 2, FormatReal, end));
}

void RigWriter::IndexLine(const unsigned int* indices, int32_t count, bool inSet) {
    // Room is asked for a few corners at a time (a space and up to ten digits each), so a
    // polygon of any number of corners fits.
    constexpr int kCorners = 16, kCorner = 11;
    char* end = LineRoom(sizeof kLineBreak3 + kCorners * kCorner);
    end = inSet ? Put(end, kLineBreak3) : Put(end, kLineBreak2);
    for (int32_t i = 0; i < count; ++i) {
        if (i % kCorners == 0 && i) {
            EndLine(end);
            end = LineRoom(kCorners * kCorner);
        }
        if (i) *end++ = ' ';
        end = PutUnsigned(end, indices[i]);
    }
    EndLine(end);
}

void RigWriter::WeightLine(uint32_t bone, float weight) {
    char* end = PutUnsigned(Put(LineRoom(sizeof kLineBreak2 + 11 + kMaxRealText), kLineBreak2), bone);
    *end++ = ' ';
    EndLine(end + FormatReals(&weight, 1, FormatReal, end));
}

void RigWriter::EndMesh() {
    WriteText(m_sectionOpen ? "\r\n\t}\r\n}\r\n" : "\r\n}\r\n");
    m_sectionOpen = false;
}

void RigWriter::FlushLines() {
    if (m_buffered == 0) return;
    m_stream.Serialize(m_lines, uint64_t(m_buffered));
    m_buffered = 0;
}

void RigWriter::WriteText(const char* text) {
    FlushLines();
    m_stream.Serialize(text, strlen(text));
}

void RigWriter::WriteText(const brix::UString& text) {
    FlushLines();
    m_stream.Serialize(text.c_str(), uint64_t(text.Length()));
}

void RigWriter::WriteName(const brix::UString& name) {
    if (!memchr(name.c_str(), '"', size_t(name.Length()))) return WriteText(name);
    brix::UString written(name);
    for (int32_t i = 0; i < written.Length(); ++i)
        if (written[i] == '"') written[i] = '_';
    WriteText(written);
    for (const brix::UString& changed : m_changedNames)
        if (changed == name) return;
    m_changedNames.Append(name);
    brix::UMessage(brix::Channel::Warning, "Name \"")
        << name << "\" holds a double quote, which a rig file cannot carry. It is written as \"" << written << "\".";
}

void RigWriter::WriteUnsigned(uint32_t value) {
    FlushLines();
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
    if (exponent > 7) return false;             // 2^31 or more
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

int RigWriter::FormatExactReal(float value, char* out) {
    if (!std::isfinite(value)) return FormatReal(value, out);
    // The shortest text that reads back as value through a direct conversion to float.
    // The reader converts to double first, then to float; should that second rounding
    // ever differ, more digits of the value are written until it reads back, at the
    // latest with 17 significant digits, which read back as the double itself.
    constexpr int kRoom = kMaxExactRealText - 1;  // one byte for the NUL
    auto result = std::to_chars(out, out + kRoom, value, std::chars_format::fixed);
    int length = int(result.ptr - out);
    out[length] = '\0';
    if (result.ec == std::errc() && brix::ReadReal(out) == value) return length;
    const char* point = static_cast<const char*>(memchr(out, '.', size_t(length)));
    for (int precision = point ? int(out + length - point) : 1; precision < kRoom; ++precision) {
        result = std::to_chars(out, out + kRoom, double(value), std::chars_format::fixed, precision);
        if (result.ec != std::errc()) break;
        length = int(result.ptr - out);
        out[length] = '\0';
        if (brix::ReadReal(out) == value) return length;
    }
    return length;
}

bool RigWriter::FourDecimalsKeepBone(const float rows[4][4], const float world[4][4], float rigSize) {
    // The matrix as the reader gets it from the four-decimal text.
    brix::TMatrix4<float> read;
    char text[kMaxRealText + 1];
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) {
            text[FormatReal(rows[r][c], text)] = '\0';
            read.m[r][c] = brix::ReadReal(text);
        }
    // The importer inverts it in floats; the comparison inverts it in doubles, so that
    // only the text's error counts, not the inversion's.
    brix::TMatrix4<float> asImported = read;
    if (!asImported.InvertScaleAware()) return false;
    brix::TMatrix4<double> inverse;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) inverse.m[r][c] = read.m[r][c];
    if (!inverse.InvertScaleAware()) return false;

    // The distance between row r of the inverse and of world, and the length of world's.
    auto rowDistance = [&](int r, double& worldLength) {
        double distance = 0;
        worldLength = 0;
        for (int c = 0; c < 3; ++c) {
            const double difference = inverse.m[r][c] - double(world[r][c]);
            distance += difference * difference;
            worldLength += double(world[r][c]) * double(world[r][c]);
        }
        worldLength = std::sqrt(worldLength);
        return std::sqrt(distance);
    };
    double length;
    // Negated comparisons: a NaN anywhere keeps nothing.
    if (!(rowDistance(3, length) <= kBoneTolerance * double(rigSize))) return false;
    for (int r = 0; r < 3; ++r)
        if (!(rowDistance(r, length) <= kBoneTolerance * length)) return false;
    return true;
}

float RigWriter::RigSize(const brix::TMatrix4<float>* worlds, int32_t count) {
    double low[3] = {0, 0, 0}, high[3] = {0, 0, 0};
    bool anyHead = false;
    double longestAxis = 0;
    for (int32_t i = 0; i < count; ++i) {
        const float(&m)[4][4] = worlds[i].m;
        if (std::isfinite(m[3][0]) && std::isfinite(m[3][1]) && std::isfinite(m[3][2])) {
            for (int c = 0; c < 3; ++c) {
                if (!anyHead || m[3][c] < low[c]) low[c] = m[3][c];
                if (!anyHead || m[3][c] > high[c]) high[c] = m[3][c];
            }
            anyHead = true;
        }
        for (int r = 0; r < 3; ++r) {
            const double axis =
                std::sqrt(double(m[r][0]) * m[r][0] + double(m[r][1]) * m[r][1] + double(m[r][2]) * m[r][2]);
            if (std::isfinite(axis) && axis > longestAxis) longestAxis = axis;
        }
    }
    double diagonal = 0;
    for (int c = 0; c < 3; ++c) diagonal += (high[c] - low[c]) * (high[c] - low[c]);
    diagonal = std::sqrt(diagonal);
    const double size = diagonal > longestAxis ? diagonal : longestAxis;
    return size > 0 && std::isfinite(size) ? float(size) : 1.0f;
}

void RigWriter::WriteReals(const float* values, int count) { WriteRealsWith(values, count, FormatReal); }

void RigWriter::WriteRealsWith(const float* values, int count, int (*format)(float, char*)) {
    FlushLines();
    char line[4 * (kMaxExactRealText + 1)];
    m_stream.Serialize(line, uint64_t(FormatReals(values, count, format, line)));
}

int RigWriter::FormatReals(const float* values, int count, int (*format)(float, char*), char* out) {
    int length = 0;
    for (int i = 0; i < count && i < 4; ++i) {
        if (i) out[length++] = ' ';
        length += format(values[i], out + length);
        if (!std::isfinite(values[i])) NoteNonFinite();
    }
    return length;
}

void RigWriter::NoteNonFinite() {
    if (m_nonFinite) return;
    m_nonFinite = true;
    m_nonFiniteKind = m_recordKind;
    m_nonFiniteName = m_recordName;
    m_nonFiniteKey = m_key;
}
