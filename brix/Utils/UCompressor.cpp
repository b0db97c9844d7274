#include "Utils/UCompressor.h"

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
constexpr uint16_t kDistanceBase[30] = {1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
                                        193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr uint8_t kDistanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6,
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

bool DecompressorPolicy_Deflate::Decompress(const UArray<unsigned char>& input, UArray<unsigned char>& output,
                                            uint64_t maxOutput) {
    return Decompress(input.Data(), size_t(input.Num()), output, maxOutput);
}

bool DecompressorPolicy_Deflate::Decompress(const unsigned char* input, size_t inputSize,
                                            UArray<unsigned char>& output, uint64_t maxOutput) {
    if (maxOutput > kMaxOutput) maxOutput = kMaxOutput;
    const size_t limit = size_t(maxOutput);
    const uint64_t reserve = uint64_t(inputSize) * 3;
    output.Empty(int32_t(reserve < kMaxOutput ? reserve : kMaxOutput));

    // Output: bytes are written straight into the array's block; the array's count is
    // brought up to the write position whenever the block has to grow, and at the end.
    unsigned char* base = output.Data();
    unsigned char* out = base;
    unsigned char* outEnd = base + (size_t(output.Max()) < limit ? size_t(output.Max()) : limit);
    auto grow = [&](size_t need) -> bool {
        const size_t position = size_t(out - base);
        if (need > limit - position) return false;
        if (position > size_t(output.Num())) output.Add(int32_t(position - size_t(output.Num())));
        output.Add(int32_t(need));  // the array's growth rule; these bytes are written next
        base = output.Data();
        out = base + position;
        outEnd = base + (size_t(output.Max()) < limit ? size_t(output.Max()) : limit);
        return true;
    };
    auto finish = [&](bool result) {
        const size_t position = size_t(out - base);
        if (position > size_t(output.Num())) output.Add(int32_t(position - size_t(output.Num())));
        return result;
    };

    // Input: a 64-bit bit buffer. `bits` counts the bits taken from the input and not
    // yet used; bits above it may already hold the following input bytes.
    const unsigned char* in = input;
    const unsigned char* const inEnd = input + inputSize;
    uint64_t buffer = 0;
    unsigned bits = 0;
    auto refill = [&]() {
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
    };
    auto need = [&](unsigned n) {
        if (bits < n) refill();
        return bits >= n;
    };
    auto consume = [&](unsigned n) {
        buffer >>= n;
        bits -= n;
    };

    const FixedTables& fixed = GetFixedTables();
    bool final = false;
    do {
        if (!need(3)) return finish(false);
        final = buffer & 1;
        const unsigned type = unsigned(buffer >> 1) & 3;
        consume(3);

        if (type == 0) {
            // Stored: from the next byte boundary, LEN, NLEN (not checked) and LEN bytes.
            consume(bits & 7);
            if (!need(32)) return finish(false);
            const size_t length = size_t(buffer & 0xFFFF);
            consume(32);
            in -= bits >> 3;  // hand the bytes still in the buffer back to the input
            buffer = 0;
            bits = 0;
            if (size_t(inEnd - in) < length) return finish(false);
            if (size_t(outEnd - out) < length && !grow(length)) return finish(false);
            if (length) {
                memcpy(out, in, length);
                out += length;
                in += length;
            }
            continue;
        }

        const uint32_t* literalTable;
        const uint32_t* distanceTable;
        if (type == 1) {
            literalTable = fixed.literalLength;
            distanceTable = fixed.distance;
        } else if (type == 2) {
            if (!need(14)) return finish(false);
            const int literalCount = int(buffer & 31) + 257;
            const int distanceCount = int((buffer >> 5) & 31) + 1;
            const int codeLengthCount = int((buffer >> 10) & 15) + 4;
            consume(14);
            if (literalCount > 286 || distanceCount > 30) return finish(false);

            uint8_t lengths[286 + 30] = {};
            uint8_t codeLengths[19] = {};
            for (int i = 0; i < codeLengthCount; ++i) {
                if (!need(3)) return finish(false);
                codeLengths[kCodeLengthOrder[i]] = uint8_t(buffer & 7);
                consume(3);
            }
            if (!BuildTable(codeLengths, 19, m_codeLengthTable, kCodeLengthBits, 1 << kCodeLengthBits,
                            CodeLengthEntry, false))
                return finish(false);

            const int total = literalCount + distanceCount;
            for (int i = 0; i < total;) {
                refill();
                const uint32_t entry = m_codeLengthTable[buffer & ((1u << kCodeLengthBits) - 1)];
                const unsigned length = entry & 0xFF;
                if ((entry & kKindMask) == kInvalid || length > bits) return finish(false);
                consume(length);
                const unsigned symbol = entry >> 16;
                if (symbol < 16) {
                    lengths[i++] = uint8_t(symbol);
                    continue;
                }
                uint8_t value = 0;
                int repeat;
                if (symbol == 16) {
                    if (i == 0 || !need(2)) return finish(false);
                    value = lengths[i - 1];
                    repeat = 3 + int(buffer & 3);
                    consume(2);
                } else if (symbol == 17) {
                    if (!need(3)) return finish(false);
                    repeat = 3 + int(buffer & 7);
                    consume(3);
                } else {
                    if (!need(7)) return finish(false);
                    repeat = 11 + int(buffer & 127);
                    consume(7);
                }
                if (repeat > total - i) return finish(false);
                while (repeat--) lengths[i++] = value;
            }
            if (lengths[256] == 0) return finish(false);  // a block must be able to end
            if (!BuildTable(lengths, literalCount, m_litTable, kLitPrimaryBits, kLitTableSize, LiteralLengthEntry,
                            true) ||
                !BuildTable(lengths + literalCount, distanceCount, m_distTable, kDistPrimaryBits, kDistTableSize,
                            DistanceEntry, true))
                return finish(false);
            literalTable = m_litTable;
            distanceTable = m_distTable;
        } else {
            return finish(false);  // type 3 is reserved
        }

        // Symbols. After a refill with input left the buffer holds at least 56 bits,
        // more than one length/distance pair takes (15 + 5 + 15 + 13); near the end of
        // the input each field checks that its bits are really there.
        constexpr uint32_t literalMask = (1u << kLitPrimaryBits) - 1;
        constexpr uint32_t distanceMask = (1u << kDistPrimaryBits) - 1;
        for (;;) {
            refill();
            uint32_t entry = literalTable[buffer & literalMask];
            if ((entry & kKindMask) == kSubtable)
                entry = literalTable[(entry >> 16) + ((buffer >> kLitPrimaryBits) & ((1u << ((entry >> 12) & 15)) - 1))];
            unsigned length = entry & 0xFF;
            if (length > bits || (entry & kKindMask) == kInvalid) return finish(false);
            consume(length);
            const uint32_t kind = entry & kKindMask;
            if (kind == kLiteral) {
                if (out == outEnd && !grow(1)) return finish(false);
                *out++ = (unsigned char)(entry >> 16);
                continue;
            }
            if (kind == kEndOfBlock) break;

            unsigned extra = (entry >> 12) & 15;
            if (extra > bits) return finish(false);
            const size_t matchLength = (entry >> 16) + size_t(buffer & ((1u << extra) - 1));
            consume(extra);

            entry = distanceTable[buffer & distanceMask];
            if ((entry & kKindMask) == kSubtable)
                entry = distanceTable[(entry >> 16) + ((buffer >> kDistPrimaryBits) & ((1u << ((entry >> 12) & 15)) - 1))];
            length = entry & 0xFF;
            if (length > bits || (entry & kKindMask) != kBase) return finish(false);
            consume(length);
            extra = (entry >> 12) & 15;
            if (extra > bits) return finish(false);
            const size_t distance = (entry >> 16) + size_t(buffer & ((1u << extra) - 1));
            consume(extra);

            if (distance > size_t(out - base)) return finish(false);
            if (size_t(outEnd - out) < matchLength && !grow(matchLength)) return finish(false);
            const unsigned char* from = out - distance;
            unsigned char* const end = out + matchLength;
            if (distance >= 8 && size_t(outEnd - end) >= 8) {
                // Eight bytes at a time; each chunk's source lies wholly before its
                // destination, and the overshoot stays inside the block.
                do {
                    memcpy(out, from, 8);
                    out += 8;
                    from += 8;
                } while (out < end);
                out = end;
            } else if (distance == 1) {
                memset(out, *from, matchLength);
                out = end;
            } else {
                while (out < end) *out++ = *from++;  // overlapping copies repeat the pattern
            }
        }
    } while (!final);
    return finish(true);
}

namespace {
struct CrcTable {
    uint32_t values[256];
    CrcTable() {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            values[i] = c;
        }
    }
};
}  // namespace

uint32_t Crc32(const unsigned char* data, size_t size, uint32_t crc) {
    static const CrcTable table;
    crc = ~crc;
    for (size_t i = 0; i < size; ++i) crc = table.values[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

}  // namespace brix
