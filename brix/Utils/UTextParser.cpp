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

// The tokens of the regex modes: the main pattern searched from the end of the last
// match, each value pattern narrowing the match in turn; a match that comes out empty
// is passed over. Offsets count from the start of the range.
class UTextParser::RegexTokens {
public:
    RegexTokens(const UString& mainPattern, const UArray<UString>& valuePatterns)
        : m_mainPattern(mainPattern), m_valuePatterns(valuePatterns), m_main(mainPattern) {
        for (const UString& pattern : valuePatterns) m_values.Emplace(pattern);
    }
    // A source that starts again from the start, with the same patterns.
    std::unique_ptr<RegexTokens> Fresh() const { return std::make_unique<RegexTokens>(m_mainPattern, m_valuePatterns); }

    // False when no token is left or when the engine stopped on an error.
    bool Next(const unsigned char* start, const unsigned char* end, UBlockScanner::Token& token) {
        while (!m_done && start + m_position < end) {
            const int found = m_main.Search(start, end, start + m_position, end);
            if (found < 0) {
                if (found != URegex<unsigned char>::kNoMatch) m_engineError = found;
                break;
            }
            const int matchStart = m_main.MatchBegin();
            const int matchLength = m_main.MatchLength();
            m_position = matchStart + matchLength;
            int valueStart = matchStart, valueLength = matchLength;
            bool keep = true;
            for (URegex<unsigned char>& value : m_values) {
                if (valueLength == 0) {
                    keep = false;
                    break;
                }
                const unsigned char* rangeStart = start + valueStart;
                const unsigned char* rangeEnd = rangeStart + valueLength;
                if (value.Search(rangeStart, rangeEnd, rangeStart, rangeEnd) < 0) {
                    keep = false;
                    break;
                }
                valueStart += value.MatchBegin();
                valueLength = value.MatchLength();
            }
            if (keep) {
                token = {matchStart, matchLength, valueStart, valueLength};
                return true;
            }
        }
        m_done = true;
        return false;
    }
    int GetEngineError() const { return m_engineError; }

private:
    UString m_mainPattern;
    UArray<UString> m_valuePatterns;
    URegex<unsigned char> m_main;
    UArray<URegex<unsigned char>> m_values;
    int32_t m_position = 0;
    int m_engineError = 0;
    bool m_done = false;
};

namespace {

const unsigned char* Bytes(const char* text) { return reinterpret_cast<const unsigned char*>(text); }

UArray<UString> BlockValuePatterns() {
    UArray<UString> patterns;
    patterns.Append(UTextParser::BlockValuePattern());
    return patterns;
}

}  // namespace

UTextParser::UTextParser(const UString& text, Engine engine)
    : m_text(text.c_str()),
      m_begin(Bytes(m_text)),
      m_end(m_begin + text.Length()),
      m_rangeStart(0),
      m_scanner(m_begin, m_end) {
    if (engine == Engine::RegexOnly) m_regex = std::make_unique<RegexTokens>(BlockPattern(), BlockValuePatterns());
    CheckStructure();
}

UTextParser::UTextParser(const UString& text, int32_t start, int32_t length, Nesting nesting)
    : UTextParser(text.c_str(), start, length, nesting) {}

UTextParser::UTextParser(const char* text, int32_t start, int32_t length, Nesting nesting)
    : m_text(text),
      m_begin(Bytes(text) + start),
      m_end(m_begin + length),
      m_rangeStart(start),
      m_scanner(m_begin, m_end) {
    if (nesting == Nesting::Check) {
        CheckStructure();
        return;
    }
    m_hasToken = Fetch();
}

UTextParser::UTextParser(const UString& text, const UString& mainPattern, const UArray<UString>& valuePatterns)
    : m_text(text.c_str()),
      m_begin(Bytes(m_text)),
      m_end(m_begin + text.Length()),
      m_rangeStart(0),
      m_scanner(m_begin, m_end),
      m_regex(std::make_unique<RegexTokens>(mainPattern, valuePatterns)) {
    CheckStructure();
}

UTextParser::~UTextParser() = default;

void UTextParser::CheckStructure() {
    const UBlockScanner::Structure structure = UBlockScanner::ScanStructure(m_begin, m_end);
    m_openEnded = structure.unclosedBlock || structure.unpairedQuote;
    m_scanner.KnowLastQuote(structure.lastQuote);
    if (GuardedDepth(structure, m_begin, m_end) > kMaxBlockDepth) {
        m_engineError = kErrorNestingTooDeep;
        m_errorKnown = true;
        return;
    }
    // Where every block closes the scanner never hands a search to the engine, so
    // nothing can stop it early.
    if (!m_regex && !structure.unclosedBlock) m_errorKnown = true;
    m_hasToken = Fetch();
}

bool UTextParser::Fetch() {
    UBlockScanner::Token found;
    if (m_regex ? m_regex->Next(m_begin, m_end, found) : m_scanner.Next(found)) {
        m_token = {m_rangeStart + found.matchStart, found.matchLength, m_rangeStart + found.valueStart,
                   found.valueLength};
        return true;
    }
    m_engineError = m_regex ? m_regex->GetEngineError() : m_scanner.GetEngineError();
    m_errorKnown = true;
    return false;
}

int UTextParser::GetEngineError() const {
    if (!m_errorKnown) {
        // Tokenize the range again from its start, keeping nothing, to where it stops.
        UBlockScanner::Token token;
        if (m_regex) {
            const std::unique_ptr<RegexTokens> source = m_regex->Fresh();
            while (source->Next(m_begin, m_end, token)) {
            }
            m_engineError = source->GetEngineError();
        } else {
            UBlockScanner scanner(m_begin, m_end);
            while (scanner.Next(token)) {
            }
            m_engineError = scanner.GetEngineError();
        }
        m_errorKnown = true;
    }
    return m_engineError;
}

bool UTextParser::PeekToken(Token& token) const {
    if (m_hasToken) token = m_token;
    return m_hasToken;
}

namespace {
// The length of text as a C string sees it, at most length: up to its first zero byte.
// Most values are a few bytes long, for which a call to the C library costs more than
// the bytes do.
int32_t LengthBeforeZero(const char* text, int32_t length) {
    if (length > 16) return int32_t(strnlen(text, size_t(length)));
    int32_t n = 0;
    while (n < length && text[n]) ++n;
    return n;
}
}  // namespace

UString UTextParser::PeekValue() const {
    if (!m_hasToken) return UString("");
    const char* value = m_text + m_token.valueStart;
    // The copy stops at a zero byte inside the value.
    const int32_t length = LengthBeforeZero(value, m_token.valueLength);
    return UString(Bytes(value), length);
}

void UTextParser::ReadValueRange(int32_t& start, int32_t& length) {
    if (!m_hasToken) {
        start = 0;
        length = 0;
        return;
    }
    start = m_token.valueStart;
    length = LengthBeforeZero(m_text + start, m_token.valueLength);
    Advance();
}

UTextParser& UTextParser::operator>>(UString& value) {
    value = PeekValue();
    Advance();
    return *this;
}

UTextParser& UTextParser::operator>>(int32_t& value) {
    value = m_hasToken ? ReadInteger(MatchText()) : 0;
    Advance();
    return *this;
}

UTextParser& UTextParser::operator>>(int64_t& value) {
    value = m_hasToken ? ReadWideInteger(MatchText()) : 0;
    Advance();
    return *this;
}

UTextParser& UTextParser::operator>>(float& value) {
    value = m_hasToken ? ReadReal(MatchText()) : 0.0f;
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
    const char* text;
    int32_t start = 0, length;
    if (const unsigned char* lent = stream->GetBytesInMemory(); lent && size < uint64_t(INT32_MAX)) {
        // Read in place: the block holds the whole stream and a zero byte after it.
        text = reinterpret_cast<const char*>(lent);
        start = int32_t(size - rest);
        length = int32_t(rest);
    } else {
        m_text.SetNum(int32_t(rest) + 1);
        const uint64_t read = rest ? stream->Serialize(m_text.Data(), rest) : 0;
        // A stream that delivers less than its size leaves the text shorter, never
        // garbage. (SetNum moves the text to a new block, so it is called only when the
        // size changes.)
        if (read != rest) m_text.SetNum(int32_t(read) + 1);
        m_text[int32_t(read)] = 0;
        stream->SeekToStart();
        stream->SeekForward(int32_t(position));
        text = m_text.c_str();
        length = int32_t(read);
    }

    IMemoryAllocator* allocator = GetCoreServices()->GetAllocator();
    void* block = allocator->Allocate(sizeof(UTextParser), "TextParserPolicy_ParseStream");
    if (!block)
        throw ErrorDescription("Utils/UTextParser",
                               "brix::TextParserPolicy_ParseStream<unsigned char>::TextParserPolicy_ParseStream",
                               "out of memory for the tokenizer", __LINE__);
    try {
        m_parser = new (block) UTextParser(text, start, length);
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
