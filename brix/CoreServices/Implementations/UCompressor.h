#pragma once
// brix::DecompressorPolicy_Deflate inflates one complete raw Deflate stream (RFC 1951)
// from a byte array into another in a single call: the whole input is in memory, the
// output doubles as the sliding window, and there is no checksum.
//
// Decoding is table driven: each Huffman code gets a primary table indexed by the next
// few input bits, with second-level tables for the longer codes. The decoder stops at
// the first invalid input and says why (InflateResult), and never reads or writes
// outside its input and output.

#include <cstddef>
#include <cstdint>

#include "Core/UArray.h"

namespace brix {

// What became of one inflate: Ok, or the first fault found in the stream.
enum class InflateResult : uint8_t {
    Ok,
    InputEnded,         // the input ends before the final block does
    ReservedBlockType,  // a block of type 3
    TooManyCodes,       // more than 286 literal/length or 30 distance codes declared
    BadCodeLengthCode,  // the code-length code is over-full or incomplete
    BadLengthRepeat,    // a repeat with no previous length, or one past the last length
    NoEndOfBlockCode,   // the literal/length code has no end-of-block symbol
    BadCode,            // an over-full literal/length or distance code, or an incomplete
                        // one where RFC 1951 does not allow it
    InvalidSymbol,      // a symbol the format never uses (286, 287, distance 30, 31), or
                        // an unused code of an incomplete code
    DistanceTooFar,     // a distance reaching before the start of the output
    OutputLimit,        // the output would pass the limit
};

// One sentence saying what the result means.
const char* InflateResultText(InflateResult result);

class DecompressorPolicy_Deflate {
public:
    // Outputs are never allowed past this size; larger streams fail. It keeps the
    // output array's doubling growth inside what a UArray can address.
    static constexpr uint64_t kMaxOutput = uint64_t(1) << 30;

    DecompressorPolicy_Deflate();

    // Inflates input into output. The output's count is set to 0 and its capacity to
    // three times the input size first; it then grows by the array's growth rule.
    // Returns Ok when the final block ends; on any other result the bytes decoded so far
    // stay in the output. A stream that would produce more than maxOutput bytes fails
    // with OutputLimit.
    InflateResult Decompress(const UArray<unsigned char>& input, UArray<unsigned char>& output,
                             uint64_t maxOutput = kMaxOutput);
    InflateResult Decompress(const unsigned char* input, size_t inputSize, UArray<unsigned char>& output,
                             uint64_t maxOutput = kMaxOutput);
    // Inflates input into the block [output, output + outputSize), for a caller that
    // knows the size the stream decodes to: nothing is allocated and nothing is written
    // past the block; a stream that would decode to more fails with OutputLimit. written
    // gets the number of bytes decoded, on any result.
    InflateResult Decompress(const unsigned char* input, size_t inputSize, unsigned char* output, size_t outputSize,
                             size_t& written);

    // No Deflate stream decodes to more than this many bytes per input byte: every symbol
    // takes at least one bit, and the longest match (258 bytes) two, one for its length
    // and one for its distance.
    static constexpr uint64_t kMaxExpansion = 1032;

    // Table sizes: a primary table plus room for every second-level table a code of at
    // most 15 bits can need (at most one per long code, each at most 2^(15-primary)).
    static constexpr int kLitPrimaryBits = 10;
    static constexpr int kDistPrimaryBits = 8;
    static constexpr int kCodeLengthBits = 7;
    static constexpr int kLitTableSize = (1 << kLitPrimaryBits) + 288 * (1 << (15 - kLitPrimaryBits));
    static constexpr int kDistTableSize = (1 << kDistPrimaryBits) + 32 * (1 << (15 - kDistPrimaryBits));

private:
    // The tables of the dynamic block being decoded.
    uint32_t m_litTable[kLitTableSize];
    uint32_t m_distTable[kDistTableSize];
    uint32_t m_codeLengthTable[1 << kCodeLengthBits];
};

// The CRC-32 of ZIP and gzip (reflected polynomial 0xEDB88320), continued from crc
// (0 for a fresh start).
uint32_t Crc32(const unsigned char* data, size_t size, uint32_t crc = 0);

}  // namespace brix
