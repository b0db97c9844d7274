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

}  // namespace brix
