#pragma once
// brix::UBaseCommandArgument: one dash-led argument of a command line, its name and the
// words that follow it, e.g. "-size 10 20" -> name "size", parameters "10" and "20".

#include <cstdint>

#include "Core/UArray.h"
#include "Core/UBaseString.h"

namespace brix {

template <typename C>
class UBaseCommandArgument {
public:
    UBaseCommandArgument() = default;
    explicit UBaseCommandArgument(const UBaseString<C>& text) { Parse(text); }

    void Parse(const UBaseString<C>& text);
    void Clear();

    const UBaseString<C>& GetName() const { return m_name; }
    int32_t GetNumParameters() const { return m_parameters.Num(); }
    const UBaseString<C>& GetParameter(int32_t index) const { return m_parameters[index]; }

    // The patterns both command-line classes tokenize with: the dash pattern (714 bytes)
    // and its value pattern.
    static const UBaseString<C>& DashPattern();
    static const UBaseString<C>& DashValuePattern();

private:
    UBaseString<C> m_name;
    UArray<UBaseString<C>> m_parameters;
};

extern template class UBaseCommandArgument<unsigned char>;

}  // namespace brix
