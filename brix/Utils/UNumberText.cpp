#include "Utils/UNumberText.h"

#include <charconv>
#include <climits>
#include <cstdlib>

namespace brix {

namespace {

bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
// Bytes a plain decimal number is made of; from_chars stops inside such a run.
bool IsNumberByte(char c) { return IsDigit(c) || c == '.' || c == 'e' || c == 'E' || c == '+' || c == '-'; }

}  // namespace

namespace {

// Leading white space, an optional sign and digits, the magnitude clamped to limit + 1
// (one past the largest positive value) when it does not fit.
void ReadMagnitude(const char* text, unsigned long long limit, bool& negative, unsigned long long& magnitude) {
    const char* p = text;
    while (IsSpace(*p)) ++p;
    negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    const unsigned long long cap = limit + 1;
    magnitude = 0;
    for (; IsDigit(*p); ++p) {
        if (magnitude > cap / 10) {
            magnitude = cap;
        } else {
            magnitude = magnitude * 10 + unsigned(*p - '0');
            if (magnitude > cap) magnitude = cap;
        }
    }
}

}  // namespace

int32_t ReadInteger(const char* text) {
    // Past long's range strtol answers LONG_MAX or LONG_MIN.
    bool negative;
    unsigned long long magnitude;
    ReadMagnitude(text, (unsigned long long)LONG_MAX, negative, magnitude);
    long value;
    if (negative)
        value = magnitude > (unsigned long long)LONG_MAX ? LONG_MIN : -(long)magnitude;
    else
        value = magnitude > (unsigned long long)LONG_MAX ? LONG_MAX : (long)magnitude;
    return int32_t(value);
}

int64_t ReadWideInteger(const char* text) {
    bool negative;
    unsigned long long magnitude;
    ReadMagnitude(text, (unsigned long long)INT64_MAX, negative, magnitude);
    if (negative) return magnitude > (unsigned long long)INT64_MAX ? INT64_MIN : -(int64_t)magnitude;
    return magnitude > (unsigned long long)INT64_MAX ? INT64_MAX : (int64_t)magnitude;
}

namespace {

// Reads [-]digits[.digits] of at most 15 digits and no exponent as m / 10^k: both are
// exact doubles, and one division rounds correctly, so the double equals the one
// from_chars finds. Returns where the digits end, or null when there are none or too
// many. Bounded, it stops at end; otherwise the text ends at its first other byte.
template <bool kBounded>
const char* ReadShortDecimalIn(const char* text, const char* end, double& value) {
    static constexpr double kPowersOfTen[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                              1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    auto digitAt = [end](const char* p) { return (!kBounded || p < end) && IsDigit(*p); };
    const char* p = text;
    const bool negative = (!kBounded || p < end) && *p == '-';
    if (negative) ++p;
    uint64_t mantissa = 0;
    int digits = 0, fractionDigits = 0;
    for (; digitAt(p) && digits <= 15; ++p, ++digits) mantissa = mantissa * 10 + uint64_t(*p - '0');
    if ((!kBounded || p < end) && *p == '.') {
        for (++p; digitAt(p) && digits <= 15; ++p, ++digits, ++fractionDigits)
            mantissa = mantissa * 10 + uint64_t(*p - '0');
    }
    if (digits == 0 || digits > 15) return nullptr;
    const double magnitude = double(mantissa) / kPowersOfTen[fractionDigits];
    value = negative ? -magnitude : magnitude;
    return p;
}

// The same on NUL-terminated text: false for any other text, or when an exponent or a
// hex prefix follows.
bool ReadShortDecimal(const char* text, double& value) {
    const char* p = ReadShortDecimalIn<false>(text, nullptr, value);
    return p && *p != 'e' && *p != 'E' && *p != 'x' && *p != 'X';
}

}  // namespace

const char* ReadPlainInteger(const char* text, const char* end, int64_t& value) {
    const char* p = text;
    int64_t magnitude = 0;
    for (; p < end && IsDigit(*p) && p - text < 18; ++p) magnitude = magnitude * 10 + (*p - '0');
    if (p == text || (p < end && IsDigit(*p))) return nullptr;
    value = magnitude;
    return p;
}

const char* ReadPlainReal(const char* text, const char* end, float& value) {
    double shortValue;
    const char* p = ReadShortDecimalIn<true>(text, end, shortValue);
    if (p) value = float(shortValue);
    return p;
}

namespace {

// Past an optional sign and a run of digits from p; digits counts them.
const char* SkipSignAndDigits(const char* p, const char* end, int& digits) {
    if (p < end && (*p == '+' || *p == '-')) ++p;
    const char* first = p;
    while (p < end && IsDigit(*p)) ++p;
    digits = int(p - first);
    return p;
}

}  // namespace

bool IsDecimalInteger(const char* begin, const char* end) {
    int digits;
    return SkipSignAndDigits(begin, end, digits) == end && digits > 0;
}

bool IsDecimalReal(const char* begin, const char* end) {
    int digits;
    const char* p = SkipSignAndDigits(begin, end, digits);
    if (p < end && *p == '.') {
        const char* fraction = ++p;
        while (p < end && IsDigit(*p)) ++p;
        digits += int(p - fraction);
    }
    if (digits == 0) return false;
    if (p < end && (*p == 'e' || *p == 'E')) {
        int exponentDigits;
        p = SkipSignAndDigits(p + 1, end, exponentDigits);
        if (exponentDigits == 0) return false;
    }
    return p == end;
}

float ReadReal(const char* text) {
    double shortValue;
    if (ReadShortDecimal(text, shortValue)) return float(shortValue);
    const char* p = text;
    if (*p == '-') ++p;
    // from_chars takes neither '+', white space, a hex prefix nor the words; atof does.
    const bool plain = IsDigit(*p) ? !(p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) : (*p == '.' && IsDigit(p[1]));
    if (plain) {
        const char* end = p;
        while (IsNumberByte(*end)) ++end;
        double value;
        const std::from_chars_result result = std::from_chars(text, end, value);
        if (result.ec == std::errc()) return float(value);
    }
    return float(atof(text));
}

}  // namespace brix
