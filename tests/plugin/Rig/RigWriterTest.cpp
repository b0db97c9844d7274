#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>

#include "Rig/RigWriter.h"
#include "support/MemoryStreams.h"

using plugin_test::MemoryOutputStream;

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

TEST(RigWriter, RealsMatchPrintfForEveryKindOfFloat) {
    std::mt19937 random(1234);
    std::uniform_int_distribution<uint32_t> bits;
    const float special[] = {0.0f, -0.0f, 0.00005f, -0.00005f, 0.03125f, 0.15625f, 2.5e-5f, 1e10f, -3.4028235e38f,
                             1.17549435e-38f, 1.0f / 3.0f, std::numeric_limits<float>::infinity(),
                             -std::numeric_limits<float>::infinity(), std::numeric_limits<float>::quiet_NaN()};
    auto check = [](float value) {
        char expected[128], actual[RigWriter::kMaxRealText];
        snprintf(expected, sizeof expected, "%.4f", double(value));
        // The writer spells a NaN as glibc's printf does, with its sign, on every system.
        if (std::isnan(value)) snprintf(expected, sizeof expected, "%s", std::signbit(value) ? "-nan" : "nan");
        const int length = RigWriter::FormatReal(value, actual);
        ASSERT_EQ(std::string(actual, size_t(length)), expected) << value;
    };
    for (float value : special) check(value);
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
