#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "CoreServices/Implementations/UCompressor.h"

using namespace brix;

namespace {

using Bytes = std::vector<unsigned char>;

UArray<unsigned char> ToArray(const Bytes& bytes) {
    UArray<unsigned char> array;
    if (!bytes.empty()) {
        array.Add(int32_t(bytes.size()));
        memcpy(array.Data(), bytes.data(), bytes.size());
    }
    return array;
}

Bytes ToBytes(const UArray<unsigned char>& array) { return Bytes(array.begin(), array.end()); }

// Inflates with our decoder; the result and the output as bytes. The stream is inflated
// a second time into a fixed block of exactly the size it decoded to, as a caller that
// knows the size does it: that must give the same result and bytes, and write nothing
// past the block (its own heap block, so the sanitizer sees any write past it).
InflateResult InflateWithReason(const Bytes& input, Bytes& output,
                                uint64_t limit = DecompressorPolicy_Deflate::kMaxOutput) {
    DecompressorPolicy_Deflate decoder;
    UArray<unsigned char> in = ToArray(input), out;
    const InflateResult result = decoder.Decompress(in, out, limit);
    output = ToBytes(out);
    Bytes block(output.size());
    size_t written = 0;
    EXPECT_EQ(decoder.Decompress(input.data(), input.size(), block.data(), block.size(), written), result);
    EXPECT_EQ(written, output.size());
    EXPECT_EQ(block, output);
    return result;
}

bool Inflate(const Bytes& input, Bytes& output, uint64_t limit = DecompressorPolicy_Deflate::kMaxOutput) {
    return InflateWithReason(input, output, limit) == InflateResult::Ok;
}

// A raw Deflate stream made by zlib. Each element of `parts` is compressed with its
// own level and strategy, switched with deflateParams, so one stream can hold stored,
// fixed and dynamic blocks.
struct Part {
    Bytes data;
    int level;
    int strategy;
};

Bytes ZlibDeflate(const std::vector<Part>& parts) {
    z_stream stream{};
    EXPECT_EQ(deflateInit2(&stream, parts[0].level, Z_DEFLATED, -15, 8, parts[0].strategy), Z_OK);
    size_t total = 0;
    for (const Part& part : parts) total += part.data.size();
    Bytes out(deflateBound(&stream, total) + 64 * parts.size() + 64);
    stream.next_out = out.data();
    stream.avail_out = uInt(out.size());
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) {
            EXPECT_EQ(deflateParams(&stream, parts[i].level, parts[i].strategy), Z_OK);
        }
        stream.next_in = const_cast<unsigned char*>(parts[i].data.data());
        stream.avail_in = uInt(parts[i].data.size());
        const int flush = i + 1 == parts.size() ? Z_FINISH : Z_NO_FLUSH;
        const int result = deflate(&stream, flush);
        EXPECT_EQ(result, flush == Z_FINISH ? Z_STREAM_END : Z_OK);
        EXPECT_EQ(stream.avail_in, 0u);
    }
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

Bytes ZlibDeflate(const Bytes& data, int level, int strategy = Z_DEFAULT_STRATEGY) {
    return ZlibDeflate({Part{data, level, strategy}});
}

uint32_t Lcg(uint32_t& state) {
    state = state * 1664525u + 1013904223u;
    return state >> 8;
}

// Text-like data: words from a small vocabulary, so matches of every length and
// distance occur.
Bytes Words(size_t size, uint32_t seed) {
    static const char* vocabulary[] = {"joint",   "mesh", "weight ", "bind",     "\r\n", "0.0000 ", "1.0000 ", "skin",
                                       "cluster", " { ",  " } ",     "\"root\"", "uv",   "normal",  "-0.5000 "};
    Bytes out;
    while (out.size() < size) {
        const char* word = vocabulary[Lcg(seed) % 15];
        out.insert(out.end(), word, word + strlen(word));
    }
    out.resize(size);
    return out;
}

Bytes Noise(size_t size, uint32_t seed) {
    Bytes out(size);
    for (unsigned char& b : out) b = (unsigned char)Lcg(seed);
    return out;
}

// Runs of one byte and short repeating patterns (periods 1 to 7): long matches and
// copies that overlap their own output.
Bytes Runs(size_t size, uint32_t seed) {
    Bytes out;
    while (out.size() < size) {
        const size_t period = 1 + Lcg(seed) % 7;
        const size_t length = 3 + Lcg(seed) % 1500;
        unsigned char pattern[7];
        for (unsigned char& p : pattern) p = (unsigned char)Lcg(seed);
        for (size_t i = 0; i < length; ++i) out.push_back(pattern[i % period]);
        out.push_back((unsigned char)Lcg(seed));
    }
    out.resize(size);
    return out;
}

// Writes a Deflate bit stream by hand: fields least significant bit first, Huffman
// codes most significant bit first.
class BitWriter {
public:
    void Bits(uint32_t value, int count) {
        for (int i = 0; i < count; ++i) Bit((value >> i) & 1);
    }
    void Code(uint32_t code, int length) {
        for (int i = length - 1; i >= 0; --i) Bit((code >> i) & 1);
    }
    // A symbol of the fixed literal/length code.
    void Fixed(int symbol) {
        if (symbol < 144)
            Code(0x30 + symbol, 8);
        else if (symbol < 256)
            Code(0x190 + symbol - 144, 9);
        else if (symbol < 280)
            Code(symbol - 256, 7);
        else
            Code(0xC0 + symbol - 280, 8);
    }
    Bytes bytes;

private:
    void Bit(uint32_t bit) {
        if (m_used % 8 == 0) bytes.push_back(0);
        bytes.back() |= (unsigned char)(bit << (m_used % 8));
        ++m_used;
    }
    int m_used = 0;
};

// A final dynamic block header whose code-length code has four two-bit codes:
// symbol 0 -> 00, 1 -> 01, 16 -> 10, 18 -> 11. `lengths` is the code-length sequence as
// (symbol, extra bits) pairs.
void DynamicHeader(BitWriter& w, int literalCount, int distanceCount, const std::vector<std::pair<int, int>>& lengths) {
    w.Bits(1, 1);
    w.Bits(2, 2);
    w.Bits(literalCount - 257, 5);
    w.Bits(distanceCount - 1, 5);
    w.Bits(18 - 4, 4);  // code-length lengths sent: 18 (up to symbol 1 in the send order)
    // send order: 16 17 18 0 8 7 9 6 10 5 11 4 12 3 13 2 14 1
    const int sent[18] = {2, 0, 2, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2};
    for (int length : sent) w.Bits(length, 3);
    for (auto [symbol, extra] : lengths) {
        w.Code(symbol == 0 ? 0 : symbol == 1 ? 1 : symbol == 16 ? 2 : 3, 2);
        if (symbol == 16) w.Bits(extra, 2);
        if (symbol == 18) w.Bits(extra, 7);
    }
}

// (18, n) pairs for `count` zero lengths (count >= 11).
void Zeros(std::vector<std::pair<int, int>>& seq, int count) {
    while (count > 0) {
        int take = count > 138 ? 138 : count;
        if (count - take > 0 && count - take < 11) take = count - 11;
        seq.push_back({18, take - 11});
        count -= take;
    }
}

}  // namespace

TEST(Deflate, MatchesZlibOverBlockTypesLevelsAndData) {
    const std::vector<std::pair<const char*, Bytes>> inputs = {
        {"empty", Bytes()},
        {"one byte", Bytes{'x'}},
        {"words", Words(300000, 1)},
        {"noise", Noise(100000, 2)},
        {"runs", Runs(200000, 3)},
        {"mixed",
         [] {
             Bytes b = Words(50000, 4), n = Noise(70000, 5), r = Runs(90000, 6);
             b.insert(b.end(), n.begin(), n.end());
             b.insert(b.end(), r.begin(), r.end());
             return b;
         }()},
    };
    const int strategies[] = {Z_DEFAULT_STRATEGY, Z_FIXED, Z_HUFFMAN_ONLY, Z_RLE, Z_FILTERED};
    for (const auto& [name, data] : inputs)
        for (int level : {0, 1, 6, 9})
            for (int strategy : strategies) {
                SCOPED_TRACE(std::string(name) + " level " + std::to_string(level) + " strategy " +
                             std::to_string(strategy));
                const Bytes compressed = ZlibDeflate(data, level, strategy);
                Bytes output;
                ASSERT_TRUE(Inflate(compressed, output));
                ASSERT_EQ(output, data);
            }
}

TEST(Deflate, MatchesZlibWhenOneStreamSwitchesBlockTypes) {
    // Dynamic, stored, fixed and dynamic again, with back references that reach across
    // block boundaries into earlier blocks.
    const Bytes words = Words(40000, 7);
    const std::vector<Part> parts = {{words, 6, Z_DEFAULT_STRATEGY},
                                     {Noise(80000, 8), 0, Z_DEFAULT_STRATEGY},
                                     {words, 6, Z_FIXED},
                                     {Runs(40000, 9), 9, Z_DEFAULT_STRATEGY}};
    const Bytes compressed = ZlibDeflate(parts);
    Bytes expected;
    for (const Part& part : parts) expected.insert(expected.end(), part.data.begin(), part.data.end());
    Bytes output;
    ASSERT_TRUE(Inflate(compressed, output));
    EXPECT_EQ(output, expected);
}

TEST(Deflate, SmallHandMadeStreams) {
    Bytes output;
    {  // one final stored block
        const Bytes stream = {0x01, 0x05, 0x00, 0xFA, 0xFF, 'h', 'e', 'l', 'l', 'o'};
        EXPECT_TRUE(Inflate(stream, output));
        EXPECT_EQ(output, (Bytes{'h', 'e', 'l', 'l', 'o'}));
    }
    {  // a fixed block holding only the end-of-block symbol
        BitWriter w;
        w.Bits(1, 1);
        w.Bits(1, 2);
        w.Fixed(256);
        EXPECT_EQ(w.bytes, (Bytes{0x03, 0x00}));
        EXPECT_TRUE(Inflate(w.bytes, output));
        EXPECT_TRUE(output.empty());
    }
    {  // 'z', then length 258 at distance 1: 259 bytes of 'z'
        BitWriter w;
        w.Bits(1, 1);
        w.Bits(1, 2);
        w.Fixed('z');
        w.Fixed(285);
        w.Code(0, 5);
        w.Fixed(256);
        EXPECT_TRUE(Inflate(w.bytes, output));
        EXPECT_EQ(output, Bytes(259, 'z'));
    }
    {  // a non-final stored block of length 0 followed by a final fixed block
        BitWriter w;
        w.Bits(0, 3);
        w.Bits(0, 5);
        w.Bits(0x0000, 16);
        w.Bits(0xFFFF, 16);
        w.Bits(1, 1);
        w.Bits(1, 2);
        w.Fixed('q');
        w.Fixed(256);
        EXPECT_TRUE(Inflate(w.bytes, output));
        EXPECT_EQ(output, Bytes{'q'});
    }
}

TEST(Deflate, OutputStartsWithRoomForThreeTimesTheInputAndGrowsPastIt) {
    const Bytes data = Words(5000, 11);
    const Bytes compressed = ZlibDeflate(data, 9);
    ASSERT_GT(data.size(), compressed.size() * 3);  // must grow while decoding

    DecompressorPolicy_Deflate decoder;
    UArray<unsigned char> in = ToArray(compressed), out;
    ASSERT_EQ(decoder.Decompress(in, out), InflateResult::Ok);
    EXPECT_EQ(ToBytes(out), data);
    EXPECT_GE(out.Max(), out.Num());

    // A stored stream's output fits: the capacity stays at exactly three times the input.
    const Bytes stored = ZlibDeflate(Noise(300, 12), 0);
    UArray<unsigned char> storedIn = ToArray(stored), storedOut;
    ASSERT_EQ(decoder.Decompress(storedIn, storedOut), InflateResult::Ok);
    EXPECT_EQ(storedOut.Num(), 300);
    EXPECT_EQ(storedOut.Max(), int32_t(stored.size() * 3));
}

TEST(Deflate, RejectsInvalidStreams) {
    struct Case {
        const char* name;
        Bytes stream;
        InflateResult result;
    };
    using R = InflateResult;
    std::vector<Case> cases;
    auto fixedBlock = [](auto&& body) {
        BitWriter w;
        w.Bits(1, 1);
        w.Bits(1, 2);
        body(w);
        return w.bytes;
    };
    cases.push_back({"empty input", Bytes(), R::InputEnded});
    cases.push_back({"block type 3", Bytes{0x07, 0x00}, R::ReservedBlockType});
    cases.push_back({"non-final block, then end of input", Bytes{0x02, 0x00}, R::InputEnded});
    cases.push_back({"distance before the start", fixedBlock([](BitWriter& w) {
                         w.Fixed('a');
                         w.Fixed(257);
                         w.Code(1, 5);  // distance 2 after one byte
                         w.Fixed(256);
                     }),
                     R::DistanceTooFar});
    cases.push_back({"fixed literal/length symbol 286", fixedBlock([](BitWriter& w) {
                         w.Fixed('a');
                         w.Fixed(286);
                         w.Fixed(256);
                     }),
                     R::InvalidSymbol});
    cases.push_back({"fixed distance symbol 30", fixedBlock([](BitWriter& w) {
                         w.Fixed('a');
                         w.Fixed(257);
                         w.Code(30, 5);
                         w.Fixed(256);
                     }),
                     R::InvalidSymbol});
    cases.push_back(
        {"stored length past the end of input", Bytes{0x01, 0x10, 0x00, 0xEF, 0xFF, 'a', 'b'}, R::InputEnded});
    cases.push_back({"no end-of-block", fixedBlock([](BitWriter& w) { w.Fixed('a'); }), R::InputEnded});

    // Dynamic blocks over 257 literal/length codes and one distance code (258 lengths).
    // The control case is valid: literal 'A' and end-of-block have one-bit codes, the
    // single distance code is the allowed incomplete one.
    auto dynamic = [](std::vector<std::pair<int, int>> lengths, int literalCount = 257, bool data = true) {
        BitWriter w;
        DynamicHeader(w, literalCount, 1, lengths);
        if (data) {
            w.Code(0, 1);  // 'A'
            w.Code(1, 1);  // end of block
        }
        return w.bytes;
    };
    std::vector<std::pair<int, int>> valid;
    Zeros(valid, 65);
    valid.push_back({1, 0});
    Zeros(valid, 190);
    valid.push_back({1, 0});
    valid.push_back({1, 0});
    cases.push_back({"dynamic control", dynamic(valid), R::Ok});

    std::vector<std::pair<int, int>> overLong;
    Zeros(overLong, 138);
    Zeros(overLong, 138);  // 276 lengths for 258 symbols
    cases.push_back({"over-long zero repeat", dynamic(overLong, 257, false), R::BadLengthRepeat});

    std::vector<std::pair<int, int>> repeatFirst = {{16, 0}};
    Zeros(repeatFirst, 255);
    cases.push_back({"repeat with no previous length", dynamic(repeatFirst, 257, false), R::BadLengthRepeat});

    std::vector<std::pair<int, int>> repeatOver = {{1, 0}};
    Zeros(repeatOver, 255);
    repeatOver.push_back({1, 0});
    repeatOver.push_back({16, 0});  // 3 more lengths after 257 of 258
    cases.push_back({"length repeat past the end", dynamic(repeatOver, 257, false), R::BadLengthRepeat});

    std::vector<std::pair<int, int>> overFull = {{1, 0}, {1, 0}};
    Zeros(overFull, 254);
    overFull.push_back({1, 0});
    overFull.push_back({1, 0});
    cases.push_back({"over-full literal/length code", dynamic(overFull), R::BadCode});

    std::vector<std::pair<int, int>> missingEnd = {{1, 0}, {1, 0}};
    Zeros(missingEnd, 255);
    missingEnd.push_back({1, 0});
    cases.push_back({"no end-of-block code", dynamic(missingEnd), R::NoEndOfBlockCode});

    // Only 'A' (length 1) and end-of-block (length 2): incomplete with a two-bit code.
    {
        BitWriter w;
        w.Bits(1, 1);
        w.Bits(2, 2);
        w.Bits(0, 5);
        w.Bits(0, 5);
        w.Bits(18 - 4, 4);
        const int sent[18] = {0, 0, 2, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 2};  // 0, 1, 2, 18
        for (int length : sent) w.Bits(length, 3);
        // codes: 0 -> 00, 1 -> 01, 2 -> 10, 18 -> 11
        auto zeros = [&](int n) {
            while (n > 0) {
                int take = n > 138 ? 138 : n;
                if (n - take > 0 && n - take < 11) take = n - 11;
                w.Code(3, 2);
                w.Bits(take - 11, 7);
                n -= take;
            }
        };
        zeros(65);
        w.Code(1, 2);  // 'A': 1
        zeros(190);
        w.Code(2, 2);  // end of block: 2
        w.Code(1, 2);  // distance 0: 1
        w.Code(0, 1);
        w.Code(2, 2);
        cases.push_back({"incomplete literal/length code", w.bytes, R::BadCode});
    }
    {
        BitWriter w;
        w.Bits(1, 1);
        w.Bits(2, 2);
        w.Bits(30, 5);  // 287 literal/length codes
        w.Bits(0, 5);
        w.Bits(0, 4);
        for (int i = 0; i < 64; ++i) w.Bits(0, 8);
        cases.push_back({"too many literal/length codes", w.bytes, R::TooManyCodes});
    }
    {
        BitWriter w;
        w.Bits(1, 1);
        w.Bits(2, 2);
        w.Bits(0, 5);
        w.Bits(0, 5);
        w.Bits(19 - 4, 4);
        for (int i = 0; i < 19; ++i) w.Bits(1, 3);  // nineteen one-bit codes
        for (int i = 0; i < 64; ++i) w.Bits(0, 8);
        cases.push_back({"over-full code-length code", w.bytes, R::BadCodeLengthCode});
    }

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes output;
        EXPECT_EQ(InflateWithReason(c.stream, output), c.result) << InflateResultText(c.result);
        if (c.result == R::Ok) {
            EXPECT_EQ(output, Bytes{'A'});
        }
    }
}

TEST(Deflate, EveryPrefixOfAValidStreamFailsOrDecodesExactly) {
    // Small streams of each kind, so that every prefix can be tried.
    const Bytes words = Words(3000, 21);
    const std::vector<Bytes> streams = {
        ZlibDeflate(words, 9),
        ZlibDeflate(words, 6, Z_FIXED),
        ZlibDeflate({Part{Noise(600, 22), 0, Z_DEFAULT_STRATEGY}, Part{Runs(2000, 23), 6, Z_DEFAULT_STRATEGY}}),
    };
    for (size_t s = 0; s < streams.size(); ++s) {
        Bytes full;
        ASSERT_TRUE(Inflate(streams[s], full));
        for (size_t length = 0; length <= streams[s].size(); ++length) {
            SCOPED_TRACE("stream " + std::to_string(s) + " prefix " + std::to_string(length));
            // Copy the prefix into its own block so the sanitizer sees any read past it.
            const Bytes prefix(streams[s].begin(), streams[s].begin() + long(length));
            Bytes output;
            const InflateResult result = InflateWithReason(prefix, output);
            const bool ok = result == InflateResult::Ok;
            if (length == streams[s].size()) {
                ASSERT_TRUE(ok);
            }
            if (ok) {
                ASSERT_EQ(output, full);
            } else {
                // A stream cut short is named so, and what was decoded before it ran out
                // is still correct.
                ASSERT_EQ(result, InflateResult::InputEnded);
                ASSERT_LE(output.size(), full.size());
                ASSERT_TRUE(std::equal(output.begin(), output.end(), full.begin()));
            }
        }
    }
}

TEST(Deflate, StopsAtTheOutputLimit) {
    const Bytes data = Runs(100000, 31);
    const Bytes compressed = ZlibDeflate(data, 6);
    Bytes output;
    EXPECT_TRUE(Inflate(compressed, output, data.size()));
    EXPECT_EQ(output, data);
    EXPECT_EQ(InflateWithReason(compressed, output, data.size() - 1), InflateResult::OutputLimit);
    EXPECT_LE(output.size(), data.size() - 1);
    // A fixed block one byte short of the stream: the same, and nothing written past it.
    DecompressorPolicy_Deflate decoder;
    Bytes block(data.size() - 1);
    size_t written = 0;
    EXPECT_EQ(decoder.Decompress(compressed.data(), compressed.size(), block.data(), block.size(), written),
              InflateResult::OutputLimit);
    EXPECT_EQ(written, output.size());
    EXPECT_TRUE(std::equal(block.begin(), block.begin() + long(written), data.begin()));
}

TEST(Deflate, Crc32MatchesZlib) {
    const Bytes data = Words(10000, 41);
    EXPECT_EQ(Crc32(data.data(), data.size()), uint32_t(crc32(0, data.data(), uInt(data.size()))));
    // Continued in two pieces.
    const uint32_t first = Crc32(data.data(), 1234);
    EXPECT_EQ(Crc32(data.data() + 1234, data.size() - 1234, first), uint32_t(crc32(0, data.data(), uInt(data.size()))));
    EXPECT_EQ(Crc32(nullptr, 0), 0u);
    // Every short length from every offset: runs of eight and the bytes left over.
    for (size_t offset = 0; offset < 8; ++offset)
        for (size_t length = 0; length <= 40; ++length)
            ASSERT_EQ(Crc32(data.data() + offset, length, 0x12345678u),
                      uint32_t(crc32(0x12345678u, data.data() + offset, uInt(length))))
                << offset << " " << length;
}
