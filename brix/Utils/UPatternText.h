#pragma once
// Patterns stored the way they are written: pieces of an extended-mode pattern, each
// followed by a run of tabs that the engine ignores but the stored text keeps.

#include <cstddef>

#include "Core/UBaseString.h"

namespace brix {

struct UPatternPiece {
    const char* text;
    int tabs;
};

template <size_t N>
UString JoinPatternPieces(const UPatternPiece (&pieces)[N]) {
    UString pattern("");
    for (const UPatternPiece& piece : pieces) {
        pattern.Append(piece.text);
        for (int i = 0; i < piece.tabs; ++i) pattern.Append("\t");
    }
    return pattern;
}

}  // namespace brix
