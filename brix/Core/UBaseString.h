#pragma once
// brix::UBaseString<unsigned char>: a byte string kept in a UArray together with its
// terminating NUL. The count includes the NUL: an empty text has count 1, and a string
// that was never given a text has count 0 and no block.

#include <cstdint>
#include <cstring>

#include "Core/UArray.h"

namespace brix {

template <typename C>
class UBaseString : public UArray<C> {
    using Base = UArray<C>;

public:
    UBaseString() = default;
    UBaseString(const char* text) { Append(text); }
    UBaseString(const C* text, int32_t length) { AppendBytes(text, length); }
    // Copies keep every byte, NULs inside the text included, as construction does.
    UBaseString(const UBaseString& other) = default;
    UBaseString(UBaseString&& other) noexcept = default;
    UBaseString& operator=(const UBaseString& other) = default;
    UBaseString& operator=(UBaseString&& other) = default;
    UBaseString& operator=(const char* text) { return Assign(text); }

    // Replaces the text; skipped when text is this string's own data.
    UBaseString& Assign(const char* text) {
        if (text && text == c_str()) return *this;
        if (Overlaps(text)) return Assign(UBaseString(text).c_str());
        const int32_t wanted = int32_t(text ? strlen(text) : 0) + 1;
        if (this->Num() < wanted)
            this->Add(wanted - this->Num());
        else if (this->Num() > wanted)
            this->Remove(wanted, this->Num() - wanted);
        if (wanted > 1) memcpy(this->Data(), text, size_t(wanted - 1));
        this->Data()[wanted - 1] = 0;
        return *this;
    }

    // Appends a zero-terminated text; nullptr appends nothing.
    UBaseString& Append(const char* text) {
        if (!text) return *this;
        return AppendBytes(reinterpret_cast<const C*>(text), int32_t(strlen(text)));
    }
    UBaseString& Append(const UBaseString& other) {
        return other.Num() ? AppendBytes(other.Data(), other.Length()) : *this;
    }

    // Appends length bytes (which may hold NULs) and terminates again.
    UBaseString& AppendBytes(const C* bytes, int32_t length) {
        if (length < 0) length = 0;
        if (length && Overlaps(bytes)) return AppendBytes(UBaseString(bytes, length).Data(), length);
        int32_t at;
        if (this->Num() == 0) {
            at = this->Add(length + 1);
        } else {
            at = this->Num() - 1;  // overwrite the old NUL
            this->Add(length);
        }
        if (length) memmove(this->Data() + at, bytes, size_t(length));
        this->Data()[this->Num() - 1] = 0;
        return *this;
    }

    // Decimal conversions of numbers; reals are written with "%.4f".
    UBaseString& AppendNumber(uint32_t value);
    UBaseString& AppendNumber(int64_t value);
    UBaseString& AppendNumber(uint64_t value);
    UBaseString& AppendNumber(double value);

    // The text without the NUL; 0 for a string without block.
    int32_t Length() const { return this->Num() > 0 ? this->Num() - 1 : 0; }
    bool IsEmpty() const { return Length() == 0; }
    // The zero-terminated text; "" for a string without block.
    const char* c_str() const { return this->Num() ? reinterpret_cast<const char*>(this->Data()) : ""; }

    bool operator==(const char* text) const { return strcmp(c_str(), text ? text : "") == 0; }
    bool operator==(const UBaseString& other) const { return strcmp(c_str(), other.c_str()) == 0; }
    bool operator!=(const char* text) const { return !(*this == text); }
    bool operator!=(const UBaseString& other) const { return !(*this == other); }

private:
    // True when p points into this string's own block, which growing may move.
    bool Overlaps(const void* p) const {
        const C* bytes = static_cast<const C*>(p);
        return this->Num() && bytes >= this->Data() && bytes < this->Data() + this->Num();
    }
};

using UString = UBaseString<unsigned char>;

extern template class UBaseString<unsigned char>;

}  // namespace brix
