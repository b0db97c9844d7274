#pragma once
// Numbers read from text without the C library's general conversions, with the same
// results: ReadInteger is strtol with base 10 narrowed to 32 bits, ReadReal is atof
// narrowed to float. Both read a NUL-terminated text from its start.

#include <cstdint>

namespace brix {

// int32_t(strtol(text, nullptr, 10)): leading white space, an optional sign, digits up
// to the first other byte; the value clamped to long's range as strtol does, then
// narrowed to 32 bits.
int32_t ReadInteger(const char* text);

// strtoll with base 10: as ReadInteger, but the value is clamped to 64 bits only, so a
// caller can tell values that do not fit 32 bits from those that do.
int64_t ReadWideInteger(const char* text);

// float(atof(text)): plain decimal forms ([-]digits[.digits][e[sign]digits]) are
// converted with std::from_chars, which rounds as atof does; anything else (white
// space, '+', hex, inf, nan, values out of double's range) goes to atof itself.
float ReadReal(const char* text);

// The plain forms alone, read from text up to end at most: ReadPlainInteger takes 1 to 18
// digits, ReadPlainReal [-]digits[.digits] of at most 15 digits. Each gives the value
// ReadWideInteger or ReadReal gives for that text and returns where the form ends; null
// when the text does not start with such a form (the caller then uses the general
// reader). The byte at the end is not looked at: the caller decides whether the number
// ended there.
const char* ReadPlainInteger(const char* text, const char* end, int64_t& value);
const char* ReadPlainReal(const char* text, const char* end, float& value);

// Whether the bytes [begin, end) are one whole decimal number and nothing else, so that a
// reader can refuse a token such as "7x" or "nan" instead of reading its prefix or 0.
// An integer is an optional sign and digits. A real is an optional sign, digits with an
// optional fraction ("5", "5.", ".5", "5.25", at least one digit), and an optional
// exponent ("e" or "E", an optional sign, digits). Neither takes white space, hex
// forms or the words inf and nan.
bool IsDecimalInteger(const char* begin, const char* end);
bool IsDecimalReal(const char* begin, const char* end);

}  // namespace brix
