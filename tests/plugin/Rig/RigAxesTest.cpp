// The axis change between a Y-up scene and the Z-up file: each direction undoes the
// other bit for bit, zeros' signs included, and a point keeps its place relative to a
// bone (the inverse bind matrix and the world matrix turn with the points).

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "Rig/RigAxes.h"

namespace {

using brix::TMatrix4;
using brix::TVector3;

bool SameBits(const TVector3<float>& a, const TVector3<float>& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// p (a row vector, w = 1) times m.
TVector3<float> Apply(const TVector3<float>& p, const TMatrix4<float>& m) {
    return {p.x * m.m[0][0] + p.y * m.m[1][0] + p.z * m.m[2][0] + m.m[3][0],
            p.x * m.m[0][1] + p.y * m.m[1][1] + p.z * m.m[2][1] + m.m[3][1],
            p.x * m.m[0][2] + p.y * m.m[1][2] + p.z * m.m[2][2] + m.m[3][2]};
}

}  // namespace

TEST(RigAxes, EachDirectionUndoesTheOtherBitForBit) {
    const TVector3<float> points[] = {{1, 2, 3}, {0.0f, -0.0f, 0.0f}, {-0.0f, 0.0f, -0.0f}, {-1.5f, 1e-30f, -7}};
    for (const TVector3<float>& p : points) {
        EXPECT_TRUE(SameBits(rig::ToSceneAxes(rig::ToFileAxes(p)), p)) << p.x << " " << p.y << " " << p.z;
        EXPECT_TRUE(SameBits(rig::ToFileAxes(rig::ToSceneAxes(p)), p)) << p.x << " " << p.y << " " << p.z;
    }
    // Y up in the scene is Z up in the file.
    EXPECT_TRUE(SameBits(rig::ToFileAxes({0, 1, 0}), TVector3<float>{0, -0.0f, 1}));

    TMatrix4<float> m;
    for (int i = 0; i < 16; ++i) m.m[i / 4][i % 4] = float(i) - 7.5f;
    TMatrix4<float> there = m;
    rig::InverseBindToFileAxes(there);
    rig::InverseBindToSceneAxes(there);
    EXPECT_EQ(std::memcmp(&there, &m, sizeof m), 0);
}

// A bone at (1, 2, 3) turned a quarter about Y: a point keeps its bone-space coordinates
// when the point and the inverse bind matrix both change axes.
TEST(RigAxes, APointKeepsItsPlaceRelativeToItsBone) {
    TMatrix4<float> inverseBind = {{{0, 0, 1, 0}, {0, 1, 0, 0}, {-1, 0, 0, 0}, {3, -2, -1, 1}}};
    const TVector3<float> point{4, 5, 6};
    const TVector3<float> inBone = Apply(point, inverseBind);
    rig::InverseBindToFileAxes(inverseBind);
    const TVector3<float> inFile = Apply(rig::ToFileAxes(point), inverseBind);
    EXPECT_FLOAT_EQ(inFile.x, inBone.x);
    EXPECT_FLOAT_EQ(inFile.y, inBone.y);
    EXPECT_FLOAT_EQ(inFile.z, inBone.z);
}
