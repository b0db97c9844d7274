#include <gtest/gtest.h>

#include <maya/MFnDagNode.h>
#include <maya/MFnDependencyNode.h>
#include <maya/MFnMesh.h>
#include <maya/MFnSkinCluster.h>
#include <maya/MItDependencyNodes.h>
#include <maya/MItGeometry.h>

#include <algorithm>

#include "support/PluginHostTest.h"
#include "support/RigCompare.h"

using plugin_test::PluginHostTest;

namespace {
const char kTriangle[] =
    "vertices { 0 0 0 1 0 0 0 1 0 } normals { 0 0 1 } polygonVertexCounts { 3 } "
    "polygonVertexIndices { 0 1 2 } polygonNormalIndices { 0 0 0 } ";

std::string Mesh(const char* name, const std::string& extra = "", const char* geometry = kTriangle) {
    return std::string("mesh 0 { name \"") + name + "\" " + geometry + extra + " }";
}

MString ParentName(const char* joint) {
    MFnDagNode node(standin::nodeByName(joint));
    MFnDagNode parent(node.parent(0));
    return parent.name();
}
}  // namespace

using ImportDriver = PluginHostTest;

// A damaged file draws the damaged-file warning as it always read, then an info line
// with the rule and the byte and line where it was found (left out where the reader
// cannot tell them); nothing is built.
TEST_F(ImportDriver, DamagedFilesAreRejectedWithOneWarningAndTheirRule) {
    const std::string nulInName = std::string("numBones 1 bone 0 { name \"a") + '\0' + "b\" } numMeshes 0";
    struct Case {
        std::string text;
        const char* info;
    } cases[] = {
        {"version 2", "at byte 8, line 1: a version other than 1"},
        {"version 1.0", "at byte 8, line 1: a version other than 1"},
        {"numBones 5000", "at byte 0, line 1: a count that is negative or not below 5000"},
        {"numBones -1", "at byte 0, line 1: a count that is negative or not below 5000"},
        {"bone 0 { name \"a\" }", "at byte 0, line 1: a bone or mesh index outside its count"},
        {"numMeshes 1 mesh 0 { textureCoordinates { set 1 { 0 0 } } }",
         "at byte 42, line 1: a UV set entry that is not the next set 0, 1, 2, ... or not below 5000"},
        {"numBones 1 bone 0 { name \"a\" } numMeshes 1 mesh 3 { }",
         "at byte 43, line 1: a bone or mesh index outside its count"},
        // cut short: inside a block, and between the bones and the meshes
        {"numBones 1 bone 0 { name \"a\" } numMeshes 1 mesh 0 { name \"m\" vertices { 0 0",
         "at byte 75, line 1: the file ends inside a block or a quoted string"},
        {"numBones 2 bone 0 { name \"a\" } bone 1 { name \"b\" }\r\n",
         "at byte 52, line 2: the file ends after its bones without a mesh count"},
        {nulInName, "at byte 27, line 1: a NUL byte in a text file"},
        {"numMeshes 1 mesh 0 { vertices { 0 0 7x } }",
         "at byte 36, line 1: a token that is not a number where a number belongs"},
        {"numMeshes 1 mesh 0 m", "at byte 19, line 1: a token that is not a block where a block belongs"},
        {"version {1}", "at byte 8, line 1: a block where a word or quoted string belongs"},
        {"version 1\nnumBones 1\nbone 0 { name \"a\" }\nnumMeshes 1\nmesh 0 { vertices { 0 0 7x } }",
         "at byte 77, line 5: a token that is not a number where a number belongs"},
        {"version 1 numBones 1 bone 0 " + std::string(1200, '{') + std::string(1200, '}'),
         "text the tokenizer cannot read to its end (blocks nested too deeply)"},
    };
    for (const Case& c : cases) {
        standin::resetScene();
        const unsigned int nodesBefore = standin::allNodes().length();
        EXPECT_EQ(Import(c.text, "", "broken.tsl"), 1) << c.text;
        EXPECT_EQ(standin::allNodes().length(), nodesBefore) << c.text;
        EXPECT_EQ(Warnings(), "WARNING: Can't handle file \"broken.tsl\". Some data is missing or corrupt.\r\n")
            << c.text;
        EXPECT_EQ(Infos(), std::string(c.info) + "\r\n") << c.text;
    }
}

TEST_F(ImportDriver, AcceptedFilesBuildWhatTheyHold) {
    const unsigned int nodesBefore = standin::allNodes().length();
    EXPECT_EQ(Import("version 1"), 0);
    EXPECT_EQ(Import("version \"1\" numBones 0 numMeshes 0"), 0);
    EXPECT_EQ(standin::allNodes().length(), nodesBefore);
    EXPECT_EQ(Import("numBones 1 bone 0 { name \"a\" } numBones 1 bone 0 { name \"b\" } comment \"x\" numMeshes 0"), 0);
    EXPECT_TRUE(standin::nodeByName("a").isNull());  // discarded by the second count
    EXPECT_FALSE(standin::nodeByName("b").isNull());
    EXPECT_EQ(Warnings(), "WARNING: File \"rig.tsl\": a later bone count discards the bones read before it (1).\r\n");
}

// Two rig files one after the other read as the second, and the records of the first
// that were read and lost are counted in a warning per kind.
TEST_F(ImportDriver, ConcatenatedRigsBuildTheSecondAndSayWhatTheFirstLost) {
    const std::string data = std::string(TESSALINE_TEST_DATA) + "/rig/";
    EXPECT_EQ(Import(ReadFile(data + "skinned.tsl") + ReadFile(data + "unskinned.tsl"), "", "both.tsl"), 0);
    EXPECT_FALSE(standin::nodeByName("crate").isNull());
    for (const char* lost : {"body", "hips", "spine"}) EXPECT_TRUE(standin::nodeByName(lost).isNull()) << lost;
    EXPECT_EQ(Warnings(),
              "WARNING: File \"both.tsl\": a later bone count discards the bones read before it (2).\r\n"
              "WARNING: File \"both.tsl\": a later mesh count discards the meshes read before it (1).\r\n"
              "WARNING: File \"both.tsl\": its materials are not imported; the meshes are built without material "
              "names and polygon materials.\r\n");
}

// Materials named in a file are not built, and a file that names some says so once; an
// empty material list, as a mesh without shading groups is written, says nothing.
TEST_F(ImportDriver, MaterialsNamedInAFileAreSaidToBeLeftOut) {
    const std::string mesh =
        "numBones 0 numMeshes 2 mesh 0 { name a vertices { 0 0 0 1 0 0 0 1 0 } "
        "polygonVertexCounts { 3 } polygonVertexIndices { 0 1 2 } ";
    const std::string second = " mesh 1 { name b materialNames { \"m\" } }";
    const std::string leftOut =
        "WARNING: File \"rig.tsl\": its materials are not imported; the meshes are built "
        "without material names and polygon materials.\r\n";
    const struct {
        std::string text, warnings;
    } cases[] = {
        {mesh + "materialNames { \"skin\" \"cloth\" } polygonMaterialIndices { 1 } }" + second, leftOut},
        {mesh + "materialNames { \r\n\t} polygonMaterialIndices { 0 } } mesh 1 { name b }", ""},
        {mesh + "} mesh 1 { name b }", ""},
    };
    for (const auto& c : cases) {
        standin::resetScene();
        EXPECT_EQ(Import(c.text), 0) << c.text;
        EXPECT_EQ(Warnings(), c.warnings) << c.text;
        EXPECT_FALSE(standin::nodeByName("a").isNull()) << c.text;
    }
}

TEST_F(ImportDriver, OptionsAreReported) {
    EXPECT_EQ(Import("version 1", "scale=2"), 0);
    EXPECT_EQ(Import("version 1", "scale"), 0);
    EXPECT_EQ(Warnings(),
              "WARNING: Unknown argument \"scale\". Ignoring argument.\r\n"
              "WARNING: Wrong number of parameters for command line argument \"scale\". Ignoring "
              "argument.\r\n");
}

TEST_F(ImportDriver, JointsAreBuiltParentsFirstWhateverTheOrder) {
    standin::setUpAxis(false);
    EXPECT_EQ(Import("numBones 6 "
                     "bone 0 { name \"child\" parent \"root\" invBaseMatrix 1 0 0 0 0 1 0 0 0 0 1 0 0 -3 0 1 } "
                     "bone 1 { name \"root\" parent \"\" invBaseMatrix 1 0 0 0 0 1 0 0 0 0 1 0 0 -1 0 1 } "
                     "bone 2 { name \"orphan\" parent \"nobody\" } "
                     "bone 3 { name \"p\" parent \"q\" } bone 4 { name \"q\" parent \"p\" } "
                     "bone 5 { parent \"root\" } numMeshes 0"),
              0);
    EXPECT_EQ(ParentName("child"), "root");
    EXPECT_EQ(ParentName("orphan"), "world");
    // A cycle ends: each bone is made once, one of them at the root.
    EXPECT_FALSE(standin::nodeByName("p").isNull());
    EXPECT_FALSE(standin::nodeByName("q").isNull());
    EXPECT_TRUE(ParentName("p") == "q" || ParentName("q") == "p");
    // The child sits at its bind pose in world space: y = 3, one below its parent's 1.
    const MMatrix world = standin::worldMatrix(standin::nodeByName("child"));
    EXPECT_DOUBLE_EQ(world(3, 1), 3.0);
    EXPECT_DOUBLE_EQ(standin::localMatrix(standin::nodeByName("child"))(3, 1), 2.0);
    EXPECT_EQ(Warnings(),
              "WARNING: Bone 5 of file \"rig.tsl\" has no name. It is not built and its weights are "
              "ignored.\r\n");
}

TEST_F(ImportDriver, YUpSceneConvertsPointsAndMatrices) {
    standin::setUpAxis(true);
    EXPECT_EQ(Import("numBones 1 bone 0 { name \"j\" invBaseMatrix 1 0 0 0 0 1 0 0 0 0 1 0 0 0 -5 1 } "
                     "numMeshes 1 mesh 0 { name \"m\" vertices { 1 2 3 1 0 0 0 1 0 } polygonVertexCounts { 3 } "
                     "polygonVertexIndices { 0 1 2 } }"),
              0);
    MFnMesh mesh(MFnDagNode(standin::nodeByName("m")).child(0));
    MFloatPointArray points;
    mesh.getPoints(points, MSpace::kWorld);
    EXPECT_FLOAT_EQ(points[0].x, 1);
    EXPECT_FLOAT_EQ(points[0].y, 3);
    EXPECT_FLOAT_EQ(points[0].z, -2);
    // The joint was at z = 5 in the Z-up file: y = 5 in the Y-up scene.
    EXPECT_DOUBLE_EQ(standin::worldMatrix(standin::nodeByName("j"))(3, 1), 5.0);
}

TEST_F(ImportDriver, WeightsAreStoredAsReadAndZeroCountsLeaveTheDeformerSet) {
    standin::setUpAxis(false);
    EXPECT_EQ(Import("numBones 2 bone 0 { name \"a\" } bone 1 { name \"b\" } numMeshes 1 " +
                     Mesh("m", "vertexWeightCounts { 2 0 1 } weights { 0 0.5 1 0.2 1 1 }")),
              0);
    MObject cluster;
    for (MItDependencyNodes it(MFn::kSkinClusterFilter); !it.isDone(); it.next()) cluster = it.item();
    ASSERT_FALSE(cluster.isNull());
    MFnSkinCluster skin(cluster);
    MDagPath path;
    MFnDagNode(MFnDagNode(standin::nodeByName("m")).child(0)).getPath(path);
    MItGeometry vertices(path);
    MDoubleArray weight;
    ASSERT_TRUE(skin.getWeights(path, vertices.component(), 0, weight));
    EXPECT_DOUBLE_EQ(weight[0], 0.5);
    ASSERT_TRUE(skin.getWeights(path, vertices.component(), 1, weight));
    EXPECT_FLOAT_EQ(float(weight[0]), 0.2f);  // not rescaled to sum to 1
    const MIntArray members = standin::deformerSetVertices(cluster);
    ASSERT_EQ(members.length(), 2u);
    EXPECT_EQ(members[0], 0);
    EXPECT_EQ(members[1], 2);
}

// A bone listed more than once for one vertex gets the sum of its weights, as the host
// adds repeated influences; nothing is dropped, so nothing is said.
TEST_F(ImportDriver, ABoneListedTwiceForAVertexGetsTheSumOfItsWeights) {
    standin::setUpAxis(false);
    EXPECT_EQ(Import("numBones 2 bone 0 { name \"a\" } bone 1 { name \"b\" } numMeshes 1 " +
                     Mesh("m",
                          "vertexWeightCounts { 3 3 1 } "
                          "weights { 0 0.25 1 0.5 0 0.25  1 0.25 1 0.25 1 0.5  0 1 }")),
              0);
    EXPECT_EQ(Warnings(), "");
    MObject cluster;
    for (MItDependencyNodes it(MFn::kSkinClusterFilter); !it.isDone(); it.next()) cluster = it.item();
    ASSERT_FALSE(cluster.isNull());
    MFnSkinCluster skin(cluster);
    MDagPath path;
    MFnDagNode(MFnDagNode(standin::nodeByName("m")).child(0)).getPath(path);
    const double expected[3][2] = {{0.5, 0.5}, {0.0, 1.0}, {1.0, 0.0}};  // per vertex, per influence
    int v = 0;
    for (MItGeometry vertex(path); !vertex.isDone(); vertex.next(), ++v)
        for (unsigned int influence = 0; influence < 2; ++influence) {
            MDoubleArray weight;
            ASSERT_TRUE(skin.getWeights(path, vertex.component(), influence, weight));
            EXPECT_DOUBLE_EQ(weight[0], expected[v][influence]) << "vertex " << v << ", influence " << influence;
        }
    EXPECT_EQ(v, 3);
}

// Each building step is checked on its own: a step that cannot be taken is left out
// with a warning naming the mesh, and only geometry that cannot be built costs the mesh.
TEST_F(ImportDriver, EachBuildingStepIsCheckedOnItsOwn) {
    const std::string triangle =
        "vertices { 0 0 0 1 0 0 0 1 0 } normals { 0 0 1 } polygonVertexCounts { 3 } "
        "polygonVertexIndices { 0 1 2 } ";
    const std::string uvs = "textureCoordinates { set 0 { 0 0 1 0 0 1 } } ";
    struct Case {
        const char* name;
        std::string body;
        std::string warnings;  // every warning, without its prefix, one per line
        bool built;
        int uvSets;
        bool set0Mapped;
        bool skinned;
    } cases[] = {
        {"badVertex", "vertices { 0 0 0 } polygonVertexCounts { 3 } polygonVertexIndices { 0 1 0 }",
         "Can't build mesh \"badVertex\": a polygon vertex index is past the end of its vertex list. It is skipped.",
         false, 0, false, false},
        {"badCounts", triangle + "polygonVertexCounts { 3 }",
         "Can't build mesh \"badCounts\": its polygon vertex counts do not match its polygon vertex indices. It is "
         "skipped.",
         false, 0, false, false},
        {"twoCorners", "vertices { 0 0 0 1 0 0 } polygonVertexCounts { 2 } polygonVertexIndices { 0 1 }",
         "Can't build mesh \"twoCorners\": a polygon has fewer than 3 corners. It is skipped.", false, 0, false, false},
        {"badNormal", triangle + "polygonNormalIndices { 0 0 1 }",
         "Mesh \"badNormal\" keeps its default normals: a normal index is past the end of its normal list.", true, 1,
         false, false},
        {"fewNormals", triangle + "polygonNormalIndices { 0 0 }",
         "Mesh \"fewNormals\" keeps its default normals: its normal indices do not match its face vertices.", true, 1,
         false, false},
        {"shortUVs", triangle + uvs + "polygonTexCoordIndices { set 0 { 0 1 } }",
         "UV set 0 of mesh \"shortUVs\" is left empty: it has fewer texture coordinate indices than face vertices.",
         true, 1, false, false},
        {"badUV", triangle + uvs + "polygonTexCoordIndices { set 0 { 0 1 3 } }",
         "UV set 0 of mesh \"badUV\" is left empty: a texture coordinate index is past the end of the set.", true, 1,
         false, false},
        // An empty later set as the writer leaves it: built, and left unmapped.
        {"emptySet1",
         triangle + "textureCoordinates { set 0 { 0 0 1 0 0 1 } set 1 { } } "
                    "polygonTexCoordIndices { set 0 { 0 1 2 } set 1 { 0 0 0 } }",
         "", true, 2, true, false},
        // A bad set 0 is left empty and set 1 still gets its own place.
        {"badSet0",
         triangle + "textureCoordinates { set 0 { 0 0 } set 1 { 0 0 1 0 0 1 } } "
                    "polygonTexCoordIndices { set 0 { 0 0 5 } set 1 { 0 1 2 } }",
         "UV set 0 of mesh \"badSet0\" is left empty: a texture coordinate index is past the end of the set.", true, 2,
         false, false},
        {"manyWeights", triangle + "vertexWeightCounts { 1 1 2 } weights { 0 1 0 1 0 1 }",
         "Can't build the skin of mesh \"manyWeights\": its weight counts add up to more weights than it holds.", true,
         1, false, false},
        {"fewCounts", triangle + "vertexWeightCounts { 1 1 } weights { 0 1 0 1 }",
         "Can't build the skin of mesh \"fewCounts\": its weight counts do not match its vertices.", true, 1, false,
         false},
        {"badBone", triangle + "vertexWeightCounts { 1 1 1 } weights { 0 1 0 1 7 1 }",
         "Mesh \"badBone\": weights naming a bone outside the file's bone list are dropped (1 of 3).", true, 1, false,
         true},
        // Pairs after the runs the counts ask for are not built.
        {"extraPairs", triangle + "vertexWeightCounts { 1 1 1 } weights { 0 1 0 1 0 1 0 0.5 0 0.5 }",
         "Mesh \"extraPairs\": weights beyond its weight counts are dropped (2 of 5).", true, 1, false, true},
        {"badAndExtra", triangle + "vertexWeightCounts { 1 1 1 } weights { 0 1 7 1 0 1 7 1 }",
         "Mesh \"badAndExtra\": weights naming a bone outside the file's bone list are dropped (1 of 4).\n"
         "Mesh \"badAndExtra\": weights beyond its weight counts are dropped (1 of 4).",
         true, 1, false, true},
        {"onlyBadBones", triangle + "vertexWeightCounts { 1 1 1 } weights { 3 1 3 1 7 1 }",
         "Mesh \"onlyBadBones\": weights naming a bone outside the file's bone list are dropped (3 of 3).\n"
         "Can't build the skin of mesh \"onlyBadBones\": none of its weights names a bone that has a joint.",
         true, 1, false, false},
    };
    for (const Case& c : cases) {
        standin::resetScene();
        EXPECT_EQ(Import("numBones 1 bone 0 { name \"j\" } numMeshes 2 " + Mesh("good") + " mesh 1 { name \"" + c.name +
                         "\" " + c.body + " }"),
                  0);
        EXPECT_FALSE(standin::nodeByName("good").isNull()) << c.name;
        const MObject transform = standin::nodeByName(c.name);
        ASSERT_EQ(!transform.isNull(), c.built) << c.name;
        std::string expected;
        for (size_t at = 0; at < c.warnings.size();) {
            const size_t end = std::min(c.warnings.find('\n', at), c.warnings.size());
            expected += "WARNING: " + c.warnings.substr(at, end - at) + "\r\n";
            at = end + 1;
        }
        EXPECT_EQ(Warnings(), expected) << c.name;
        if (!c.built) continue;
        MFnMesh mesh(MFnDagNode(transform).child(0));
        EXPECT_EQ(mesh.numUVSets(), c.uvSets) << c.name;
        MStringArray sets;
        mesh.getUVSetNames(sets);
        EXPECT_EQ(mesh.numUVs(sets[0]) > 0, c.set0Mapped) << c.name;
        if (c.uvSets > 1) {
            EXPECT_EQ(mesh.numUVs(sets[1]) > 0, !c.set0Mapped) << c.name;
        }
        unsigned int clusters = 0;
        for (MItDependencyNodes it(MFn::kSkinClusterFilter); !it.isDone(); it.next()) ++clusters;
        EXPECT_EQ(clusters, c.skinned ? 1u : 0u) << c.name;
    }
}

TEST_F(ImportDriver, UVSetsWithoutIndicesAreSkipped) {
    EXPECT_EQ(Import("numMeshes 1 " + Mesh("m",
                                           "textureCoordinates { set 0 { 0 0 1 0 0 1 } set 1 { 0.5 0.5 } } "
                                           "polygonTexCoordIndices { set 0 { 0 1 2 } }")),
              0);
    MFnMesh mesh(MFnDagNode(standin::nodeByName("m")).child(0));
    EXPECT_EQ(mesh.numUVSets(), 1);
    EXPECT_EQ(mesh.numUVs(), 3);
    EXPECT_EQ(Warnings(), "WARNING: UV set 1 of mesh \"m\" is not built: it has no texture coordinate indices.\r\n");
}

TEST_F(ImportDriver, SmallScaleBonesArePlacedAtTheirBindPose) {
    standin::setUpAxis(false);
    // A bone scaled by 100 (as rigs in centimetres are): its inverse bind matrix has
    // determinant 1e-6 and must still be inverted.
    EXPECT_EQ(Import("numBones 1 bone 0 { name \"big\" invBaseMatrix 0.01 0 0 0 0 0.01 0 0 0 0 0.01 0 0 0 -0.05 1 } "
                     "numMeshes 0"),
              0);
    const MMatrix world = standin::worldMatrix(standin::nodeByName("big"));
    EXPECT_NEAR(world(0, 0), 100.0, 1e-3);
    EXPECT_NEAR(world(3, 2), 5.0, 1e-4);
}

namespace {
const char kMappedTriangle[] =
    "vertices { 0 0 0 1 0 0 0 1 0 } normals { 0 0 1 } textureCoordinates { set 0 { 0 0 1 0 0 1 } } "
    "polygonVertexCounts { 3 } polygonVertexIndices { 0 1 2 } polygonNormalIndices { 0 0 0 } "
    "polygonTexCoordIndices { set 0 { 0 1 2 } } vertexWeightCounts { 2 1 1 } weights { 0 0.5 1 0.5 1 1 0 1 } ";
const char kTwoBones[] =
    "bone 0 { name \"%0\" parent \"\" invBaseMatrix 1 0 0 0 0 1 0 0 0 0 1 0 0 0 -1 1 } "
    "bone 1 { name \"%1\" parent \"%p\" invBaseMatrix 1 0 0 0 0 1 0 0 0 0 1 0 0 0 -2 1 } ";

std::string TwoBoneRig(const std::string& bone0, const std::string& bone1, const std::string& parent1,
                       const std::string& mesh) {
    std::string bones = kTwoBones;
    for (auto [key, value] : {std::pair{"%0", bone0}, {"%1", bone1}, {"%p", parent1}})
        bones.replace(bones.find(key), 2, value);
    return "version 1 numBones 2 " + bones + "numMeshes 1 mesh 0 { name \"" + mesh + "\" " + kMappedTriangle + "}";
}
}  // namespace

// Every bone becomes its own joint and keeps its weights, whatever its name: two bones
// of one name (the host names the second "a1"), and names holding spaces and semicolons,
// which the skinCluster command must take whole. Exported again, the rig is the same. A
// name no joint can have ("", or one holding "|") leaves the host's name, with a warning.
TEST_F(ImportDriver, EveryBoneKeepsItsJointAndWeightsWhateverItsName) {
    struct Case {
        std::string file;
        std::string exported;  // the rig the export describes
        std::string warnings;  // a name no joint can have is said to be replaced
    } cases[] = {
        {TwoBoneRig("a", "a", "", "m"), TwoBoneRig("a", "a1", "", "m"), ""},
        {TwoBoneRig("upper spine", "neck;x", "upper spine", "my mesh;1"),
         TwoBoneRig("upper spine", "neck;x", "upper spine", "my mesh;1"), ""},
        {TwoBoneRig("pipe|bar", "b", "", "m"), TwoBoneRig("joint1", "b", "", "m"),
         "WARNING: Bone 0 is named \"pipe|bar\", which a joint cannot be named. It is built as \"joint1\".\r\n"},
        // An empty name is no name: that bone is not built (its weights go with it).
        {TwoBoneRig("a", "", "", "m"), "",
         "WARNING: Bone 1 of file \"rig.tsl\" has no name. It is not built and its weights are ignored.\r\n"},
    };
    for (const Case& c : cases) {
        standin::resetScene();
        standin::setUpAxis(false);
        EXPECT_EQ(Import(c.file), 0) << c.file;
        EXPECT_EQ(Warnings(), c.warnings) << c.file;
        EXPECT_EQ(Console(standin::ConsoleKind::Error), "") << c.file;
        if (!c.exported.empty()) {
            EXPECT_EQ(plugin_test::RigDifference(c.exported, Export()), "") << c.file;
        }
    }
}
