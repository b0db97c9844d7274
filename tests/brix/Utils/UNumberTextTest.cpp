#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "Utils/UNumberText.h"

using namespace brix;

namespace {

void ExpectLikeTheCLibrary(const std::string& text) {
    EXPECT_EQ(ReadInteger(text.c_str()), int32_t(strtol(text.c_str(), nullptr, 10))) << text;
    EXPECT_EQ(ReadWideInteger(text.c_str()), int64_t(strtoll(text.c_str(), nullptr, 10))) << text;
    const float expected = float(atof(text.c_str()));
    const float got = ReadReal(text.c_str());
    // Bit for bit: negative zero and NaN payloads included.
    uint32_t a, b;
    memcpy(&a, &expected, 4);
    memcpy(&b, &got, 4);
    EXPECT_EQ(a, b) << text;

    // A whole decimal number is what the C library reads to its end, among texts of
    // digits, points, signs and exponent letters (the library also reads white space,
    // hex forms and the words inf and nan, which are no decimals).
    const char* end = text.c_str() + text.size();
    const bool decimalBytes = !text.empty() && text.find_first_not_of("0123456789.eE+-") == std::string::npos;
    char* readTo;
    strtod(text.c_str(), &readTo);
    EXPECT_EQ(IsDecimalReal(text.c_str(), end), decimalBytes && readTo == end) << text;
    strtoll(text.c_str(), &readTo, 10);
    EXPECT_EQ(IsDecimalInteger(text.c_str(), end), decimalBytes && readTo == end) << text;

    // The plain forms read only a prefix, and that prefix alone reads the same in the C
    // library; the end given is never passed, even where the text goes on.
    const char* begin = text.c_str();
    for (size_t cut : {text.size(), text.size() / 2}) {
        int64_t integer = -1;
        if (const char* after = ReadPlainInteger(begin, begin + cut, integer)) {
            ASSERT_LE(after, begin + cut) << text;
            EXPECT_EQ(integer, int64_t(strtoll(std::string(begin, after).c_str(), nullptr, 10))) << text;
        }
        float real = -1.0f;
        if (const char* after = ReadPlainReal(begin, begin + cut, real)) {
            ASSERT_LE(after, begin + cut) << text;
            const float prefix = float(atof(std::string(begin, after).c_str()));
            memcpy(&a, &prefix, 4);
            memcpy(&b, &real, 4);
            EXPECT_EQ(a, b) << text;
        }
    }
}

}  // namespace

TEST(UNumberText, MatchesStrtolAndAtofOnChosenTexts) {
    const std::vector<std::string> cases = {
        "",
        "0",
        "-0",
        "+0",
        "-0.0000",
        "0.0000",
        "7",
        "7x",
        "-12",
        "+5",
        " \t\n\v\f\r42",
        "-",
        "+",
        ".",
        "-.",
        ".5",
        "-.5",
        "5.",
        "1e",
        "1e+",
        "1e-",
        "1e5",
        "1E-5",
        "3.5e1",
        "1.5e-3x",
        "--1",
        "+-1",
        "0x1p3",
        "0X1P-2",
        "0x",
        "-0x10",
        "inf",
        "-INF",
        "infinity",
        "nan",
        "-nan(123)",
        "1,5",
        "\"7\"",
        "{4}",
        "00012",
        "-00.5000",
        "2147483647",
        "2147483648",
        "-2147483648",
        "-2147483649",
        "4294967296",
        "9223372036854775807",
        "9223372036854775808",
        "-9223372036854775808",
        "-9223372036854775809",
        "99999999999999999999999",
        "-99999999999999999999999",
        "340282346638528859811704183484516925440.0000",
        "340282356779733661637539395458142568448",
        "340282366920938463463374607431768211456",
        "1e39",
        "-1e39",
        "1e308",
        "1.7976931348623157e308",
        "1.8e308",
        "1e400",
        "-1e400",
        "1e-400",
        "4.9e-324",
        "2.4e-324",
        "1e-45",
        "7e-46",
        "1.401298464324817e-45",
        "0.000000000000000000000000000000000000000000001",
        "16777217",
        "16777217.0000",
        "0.1",
        "1234.5679",
        "-1234.5679",
        // Halfway between two floats: the double rounds first, then the float, as atof's result does.
        "1.00000005960464477539062500",
        "1.000000059604644775390625000000001",
        "33554433",
        "33554435",
        "0.30000001192092895507812500",
        std::string(400, '9'),
        "0." + std::string(400, '0') + "1",
    };
    for (const std::string& text : cases) ExpectLikeTheCLibrary(text);
}

TEST(UNumberText, MatchesStrtolAndAtofOnRandomNumbers) {
    std::mt19937_64 random(7);
    char buffer[128];
    for (int i = 0; i < 200000; ++i) {
        switch (i % 5) {
        case 0: {  // written as the rig writer writes reals
            float value;
            const uint32_t bits = uint32_t(random());
            memcpy(&value, &bits, 4);
            if (!std::isfinite(value) || std::fabs(value) > 1e30f) value = float(int32_t(bits)) * 1e-4f;
            snprintf(buffer, sizeof buffer, "%.4f", double(value));
            break;
        }
        case 1: {  // shortest round-trip doubles of every magnitude
            double value;
            const uint64_t bits = random();
            memcpy(&value, &bits, 8);
            snprintf(buffer, sizeof buffer, "%.17g", value);
            break;
        }
        case 2: snprintf(buffer, sizeof buffer, "%lld", (long long)random() >> (random() % 64)); break;
        case 3:  // random digits, points, signs and exponents
        {
            const char alphabet[] = "0123456789012345678901234567890123456789..--+eE x";
            const size_t length = 1 + random() % 30;
            for (size_t k = 0; k < length; ++k) buffer[k] = alphabet[random() % (sizeof alphabet - 1)];
            buffer[length] = 0;
            break;
        }
        default:  // float values near halfway points
        {
            const float base = float(int32_t(random() % 2000000) - 1000000) / 1024.0f;
            snprintf(buffer, sizeof buffer, "%.9e", double(base) + double(std::nextafter(base, 1e9f) - base) / 2);
            break;
        }
        }
        ExpectLikeTheCLibrary(buffer);
    }
}
