#pragma once
// UBlockScanner finds the tokens of block text (quoted strings, brace blocks with
// nesting, bare words) one at a time, giving exactly the matches and value ranges of
// UTextParser's block patterns. It scans linearly along the path the tokenizer pattern
// tries first; where that path fails (a brace block that never closes that way, or one
// nested too deeply) it hands the rest of that search to the regex engine, which
// defines the result, and resumes scanning after the engine's match.
//
// The subject must not nest braces deeper than UTextParser::kMaxBlockDepth; UTextParser
// checks that before scanning, and any range of a text that passed the check passes it
// too. When every block closes (ScanStructure), the first-choice path never fails, the
// engine is never asked, and only braces outside quoted strings nest; otherwise the
// engine may read quoted braces as plain bytes, and every brace is counted.

#include <cstdint>

#include "Utils/URegex.h"

namespace brix {

class UBlockScanner {
public:
    struct Token {
        // Offsets from the subject start.
        int32_t matchStart, matchLength, valueStart, valueLength;
    };

    // The brace structure of a subject as the scanner reads it: a quote pairs with the
    // next quote when there is one (its bytes, braces included, are a quoted string),
    // and a closing brace outside every block is passed over.
    struct Structure {
        int deepest;                     // the deepest brace nesting outside quoted strings
        bool unclosedBlock;              // some opening brace has no closing brace after it
        bool unpairedQuote;              // the last quote has no partner
        const unsigned char* lastQuote;  // the subject's last quote; null when it has none
    };
    static Structure ScanStructure(const unsigned char* begin, const unsigned char* end);

    // White space of the tokenizer pattern: space, tab, LF, VT, FF and CR.
    static constexpr bool IsSpace(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
    // A byte of a bare word: anything but white space, a quote or a brace.
    static constexpr bool IsWordByte(unsigned char c) { return !IsSpace(c) && c != '"' && c != '{' && c != '}'; }

    UBlockScanner(const unsigned char* begin, const unsigned char* end);
    ~UBlockScanner();
    UBlockScanner(const UBlockScanner&) = delete;
    UBlockScanner& operator=(const UBlockScanner&) = delete;

    // The next token; false when none is left or when the engine stopped on an error.
    bool Next(Token& token);
    // Goes on from offset, which must not lie before the end of the last token given: for
    // a caller that read some tokens of the subject itself.
    void ResumeAt(int32_t offset) { m_pos = m_begin + offset; }
    // Tells the scanner its subject's last quote, found by ScanStructure over the same
    // subject, so that the first quote met does not look for it again.
    void KnowLastQuote(const unsigned char* lastQuote) {
        m_lastQuote = lastQuote;
        m_lastQuoteKnown = true;
    }
    // The engine's error code when a search handed to it failed with one, else 0.
    int GetEngineError() const { return m_engineError; }

private:
    // End of the block opening at p along the first-choice path, or null when that path
    // reaches the subject end (or nests deeper than the engine follows).
    const unsigned char* MatchBlock(const unsigned char* p);
    // Whether another quote follows the one at quote.
    bool HasClosingQuote(const unsigned char* quote);
    // Hands the search from p to the engine; false when it ends the scan.
    bool SearchWithEngine(const unsigned char* p, Token& token, bool& kept);

    const unsigned char* m_begin;
    const unsigned char* m_end;
    const unsigned char* m_pos;
    // Quotes before this one have a closing quote after them; null when there is none.
    const unsigned char* m_lastQuote = nullptr;
    bool m_lastQuoteKnown = false;
    URegex<unsigned char>* m_main = nullptr;
    URegex<unsigned char>* m_value = nullptr;
    int m_engineError = 0;
    bool m_done = false;
};

}  // namespace brix
