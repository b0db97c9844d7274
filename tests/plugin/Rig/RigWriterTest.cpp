#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>
#include <vector>

#include "Rig/RigWriter.h"
#include "Utils/UNumberText.h"
#include "support/MemoryStreams.h"

using plugin_test::MemoryOutputStream;

namespace {

// Whether FormatReal writes value as printf's "%.4f" does (NaN spelled with its sign, as
// glibc's printf spells it, on every system); a failure names the value and both texts.
::testing::AssertionResult FormatsAsPrintf(float value) {
    char expected[128], actual[RigWriter::kMaxRealText];
    snprintf(expected, sizeof expected, "%.4f", double(value));
    if (std::isnan(value)) snprintf(expected, sizeof expected, "%s", std::signbit(value) ? "-nan" : "nan");
    const std::string written(actual, size_t(RigWriter::FormatReal(value, actual)));
    if (written == expected) return ::testing::AssertionSuccess();
    uint32_t bits;
    memcpy(&bits, &value, sizeof bits);
    return ::testing::AssertionFailure() << "bits 0x" << std::hex << bits << ": wrote " << written << ", printf "
                                         << expected;
}

}  // namespace

TEST(RigWriter, EachPrimitiveIsOneWrite) {
    MemoryOutputStream stream;
    RigWriter writer(stream);
    writer.WriteText("numBones ");
    writer.WriteUnsigned(7);
    writer.WriteText(brix::UString(" "));
    const float row[4] = {0.5f, -1.0f, 1234.56789f, 0.0f};
    writer.WriteReals(row, 4);
    writer.WriteText(" ");
    writer.WriteUnsigned(4294967295u);
    EXPECT_EQ(stream.text, "numBones 7 0.5000 -1.0000 1234.5679 0.0000 4294967295");
    EXPECT_EQ(stream.writes, 6);
}

// Section lines are gathered before they reach the stream: a mesh far larger than the
// gathering buffer, with a polygon of thousands of corners, arrives whole and in file
// order, and the lines of a section reach the stream before the next element does.
TEST(RigWriter, SectionLinesReachTheStreamInFileOrder) {
    MemoryOutputStream stream;
    std::string expected;
    {
        RigWriter writer(stream);
        writer.BeginMesh(0, brix::UString("big"));
        expected += "\r\nmesh 0 {\r\n\tname \"big\"";
        writer.BeginSection("vertices");
        expected += "\r\n\r\n\tvertices {";
        char real[64];
        for (int i = 0; i < 3000; ++i) {
            const float x = float(i) / 7.0f;
            writer.VectorLine({x, -x, 1e6f + x});
            snprintf(real, sizeof real, "%.4f %.4f %.4f", double(x), double(-x), double(1e6f + x));
            expected += std::string("\r\n\t\t") + real;
        }
        writer.BeginSection("polygonVertexIndices");
        expected += "\r\n\t}\r\n\r\n\tpolygonVertexIndices {";
        EXPECT_EQ(stream.text, expected);  // the vertices went out ahead of the next section
        std::vector<unsigned int> corners(5000);
        for (unsigned int i = 0; i < corners.size(); ++i) corners[i] = 4294967295u - i * 858993u;
        for (int32_t count : {3, 16, 17, 5000}) {
            writer.IndexLine(corners.data(), count, count == 17);
            expected += count == 17 ? "\r\n\t\t\t" : "\r\n\t\t";
            for (int32_t i = 0; i < count; ++i) expected += (i ? " " : "") + std::to_string(corners[size_t(i)]);
        }
        writer.BeginSection("weights");
        expected += "\r\n\t}\r\n\r\n\tweights {";
        for (uint32_t bone = 0; bone < 2000; ++bone) {
            writer.WeightLine(bone, 0.25f);
            expected += "\r\n\t\t" + std::to_string(bone) + " 0.2500";
        }
        EXPECT_LT(stream.text.size(), expected.size());  // the last lines are still gathered
        writer.EndMesh();
        expected += "\r\n\t}\r\n}\r\n";
        writer.NumberLine(7);  // gathered, and handed over when the writer ends
        expected += "\r\n\t\t7";
    }
    EXPECT_EQ(stream.text, expected);
}

TEST(RigWriter, RealsMatchPrintfForEveryKindOfFloat) {
    std::mt19937 random(1234);
    std::uniform_int_distribution<uint32_t> bits;
    const float special[] = {0.0f,
                             -0.0f,
                             0.00005f,
                             -0.00005f,
                             0.03125f,
                             0.15625f,
                             2.5e-5f,
                             1e10f,
                             -3.4028235e38f,
                             1.17549435e-38f,
                             1.0f / 3.0f,
                             std::numeric_limits<float>::infinity(),
                             -std::numeric_limits<float>::infinity(),
                             std::numeric_limits<float>::quiet_NaN()};
    auto check = [](float value) { ASSERT_TRUE(FormatsAsPrintf(value)); };
    for (float value : special) check(value);
    // Small negatives print as "-0.0000"; subnormals; the fast path's limit of 2^31 and
    // beyond it, up to the largest float; a NaN with its sign bit set.
    const float edges[] = {-0.00004f,
                           -0.00005f,
                           -1e-30f,
                           -1.4e-45f,
                           1.4e-45f,
                           1.1754942e-38f,
                           -1.1754942e-38f,
                           2147483648.0f,
                           -2147483648.0f,
                           2147483904.0f,
                           4294967296.0f,
                           1e15f,
                           std::numeric_limits<float>::max(),
                           -std::numeric_limits<float>::quiet_NaN()};
    for (float value : edges) check(value);
    // Exact ties at the fourth decimal are the odd multiples of 1/32.
    for (int odd = -4001; odd <= 4001; odd += 2) check(float(odd) / 32.0f);
    // The largest modest magnitudes, on both sides of 2^31.
    for (float value : {2147483520.0f, 2147483648.0f, -2147483520.0f, 16777217.0f, 8388607.5f}) check(value);
    for (int i = 0; i < 200000; ++i) {
        uint32_t raw = bits(random);
        float value;
        memcpy(&value, &raw, sizeof value);
        check(value);
        check(float(int(raw % 2000000) - 1000000) / 10000.0f + 0.00005f);  // near rounding ties
    }
}

// Every real of the golden files, read back to float, is written as printf writes it.
TEST(RigWriter, RealsMatchPrintfOnEveryGoldenValue) {
    int checked = 0;
    for (const auto& entry : std::filesystem::directory_iterator(std::string(TESSALINE_TEST_DATA) + "/rig")) {
        if (entry.path().extension() != ".tsl") continue;
        std::ifstream file(entry.path(), std::ios::binary);
        std::stringstream text;
        text << file.rdbuf();
        std::string token;
        while (text >> token) {
            if (token.find('.') == std::string::npos || token.find('"') != std::string::npos) continue;
            char* end = nullptr;
            const float value = strtof(token.c_str(), &end);
            if (*end != '\0') continue;
            EXPECT_TRUE(FormatsAsPrintf(value)) << entry.path().filename() << ": " << token;
            ++checked;
        }
    }
    EXPECT_GT(checked, 100);  // the goldens were found and hold reals
}

// Ten million values, in equal parts: any bit pattern (every exponent, subnormals, NaN
// and infinity), exact ties at the fourth decimal (odd multiples of 1/32, up to the
// fast path's limit and past it), small negatives that print as "-0.0000", and floats
// a few steps from 2^31. Builds with sanitizers, and Windows builds (whose tests run
// under Wine), check a tenth of them; TESSALINE_REAL_CHECKS=N checks N.
TEST(RigWriter, RealsMatchPrintfOnTenMillionValues) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__) || defined(_WIN32)
    long count = 1000000;
#else
    long count = 10000000;
#endif
    if (const char* asked = getenv("TESSALINE_REAL_CHECKS")) count = atol(asked);
    std::mt19937_64 random(20261210);
    for (long i = 0; i < count; ++i) {
        const uint64_t raw = random();
        float value;
        switch (i % 4) {
        case 0: {
            const uint32_t bits = uint32_t(raw);
            memcpy(&value, &bits, sizeof value);
            break;
        }
        case 1: {
            // k/32 for odd k of up to 2^36 in magnitude: exactly representable while
            // it fits 24 bits of mantissa, else the nearest float.
            const int64_t odd = int64_t(raw >> 28) | 1;
            value = float(double((raw & 1) ? -odd : odd) / 32.0);
            break;
        }
        case 2: value = -float(double(raw >> 11) * 0x1p-53 * 0.0001); break;
        default: {
            const float limit = (raw & 1) ? 2147483648.0f : -2147483648.0f;
            value = limit;
            for (uint64_t step = (raw >> 1) % 64; step > 0; --step)
                value = std::nextafter(value, (raw & 2) ? 0.0f : limit * 2);
        }
        }
        ASSERT_TRUE(FormatsAsPrintf(value)) << "value " << i;
    }
}

// A bind matrix that four decimals cannot hold is written with the shortest fixed-notation
// text that the reader's number parsing (brix::ReadReal) gives back as the same float.
TEST(RigWriter, ExactRealsAreTheShortestFixedTextThatReadsBack) {
    const struct {
        float value;
        const char* text;
    } kRows[] = {{0.01f, "0.01"},
                 {7e-5f, "0.00007"},
                 {-4.9497475e-5f, "-0.000049497474"},
                 {100.0f, "100"},
                 {-0.0f, "-0"},
                 {1.0f / 3.0f, "0.33333334"},
                 {1.17549435e-38f, "0.000000000000000000000000000000000000011754944"}};
    char text[RigWriter::kMaxExactRealText];
    for (const auto& row : kRows)
        EXPECT_EQ(std::string(text, size_t(RigWriter::FormatExactReal(row.value, text))), row.text) << row.value;

    std::mt19937 random(4321);
    std::uniform_int_distribution<uint32_t> bits;
    for (int i = 0; i < 200000; ++i) {
        const uint32_t raw = bits(random);
        float value;
        memcpy(&value, &raw, sizeof value);
        if (!std::isfinite(value)) continue;
        const int length = RigWriter::FormatExactReal(value, text);
        const std::string written(text, size_t(length));
        ASSERT_EQ(written.find_first_of("eE"), std::string::npos) << written;
        const float read = brix::ReadReal(written.c_str());
        ASSERT_EQ(memcmp(&read, &value, sizeof value), 0) << written;
        // Shortest: the value with one decimal fewer reads back as another float.
        const size_t point = written.find('.');
        if (point == std::string::npos) continue;
        char shorter[RigWriter::kMaxExactRealText];
        snprintf(shorter, sizeof shorter, "%.*f", int(written.size() - point - 2), double(value));
        ASSERT_NE(brix::ReadReal(shorter), value) << written << " " << shorter;
    }
}

// The rig's size: the diagonal of the box around the bones' heads or the longest axis,
// whichever is larger; 1 for a rig of no size.
TEST(RigWriter, RigSizeIsTheHeadsBoxOrTheLongestAxis) {
    auto bone = [](float scale, float x, float y, float z) {
        brix::TMatrix4<float> m = brix::TMatrix4<float>::Identity();
        for (int i = 0; i < 3; ++i) m.m[i][i] = scale;
        m.m[3][0] = x, m.m[3][1] = y, m.m[3][2] = z;
        return m;
    };
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const struct {
        std::vector<brix::TMatrix4<float>> bones;
        float size;
    } kRows[] = {
        {{bone(1, 1, 1, 1), bone(1, 4, 5, 1), bone(1, 1, 1, 13)}, 13.0f},
        {{bone(100, 1, 1, 1), bone(1, 4, 5, 1)}, 100.0f},
        {{bone(0, 0, 0, 0), bone(0, 0, 0, 0)}, 1.0f},
        {{}, 1.0f},
        {{bone(1, nan, 0, 0), bone(2, 3, 4, 0), bone(1, 0, 0, 0)}, 5.0f},
    };
    for (const auto& row : kRows)
        EXPECT_FLOAT_EQ(RigWriter::RigSize(row.bones.data(), int32_t(row.bones.size())), row.size) << row.size;
}
