#include "CoreServices/Implementations/UCompressor.h"

#include <cstring>

namespace brix {

namespace {

// A table entry packs what one lookup yields:
//   bits 0..7   the number of input bits the code takes (0 for invalid entries),
//   bits 8..11  the kind,
//   bits 12..15 the number of extra bits (length and distance bases) or the index
//               width of the second-level table the entry points to,
//   bits 16..31 the value: literal byte, code-length symbol, base length or distance,
//               or the start of the second-level table.
constexpr uint32_t kLiteral = 0x000;
constexpr uint32_t kEndOfBlock = 0x100;
constexpr uint32_t kInvalid = 0x200;
constexpr uint32_t kSubtable = 0x400;
constexpr uint32_t kBase = 0x800;
constexpr uint32_t kKindMask = 0xF00;

constexpr uint32_t Entry(uint32_t kind, uint32_t extra, uint32_t value) { return kind | (extra << 12) | (value << 16); }

// Length codes 257..285: base length and extra-bit count.
constexpr uint16_t kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                      31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                      2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
// Distance codes 0..29: base distance and extra-bit count.
constexpr uint16_t kDistanceBase[30] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                                        33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                                        1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr uint8_t kDistanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                        6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
// The order in which the code-length code lengths are sent.
constexpr uint8_t kCodeLengthOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

uint32_t LiteralLengthEntry(int symbol) {
    if (symbol < 256) return Entry(kLiteral, 0, uint32_t(symbol));
    if (symbol == 256) return Entry(kEndOfBlock, 0, 0);
    if (symbol <= 285) return Entry(kBase, kLengthExtra[symbol - 257], kLengthBase[symbol - 257]);
    return Entry(kInvalid, 0, 0);  // 286 and 287 take part in the fixed code but never occur
}

uint32_t DistanceEntry(int symbol) {
    if (symbol < 30) return Entry(kBase, kDistanceExtra[symbol], kDistanceBase[symbol]);
    return Entry(kInvalid, 0, 0);  // 30 and 31 likewise
}

uint32_t CodeLengthEntry(int symbol) { return Entry(kLiteral, 0, uint32_t(symbol)); }

uint32_t Reverse(uint32_t code, int length) {
    uint32_t reversed = 0;
    for (int i = 0; i < length; ++i, code >>= 1) reversed = (reversed << 1) | (code & 1);
    return reversed;
}

// Builds the lookup table of the canonical code with the given lengths (RFC 1951,
// 3.2.2). Input bits arrive least significant first while codes are defined most
// significant first, so each code is entered bit-reversed: every index whose low
// `length` bits are the reversed code maps to the symbol. Codes longer than the primary
// width get a second-level table per primary prefix, indexed by the following bits.
// Fails for an over-full code, and for an incomplete one unless allowIncomplete and the
// code is a single one-bit code or has no codes at all (the cases RFC 1951 and common
// encoders rely on for distance codes and a lone end-of-block code).
bool BuildTable(const uint8_t* lengths, int count, uint32_t* table, int primaryBits, int capacity,
                uint32_t (*entryOf)(int), bool allowIncomplete) {
    int perLength[16] = {};
    for (int i = 0; i < count; ++i) ++perLength[lengths[i]];
    perLength[0] = 0;
    int longest = 0;
    for (int length = 15; length >= 1; --length)
        if (perLength[length]) {
            longest = length;
            break;
        }
    int left = 1;
    for (int length = 1; length <= 15; ++length) {
        left = (left << 1) - perLength[length];
        if (left < 0) return false;  // over-full
    }
    if (left > 0 && !(allowIncomplete && longest <= 1)) return false;

    const int primarySize = 1 << primaryBits;
    const uint32_t invalid = Entry(kInvalid, 0, 0);
    for (int i = 0; i < primarySize; ++i) table[i] = invalid;

    uint32_t nextCode[16] = {};
    uint32_t code = 0;
    for (int length = 1; length <= 15; ++length) {
        code = (code + uint32_t(perLength[length - 1])) << 1;
        nextCode[length] = code;
    }

    // First pass: the reversed code of every symbol, and the width of the second-level
    // table each long prefix needs.
    uint16_t reversed[288];
    uint8_t subBits[1 << 10] = {};
    for (int symbol = 0; symbol < count; ++symbol) {
        const int length = lengths[symbol];
        if (!length) continue;
        reversed[symbol] = uint16_t(Reverse(nextCode[length]++, length));
        if (length > primaryBits) {
            const int prefix = reversed[symbol] & (primarySize - 1);
            if (length - primaryBits > subBits[prefix]) subBits[prefix] = uint8_t(length - primaryBits);
        }
    }
    uint16_t subStart[1 << 10];
    int used = primarySize;
    for (int prefix = 0; prefix < primarySize; ++prefix) {
        if (!subBits[prefix]) continue;
        const int size = 1 << subBits[prefix];
        if (used + size > capacity) return false;  // cannot happen for a code that is not over-full
        subStart[prefix] = uint16_t(used);
        table[prefix] = Entry(kSubtable, subBits[prefix], uint32_t(used)) | uint32_t(primaryBits);
        for (int i = 0; i < size; ++i) table[used + i] = invalid;
        used += size;
    }

    // Second pass: fill every index each code covers.
    for (int symbol = 0; symbol < count; ++symbol) {
        const int length = lengths[symbol];
        if (!length) continue;
        const uint32_t entry = entryOf(symbol) | uint32_t(length);
        const uint32_t r = reversed[symbol];
        if (length <= primaryBits) {
            for (uint32_t i = r; i < uint32_t(primarySize); i += 1u << length) table[i] = entry;
        } else {
            const int prefix = int(r) & (primarySize - 1);
            uint32_t* sub = table + subStart[prefix];
            const uint32_t subSize = 1u << subBits[prefix];
            for (uint32_t i = r >> primaryBits; i < subSize; i += 1u << (length - primaryBits)) sub[i] = entry;
        }
    }
    return true;
}

// The fixed codes of block type 1, built once.
struct FixedTables {
    uint32_t literalLength[DecompressorPolicy_Deflate::kLitTableSize];
    uint32_t distance[DecompressorPolicy_Deflate::kDistTableSize];

    FixedTables() {
        uint8_t lengths[288];
        for (int i = 0; i < 144; ++i) lengths[i] = 8;
        for (int i = 144; i < 256; ++i) lengths[i] = 9;
        for (int i = 256; i < 280; ++i) lengths[i] = 7;
        for (int i = 280; i < 288; ++i) lengths[i] = 8;
        BuildTable(lengths, 288, literalLength, DecompressorPolicy_Deflate::kLitPrimaryBits,
                   DecompressorPolicy_Deflate::kLitTableSize, LiteralLengthEntry, false);
        for (int i = 0; i < 32; ++i) lengths[i] = 5;
        BuildTable(lengths, 32, distance, DecompressorPolicy_Deflate::kDistPrimaryBits,
                   DecompressorPolicy_Deflate::kDistTableSize, DistanceEntry, false);
    }
};

const FixedTables& GetFixedTables() {
    static const FixedTables tables;
    return tables;
}

}  // namespace

DecompressorPolicy_Deflate::DecompressorPolicy_Deflate() = default;

const char* InflateResultText(InflateResult result) {
    switch (result) {
    case InflateResult::Ok: return "The stream decodes completely.";
    case InflateResult::InputEnded: return "The stream ends before its last block does.";
    case InflateResult::ReservedBlockType: return "A block has the reserved type 3.";
    case InflateResult::TooManyCodes: return "A block declares more literal/length or distance codes than exist.";
    case InflateResult::BadCodeLengthCode: return "A block's code-length code is over-full or incomplete.";
    case InflateResult::BadLengthRepeat:
        return "A code-length repeat has no previous length or runs past the last length.";
    case InflateResult::NoEndOfBlockCode: return "A block's literal/length code cannot end the block.";
    case InflateResult::BadCode: return "A block's literal/length or distance code is over-full or incomplete.";
    case InflateResult::InvalidSymbol: return "A code that no symbol may use occurs.";
    case InflateResult::DistanceTooFar: return "A distance reaches before the start of the output.";
    case InflateResult::OutputLimit: return "The stream decodes to more bytes than allowed.";
    }
    return "";
}

namespace {

// Output: bytes are written straight into a block: an array's, whose count is brought
// up to the write position whenever the block has to grow and at the end, or a fixed
// block of the caller's, which never grows.
struct OutputWindow {
    UArray<unsigned char>* array;
    size_t limit;
    unsigned char* base;
    unsigned char* out;
    unsigned char* end;

    OutputWindow(UArray<unsigned char>& output, size_t maxOutput) : array(&output), limit(maxOutput) {
        base = out = array->Data();
        end = base + (size_t(array->Max()) < limit ? size_t(array->Max()) : limit);
    }
    OutputWindow(unsigned char* block, size_t size) : array(nullptr), limit(size), base(block), out(block) {
        end = base + size;
    }
    size_t Position() const { return size_t(out - base); }
    // Room for need more bytes; false when that would pass the limit or the fixed block.
    bool Grow(size_t need) {
        const size_t position = Position();
        if (!array || need > limit - position) return false;
        if (position > size_t(array->Num())) array->Add(int32_t(position - size_t(array->Num())));
        array->Add(int32_t(need));  // the array's growth rule; these bytes are written next
        base = array->Data();
        out = base + position;
        end = base + (size_t(array->Max()) < limit ? size_t(array->Max()) : limit);
        return true;
    }
    bool Ensure(size_t need) { return size_t(end - out) >= need || Grow(need); }
    InflateResult Finish(InflateResult result) {
        const size_t position = Position();
        if (array && position > size_t(array->Num())) array->Add(int32_t(position - size_t(array->Num())));
        return result;
    }
};

// Input: a 64-bit bit buffer. `bits` counts the bits taken from the input and not yet
// used; bits above it may already hold the following input bytes.
struct BitReader {
    const unsigned char* in;
    const unsigned char* inEnd;
    uint64_t buffer = 0;
    unsigned bits = 0;

    void Refill() {
        if (inEnd - in >= 8) {
            uint64_t word;
            memcpy(&word, in, 8);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
            word = __builtin_bswap64(word);
#endif
            buffer |= word << bits;
            in += (63 - bits) >> 3;
            bits |= 56;
        } else {
            while (bits <= 56 && in < inEnd) {
                buffer |= uint64_t(*in++) << bits;
                bits += 8;
            }
        }
    }
    bool Need(unsigned n) {
        if (bits < n) Refill();
        return bits >= n;
    }
    void Consume(unsigned n) {
        buffer >>= n;
        bits -= n;
    }
    // Why a looked-up entry cannot be used: its code is longer than the bits left
    // (the input ran out), or it stands for no usable symbol. An entry of no code at all
    // (an unused code of an incomplete code) read from the padding past the end of the
    // input is also the input running out.
    InflateResult Unusable(uint32_t entry) const {
        const unsigned length = entry & 0xFF;
        if (length > bits || (length == 0 && in == inEnd)) return InflateResult::InputEnded;
        return InflateResult::InvalidSymbol;
    }
};

// The helpers below are forced inline so that the bit reader and the output window stay
// in registers in the decoder's loop instead of being reloaded after every byte written.
#define BRIX_INFLATE_INLINE [[gnu::always_inline]] inline

// A stored block: from the next byte boundary, LEN, NLEN (not checked) and LEN bytes.
BRIX_INFLATE_INLINE InflateResult CopyStoredBlock(BitReader& input, OutputWindow& output) {
    input.Consume(input.bits & 7);
    if (!input.Need(32)) return InflateResult::InputEnded;
    const size_t length = size_t(input.buffer & 0xFFFF);
    input.Consume(32);
    input.in -= input.bits >> 3;  // hand the bytes still in the buffer back to the input
    input.buffer = 0;
    input.bits = 0;
    if (size_t(input.inEnd - input.in) < length) return InflateResult::InputEnded;
    if (!output.Ensure(length)) return InflateResult::OutputLimit;
    if (length) {
        memcpy(output.out, input.in, length);
        output.out += length;
        input.in += length;
    }
    return InflateResult::Ok;
}

// Reads the code lengths of a dynamic block's two codes (after its 14-bit header) into
// lengths, through the code-length code.
BRIX_INFLATE_INLINE InflateResult ReadCodeLengths(BitReader& input, uint32_t* codeLengthTable, int total,
                                                  uint8_t* lengths) {
    constexpr int kBits = DecompressorPolicy_Deflate::kCodeLengthBits;
    for (int i = 0; i < total;) {
        input.Refill();
        const uint32_t entry = codeLengthTable[input.buffer & ((1u << kBits) - 1)];
        const unsigned length = entry & 0xFF;
        if ((entry & kKindMask) == kInvalid || length > input.bits) return input.Unusable(entry);
        input.Consume(length);
        const unsigned symbol = entry >> 16;
        if (symbol < 16) {
            lengths[i++] = uint8_t(symbol);
            continue;
        }
        uint8_t value = 0;
        int repeat;
        if (symbol == 16) {
            if (i == 0) return InflateResult::BadLengthRepeat;
            if (!input.Need(2)) return InflateResult::InputEnded;
            value = lengths[i - 1];
            repeat = 3 + int(input.buffer & 3);
            input.Consume(2);
        } else if (symbol == 17) {
            if (!input.Need(3)) return InflateResult::InputEnded;
            repeat = 3 + int(input.buffer & 7);
            input.Consume(3);
        } else {
            if (!input.Need(7)) return InflateResult::InputEnded;
            repeat = 11 + int(input.buffer & 127);
            input.Consume(7);
        }
        if (repeat > total - i) return InflateResult::BadLengthRepeat;
        while (repeat--) lengths[i++] = value;
    }
    return InflateResult::Ok;
}

// Decodes literals and length/distance pairs up to the end-of-block symbol. After a
// refill with input left the buffer holds at least 56 bits, more than one
// length/distance pair takes (15 + 5 + 15 + 13); near the end of the input each field
// checks that its bits are really there.
BRIX_INFLATE_INLINE InflateResult DecodeSymbols(BitReader& input, OutputWindow& output, const uint32_t* literalTable,
                                                const uint32_t* distanceTable) {
    constexpr int kLitBits = DecompressorPolicy_Deflate::kLitPrimaryBits;
    constexpr int kDistBits = DecompressorPolicy_Deflate::kDistPrimaryBits;
    constexpr uint32_t literalMask = (1u << kLitBits) - 1;
    constexpr uint32_t distanceMask = (1u << kDistBits) - 1;
    for (;;) {
        input.Refill();
        uint32_t entry = literalTable[input.buffer & literalMask];
        if ((entry & kKindMask) == kSubtable)
            entry = literalTable[(entry >> 16) + ((input.buffer >> kLitBits) & ((1u << ((entry >> 12) & 15)) - 1))];
        unsigned length = entry & 0xFF;
        if (length > input.bits || (entry & kKindMask) == kInvalid) return input.Unusable(entry);
        input.Consume(length);
        const uint32_t kind = entry & kKindMask;
        if (kind == kLiteral) {
            if (output.out == output.end && !output.Grow(1)) return InflateResult::OutputLimit;
            *output.out++ = (unsigned char)(entry >> 16);
            continue;
        }
        if (kind == kEndOfBlock) return InflateResult::Ok;

        unsigned extra = (entry >> 12) & 15;
        if (extra > input.bits) return InflateResult::InputEnded;
        const size_t matchLength = (entry >> 16) + size_t(input.buffer & ((1u << extra) - 1));
        input.Consume(extra);

        entry = distanceTable[input.buffer & distanceMask];
        if ((entry & kKindMask) == kSubtable)
            entry = distanceTable[(entry >> 16) + ((input.buffer >> kDistBits) & ((1u << ((entry >> 12) & 15)) - 1))];
        length = entry & 0xFF;
        if (length > input.bits || (entry & kKindMask) != kBase) return input.Unusable(entry);
        input.Consume(length);
        extra = (entry >> 12) & 15;
        if (extra > input.bits) return InflateResult::InputEnded;
        const size_t distance = (entry >> 16) + size_t(input.buffer & ((1u << extra) - 1));
        input.Consume(extra);

        if (distance > output.Position()) return InflateResult::DistanceTooFar;
        if (!output.Ensure(matchLength)) return InflateResult::OutputLimit;
        unsigned char* out = output.out;
        const unsigned char* from = out - distance;
        unsigned char* const end = out + matchLength;
        if (distance >= 8 && size_t(output.end - end) >= 8) {
            // Eight bytes at a time; each chunk's source lies wholly before its
            // destination, and the overshoot stays inside the block.
            do {
                memcpy(out, from, 8);
                out += 8;
                from += 8;
            } while (out < end);
        } else if (distance == 1) {
            memset(out, *from, matchLength);
        } else {
            while (out < end) *out++ = *from++;  // overlapping copies repeat the pattern
        }
        output.out = end;
    }
}

// Reads a dynamic block's header and builds its two codes into the tables.
BRIX_INFLATE_INLINE InflateResult ReadDynamicCodes(BitReader& input, uint32_t* literalTable, uint32_t* distanceTable,
                                                   uint32_t* codeLengthTable) {
    using Policy = DecompressorPolicy_Deflate;
    if (!input.Need(14)) return InflateResult::InputEnded;
    const int literalCount = int(input.buffer & 31) + 257;
    const int distanceCount = int((input.buffer >> 5) & 31) + 1;
    const int codeLengthCount = int((input.buffer >> 10) & 15) + 4;
    input.Consume(14);
    if (literalCount > 286 || distanceCount > 30) return InflateResult::TooManyCodes;

    uint8_t codeLengths[19] = {};
    for (int i = 0; i < codeLengthCount; ++i) {
        if (!input.Need(3)) return InflateResult::InputEnded;
        codeLengths[kCodeLengthOrder[i]] = uint8_t(input.buffer & 7);
        input.Consume(3);
    }
    if (!BuildTable(codeLengths, 19, codeLengthTable, Policy::kCodeLengthBits, 1 << Policy::kCodeLengthBits,
                    CodeLengthEntry, false))
        return InflateResult::BadCodeLengthCode;

    uint8_t lengths[286 + 30] = {};
    const InflateResult read = ReadCodeLengths(input, codeLengthTable, literalCount + distanceCount, lengths);
    if (read != InflateResult::Ok) return read;
    if (lengths[256] == 0) return InflateResult::NoEndOfBlockCode;
    if (!BuildTable(lengths, literalCount, literalTable, Policy::kLitPrimaryBits, Policy::kLitTableSize,
                    LiteralLengthEntry, true) ||
        !BuildTable(lengths + literalCount, distanceCount, distanceTable, Policy::kDistPrimaryBits,
                    Policy::kDistTableSize, DistanceEntry, true))
        return InflateResult::BadCode;
    return InflateResult::Ok;
}

// Decodes the blocks of one stream into the window, with the tables of dynamic blocks
// built in the decoder's own. Inlined into each caller, where the window is a local.
BRIX_INFLATE_INLINE InflateResult Inflate(const unsigned char* input, size_t inputSize, OutputWindow& window,
                                          uint32_t* literalTable, uint32_t* distanceTable, uint32_t* codeLengthTable) {
    BitReader bits{input, input + inputSize};
    const FixedTables& fixed = GetFixedTables();
    bool final = false;
    do {
        if (!bits.Need(3)) return window.Finish(InflateResult::InputEnded);
        final = bits.buffer & 1;
        const unsigned type = unsigned(bits.buffer >> 1) & 3;
        bits.Consume(3);

        InflateResult result;
        if (type == 0) {
            result = CopyStoredBlock(bits, window);
        } else if (type == 1) {
            result = DecodeSymbols(bits, window, fixed.literalLength, fixed.distance);
        } else if (type == 2) {
            result = ReadDynamicCodes(bits, literalTable, distanceTable, codeLengthTable);
            if (result == InflateResult::Ok) result = DecodeSymbols(bits, window, literalTable, distanceTable);
        } else {
            result = InflateResult::ReservedBlockType;
        }
        if (result != InflateResult::Ok) return window.Finish(result);
    } while (!final);
    return window.Finish(InflateResult::Ok);
}

}  // namespace

InflateResult DecompressorPolicy_Deflate::Decompress(const UArray<unsigned char>& input, UArray<unsigned char>& output,
                                                     uint64_t maxOutput) {
    return Decompress(input.Data(), size_t(input.Num()), output, maxOutput);
}

InflateResult DecompressorPolicy_Deflate::Decompress(const unsigned char* input, size_t inputSize,
                                                     UArray<unsigned char>& output, uint64_t maxOutput) {
    if (maxOutput > kMaxOutput) maxOutput = kMaxOutput;
    const uint64_t reserve = uint64_t(inputSize) * 3;
    output.Empty(int32_t(reserve < kMaxOutput ? reserve : kMaxOutput));
    OutputWindow window(output, size_t(maxOutput));
    return Inflate(input, inputSize, window, m_litTable, m_distTable, m_codeLengthTable);
}

InflateResult DecompressorPolicy_Deflate::Decompress(const unsigned char* input, size_t inputSize,
                                                     unsigned char* output, size_t outputSize, size_t& written) {
    OutputWindow window(output, outputSize);
    const InflateResult result = Inflate(input, inputSize, window, m_litTable, m_distTable, m_codeLengthTable);
    written = window.Position();
    return result;
}

namespace {
// Table k gives the CRC of a byte followed by k zero bytes, so that eight bytes are taken
// in one step of eight independent lookups instead of eight dependent ones.
struct CrcTables {
    uint32_t values[8][256];
    CrcTables() {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            values[0][i] = c;
        }
        for (uint32_t i = 0; i < 256; ++i)
            for (int k = 1; k < 8; ++k) values[k][i] = (values[k - 1][i] >> 8) ^ values[0][values[k - 1][i] & 0xFF];
    }
};

uint32_t LittleEndian32(const unsigned char* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
}  // namespace

uint32_t Crc32(const unsigned char* data, size_t size, uint32_t crc) {
    static const CrcTables tables;
    const auto& t = tables.values;
    crc = ~crc;
    for (; size >= 8; data += 8, size -= 8) {
        const uint32_t low = LittleEndian32(data) ^ crc, high = LittleEndian32(data + 4);
        crc = t[7][low & 0xFF] ^ t[6][(low >> 8) & 0xFF] ^ t[5][(low >> 16) & 0xFF] ^ t[4][low >> 24] ^
              t[3][high & 0xFF] ^ t[2][(high >> 8) & 0xFF] ^ t[1][(high >> 16) & 0xFF] ^ t[0][high >> 24];
    }
    for (size_t i = 0; i < size; ++i) crc = t[0][(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

}  // namespace brix
