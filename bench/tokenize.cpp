// Tokenizes a generated rig-like text the way the importer reads it, the whole file and
// then every block down to the numbers, and prints the throughput in MB/s of each way:
//   regex     each block's value copied and tokenized again by the regex engine alone
//             (the tokenizer before the scanner)
//   copy      the same copies, tokenized by the scanner
//   in-place  the scanner over each block's range of the one text, no copies
// The text is rig-like (blocks of numbers) or, with "words", one-letter words inside a
// block, the most tokens a text of that size can hold.
// Usage: bench_tokenize [megabytes=50] [regex|copy|in-place|all=all] [rig|words=rig]

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

std::string MakeWordText(size_t targetBytes) {
    std::string text = "version 1\r\nwords {\r\n";
    while (text.size() < targetBytes)
        text += "\ta a a a a a a a a a a a a a a a a a a a a a a a a a a a a a a a a a a a a a\r\n";
    return text + "}\r\n";
}

// Tokenizes text, then every block token's value again as a copy, down to the numbers.
void TokenizeCopies(const UString& text, UTextParser::Engine engine, size_t& tokens, size_t& bytesTokenized) {
    UTextParser parser(text, engine);
    bytesTokenized += size_t(text.Length());
    for (UTextParser::Token token; parser.PeekToken(token);) {
        ++tokens;
        const bool isBlock = text.c_str()[token.matchStart] == '{';
        UString value;
        parser >> value;
        if (isBlock) TokenizeCopies(value, engine, tokens, bytesTokenized);
    }
}

// The same over ranges of the one text.
void TokenizeInPlace(const UString& text, int32_t start, int32_t length, size_t& tokens, size_t& bytesTokenized) {
    UTextParser parser(text, start, length);
    bytesTokenized += size_t(length);
    for (UTextParser::Token token; parser.PeekToken(token);) {
        ++tokens;
        const bool isBlock = text.c_str()[token.matchStart] == '{';
        int32_t valueStart, valueLength;
        parser.ReadValueRange(valueStart, valueLength);
        if (isBlock) TokenizeInPlace(text, valueStart, valueLength, tokens, bytesTokenized);
    }
}

void Run(const char* way, const UString& text) {
    const auto start = std::chrono::steady_clock::now();
    size_t tokens = 0, bytesTokenized = 0;
    if (!strcmp(way, "regex"))
        TokenizeCopies(text, UTextParser::Engine::RegexOnly, tokens, bytesTokenized);
    else if (!strcmp(way, "copy"))
        TokenizeCopies(text, UTextParser::Engine::Scanner, tokens, bytesTokenized);
    else
        TokenizeInPlace(text, 0, text.Length(), tokens, bytesTokenized);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    printf(
        "%-8s file: %.1f MB, tokens: %zu, time: %.3f s, throughput: %.2f MB/s of file (%.2f MB/s of text "
        "tokenized, nesting counted)\n",
        way, text.Length() / 1e6, tokens, seconds, text.Length() / 1e6 / seconds, bytesTokenized / 1e6 / seconds);
}

}  // namespace

int main(int argc, char** argv) {
    const size_t megabytes = argc > 1 ? size_t(atoi(argv[1])) : 50;
    const char* way = argc > 2 ? argv[2] : "all";
    const bool words = argc > 3 && !strcmp(argv[3], "words");
    const std::string generated = words ? MakeWordText(megabytes * 1000000) : MakeRigLikeText(megabytes * 1000000);
    UString text(generated.c_str());
    for (const char* each : {"regex", "copy", "in-place"})
        if (!strcmp(way, "all") || !strcmp(way, each)) Run(each, text);
    return 0;
}
