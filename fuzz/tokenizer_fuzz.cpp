// The block tokenizer's linear scanner against the regex engine alone: any input must
// give the same token records and engine error both ways. Reading the tokens as numbers
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
    if (scanned.GetEngineError() != matched.GetEngineError()) abort();
    const UArray<int>& a = scanned.GetTokens();
    const UArray<int>& b = matched.GetTokens();
    if (a.Num() != b.Num()) abort();
    for (int32_t i = 0; i < a.Num(); ++i)
        if (a[i] != b[i]) abort();
    for (int32_t i = 0; i < a.Num(); i += UTextParser::RECORD_SIZE) {
        const char* start = text.c_str() + a[i + UTextParser::MATCH_START];
        if (ReadInteger(start) != int32_t(strtol(start, nullptr, 10))) abort();
        const float expected = float(atof(start)), got = ReadReal(start);
        if (memcmp(&expected, &got, sizeof got) != 0) abort();
    }
    return 0;
}
