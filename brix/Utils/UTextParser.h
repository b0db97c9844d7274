#pragma once
// UTextParser cuts a text into tokens (quoted strings, brace blocks with nesting, bare
// words) and hands them out in order as strings or numbers. Tokens are found one at a
// time as they are read, so a text of any number of tokens costs the parser no memory
// beyond its own. A reader takes a block token's value as a range of the text and opens
// a second parser over that range to read the block's contents.

#include <cstdint>
#include <memory>

#include "Core/UArray.h"
#include "Core/UBaseString.h"
#include "CoreServices/Interfaces/IMemoryAllocator.h"
#include "CoreServices/Interfaces/IStream.h"
#include "Math/TVector.h"
#include "Utils/UBlockScanner.h"
#include "Utils/URegex.h"

namespace brix {

class UTextParser {
public:
    // The tokenizer pattern (684 bytes) and the value pattern of block text.
    static const UString& BlockPattern();
    static const UString& BlockValuePattern();

    // How text is tokenized with the block patterns: by the linear scanner, which gives
    // the engine's tokens and hands it only the inputs where the pattern backtracks, or
    // by the regex engine alone (kept to check the scanner against).
    enum class Engine { Scanner, RegexOnly };

    // Where a token lies, as offsets from the start of the text: the whole match, and
    // its value (inside the quotes or braces, or the whole word).
    struct Token {
        int32_t matchStart, matchLength, valueStart, valueLength;
        bool operator==(const Token&) const = default;
    };

    // Tokenizes text, which must outlive the parser, with the block patterns.
    explicit UTextParser(const UString& text, Engine engine = Engine::Scanner);
    // Tokenizes the bytes [start, start + length) of text with the block patterns as if
    // they were a text of their own (a block's value read in place); token offsets still
    // count from the start of text, and numbers are read from text, which must end with
    // a zero byte at or after start + length.
    // A range of a text another parser already tokenized whole needs no second check of
    // its brace nesting: no range nests deeper than the text it lies in.
    enum class Nesting { Check, CheckedWithWholeText };
    UTextParser(const UString& text, int32_t start, int32_t length, Nesting nesting = Nesting::Check);
    UTextParser(const char* text, int32_t start, int32_t length, Nesting nesting = Nesting::Check);
    // Tokenizes text with another main pattern and its value patterns, in order.
    UTextParser(const UString& text, const UString& mainPattern, const UArray<UString>& valuePatterns);
    virtual ~UTextParser();
    UTextParser(const UTextParser&) = delete;
    UTextParser& operator=(const UTextParser&) = delete;

    // True while the cursor stands on a token.
    bool HasMoreTokens() const { return m_hasToken; }
    // The token at the cursor without moving on; false when none is left.
    bool PeekToken(Token& token) const;
    // The value of the token at the cursor without moving on ("" when none is left).
    UString PeekValue() const;
    // The engine's error code when tokenizing stops on one (0 when it runs to the end);
    // the tokens before it stand, but the text is not read completely. The scanner knows
    // the answer from the start for a checked text whose every block closes; otherwise,
    // asked before the cursor reached the end, the text is tokenized once more (keeping
    // nothing) to find it.
    int GetEngineError() const;
    // Whether the text ends inside a construct: an opening brace whose closing brace
    // never comes, or a quote without a partner (such bytes start no token, and what
    // follows them is read as further tokens). Known for a text whose nesting the
    // parser checked; false for a range of a text checked whole.
    bool IsOpenEnded() const { return m_openEnded; }

    // Reads move to the next token; past the last token strings read as "" and numbers
    // as 0, and the cursor stays. Numbers are converted from the token's match start.
    UTextParser& operator>>(UString& value);
    UTextParser& operator>>(int32_t& value);
    // As strtoll reads it: a value that does not fit 32 bits stays what it is.
    UTextParser& operator>>(int64_t& value);
    UTextParser& operator>>(float& value);
    UTextParser& operator>>(TVector2<float>& value);
    UTextParser& operator>>(TVector3<float>& value);
    UTextParser& operator>>(float (&row)[4]);

    // The value of the token at the cursor as a range of the text, cut where a string
    // read would stop its copy (at a zero byte), then moves on as a string read does. An
    // empty range when no token is left. For reading a block in place.
    void ReadValueRange(int32_t& start, int32_t& length);
    // Moves past the token at the cursor without reading it.
    void Skip() { Advance(); }
    // The text the token offsets count from.
    const char* GetText() const { return m_text; }
    // The range tokenized: where it starts in the text, and how many bytes it holds.
    int32_t GetRangeStart() const { return m_rangeStart; }
    int32_t GetRangeLength() const { return int32_t(m_end - m_begin); }

    // Text nested deeper than this many braces is refused as an engine error: the engine
    // could not match it correctly. Braces inside quoted strings do not nest, except in
    // a text with a block that never closes, where the engine may read them as bytes.
    static constexpr int kMaxBlockDepth = 1000;
    // The code recorded for such text.
    static constexpr int kErrorNestingTooDeep = -10000;

private:
    class RegexTokens;

    void CheckStructure();
    // The next token from the range into m_token; false, with the engine's error noted,
    // when none is left.
    bool Fetch();
    void Advance() {
        if (m_hasToken) m_hasToken = Fetch();
    }
    const char* MatchText() const { return m_text + m_token.matchStart; }

    const char* m_text;
    const unsigned char* m_begin;  // the range tokenized
    const unsigned char* m_end;
    int32_t m_rangeStart;
    UBlockScanner m_scanner;
    std::unique_ptr<RegexTokens> m_regex;  // the token source in place of the scanner
    Token m_token{};
    bool m_hasToken = false;
    bool m_openEnded = false;
    // Known once tokenizing stopped, or when the text cannot stop early.
    mutable bool m_errorKnown = false;
    mutable int m_engineError = 0;
};

// A parser over the rest of a stream, from its position to its end. A stream that holds
// its bytes in memory (IInputStream::GetBytesInMemory) is read there, in place, and must
// outlive the parser; any other is read into a text the parser owns. The stream is left
// where it was.
template <typename C>
class TextParserPolicy_ParseStream {
public:
    explicit TextParserPolicy_ParseStream(IInputStream* stream);
    ~TextParserPolicy_ParseStream();
    TextParserPolicy_ParseStream(const TextParserPolicy_ParseStream&) = delete;
    TextParserPolicy_ParseStream& operator=(const TextParserPolicy_ParseStream&) = delete;

    UTextParser& Parser() { return *m_parser; }
    bool HasMoreTokens() const { return m_parser->HasMoreTokens(); }
    int GetEngineError() const { return m_parser->GetEngineError(); }

    template <typename V>
    TextParserPolicy_ParseStream& operator>>(V& value) {
        *m_parser >> value;
        return *this;
    }

private:
    UBaseString<C> m_text;  // the bytes read, unless the stream lends its own
    // The token state, in a block of the core services' allocator, which releases it.
    UTextParser* m_parser = nullptr;
    IMemoryAllocator* m_allocator = nullptr;
};

extern template class TextParserPolicy_ParseStream<unsigned char>;

}  // namespace brix
