#include "Utils/UCommandLine.h"

#include <cstring>

#include "Core/ErrorDescription.h"
#include "Core/LegacyTexts.h"
#include "Utils/UPatternText.h"
#include "Utils/UTextParser.h"

namespace brix {

template <typename C>
void UBaseCommandLine<C>::Clear() {
    m_name.Empty(0);
    m_arguments.Empty(0);
}

template <typename C>
void UBaseCommandLine<C>::Parse(const UBaseString<C>& text) {
    BRIX_GUARD_BEGIN
    Clear();
    if (text.IsEmpty()) return;
    UArray<UString> valuePatterns;
    valuePatterns.Append(UBaseCommandArgument<C>::DashValuePattern());
    UTextParser parser(text, UBaseCommandArgument<C>::DashPattern(), valuePatterns);
    parser >> m_name;
    for (UString value = parser.PeekValue(); !value.IsEmpty(); value = parser.PeekValue()) {
        m_arguments.Emplace(value);
        parser >> value;
    }
    BRIX_GUARD_END_AT(legacy::kCommandLineGuard.file, legacy::kCommandLineGuard.line)
}

template <typename C>
UBaseCommandArgument<C> UBaseCommandLine<C>::GetArgument(int32_t index) const {
    if (index < 0 || index >= m_arguments.Num()) return UBaseCommandArgument<C>();
    return m_arguments[index];
}

template class UBaseCommandLine<unsigned char>;

namespace {

const UPatternPiece kSemicolonPieces[] = {
    {"(?mx)", 4},
    {"(?# case sensitive, multiline, extended)", 5},
    {"[^;]+", 3},
    {"(?# match everything except semicolons)", 5},
};

// Replaces every occurrence of what by with, scanning left to right.
UString ReplaceAll(const UString& text, const char* what, const char* with) {
    UString result("");
    const size_t whatLength = strlen(what);
    const char* rest = text.c_str();
    for (const char* found; (found = strstr(rest, what)) != nullptr; rest = found + whatLength) {
        result.AppendBytes(reinterpret_cast<const unsigned char*>(rest), int32_t(found - rest));
        result.Append(with);
    }
    result.Append(rest);
    return result;
}

}  // namespace

UString TranslatorOptionsToCommandLineText(const char* moduleName, const UString& options) {
    static const UString semicolonPattern(JoinPatternPieces(kSemicolonPieces));
    UString text(moduleName);
    UArray<UString> valuePatterns;
    valuePatterns.Append(UString(".+"));
    UTextParser pieces(options, semicolonPattern, valuePatterns);
    while (pieces.HasMoreTokens()) {
        UString piece;
        pieces >> piece;
        for (const char* removed : {" ", "\t", "\n", "\r"}) piece = ReplaceAll(piece, removed, "");
        piece = ReplaceAll(piece, "=", " ");
        text.Append(" -");
        text.Append(piece);
    }
    return text;
}

void ParseTranslatorOptions(const char* moduleName, const UString& options,
                            UBaseCommandLine<unsigned char>& commandLine) {
    commandLine.Parse(TranslatorOptionsToCommandLineText(moduleName, options));
}

}  // namespace brix
