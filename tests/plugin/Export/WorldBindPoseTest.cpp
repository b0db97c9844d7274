// Skinned meshes and bones are written at their world positions at bind time, whatever
// transforms sit above them; expected values are worked out by hand.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>

#include "support/PluginHostTest.h"
#include "support/RigCompare.h"
#include "tessahost/StandIn.h"

using plugin_test::PluginHostTest;

namespace {

// The scene exported and read back; code is the export's status.
struct ExportedRig {
    int code = -1;
    std::string text;
    bool read = false;
    brix::UArray<BoneData> bones;
    brix::UArray<MeshData> meshes;
};

class WorldBindPose : public PluginHostTest {
protected:
    ExportedRig ExportAndRead() {
        ExportedRig rig;
        rig.text = Export("", false, &rig.code);
        rig.read = plugin_test::ReadRig(rig.text, rig.bones, rig.meshes);
        return rig;
    }
};

MMatrix Rows(std::initializer_list<double> values) {
    double rows[4][4];
    auto it = values.begin();
    for (auto& row : rows)
        for (double& value : row) value = *it++;
    return MMatrix(rows);
}

// A triangle (1,0,0) (0,1,0) (0,0,1) under a transform "body"; its face normal in object
// space is (1,1,1)/sqrt(3).
MObject Triangle(const MObject& parent) {
    MFloatPointArray points;
    points.append(MFloatPoint(1, 0, 0));
    points.append(MFloatPoint(0, 1, 0));
    points.append(MFloatPoint(0, 0, 1));
    MIntArray counts, connects;
    counts.append(3);
    for (int v : {0, 1, 2}) connects.append(v);
    return standin::makeMesh("body", points, counts, connects, parent);
}

void ExpectNear(const brix::TVector3<float>& actual, double x, double y, double z, const char* what) {
    EXPECT_NEAR(actual.x, x, 1e-4) << what;
    EXPECT_NEAR(actual.y, y, 1e-4) << what;
    EXPECT_NEAR(actual.z, z, 1e-4) << what;
}

TEST_F(WorldBindPose, SkinnedMeshWithItsOwnTransformIsWrittenInWorldSpace) {
    standin::setUpAxis(false);
    // Rows: scale 2, a quarter turn about y ((x, y, z) -> (z, y, -x) once scaled), then
    // a move by (10, 0, 0): (1,0,0) -> (10,0,-2), (0,1,0) -> (10,2,0), (0,0,1) -> (12,0,0).
    const MObject group =
        standin::makeTransform("group", MObject::kNullObj, Rows({0, 0, -2, 0, 0, 2, 0, 0, 2, 0, 0, 0, 10, 0, 0, 1}));
    const MObject shape = Triangle(group);
    ASSERT_FALSE(shape.isNull());
    const MObject joint = standin::makeJoint("root", MObject::kNullObj, standin::translation(10, 0, 0));
    MObjectArray influences;
    influences.append(joint);
    ASSERT_FALSE(standin::bindSkin(shape, influences).isNull());
    // Moving the mesh after binding changes nothing in the file: the bind pose counts.
    standin::setLocalMatrix(group, standin::translation(-5, 7, 1));

    const ExportedRig rig = ExportAndRead();
    ASSERT_EQ(rig.code, 0) << Infos();
    ASSERT_TRUE(rig.read);
    ASSERT_EQ(rig.meshes.Num(), 1);
    const MeshData& mesh = rig.meshes[0];
    ASSERT_EQ(mesh.vertices.Num(), 3);
    ExpectNear(mesh.vertices[0], 10, 0, -2, "vertex 0");
    ExpectNear(mesh.vertices[1], 10, 2, 0, "vertex 1");
    ExpectNear(mesh.vertices[2], 12, 0, 0, "vertex 2");
    // The normal turns with the mesh and keeps unit length: (1,1,1) -> (1,1,-1), over sqrt(3).
    const double third = 1 / std::sqrt(3.0);
    for (const auto& normal : mesh.normals) ExpectNear(normal, third, third, -third, "normal");
    // The bone sits where it was bound: its inverse bind matrix moves by (-10, 0, 0).
    ASSERT_EQ(rig.bones.Num(), 1);
    EXPECT_NEAR(rig.bones[0].invBaseMatrix.m[3][0], -10, 1e-4);
    EXPECT_NEAR(rig.bones[0].invBaseMatrix.m[0][0], 1, 1e-4);
}

TEST_F(WorldBindPose, RigUnderAGroupScaledToCentimetresExports) {
    standin::setUpAxis(false);
    const MObject armature = standin::makeTransform("armature", MObject::kNullObj,
                                                    Rows({0.01, 0, 0, 0, 0, 0.01, 0, 0, 0, 0, 0.01, 0, 0, 0, 0, 1}));
    const MObject hip = standin::makeJoint("hip", armature, standin::translation(0, 0, 100));
    const MObject knee = standin::makeJoint("knee", hip, standin::translation(0, 0, -50));
    const MObject shape = Triangle(MObject::kNullObj);
    MObjectArray influences;
    influences.append(hip);
    influences.append(knee);
    ASSERT_FALSE(standin::bindSkin(shape, influences).isNull());

    const ExportedRig rig = ExportAndRead();
    ASSERT_EQ(rig.code, 0) << Infos();
    ASSERT_TRUE(rig.read);
    const auto& bones = rig.bones;
    ASSERT_EQ(bones.Num(), 2);
    // hip's world matrix is a scale of 0.01 at (0, 0, 1): its inverse scales by 100 and
    // moves by (0, 0, -100). knee sits at (0, 0, 0.5): (0, 0, -50).
    for (int i = 0; i < 3; ++i) {
        EXPECT_NEAR(bones[0].invBaseMatrix.m[i][i], 100, 1e-3);
        EXPECT_NEAR(bones[1].invBaseMatrix.m[i][i], 100, 1e-3);
    }
    EXPECT_NEAR(bones[0].invBaseMatrix.m[3][2], -100, 1e-3);
    EXPECT_NEAR(bones[1].invBaseMatrix.m[3][2], -50, 1e-3);
    EXPECT_NEAR(bones[1].invBaseMatrix.m[3][0], 0, 1e-3);
}

// Rigs bound in centimetres carry a scale of 100 in the bind, so their inverse bind
// matrices hold entries of 0.01 and below, which four decimals round away: such a bone is
// written with the decimals it needs, a plain one with four. Either way the file gives
// back the bone within 1e-5 of the rig's size (here, one bone: its longest axis), each
// axis within 1e-5 of its length.
TEST_F(WorldBindPose, BonesReadBackWithinTheRigsPrecision) {
    const double kTurn = 0.6;  // radians, about (1, 2, 2) / 3
    const double c = std::cos(kTurn), s = std::sin(kTurn), t = 1 - c, x = 1 / 3.0, y = 2 / 3.0, z = 2 / 3.0;
    const double turn[3][3] = {{t * x * x + c, t * x * y + s * z, t * x * z - s * y},
                               {t * x * y - s * z, t * y * y + c, t * y * z + s * x},
                               {t * x * z + s * y, t * y * z - s * x, t * z * z + c}};
    auto pose = [&](double scale, double hx, double hy, double hz) {
        std::initializer_list<double> values = {turn[0][0] * scale,
                                                turn[0][1] * scale,
                                                turn[0][2] * scale,
                                                0,
                                                turn[1][0] * scale,
                                                turn[1][1] * scale,
                                                turn[1][2] * scale,
                                                0,
                                                turn[2][0] * scale,
                                                turn[2][1] * scale,
                                                turn[2][2] * scale,
                                                0,
                                                hx,
                                                hy,
                                                hz,
                                                1};
        return Rows(values);
    };
    // 45 degrees about z at a scale of 1/7e-5: rows 0 and 1 of the inverse hold +-4.9e-5,
    // which four decimals write as 0, a matrix that cannot be inverted.
    const double k = 1 / 7e-5, d = k * std::sqrt(0.5);
    const struct {
        const char* what;
        MMatrix world;
        const char* fourDecimals;  // the expected text when four decimals keep the bone
    } kCases[] = {
        {"centimetre scale, turned, far head", pose(100, 400, 1200, -300), nullptr},
        {"scale 1/7e-5 at 45 degrees", Rows({d, d, 0, 0, -d, d, 0, 0, 0, 0, k, 0, 2000, -500, 100, 1}), nullptr},
        {"unit scale", standin::translation(1, 2, 3),
         "1.0000 -0.0000 0.0000 -0.0000 -0.0000 1.0000 -0.0000 0.0000 0.0000 -0.0000 1.0000 -0.0000 -1.0000 -2.0000 "
         "-3.0000 1.0000"},
    };
    for (const auto& test : kCases) {
        standin::resetScene();
        standin::setUpAxis(false);
        standin::makeJoint("bone", MObject::kNullObj, test.world);
        const ExportedRig rig = ExportAndRead();
        ASSERT_EQ(rig.code, 0) << test.what << Errors();
        ASSERT_TRUE(rig.read) << test.what;
        ASSERT_EQ(rig.bones.Num(), 1) << test.what;

        const size_t at = rig.text.find("invBaseMatrix ") + 14;
        const std::string line = rig.text.substr(at, rig.text.find('\r', at) - at);
        if (test.fourDecimals) {
            EXPECT_EQ(line, test.fourDecimals) << test.what;
        } else {
            // Some entry needs more than four decimals; none is written with an exponent.
            bool longer = false;
            std::istringstream entries(line);
            for (std::string entry; entries >> entry;) {
                const size_t point = entry.find('.');
                longer = longer || (point != std::string::npos && entry.size() - point - 1 > 4);
            }
            EXPECT_TRUE(longer) << test.what << ": " << line;
            EXPECT_EQ(line.find_first_of("eE"), std::string::npos) << test.what << ": " << line;
        }

        brix::TMatrix4<double> read;
        for (int r = 0; r < 4; ++r)
            for (int col = 0; col < 4; ++col) read.m[r][col] = rig.bones[0].invBaseMatrix.m[r][col];
        ASSERT_TRUE(read.InvertScaleAware()) << test.what << ": " << line;
        auto axisLength = [&](int r) { return std::hypot(test.world(r, 0), test.world(r, 1), test.world(r, 2)); };
        const double size = std::max({axisLength(0), axisLength(1), axisLength(2)});
        for (int r = 0; r < 4; ++r) {
            const double length = r == 3 ? size : axisLength(r);
            const double moved = std::hypot(read.m[r][0] - test.world(r, 0), read.m[r][1] - test.world(r, 1),
                                            read.m[r][2] - test.world(r, 2));
            EXPECT_LE(moved, 1e-5 * length) << test.what << ", row " << r << ": " << line;
        }
    }
}

TEST_F(WorldBindPose, NonJointInfluenceInASceneWithoutJointsWritesNoBoneIndex) {
    standin::setUpAxis(false);
    const MObject shape = Triangle(MObject::kNullObj);
    MObjectArray influences;
    influences.append(standin::makeTransform("handle"));
    ASSERT_FALSE(standin::bindSkin(shape, influences).isNull());

    const ExportedRig rig = ExportAndRead();
    ASSERT_EQ(rig.code, 0);
    EXPECT_EQ(rig.text.find("weights"), std::string::npos) << rig.text;
    EXPECT_NE(
        Warnings().find("Influence \"handle\" of mesh \"body\" is not an exported joint. Its weights are left out."),
        std::string::npos)
        << Warnings();
    // The file reads back: one mesh, no bones.
    ASSERT_TRUE(rig.read);
    EXPECT_EQ(rig.bones.Num(), 0);
    EXPECT_EQ(rig.meshes.Num(), 1);
}

}  // namespace
