#include "Rig/RigWriter.h"

#include <charconv>
#include <cstdio>
#include <cstring>

void RigWriter::WriteText(const char* text) { m_stream.Serialize(text, strlen(text)); }

void RigWriter::WriteText(const brix::UString& text) { m_stream.Serialize(text.c_str(), uint64_t(text.Length())); }

void RigWriter::WriteUnsigned(uint32_t value) {
    char digits[16];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    m_stream.Serialize(digits, uint64_t(result.ptr - digits));
}

int RigWriter::FormatReal(float value, char* out) {
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
    }
    m_stream.Serialize(line, uint64_t(length));
}
