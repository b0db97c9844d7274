#include <gtest/gtest.h>

#include <cstdint>

#include "Math/TRational.h"
#include "Math/TVector.h"

using namespace brix;

TEST(TRational, KeepsLowestTermsWithAPositiveDenominator) {
    struct Case {
        int num, den, wantNum, wantDen;
    } cases[] = {{2, -4, -1, 2}, {6, 9, 2, 3}, {-6, -9, 2, 3}, {0, -5, 0, 1}, {7, 1, 7, 1}};
    for (const Case& c : cases) {
        TRational<int> r(c.num, c.den);
        EXPECT_EQ(r.Numerator(), c.wantNum) << c.num << "/" << c.den;
        EXPECT_EQ(r.Denominator(), c.wantDen) << c.num << "/" << c.den;
    }
    TRational<int64_t> big(int64_t(1) << 40, int64_t(3) << 41);
    EXPECT_EQ(big.Numerator(), 1);
    EXPECT_EQ(big.Denominator(), 6);
}

TEST(TRational, ZeroDenominatorIsABrokenInvariant) {
    try {
        TRational<int> r(1, 0);
        FAIL() << "no exception";
    } catch (const ErrorDescription& error) {
        EXPECT_STREQ(error.m_message, "'assure' failed: den");
        EXPECT_STREQ(error.m_history, "brix::TRational<int>::TRational()");
    }
}

TEST(TVector, PlainValues) {
    TVector3<float> a{1, 2, 3};
    TVector2<float> uv{0.5f, 0.25f};
    EXPECT_EQ(sizeof(a), 3 * sizeof(float));
    EXPECT_EQ(sizeof(uv), 2 * sizeof(float));
    EXPECT_TRUE((a == TVector3<float>{1, 2, 3}));
}
