#pragma once
// brix::URegex<unsigned char>: one compiled Oniguruma pattern over byte strings (ASCII
// encoding, Ruby syntax, no options) with the match region of its last search. It
// holds only owned handles and a string, so a UArray may move it bytewise. The engine's
// header stays out of this one: it clashes with the C library's regex header.

#include <cstdint>

#include "Core/UBaseString.h"

namespace brix {

template <typename T>
class URegex {
public:
    // Nesting of subexpression calls the engine follows; a brace block nested deeper
    // than this cannot be matched correctly, so the block parser refuses such text.
    static constexpr int kMaxCallNesting = 1100;
    // The engine's "no match" result.
    static constexpr int kNoMatch = -1;

    explicit URegex(const UBaseString<T>& pattern);
    ~URegex();
    URegex(const URegex&) = delete;
    URegex& operator=(const URegex&) = delete;

    // Compiles the pattern; raises an ErrorDescription with the engine's message when
    // the pattern is rejected.
    void CreateOnigRegex();

    // Searches forward from searchStart; returns the match offset from subjectStart, -1
    // when nothing matches, or another negative engine error code. The retry budget
    // grows with the subject, so valid text of any size is matched to its end.
    int Search(const T* subjectStart, const T* subjectEnd, const T* searchStart, const T* rangeEnd);

    // Group 0 of the last match, as offsets from the subject start.
    int MatchBegin() const;
    int MatchEnd() const;
    int MatchLength() const { return MatchEnd() - MatchBegin(); }

    const UBaseString<T>& GetPattern() const { return m_pattern; }

private:
    UBaseString<T> m_pattern;
    void* m_regex = nullptr;       // OnigRegex
    void* m_region = nullptr;      // OnigRegion*
    unsigned int m_options = 0;    // ONIG_OPTION_NONE
    void* m_matchParam = nullptr;  // OnigMatchParam*
};

extern template class URegex<unsigned char>;

}  // namespace brix
