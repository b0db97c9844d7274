#include <maya/MDGModifier.h>
#include <maya/MDoubleArray.h>
#include <maya/MFloatArray.h>
#include <maya/MFloatPointArray.h>
#include <maya/MFnDagNode.h>
#include <maya/MFnDependencyNode.h>
#include <maya/MFnMesh.h>
#include <maya/MFnMeshData.h>
#include <maya/MFnSkinCluster.h>
#include <maya/MIntArray.h>
#include <maya/MItDependencyNodes.h>
#include <maya/MItGeometry.h>
#include <maya/MPlug.h>
#include <maya/MPlugArray.h>

#include <vector>

#include "platform/Maya/Kits/HPolygonMeshKit.h"
#include "support/HostConsole.h"

using namespace kiln::platform_maya;
using brix::UArray;
using kiln_test::HostTest;
using MeshKit = HPolygonMeshKit<float>;

namespace {
// A cube bound to joints a (at the origin) and b (at x = 1) with per-vertex weights
// 0.5, 0.0 on the first vertex and 0.0, 0.0 on the second, 1.0 elsewhere on a.
struct SkinnedCube {
    MObject a, b, shape, cluster;
    SkinnedCube() {
        a = standin::makeJoint("a");
        b = standin::makeJoint("b", MObject::kNullObj, standin::translation(1, 0, 0));
        shape = standin::makeCube("box");
        MObjectArray influences;
        influences.append(a);
        influences.append(b);
        MDoubleArray weights;
        for (int v = 0; v < 8; ++v) {
            weights.append(v == 0 ? 0.5 : v == 1 ? 0.0 : 1.0);
            weights.append(v == 0 ? 0.5 : 0.0);
        }
        cluster = standin::bindSkin(shape, influences, weights);
    }
};
}  // namespace

using SkinKit = HostTest;

TEST_F(SkinKit, NonZeroWeightsGroupedByVertex) {
    SkinnedCube rig;
    ASSERT_FALSE(rig.cluster.isNull());
    MeshKit kit{HObject(rig.shape)};
    EXPECT_EQ(kit.FindSkinClusters().Num(), 1);
    EXPECT_EQ(kit.GetNumVertexWeights(), 8);  // 2 + 0 + 6 * 1
    HStatus status;
    UArray<float> weights;
    UArray<unsigned int> influences, counts;
    kit.GetVertexWeights(status, weights, influences, counts);
    EXPECT_TRUE(status.IsOk());
    ASSERT_EQ(counts.Num(), 8);
    EXPECT_EQ(counts[0], 2u);
    EXPECT_EQ(counts[1], 0u);
    EXPECT_EQ(counts[2], 1u);
    ASSERT_EQ(weights.Num(), 8);
    EXPECT_EQ(weights[0], 0.5f);
    EXPECT_EQ(influences[1], 1u);
    UArray<HObject> joints;
    kit.GetJoints(status, joints);
    ASSERT_EQ(joints.Num(), 2);
    EXPECT_TRUE(joints[1].GetObject() == rig.b);
}

TEST_F(SkinKit, ThroughAnIntermediateShapeAndASecondDeformer) {
    SkinnedCube rig;
    ASSERT_FALSE(standin::insertTweak(rig.shape, true).isNull());  // cluster -> shape -> tweak -> mesh
    MeshKit kit{HObject(rig.shape)};
    EXPECT_EQ(kit.FindSkinClusters().Num(), 1);
    EXPECT_EQ(kit.GetNumVertexWeights(), 8);
    EXPECT_EQ(Warnings(), "");
}

// The second cluster reaches the mesh through an intermediate shape and the first
// cluster, so both count.
TEST_F(SkinKit, TwoSkinClustersAreRefusedWithAWarning) {
    SkinnedCube rig;
    MObjectArray influences;
    influences.append(rig.a);
    ASSERT_FALSE(standin::addUpstreamSkinCluster(rig.shape, influences).isNull());
    MeshKit kit{HObject(rig.shape)};
    EXPECT_EQ(kit.GetNumVertexWeights(), 0);
    HStatus status;
    UArray<HObject> joints;
    kit.GetJoints(status, joints);
    EXPECT_EQ(status.GetCode(), HStatus::FAILURE);
    EXPECT_EQ(Warnings(),
              "WARNING: Can't get number of vertex weights for mesh \"boxShape\". 2 skin clusters found - expected "
              "1.\r\n"
              "WARNING: Can't get joints for mesh \"boxShape\". 2 skin clusters found - expected 1.\r\n");
}

TEST_F(SkinKit, UnskinnedMesh) {
    MeshKit kit{HObject(standin::makeCube("box"))};
    HStatus status;
    UArray<HObject> joints;
    kit.GetJoints(status, joints);
    EXPECT_EQ(status.GetCode(), HStatus::NOT_FOUND);
    EXPECT_EQ(joints.Num(), 0);
    kit.SetGeometrySource(status, GEOMETRY_BIND_POSE);
    EXPECT_EQ(status.GetCode(), HStatus::INVALID_PARAMETER);
    EXPECT_EQ(kit.GetGeometrySource(), GEOMETRY_CURRENT);
    kit.SetGeometrySource(status, 5);
    EXPECT_EQ(status.GetCode(), HStatus::INVALID_PARAMETER);
    EXPECT_EQ(Warnings(), "");
}

TEST_F(SkinKit, BindPoseModeReadsTheBindPoseWhilePolygonWalksReadTheNode) {
    SkinnedCube rig;
    standin::setLocalMatrix(rig.a, standin::translation(0, 5, 0));  // pose: a moves up
    MeshKit kit{HObject(rig.shape)};
    HStatus status;
    UArray<MeshKit::Vector3> posed, bind;
    kit.GetVertices(status, posed, SPACE_WORLD);
    kit.SetGeometrySource(status, GEOMETRY_BIND_POSE);
    ASSERT_TRUE(status.IsOk());
    kit.GetVertices(status, bind, SPACE_WORLD);
    ASSERT_EQ(bind.Num(), 8);
    EXPECT_FLOAT_EQ(posed[2].y - bind[2].y, 5.0f);  // fully on a
    EXPECT_EQ(kit.GetNumPolygonVertices(), 24);
    UArray<unsigned int> normalIndices;
    kit.GetPolygonNormalIndices(status, normalIndices);
    EXPECT_EQ(normalIndices.Num(), 24);
    kit.SetGeometrySource(status, GEOMETRY_CURRENT);
    kit.GetVertices(status, bind, SPACE_WORLD);
    EXPECT_EQ(bind[2], posed[2]);
}

TEST_F(SkinKit, BindPoseObjectIsMeshDataThatAKitReadsDirectly) {
    SkinnedCube rig;
    MeshKit kit{HObject(rig.shape)};
    MObject data = kit.GetBindPoseGeometry();
    ASSERT_EQ(data.apiType(), MFn::kMeshData);
    EXPECT_EQ(Infos(), "");
    MeshKit dataKit{HObject(data)};
    EXPECT_EQ(dataKit.GetNumVertices(), 8);
    EXPECT_EQ(dataKit.GetNumPolygons(), 6);
    HStatus status;
    UArray<MeshKit::Vector3> points;
    dataKit.GetVertices(status, points, SPACE_WORLD);
    EXPECT_TRUE(status.IsOk());
    EXPECT_EQ(points.Num(), 8);
}

namespace {
MObject OnlySkinCluster() {
    MItDependencyNodes clusters(MFn::kSkinClusterFilter);
    return clusters.isDone() ? MObject::kNullObj : clusters.item();
}

// A cube bound by the skinCluster command to joints a and b; weights then set by the kit.
struct CommandBoundCube {
    MObject a, b, shape;
    MeshKit kit;
    CommandBoundCube()
        : a(standin::makeJoint("a")),
          b(standin::makeJoint("b", MObject::kNullObj, standin::translation(1, 0, 0))),
          shape(standin::makeCube("box")),
          kit(HObject(shape)) {
        UArray<HObject> joints;
        joints.Append(HObject(a));
        joints.Append(HObject(b));
        HStatus status;
        kit.CreateSkinCluster(status, joints);
    }
    // Weights of every vertex on a and b as the host holds them.
    std::vector<double> HostWeights() {
        MDagPath path;
        MFnDagNode(shape).getPath(path);
        std::vector<double> all;
        for (MItGeometry vertex(path); !vertex.isDone(); vertex.next())
            for (unsigned int i = 0; i < 2; ++i) {
                MDoubleArray w;
                MFnSkinCluster(OnlySkinCluster()).getWeights(path, vertex.component(), i, w);
                all.push_back(w.length() == 1 ? w[0] : -1.0);
            }
        return all;
    }
};
}  // namespace

TEST_F(SkinKit, SetWeightsReplaceTheCommandsWeightsExactly) {
    CommandBoundCube cube;
    // Vertex 0: 0.3 on b and 0.1 on a; vertex 1: nothing (leaves the deformer set);
    // the others 1.0 on b, which clears the command's weight on a.
    UArray<float> weights;
    MeshKit::IndexList influences, counts;
    for (int v = 0; v < 8; ++v) counts.Append(v == 0 ? 2u : v == 1 ? 0u : 1u);
    for (auto [influence, weight] :
         {std::pair{1u, 0.3f}, {0u, 0.1f}, {1u, 1.0f}, {1u, 1.0f}, {1u, 1.0f}, {1u, 1.0f}, {1u, 1.0f}, {1u, 1.0f}}) {
        influences.Append(influence);
        weights.Append(weight);
    }
    HStatus status;
    cube.kit.SetVertexWeights(status, weights, influences, counts);
    EXPECT_EQ(status.GetCode(), HStatus::SUCCESS);
    std::vector<double> expected = {double(0.1f), double(0.3f), 0.0, 0.0};
    for (int v = 2; v < 8; ++v) expected.insert(expected.end(), {0.0, 1.0});
    EXPECT_EQ(cube.HostWeights(), expected);
    const MIntArray members = standin::deformerSetVertices(OnlySkinCluster());
    std::vector<int> memberList;
    for (unsigned int i = 0; i < members.length(); ++i) memberList.push_back(members[i]);
    EXPECT_EQ(memberList, (std::vector<int>{0, 2, 3, 4, 5, 6, 7}));
}

TEST_F(SkinKit, AnInfluenceTheClusterLacksStopsAtThatVertex) {
    CommandBoundCube cube;
    const std::vector<double> before = cube.HostWeights();
    // Vertex 0 gets 0.75 on b; vertex 1 names influence 5 of a cluster of two.
    UArray<float> weights;
    MeshKit::IndexList influences, counts;
    for (int v = 0; v < 8; ++v) counts.Append(v < 2 ? 1u : 0u);
    influences.Append(1u);
    weights.Append(0.75f);
    influences.Append(5u);
    weights.Append(0.5f);
    HStatus status;
    cube.kit.SetVertexWeights(status, weights, influences, counts);
    EXPECT_NE(status.GetCode(), HStatus::SUCCESS);
    const std::vector<double> after = cube.HostWeights();
    EXPECT_EQ(after[0], 0.0);
    EXPECT_EQ(after[1], 0.75);
    // Vertex 1 was cleared before the refused weight; the rest was not reached.
    EXPECT_EQ(after[2], 0.0);
    EXPECT_EQ(after[3], 0.0);
    EXPECT_EQ(std::vector<double>(after.begin() + 4, after.end()),
              std::vector<double>(before.begin() + 4, before.end()));
}

// The one-pass search over all meshes finds for each mesh what its own search finds, in
// the same order: a directly skinned mesh, one reached also through an intermediate
// shape, and one without skin.
TEST_F(SkinKit, SkinClustersOfManyMeshesMatchEachMeshsOwnSearch) {
    SkinnedCube single;
    SkinnedCube twice;
    MObjectArray influences;
    influences.append(twice.a);
    ASSERT_FALSE(standin::addUpstreamSkinCluster(twice.shape, influences).isNull());
    const MObject bare = standin::makeCube("bare");
    UArray<HObject> meshes;
    for (const MObject& shape : {single.shape, twice.shape, bare}) meshes.Append(HObject(shape));
    UArray<UArray<MeshKit::Skin_Plug>> found;
    MeshKit::FindSkinClustersOf(meshes, found);
    ASSERT_EQ(found.Num(), 3);
    const int expectedCounts[] = {1, 2, 0};
    for (int32_t m = 0; m < meshes.Num(); ++m) {
        MeshKit kit(meshes[m]);
        UArray<MeshKit::Skin_Plug> own = kit.FindSkinClusters();
        ASSERT_EQ(found[m].Num(), expectedCounts[m]) << m;
        ASSERT_EQ(own.Num(), found[m].Num()) << m;
        for (int32_t i = 0; i < own.Num(); ++i) {
            EXPECT_TRUE(own[i].skinCluster.object() == found[m][i].skinCluster.object()) << m << " " << i;
            EXPECT_EQ(own[i].geometryIndex, found[m][i].geometryIndex) << m << " " << i;
        }
    }
}
