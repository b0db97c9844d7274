#include <gtest/gtest.h>

#include "Rig/RigModel.h"

TEST(RigMatrix, InverseTimesMatrixIsTheIdentity) {
    RigMatrix m{{{2, 0, 0, 0}, {0, 0, 3, 0}, {0, -4, 0, 0}, {1, 2, 3, 1}}};
    RigMatrix inverse = m;
    ASSERT_TRUE(inverse.Invert());
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) {
            float sum = 0;
            for (int k = 0; k < 4; ++k) sum += m.m[r][k] * inverse.m[k][c];
            EXPECT_NEAR(sum, r == c ? 1.0f : 0.0f, 1e-6f) << r << "," << c;
        }
    EXPECT_FLOAT_EQ(inverse.m[3][0], -0.5f);  // the translation undone
}

TEST(RigMatrix, NearlySingularMatricesAreRefusedAndLeftAlone) {
    struct Case {
        float scale;
        bool invertible;
    } cases[] = {{0.0f, false}, {0.00001f, false}, {0.0000101f, true}, {1.0f, true}};
    for (const Case& c : cases) {
        RigMatrix m = RigMatrix::Identity();
        m.m[0][0] = c.scale;  // det = scale
        RigMatrix original = m;
        EXPECT_EQ(m.Invert(), c.invertible) << c.scale;
        if (!c.invertible) {
            EXPECT_EQ(m, original);
        }
    }
}

TEST(RigMatrix, ScaleAwareInversionKeepsSmallRigsAndRefusesCollapsedOnes) {
    RigMatrix small = RigMatrix::Identity();
    for (int i = 0; i < 3; ++i) small.m[i][i] = 0.01f;  // det 1e-6
    small.m[3][0] = 0.5f;
    RigMatrix absolute = small;
    EXPECT_FALSE(absolute.Invert());
    ASSERT_TRUE(small.InvertScaleAware());
    EXPECT_FLOAT_EQ(small.m[0][0], 100.0f);
    EXPECT_FLOAT_EQ(small.m[3][0], -50.0f);

    RigMatrix collapsed = RigMatrix::Identity();
    collapsed.m[1][0] = 1;  // row 1 equals row 0
    collapsed.m[1][1] = 0;
    EXPECT_FALSE(collapsed.InvertScaleAware());
    RigMatrix zero{};
    EXPECT_FALSE(zero.InvertScaleAware());
}
