#include <maya/MFloatArray.h>
#include <maya/MFnDagNode.h>
#include <maya/MFnMesh.h>
#include <maya/MIntArray.h>

#include "platform/Maya/Kits/HMaterialKit.h"
#include "platform/Maya/Kits/HPolygonMeshKit.h"
#include "support/HostConsole.h"

using namespace kiln::platform_maya;
using brix::UArray;
using kiln_test::HostTest;
using MeshKit = HPolygonMeshKit<float>;

namespace {
// A cube under a transform moved by (10, 0, 0).
MObject MovedCube(const char* name) {
    MObject group = standin::makeTransform("group", MObject::kNullObj, standin::translation(10, 0, 0));
    return standin::makeCube(name, 1.0, group);
}

// Gives set "map1" four UVs and maps the faces listed, leaving the others unmapped.
void MapFaces(const MObject& shape, std::initializer_list<int> mapped) {
    MFnMesh mesh(shape);
    MFloatArray u, v;
    for (float value : {0.0f, 1.0f, 1.0f, 0.0f}) u.append(value);
    for (float value : {0.0f, 0.0f, 1.0f, 1.0f}) v.append(value);
    const MString map1("map1");
    ASSERT_TRUE(mesh.setUVs(u, v, &map1));
    MIntArray counts, ids;
    for (int face = 0; face < mesh.numPolygons(); ++face) {
        const bool isMapped = std::find(mapped.begin(), mapped.end(), face) != mapped.end();
        counts.append(isMapped ? 4 : 0);
        if (isMapped)
            for (int id : {0, 1, 2, 3}) ids.append(id);
    }
    ASSERT_TRUE(mesh.assignUVs(counts, ids, &map1));
}
}  // namespace

using MeshKitGeometry = HostTest;

TEST_F(MeshKitGeometry, CountsWorldPositionsAndIndexLists) {
    MeshKit kit{HObject(MovedCube("box"))};
    EXPECT_EQ(kit.GetNumVertices(), 8);
    EXPECT_EQ(kit.GetNumPolygons(), 6);
    EXPECT_EQ(kit.GetNumEdges(), 12);
    EXPECT_EQ(kit.GetNumPolygonVertices(), 24);
    EXPECT_EQ(kit.GetNumUVSets(), 1);
    EXPECT_STREQ(kit.GetName().c_str(), "box");  // the transform, not the shape
    EXPECT_STREQ(kit.GetFullPathName().c_str(), "|group|box");

    HStatus status;
    UArray<MeshKit::Vector3> positions;
    kit.GetVertices(status, positions, SPACE_WORLD);
    EXPECT_TRUE(status.IsOk());
    ASSERT_EQ(positions.Num(), 8);
    for (const MeshKit::Vector3& p : positions) EXPECT_TRUE(p.x == 9.0f || p.x == 11.0f);

    UArray<unsigned int> indices, counts, normalIndices;
    kit.GetPolygonVertexIndices(status, indices, counts);
    EXPECT_EQ(counts.Num(), 6);
    EXPECT_EQ(indices.Num(), 24);
    kit.GetPolygonNormalIndices(status, normalIndices);
    EXPECT_EQ(normalIndices.Num(), 24);
    for (unsigned int index : normalIndices) EXPECT_LT(int(index), kit.GetNumNormals());

    EXPECT_TRUE(kit.SetName(brix::UString("renamed")).IsOk());
    EXPECT_STREQ(kit.GetName().c_str(), "renamed");
    MFnDagNode shape(kit.GetObject().m_object);
    EXPECT_EQ(shape.name(), "boxShape");

    EXPECT_THROW(kit.GetVertices(status, positions, 7), brix::ErrorDescription);
}

TEST_F(MeshKitGeometry, MeshWithoutUVSets) {
    MObject shape = standin::makeCube("box");
    ASSERT_TRUE(MFnMesh(shape).deleteUVSet("map1"));
    MeshKit kit{HObject(shape)};
    EXPECT_EQ(kit.GetNumUVSets(), 0);
    EXPECT_EQ(kit.GetNumUVs(), 0);
    EXPECT_EQ(kit.GetUVSetName(0), "");
    HStatus status;
    UArray<MeshKit::Vector2> uvs;
    UArray<unsigned int> indices;
    indices.Append(5);
    kit.GetTextureCoordinates(status, uvs, 0);
    EXPECT_EQ(status.GetCode(), HStatus::NOT_FOUND);
    kit.GetPolygonTexCoordIndices(status, indices, 0);
    EXPECT_EQ(status.GetCode(), HStatus::NOT_FOUND);
    EXPECT_EQ(indices.Num(), 0);
}

TEST_F(MeshKitGeometry, UnmappedFaceVerticesGetIndexZeroWithOneWarning) {
    MObject shape = standin::makeCube("box");
    MapFaces(shape, {0, 2});
    MeshKit kit{HObject(shape)};
    HStatus status;
    UArray<unsigned int> indices;
    kit.GetPolygonTexCoordIndices(status, indices, 0);
    EXPECT_TRUE(status.IsOk());
    ASSERT_EQ(indices.Num(), 24);
    EXPECT_EQ(indices[1], 1u);
    EXPECT_EQ(indices[4], 0u);  // face 1 unmapped
    EXPECT_EQ(indices[9], 1u);
    EXPECT_EQ(Warnings(),
              "WARNING: There are some (but not all) vertices of meshbox not having texture coordinates assigned to "
              "them. Texture coordinate index 0 will be used for them.\r\n");
}

TEST_F(MeshKitGeometry, UnmappedMeshWithoutUVsFailsWithoutWarning) {
    MeshKit kit{HObject(standin::makeCube("box"))};  // map1 exists but holds no UVs
    HStatus status;
    UArray<unsigned int> indices;
    kit.GetPolygonTexCoordIndices(status, indices, 0);
    EXPECT_FALSE(status.IsOk());
    EXPECT_EQ(indices.Num(), 0);
    EXPECT_EQ(Warnings(), "");
}

using MeshKitMaterials = HostTest;

TEST_F(MeshKitMaterials, GroupsInHostOrderAndNamedAfterTheirShader) {
    MObject shape = standin::makeCube("box");
    MObject a = standin::makeShadingGroup("groupA", "red");
    MObject b = standin::makeShadingGroup("groupB", "blue", "phong");
    MIntArray firstHalf, secondHalf;
    for (int f : {0, 1, 2}) firstHalf.append(f);
    for (int f : {3, 4, 5}) secondHalf.append(f);
    standin::assignFaces(shape, 0, a, firstHalf);
    standin::assignFaces(shape, 0, b, secondHalf);

    MeshKit kit{HObject(shape)};
    HStatus status;
    UArray<HObject> groups;
    kit.GetShadingGroups(status, groups);
    ASSERT_EQ(groups.Num(), 2);
    HMaterialKit first(groups[0]), second(groups[1]);
    EXPECT_STREQ(first.GetName().c_str(), "red");
    EXPECT_STREQ(second.GetName().c_str(), "blue");
    UArray<unsigned int> indices;
    kit.GetPolygonMaterialIndices(status, indices);
    EXPECT_TRUE(status.IsOk());
    const unsigned int expected[] = {0, 0, 0, 1, 1, 1};
    ASSERT_EQ(indices.Num(), 6);
    for (int p = 0; p < 6; ++p) EXPECT_EQ(indices[p], expected[p]);
    EXPECT_EQ(Warnings(), "");

    EXPECT_TRUE(first.SetName(brix::UString("crimson")).IsOk());
    EXPECT_STREQ(first.GetName().c_str(), "crimson");
    HNodeKit groupNode(groups[0]);
    EXPECT_STREQ(groupNode.GetName().c_str(), "groupA");
}

TEST_F(MeshKitMaterials, UnassignedPolygonsAreRepairedOnce) {
    struct Case {
        bool withInitialGroup;
        unsigned int replacement;
    } cases[] = {{true, 1}, {false, 0}};
    for (const Case& c : cases) {
        standin::resetScene();
        MObject shape = standin::makeCube("box");
        MIntArray faces;
        faces.append(0);
        standin::assignFaces(shape, 0, standin::makeShadingGroup("groupA", "red"), faces);
        if (c.withInitialGroup) {
            faces.clear();
            faces.append(1);
            standin::assignFaces(shape, 0, standin::nodeByName("initialShadingGroup"), faces);
        }
        MeshKit kit{HObject(shape)};
        HStatus status;
        UArray<unsigned int> indices;
        kit.GetPolygonMaterialIndices(status, indices);
        ASSERT_EQ(indices.Num(), 6);
        EXPECT_EQ(indices[0], 0u);
        EXPECT_EQ(indices[5], c.replacement);
        EXPECT_EQ(Warnings(),
                  "WARNING: One or more invalid material indices have been found for mesh \"boxShape\". "
                  "Using index " +
                      std::to_string(c.replacement) +
                      " instead. Verify that there aren't any polygons that are not linked to a shading "
                      "group.\r\n");
    }
}

TEST_F(MeshKitMaterials, MeshWithoutShadingGroupFailsQuietly) {
    MeshKit kit{HObject(standin::makeCube("box"))};
    HStatus status;
    UArray<unsigned int> indices;
    indices.Append(9);
    kit.GetPolygonMaterialIndices(status, indices);
    EXPECT_EQ(status.GetCode(), HStatus::FAILURE);
    // Emptied: a list left as it was could be written as this mesh's data.
    EXPECT_EQ(indices.Num(), 0);
    EXPECT_EQ(Warnings(), "");
    UArray<HObject> groups;
    kit.GetShadingGroups(status, groups);
    EXPECT_TRUE(status.IsOk());
    EXPECT_EQ(groups.Num(), 0);
}
