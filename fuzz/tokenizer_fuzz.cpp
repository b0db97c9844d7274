// The block tokenizer's linear scanner against the regex engine alone: any input must
// give the same token records and engine error both ways, and the engine error asked
// before reading must be the one found by reading. Reading the tokens as numbers
// is checked against strtol and atof on the way.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "Utils/UNumberText.h"
#include "Utils/UTextParser.h"

using namespace brix;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 4096) return 0;  // the regex engine alone backtracks for long on broken blocks
    UString text(data, int32_t(size));
    UTextParser scanned(text, UTextParser::Engine::Scanner);
    UTextParser matched(text, UTextParser::Engine::RegexOnly);
    // The error asked before any token is read must be the one found by reading them all.
    const int errorUpFront = UTextParser(text, UTextParser::Engine::Scanner).GetEngineError();
    UTextParser::Token a{}, b{};
    for (bool hasA = scanned.PeekToken(a), hasB = matched.PeekToken(b); hasA || hasB;
         hasA = scanned.PeekToken(a), hasB = matched.PeekToken(b)) {
        if (hasA != hasB || !(a == b)) abort();
        const char* start = text.c_str() + a.matchStart;
        if (ReadInteger(start) != int32_t(strtol(start, nullptr, 10))) abort();
        const float expected = float(atof(start)), got = ReadReal(start);
        if (memcmp(&expected, &got, sizeof got) != 0) abort();
        scanned.Skip();
        matched.Skip();
    }
    if (scanned.GetEngineError() != matched.GetEngineError() || scanned.GetEngineError() != errorUpFront) abort();
    return 0;
}
