#include "Core/UBaseString.h"

#include <cinttypes>
#include <cstdio>

namespace brix {

namespace {
template <typename C>
UBaseString<C>& AppendFormatted(UBaseString<C>& string, const char* format, auto value) {
    // "%.4f" of the largest double is 309 digits and the decimals.
    char buffer[400];
    const int length = snprintf(buffer, sizeof buffer, format, value);
    if (length > 0) string.AppendBytes(reinterpret_cast<const C*>(buffer), length);
    return string;
}
}  // namespace

template <typename C>
UBaseString<C>& UBaseString<C>::AppendNumber(uint32_t value) {
    return AppendFormatted(*this, "%" PRIu32, value);
}
template <typename C>
UBaseString<C>& UBaseString<C>::AppendNumber(int64_t value) {
    return AppendFormatted(*this, "%" PRId64, value);
}
template <typename C>
UBaseString<C>& UBaseString<C>::AppendNumber(uint64_t value) {
    return AppendFormatted(*this, "%" PRIu64, value);
}
template <typename C>
UBaseString<C>& UBaseString<C>::AppendNumber(double value) {
    return AppendFormatted(*this, "%.4f", value);
}

template class UBaseString<unsigned char>;

}  // namespace brix
