#include <gtest/gtest.h>

#include <maya/MFnDagNode.h>
#include <maya/MFnDependencyNode.h>
#include <maya/MFnMatrixData.h>
#include <maya/MPlug.h>

#include <cmath>
#include <limits>

#include "support/PluginHostTest.h"
#include "support/RigCompare.h"
#include "support/SampleScenes.h"

using plugin_test::PluginHostTest;

using ExportDriver = PluginHostTest;

TEST_F(ExportDriver, PosedRigIsWrittenInItsBindPose) {
    plugin_test::BuildScene("skinned");
    const std::string bindPose = Export();
    standin::setLocalMatrix(standin::nodeByName("hips"), standin::translation(0, 4, 2));
    standin::setLocalMatrix(standin::nodeByName("spine"), standin::translation(1, 1, 0));
    EXPECT_EQ(Export(), bindPose);
}

TEST_F(ExportDriver, SingularBindMatrixStopsInsideThatBone) {
    standin::setUpAxis(false);
    MMatrix flat;
    flat(1, 1) = 0;  // zero scale in y
    standin::makeJoint("ok");
    standin::makeJoint("flat", MObject::kNullObj, flat);
    int code = 0;
    const std::string text = Export("", false, &code);
    EXPECT_EQ(code, 1);
    const std::string ending = "bone 1 {\r\n\tname \"flat\"\r\n\tparent \"\"";
    ASSERT_GE(text.size(), ending.size());
    EXPECT_EQ(text.substr(text.size() - ending.size()), ending);
    // Errors, both: the joint and the reason in words, then the exception's record.
    EXPECT_EQ(Infos(), "");
    EXPECT_EQ(Errors(),
              "Can't export bone \"flat\": its bind matrix cannot be inverted (a zero scale, for example).\r\n"
              "The plugin throwed an exception:\r\nType:\r\nUNKNOWN\r\n\r\nMessage:\r\n'assure' failed: b\r\n\r\n"
              "History:\r\nTessalineExporter::Export()\r\n");
    const standin::ProgressState progress = standin::progressState();
    EXPECT_EQ(progress.beginCount, 1u);
    EXPECT_EQ(progress.endCount, 1u);
    EXPECT_FALSE(progress.active);
    ASSERT_GE(standin::commandLogCount(), 2u);
    EXPECT_EQ(standin::commandLogText(0),
              "global string $gMainProgressBar;progressBar -edit -beginProgress -isInterruptable true -status "
              "\"Progress...\" -maxValue 256 $gMainProgressBar;");
    EXPECT_EQ(standin::commandLogText(standin::commandLogCount() - 1),
              "progressBar -edit -endProgress $gMainProgressBar;");
}

TEST_F(ExportDriver, MoreJointsThanARigFileHoldsFailBeforeAnythingIsWritten) {
    // The reader refuses a count of 5000 or more, so such a file could never be read back.
    for (int j = 0; j < 5000; ++j) standin::makeJoint(("j" + std::to_string(j)).c_str());
    int code = 0;
    EXPECT_EQ(Export("", false, &code), "");
    EXPECT_EQ(code, 1);
    EXPECT_EQ(Errors(), "Can't export 5000 joints: a rig file holds fewer than 5000.\r\n");
}

TEST_F(ExportDriver, OptionsAreReportedAndChangeNothing) {
    plugin_test::BuildScene("bones");
    const std::string plain = Export();
    EXPECT_EQ(Export("scale=2"), plain);
    EXPECT_EQ(Export("scale;a=1=2"), plain);
    EXPECT_EQ(Warnings(),
              "WARNING: Unknown argument \"scale\". Ignoring argument.\r\n"
              "WARNING: Wrong number of parameters for command line argument \"scale\". Ignoring argument.\r\n"
              "WARNING: Wrong number of parameters for command line argument \"a\". Ignoring argument.\r\n");
}

TEST_F(ExportDriver, SelectionLimitsMeshesButNeverBones) {
    plugin_test::BuildScene("skinned");
    const std::string text = Export("", true);
    EXPECT_NE(text.find("numBones 2\r\n"), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 11), "numMeshes 0");
    MStringArray names;
    names.append("body");
    standin::select(names);
    EXPECT_EQ(Export("", true), Export("", false));
}

namespace {

// A bone turned by degrees about z and scaled, its head at (x, y, z).
MMatrix Pose(double degrees, double scale, double x, double y, double z) {
    const double angle = degrees * 3.14159265358979323846 / 180;
    const double c = std::cos(angle) * scale, s = std::sin(angle) * scale;
    const double rows[4][4] = {{c, s, 0, 0}, {-s, c, 0, 0}, {0, 0, scale, 0}, {x, y, z, 1}};
    return MMatrix(rows);
}

// Each entry of m changed by a relative noise of 3e-7, as candidates read from different
// skin clusters of one file differ.
MMatrix WithNoise(const MMatrix& m) {
    double rows[4][4];
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) rows[r][c] = m(r, c) * ((r + c) % 2 ? 1 + 3e-7 : 1 - 3e-7);
    return MMatrix(rows);
}

}  // namespace

// A bone bound to two meshes with two bind poses: the first is written, and poses that
// differ by more than float noise are reported.
TEST_F(ExportDriver, DistinctBindPosesAreReportedAndTheFirstWins) {
    const std::string kReport =
        "Can't export bones with multiple distinct bind poses. Please use the same bind pose when binding a bone two "
        "more than one mesh.\r\n";
    const MMatrix turned = Pose(30, 1, 12.3, 145.6, -7.8);
    const struct {
        const char* what;
        MMatrix first, second;
        bool reported;
    } kCases[] = {
        {"a move", standin::translation(1, 0, 0), standin::translation(2, 0, 0), true},
        {"noise only", turned, WithNoise(turned), false},
        {"noise only, centimetre scale", Pose(-70, 100, 3000, 15000, 250), WithNoise(Pose(-70, 100, 3000, 15000, 250)),
         false},
        // Half a degree turns the axes by 0.009, less than 1e-5 of the head's 1000.
        {"a turn far from the origin", Pose(0, 1, 1000, 0, 0), Pose(0.5, 1, 1000, 0, 0), true},
    };
    for (const auto& test : kCases) {
        standin::resetScene();
        standin::setUpAxis(false);
        MObject joint = standin::makeJoint("joint");
        const MFloatPoint p0(0, 0, 0), p1(1, 0, 0), p2(0, 1, 0);
        MObject first = plugin_test::Triangle("first", p0, p1, p2);
        MObject second = plugin_test::Triangle("second", p0, p1, p2);
        standin::bindSkin(first, plugin_test::Objects({joint}), MDoubleArray(), &test.first);
        standin::bindSkin(second, plugin_test::Objects({joint}), MDoubleArray(), &test.second);
        const std::string text = Export();
        EXPECT_EQ(Infos(), test.reported ? kReport : "") << test.what;
        // The first pose is the one written: its head and its x axis.
        brix::UArray<BoneData> bones;
        brix::UArray<MeshData> meshes;
        ASSERT_TRUE(plugin_test::ReadRig(text, bones, meshes)) << test.what;
        ASSERT_EQ(bones.Num(), 1) << test.what;
        RigMatrix world = bones[0].invBaseMatrix;
        ASSERT_TRUE(world.InvertScaleAware()) << test.what;
        const double head = std::hypot(test.first(3, 0), test.first(3, 1), test.first(3, 2));
        for (int c = 0; c < 3; ++c) {
            EXPECT_NEAR(world.m[3][c], test.first(3, c), 1e-5 * (1 + head)) << test.what;
            EXPECT_NEAR(world.m[0][c], test.first(0, c), 1e-5 * test.first(2, 2)) << test.what;
        }
    }
}

// The format cannot carry a double quote inside a name: it is written as '_', with one
// warning per name, and the file reads back whole.
TEST_F(ExportDriver, QuotesInNamesAreWrittenAsUnderscoresWithAWarning) {
    standin::setUpAxis(false);
    const MObject parent = standin::makeJoint("a\"b");
    standin::makeJoint("c", parent);
    plugin_test::Triangle("m\"1", MFloatPoint(0, 0, 0), MFloatPoint(1, 0, 0), MFloatPoint(0, 1, 0));
    const std::string text = Export();
    EXPECT_NE(text.find("name \"a_b\"\r\n\tparent \"\""), std::string::npos) << text;
    EXPECT_NE(text.find("name \"c\"\r\n\tparent \"a_b\""), std::string::npos) << text;
    EXPECT_NE(text.find("name \"m_1\""), std::string::npos) << text;
    EXPECT_EQ(Warnings(),
              "WARNING: Name \"a\"b\" holds a double quote, which a rig file cannot carry. It is written "
              "as \"a_b\".\r\n"
              "WARNING: Name \"m\"1\" holds a double quote, which a rig file cannot carry. It is written "
              "as \"m_1\".\r\n");
    standin::resetScene();
    standin::setUpAxis(false);
    EXPECT_EQ(Import(text), 0);
    EXPECT_FALSE(standin::nodeByName("m_1").isNull());
    EXPECT_EQ(MFnDagNode(standin::nodeByName("c")).fullPathName(), "|a_b|c");
}

// A mesh reached by two skin clusters gets no weights and one warning, however many
// bones the scene has.
TEST_F(ExportDriver, TwoSkinClustersAreReportedOncePerMesh) {
    standin::setUpAxis(false);
    const MObject a = standin::makeJoint("a");
    standin::makeJoint("b");
    standin::makeJoint("c");
    MObject shape = plugin_test::Triangle("tri", MFloatPoint(0, 0, 0), MFloatPoint(1, 0, 0), MFloatPoint(0, 1, 0));
    standin::bindSkin(shape, plugin_test::Objects({a}));
    ASSERT_FALSE(standin::addUpstreamSkinCluster(shape, plugin_test::Objects({a})).isNull());
    const std::string text = Export();
    EXPECT_EQ(text.find("weights {"), std::string::npos);
    const std::string warnings = Warnings();
    const std::string line = "Can't get joints for mesh \"triShape\". 2 skin clusters found - expected 1.";
    const size_t first = warnings.find(line);
    ASSERT_NE(first, std::string::npos) << warnings;
    EXPECT_EQ(warnings.find(line, first + 1), std::string::npos) << warnings;
}

// "nan" or "inf" in a file reads back as another value or not at all: the export fails
// at the mesh that held it and names it, and the caller keeps its old file.
TEST_F(ExportDriver, ANonFinitePositionFailsTheExportAndNamesTheMesh) {
    const float kValues[] = {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity()};
    for (float bad : kValues) {
        standin::resetScene();
        standin::setUpAxis(false);
        plugin_test::Triangle("fine", MFloatPoint(0, 0, 0), MFloatPoint(1, 0, 0), MFloatPoint(0, 1, 0));
        plugin_test::Triangle("broken", MFloatPoint(0, 0, 0), MFloatPoint(bad, 0, 0), MFloatPoint(0, 1, 0));
        int code = 0;
        const std::string text = Export("", false, &code);
        EXPECT_EQ(code, 1) << bad;
        EXPECT_EQ(Errors(),
                  "Can't export mesh \"broken\": a value under \"vertices\" is not a finite number, which a "
                  "rig file cannot carry.\r\n")
            << bad;
    }
}

TEST_F(ExportDriver, AMeshReadTheSceneRefusesFailsTheExportAndNamesTheRead) {
    // Each read used to go unchecked: the file was written without the data and the
    // export reported success.
    struct Case {
        const char* call;
        const char* what;
    } cases[] = {
        {"MFnMesh::getPoints", "vertices"},
        {"MFnMesh::getNormals", "normals"},
        {"MFnMesh::getUVs", "texture coordinates"},
        {"MFnMesh::getPolygonVertices", "polygons"},
        {"MItMeshPolygon::normalIndex", "normal indices"},
        {"MFnMesh::getConnectedShaders", "shading groups"},
        {"MFnSkinCluster::influenceObjects", "skin influences"},
    };
    plugin_test::BuildScene("skinned");
    const std::string whole = Export();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.call);
        const size_t seen = Errors().size();
        standin::failNextCall(c.call);
        int code = 0;
        Export("", false, &code);
        EXPECT_EQ(code, 1);
        EXPECT_EQ(Errors().substr(seen),
                  std::string("Can't export mesh \"body\": the scene did not give its ") + c.what + ".\r\n");
        // The fault was taken, and the scene reads whole again.
        EXPECT_EQ(Export(), whole);
    }
}
