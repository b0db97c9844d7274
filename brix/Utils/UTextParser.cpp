#include "Utils/UTextParser.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>

#include "Core/ErrorDescription.h"
#include "Core/LegacyTexts.h"
#include "CoreServices/Interfaces/ICoreServices.h"
#include "Utils/UBlockScanner.h"
#include "Utils/UNumberText.h"
#include "Utils/UPatternText.h"

namespace brix {

namespace {

// Tokens: a quoted string (group 1), a brace block whose body mixes quoted strings,
// bytes other than braces and nested blocks (group 2 calls itself), or a bare word.
const UPatternPiece kBlockPieces[] = {
    {"(?mx)", 5},
    {"(?# case sensitive, multiline, extended)", 7},
    {"(", 23},
    {"\"[^\"]*\"", 2},
    {"(?# match everything enclosed by quotes)", 7},
    {")", 22},
    {"|", 5},
    {"(?# or)", 16},
    {"(", 23},
    {"\\{", 4},
    {"(?# match curly brace)", 13},
    {"(?:", 23},
    {"\\g<1>", 2},
    {"(?# match everything enclosed by quotes)", 9},
    {"|", 3},
    {"(?# or)", 18},
    {"[^\\{\\}]", 1},
    {"(?# match everything anything except curly braces)", 7},
    {"|", 3},
    {"(?# or)", 18},
    {"\\g<2>", 2},
    {"(?# match block recursively)", 11},
    {")*", 22},
    {"\\}", 4},
    {"(?# match curly brace)", 12},
    {")", 22},
    {"|", 5},
    {"(?# or)", 16},
    {"[^\\s\"\\{\\}]+", 2},
    {"(?# match non-whitespace/quotes/curly braces)", 5},
};

// Narrows a token to its value: inside the braces, inside the quotes, or the whole word.
const char kBlockValuePattern[] = "(?m)(?<=\\A\\{).*(?=\\}\\Z)|(?<=\\A\").*(?=\"\\Z)|\\A[^\\{\"].*";

// The deepest brace nesting of the text, counting every brace (quoted ones too) and
// never going below zero: an upper bound of the nesting the engine has to follow. When
// the text has no more opening braces than kMaxBlockDepth, their count is returned
// instead: no larger than the limit either, and found without following the nesting.
int RawBraceDepth(const unsigned char* begin, const unsigned char* end) {
    // The nesting never exceeds the number of opening braces, which is quick to count:
    // rig texts have a few hundred among millions of other bytes.
    int opening = 0;
    for (const unsigned char* p = begin; opening <= UTextParser::kMaxBlockDepth; ++p, ++opening) {
        p = static_cast<const unsigned char*>(memchr(p, '{', size_t(end - p)));
        if (!p) return opening;
    }
    int depth = 0, deepest = 0;
    for (const unsigned char* p = begin; p < end; ++p) {
        if (*p == '{') {
            if (++depth > deepest) deepest = depth;
        } else if (*p == '}' && depth > 0) {
            --depth;
        }
    }
    return deepest;
}

// The nesting the tokenizer has to follow. Where every block closes, a quoted string is
// never read as anything else, so its braces do not nest; where one does not, the
// engine may read quoted braces as plain bytes, and every brace counts.
int GuardedDepth(const UBlockScanner::Structure& structure, const unsigned char* begin, const unsigned char* end) {
    return structure.unclosedBlock ? RawBraceDepth(begin, end) : structure.deepest;
}

}  // namespace

const UString& UTextParser::BlockPattern() {
    static const UString pattern(JoinPatternPieces(kBlockPieces));
    return pattern;
}

const UString& UTextParser::BlockValuePattern() {
    static const UString pattern(kBlockValuePattern);
    return pattern;
}

UTextParser::UTextParser(const UString& text, Engine engine) : m_text(text) {
    if (engine == Engine::Scanner) {
        TokenizeBlocks(0, text.Length());
        return;
    }
    UArray<UString> valuePatterns;
    valuePatterns.Append(BlockValuePattern());
    Tokenize(BlockPattern(), valuePatterns, 0, text.Length());
}

UTextParser::UTextParser(const UString& text, int32_t start, int32_t length, Nesting nesting) : m_text(text) {
    TokenizeBlocks(start, length, nesting);
}

UTextParser::UTextParser(const UString& text, const UString& mainPattern, const UArray<UString>& valuePatterns)
    : m_text(text) {
    Tokenize(mainPattern, valuePatterns, 0, text.Length());
}

void UTextParser::TokenizeBlocks(int32_t rangeStart, int32_t rangeLength, Nesting nesting) {
    const unsigned char* start = reinterpret_cast<const unsigned char*>(m_text.c_str()) + rangeStart;
    const unsigned char* end = start + rangeLength;
    if (nesting == Nesting::Check) {
        const UBlockScanner::Structure structure = UBlockScanner::ScanStructure(start, end);
        m_openEnded = structure.unclosedBlock || structure.unpairedQuote;
        if (GuardedDepth(structure, start, end) > kMaxBlockDepth) {
            m_engineError = kErrorNestingTooDeep;
            return;
        }
    }
    UBlockScanner scanner(start, end);
    UBlockScanner::Token token;
    while (scanner.Next(token)) {
        const int32_t record = m_tokens.Add(RECORD_SIZE);
        m_tokens[record + MATCH_START] = rangeStart + token.matchStart;
        m_tokens[record + MATCH_LENGTH] = token.matchLength;
        m_tokens[record + VALUE_START] = rangeStart + token.valueStart;
        m_tokens[record + VALUE_LENGTH] = token.valueLength;
    }
    m_engineError = scanner.GetEngineError();
    if (m_tokens.Num() > 0) m_cursor = 0;
}

void UTextParser::Tokenize(const UString& mainPattern, const UArray<UString>& valuePatterns, int32_t rangeStart,
                           int32_t rangeLength) {
    URegex<unsigned char> main(mainPattern);
    UArray<URegex<unsigned char>> values;
    for (const UString& pattern : valuePatterns) values.Emplace(pattern);

    const unsigned char* start = reinterpret_cast<const unsigned char*>(m_text.c_str()) + rangeStart;
    const unsigned char* end = start + rangeLength;
    const UBlockScanner::Structure structure = UBlockScanner::ScanStructure(start, end);
    m_openEnded = structure.unclosedBlock || structure.unpairedQuote;
    if (GuardedDepth(structure, start, end) > kMaxBlockDepth) {
        m_engineError = kErrorNestingTooDeep;
        return;
    }

    for (int pos = 0; start + pos < end;) {
        const int found = main.Search(start, end, start + pos, end);
        if (found < 0) {
            if (found != URegex<unsigned char>::kNoMatch) m_engineError = found;
            break;
        }
        const int matchStart = main.MatchBegin();
        const int matchLength = main.MatchLength();
        int valueStart = matchStart, valueLength = matchLength;
        bool keep = true;
        for (URegex<unsigned char>& value : values) {
            if (valueLength == 0) {
                keep = false;
                break;
            }
            const unsigned char* rangeStart = start + valueStart;
            const unsigned char* rangeEnd = rangeStart + valueLength;
            const int at = value.Search(rangeStart, rangeEnd, rangeStart, rangeEnd);
            if (at < 0) {
                keep = false;
                break;
            }
            valueStart += value.MatchBegin();
            valueLength = value.MatchLength();
        }
        if (keep) {
            const int32_t record = m_tokens.Add(RECORD_SIZE);
            m_tokens[record + MATCH_START] = rangeStart + matchStart;
            m_tokens[record + MATCH_LENGTH] = matchLength;
            m_tokens[record + VALUE_START] = rangeStart + valueStart;
            m_tokens[record + VALUE_LENGTH] = valueLength;
        }
        pos = matchStart + matchLength;
    }
    if (m_tokens.Num() > 0) m_cursor = 0;
}

bool UTextParser::HasMoreTokens() const { return m_cursor >= 0 && m_cursor < m_tokens.Num() - 3; }

void UTextParser::Advance() {
    if (m_cursor < m_tokens.Num() - 3) m_cursor += RECORD_SIZE;
}

UString UTextParser::PeekValue() const {
    if (!HasMoreTokens()) return UString("");
    const char* value = m_text.c_str() + m_tokens[m_cursor + VALUE_START];
    // The copy stops at a zero byte inside the value.
    const int32_t length = int32_t(strnlen(value, size_t(m_tokens[m_cursor + VALUE_LENGTH])));
    return UString(reinterpret_cast<const unsigned char*>(value), length);
}

void UTextParser::ReadValueRange(int32_t& start, int32_t& length) {
    if (!HasMoreTokens()) {
        start = 0;
        length = 0;
        return;
    }
    start = m_tokens[m_cursor + VALUE_START];
    length = int32_t(strnlen(m_text.c_str() + start, size_t(m_tokens[m_cursor + VALUE_LENGTH])));
    Advance();
}

const char* UTextParser::MatchText() const { return m_text.c_str() + m_tokens[m_cursor + MATCH_START]; }

UTextParser& UTextParser::operator>>(UString& value) {
    m_value = PeekValue();
    value = m_value;
    if (HasMoreTokens()) Advance();
    return *this;
}

UTextParser& UTextParser::operator>>(int32_t& value) {
    if (!HasMoreTokens()) {
        value = 0;
        return *this;
    }
    value = ReadInteger(MatchText());
    Advance();
    return *this;
}

UTextParser& UTextParser::operator>>(int64_t& value) {
    if (!HasMoreTokens()) {
        value = 0;
        return *this;
    }
    value = ReadWideInteger(MatchText());
    Advance();
    return *this;
}

UTextParser& UTextParser::operator>>(float& value) {
    if (!HasMoreTokens()) {
        value = 0.0f;
        return *this;
    }
    value = ReadReal(MatchText());
    Advance();
    return *this;
}

UTextParser& UTextParser::operator>>(TVector2<float>& value) { return *this >> value.x >> value.y; }
UTextParser& UTextParser::operator>>(TVector3<float>& value) { return *this >> value.x >> value.y >> value.z; }
UTextParser& UTextParser::operator>>(float (&row)[4]) { return *this >> row[0] >> row[1] >> row[2] >> row[3]; }

template <typename C>
TextParserPolicy_ParseStream<C>::TextParserPolicy_ParseStream(IInputStream* stream) {
    if (!stream)
        ThrowAssureFailure(legacy::kParseStreamWithoutStream.file, legacy::kParseStreamWithoutStream.function,
                           "'assure' failed: text", legacy::kParseStreamWithoutStream.line);
    const uint64_t position = stream->Tell();
    const uint64_t size = stream->GetSize();
    const uint64_t rest = size > position ? size - position : 0;
    if (rest >= uint64_t(INT32_MAX))
        throw ErrorDescription("Utils/UTextParser",
                               "brix::TextParserPolicy_ParseStream<unsigned char>::TextParserPolicy_ParseStream",
                               "text too large to parse", __LINE__);
    m_text.SetNum(int32_t(rest) + 1);
    const uint64_t read = rest ? stream->Serialize(m_text.Data(), rest) : 0;
    // A stream that delivers less than its size leaves the text shorter, never garbage.
    // (SetNum moves the text to a new block, so it is called only when the size changes.)
    if (read != rest) m_text.SetNum(int32_t(read) + 1);
    m_text[int32_t(read)] = 0;
    stream->SeekToStart();
    stream->SeekForward(int32_t(position));

    IMemoryAllocator* allocator = GetCoreServices()->GetAllocator();
    void* block = allocator->Allocate(sizeof(UTextParser), "TextParserPolicy_ParseStream");
    if (!block)
        throw ErrorDescription("Utils/UTextParser",
                               "brix::TextParserPolicy_ParseStream<unsigned char>::TextParserPolicy_ParseStream",
                               "out of memory for the tokenizer", __LINE__);
    try {
        m_parser = new (block) UTextParser(m_text);
    } catch (...) {
        allocator->Free(block, "TextParserPolicy_ParseStream");
        throw;
    }
    m_allocator = allocator;
}

template <typename C>
TextParserPolicy_ParseStream<C>::~TextParserPolicy_ParseStream() {
    if (m_parser) {
        m_parser->~UTextParser();
        m_allocator->Free(m_parser, "TextParserPolicy_ParseStream");
    }
}

template class TextParserPolicy_ParseStream<unsigned char>;

}  // namespace brix
