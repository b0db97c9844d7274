// Tokenizes a generated rig-like text the way the importer reads it: the whole file
// once, then each top-level block again, and prints the throughput in MB/s.
// Usage: bench_tokenize [megabytes=50]

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "Utils/UTextParser.h"

using namespace brix;

namespace {

std::string MakeRigLikeText(size_t targetBytes) {
    std::string text = "version 1\r\nmeshes {\r\n";
    char line[96];
    for (int block = 0; text.size() < targetBytes; ++block) {
        text += "\tmesh {\r\n\t\tname \"mesh" + std::to_string(block) + "\"\r\n\t\tvertices {\r\n";
        for (int i = 0; i < 20000 && text.size() < targetBytes; ++i) {
            snprintf(line, sizeof line, "\t\t\t%.4f %.4f %.4f %.4f\r\n", i * 0.25, -i * 0.5, i * 1.125, 1.0);
            text += line;
        }
        text += "\t\t}\r\n\t}\r\n";
    }
    return text + "}\r\n";
}

// Tokenizes text, then every block token's value again, down to the numbers.
void TokenizeBlocks(const UString& text, size_t& tokens, size_t& bytesTokenized) {
    UTextParser parser(text);
    bytesTokenized += size_t(text.Length());
    tokens += size_t(parser.GetNumTokens());
    const UArray<int>& records = parser.GetTokens();
    for (int32_t i = 0; i < records.Num(); i += UTextParser::RECORD_SIZE) {
        const bool isBlock = text.c_str()[records[i + UTextParser::MATCH_START]] == '{';
        UString value;
        parser >> value;
        if (isBlock) TokenizeBlocks(value, tokens, bytesTokenized);
    }
}

}  // namespace

int main(int argc, char** argv) {
    const size_t megabytes = argc > 1 ? size_t(atoi(argv[1])) : 50;
    const std::string generated = MakeRigLikeText(megabytes * 1000000);
    UString text(generated.c_str());

    const auto start = std::chrono::steady_clock::now();
    size_t tokens = 0, bytesTokenized = 0;
    TokenizeBlocks(text, tokens, bytesTokenized);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    printf("file: %.1f MB, tokens: %zu, time: %.2f s\n", text.Length() / 1e6, tokens, seconds);
    printf("throughput: %.2f MB/s of file (%.2f MB/s of text tokenized, nesting counted)\n",
           text.Length() / 1e6 / seconds, bytesTokenized / 1e6 / seconds);
    return 0;
}
