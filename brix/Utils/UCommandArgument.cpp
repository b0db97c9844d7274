#include "Utils/UCommandArgument.h"

#include "Core/ErrorDescription.h"
#include "Core/LegacyTexts.h"
#include "Utils/UPatternText.h"
#include "Utils/UTextParser.h"

namespace brix {

namespace {

// A token is a quoted string; or a dash and as few bytes as possible (quoted strings
// taken whole) up to white space followed by a dash, or the line end; or a word.
const UPatternPiece kDashPieces[] = {
    {"(?x)", 5},
    {"(?# case sensitive, single line, extended)", 7},
    {"(", 23},
    {"\"[^\"]*\"", 2},
    {"(?# match everything enclosed by quotes)", 7},
    {")", 22},
    {"|", 5},
    {"(?# or)", 16},
    {"(?:", 23},
    {"-", 4},
    {"(?# match dash)", 15},
    {"(?:", 23},
    {"\\g<1>", 2},
    {"(?# match everything enclosed by quotes)", 9},
    {"|", 3},
    {"(?# or)", 18},
    {".", 3},
    {"(?# match any character)", 12},
    {")*?", 22},
    {"(?:", 23},
    {"(?=\\s-)", 1},
    {"(?# if lookahead matches a whitespace and a dash)", 7},
    {"|", 3},
    {"(?# or)", 18},
    {"$", 3},
    {"(?# match end of string - multiline)", 9},
    {")", 21},
    {")", 22},
    {"|", 5},
    {"(?# or)", 16},
    {"[^\\s]+", 4},
    {"(?# match non-whitespace)", 10},
};

// Everything after a leading dash, or the whole token when it has none.
const char kDashValuePattern[] = "(?:(?<=-)|(?=\\A[^-])).+";

}  // namespace

template <typename C>
const UBaseString<C>& UBaseCommandArgument<C>::DashPattern() {
    static const UBaseString<C> pattern(JoinPatternPieces(kDashPieces));
    return pattern;
}

template <typename C>
const UBaseString<C>& UBaseCommandArgument<C>::DashValuePattern() {
    static const UBaseString<C> pattern(kDashValuePattern);
    return pattern;
}

template <typename C>
void UBaseCommandArgument<C>::Clear() {
    m_name.Empty(0);
    m_parameters.Empty(0);
}

template <typename C>
void UBaseCommandArgument<C>::Parse(const UBaseString<C>& text) {
    BRIX_GUARD_BEGIN
    Clear();
    if (text.IsEmpty()) return;
    UArray<UString> valuePatterns;
    valuePatterns.Append(DashValuePattern());
    UTextParser parser(text, DashPattern(), valuePatterns);
    parser >> m_name;
    for (UString value = parser.PeekValue(); !value.IsEmpty(); value = parser.PeekValue()) {
        m_parameters.Append(value);
        parser >> value;
    }
    BRIX_GUARD_END_AT(legacy::kCommandArgumentGuard.file, legacy::kCommandArgumentGuard.line)
}

template class UBaseCommandArgument<unsigned char>;

}  // namespace brix
