#include "Utils/UBlockScanner.h"

#include <bit>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "Utils/UTextParser.h"

namespace brix {

namespace {

enum : unsigned char { kOther = 0, kSpace = 1, kQuote = 2, kOpen = 3, kClose = 4 };

// Byte classes of the tokenizer pattern.
struct ByteClasses {
    unsigned char of[256];
    constexpr ByteClasses() : of() {
        for (int c = 0; c < 256; ++c)
            if (UBlockScanner::IsSpace(static_cast<unsigned char>(c))) of[c] = kSpace;
        of[static_cast<unsigned char>('"')] = kQuote;
        of[static_cast<unsigned char>('{')] = kOpen;
        of[static_cast<unsigned char>('}')] = kClose;
    }
};
constexpr ByteClasses kClasses;

#if defined(__SSE2__)
// Which of sixteen bytes are a brace or a quote, one byte of the mask each.
__m128i BracesAndQuotes(const unsigned char* p) {
    const __m128i open = _mm_set1_epi8('{'), close = _mm_set1_epi8('}'), quote = _mm_set1_epi8('"');
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    return _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(bytes, open), _mm_cmpeq_epi8(bytes, close)),
                        _mm_cmpeq_epi8(bytes, quote));
}

unsigned BitsOf(__m128i mask) { return unsigned(_mm_movemask_epi8(mask)); }
#endif

// The first brace or quote at or after p, or end. Blocks are long runs of numbers and
// white space, so the bytes are looked at sixty-four at a time, with one test for all
// of them, where the processor can.
const unsigned char* NextBraceOrQuote(const unsigned char* p, const unsigned char* end) {
#if defined(__SSE2__)
    for (; end - p >= 64; p += 64) {
        const __m128i a = BracesAndQuotes(p), b = BracesAndQuotes(p + 16), c = BracesAndQuotes(p + 32),
                      d = BracesAndQuotes(p + 48);
        if (BitsOf(_mm_or_si128(_mm_or_si128(a, b), _mm_or_si128(c, d))) == 0) continue;
        const uint64_t hits =
            uint64_t(BitsOf(a)) | uint64_t(BitsOf(b)) << 16 | uint64_t(BitsOf(c)) << 32 | uint64_t(BitsOf(d)) << 48;
        return p + std::countr_zero(hits);
    }
    for (; end - p >= 16; p += 16)
        if (const unsigned hits = BitsOf(BracesAndQuotes(p))) return p + std::countr_zero(hits);
#endif
    while (p < end && *p != '{' && *p != '}' && *p != '"') ++p;
    return p;
}

const unsigned char* FindLastQuote(const unsigned char* begin, const unsigned char* end) {
#if defined(__GLIBC__)
    return static_cast<const unsigned char*>(memrchr(begin, '"', size_t(end - begin)));
#else
    // memrchr is a glibc extension.
    while (end > begin)
        if (*--end == '"') return end;
    return nullptr;
#endif
}

}  // namespace

UBlockScanner::Structure UBlockScanner::ScanStructure(const unsigned char* begin, const unsigned char* end) {
    const unsigned char* lastQuote = FindLastQuote(begin, end);
    Structure structure{0, false, false, lastQuote};
    int depth = 0;
    for (const unsigned char* p = begin; (p = NextBraceOrQuote(p, end)) < end; ++p) {
        switch (kClasses.of[*p]) {
        case kOpen:
            if (++depth > structure.deepest) structure.deepest = depth;
            break;
        case kClose:
            if (depth > 0) --depth;
            break;
        default:  // a quote: its string ends at the next quote
            if (p < lastQuote)
                p = static_cast<const unsigned char*>(memchr(p + 1, '"', size_t(end - p - 1)));
            else
                structure.unpairedQuote = true;
            break;
        }
    }
    structure.unclosedBlock = depth > 0;
    return structure;
}

UBlockScanner::UBlockScanner(const unsigned char* begin, const unsigned char* end)
    : m_begin(begin), m_end(end), m_pos(begin) {}

bool UBlockScanner::HasClosingQuote(const unsigned char* quote) {
    // The last quote of the subject, looked for back from its end on the first quote met
    // (it lies at or after that one): lists of numbers have none and never pay for it.
    if (!m_lastQuoteKnown) {
        m_lastQuote = FindLastQuote(quote, m_end);
        m_lastQuoteKnown = true;
    }
    return quote < m_lastQuote;
}

UBlockScanner::~UBlockScanner() {
    delete m_main;
    delete m_value;
}

const unsigned char* UBlockScanner::MatchBlock(const unsigned char* p) {
    // Inside a block the pattern tries a quoted string first, then any byte but a brace,
    // then a nested block; a quote without a closing quote is an ordinary byte.
    int depth = 0;
    for (; (p = NextBraceOrQuote(p, m_end)) < m_end; ++p) {
        switch (kClasses.of[*p]) {
        case kOpen:
            if (++depth > UTextParser::kMaxBlockDepth) return nullptr;
            break;
        case kClose:
            if (--depth == 0) return p + 1;
            break;
        case kQuote:
            if (HasClosingQuote(p)) p = static_cast<const unsigned char*>(memchr(p + 1, '"', size_t(m_end - p - 1)));
            break;
        default: break;
        }
    }
    return nullptr;
}

bool UBlockScanner::SearchWithEngine(const unsigned char* p, Token& token, bool& kept) {
    if (!m_main) {
        m_main = new URegex<unsigned char>(UTextParser::BlockPattern());
        m_value = new URegex<unsigned char>(UTextParser::BlockValuePattern());
    }
    const int found = m_main->Search(m_begin, m_end, p, m_end);
    if (found < 0) {
        if (found != URegex<unsigned char>::kNoMatch) m_engineError = found;
        return false;
    }
    token.matchStart = m_main->MatchBegin();
    token.matchLength = m_main->MatchLength();
    m_pos = m_begin + token.matchStart + token.matchLength;
    kept = false;
    if (token.matchLength == 0) return true;
    const unsigned char* rangeStart = m_begin + token.matchStart;
    const unsigned char* rangeEnd = rangeStart + token.matchLength;
    if (m_value->Search(rangeStart, rangeEnd, rangeStart, rangeEnd) < 0) return true;
    token.valueStart = token.matchStart + m_value->MatchBegin();
    token.valueLength = m_value->MatchLength();
    kept = true;
    return true;
}

bool UBlockScanner::Next(Token& token) {
    if (m_done) return false;
    const unsigned char* p = m_pos;
    while (p < m_end) {
        switch (kClasses.of[*p]) {
        case kSpace:
        case kClose: ++p; continue;
        case kQuote: {
            if (!HasClosingQuote(p)) {  // no closing quote: the byte starts no token
                ++p;
                continue;
            }
            const unsigned char* close = static_cast<const unsigned char*>(memchr(p + 1, '"', size_t(m_end - p - 1)));
            token = {int32_t(p - m_begin), int32_t(close + 1 - p), int32_t(p + 1 - m_begin), int32_t(close - p - 1)};
            m_pos = close + 1;
            return true;
        }
        case kOpen: {
            if (const unsigned char* after = MatchBlock(p)) {
                token = {int32_t(p - m_begin), int32_t(after - p), int32_t(p + 1 - m_begin), int32_t(after - p - 2)};
                m_pos = after;
                return true;
            }
            bool kept = false;
            if (!SearchWithEngine(p, token, kept)) {
                m_done = true;
                m_pos = m_end;
                return false;
            }
            if (kept) return true;
            p = m_pos;
            continue;
        }
        default: {
            const unsigned char* q = p + 1;
            while (q < m_end && kClasses.of[*q] == kOther) ++q;
            token = {int32_t(p - m_begin), int32_t(q - p), int32_t(p - m_begin), int32_t(q - p)};
            m_pos = q;
            return true;
        }
        }
    }
    m_pos = m_end;
    return false;
}

}  // namespace brix
