#pragma once
// brix::UBaseCommandLine: a command-line text "name -arg1 p1 p2 -arg2 p3" as its name
// and its arguments in text order.

#include <cstdint>

#include "Core/UArray.h"
#include "Core/UBaseString.h"
#include "Utils/UCommandArgument.h"

namespace brix {

template <typename C>
class UBaseCommandLine {
public:
    UBaseCommandLine() = default;
    explicit UBaseCommandLine(const UBaseString<C>& text) { Parse(text); }

    void Parse(const UBaseString<C>& text);
    void Clear();

    const UBaseString<C>& GetName() const { return m_name; }
    int32_t GetNumArguments() const { return m_arguments.Num(); }
    // A copy of argument index; an empty argument at or past the count.
    UBaseCommandArgument<C> GetArgument(int32_t index) const;

private:
    UBaseString<C> m_name;
    UArray<UBaseCommandArgument<C>> m_arguments;
};

extern template class UBaseCommandLine<unsigned char>;

// Turns a translator's option string ("key=value;flag;...") into a command line named
// after the translator's module: each piece loses its spaces, tabs and line breaks, its
// "=" become spaces, and it becomes one " -" argument.
UString TranslatorOptionsToCommandLineText(const char* moduleName, const UString& options);
void ParseTranslatorOptions(const char* moduleName, const UString& options,
                            UBaseCommandLine<unsigned char>& commandLine);

}  // namespace brix
