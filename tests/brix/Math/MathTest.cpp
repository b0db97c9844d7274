#include <gtest/gtest.h>

#include <cstdint>

#include "Math/TVector.h"

using namespace brix;

TEST(TVector, PlainValues) {
    TVector3<float> a{1, 2, 3};
    TVector2<float> uv{0.5f, 0.25f};
    EXPECT_EQ(sizeof(a), 3 * sizeof(float));
    EXPECT_EQ(sizeof(uv), 2 * sizeof(float));
    EXPECT_TRUE((a == TVector3<float>{1, 2, 3}));
}
