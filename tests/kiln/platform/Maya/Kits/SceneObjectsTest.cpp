#include <maya/MFnDagNode.h>
#include <maya/MStringArray.h>

#include "platform/Maya/Kits/HJointKit.h"
#include "platform/Maya/Kits/HNodeKit.h"
#include "support/HostConsole.h"

using namespace kiln::platform_maya;
using kiln_test::HostTest;

namespace {
std::string Names(const brix::UArray<HObject>& objects) {
    std::string names;
    for (const HObject& object : objects) {
        HNodeKit kit(object);
        names += std::string(names.empty() ? "" : " ") + kit.GetName().c_str();
    }
    return names;
}
}  // namespace

using SceneObjects = HostTest;

TEST_F(SceneObjects, ListsVisibleMeshesOnceThenJoints) {
    MObject root = standin::makeJoint("root");
    MObject shape = standin::makeCube("body");
    MObjectArray influences;
    influences.append(root);
    ASSERT_FALSE(standin::bindSkin(shape, influences).isNull());  // adds an intermediate shape
    MObject group = standin::makeTransform("group");
    standin::makeInstance(shape, group);  // a second path to the same shape
    standin::makeJoint("child", root);

    EXPECT_EQ(Names(GetSceneObjects(OBJECT_MESH, false)), "bodyShape");
    EXPECT_EQ(Names(GetSceneObjects(OBJECT_MESH | OBJECT_JOINT, false)), "bodyShape root child");
    EXPECT_EQ(GetSceneObjects(0, false).Num(), 0);
}

TEST_F(SceneObjects, SelectionCountsThroughParentsAndGroups) {
    MObject group = standin::makeTransform("group");
    MObject inner = standin::makeTransform("inner", group);
    standin::makeCube("a", 1.0, inner);
    standin::makeCube("b");
    EXPECT_EQ(Names(GetSceneObjects(OBJECT_MESH, true)), "");  // nothing selected

    MStringArray names;
    names.append("group");
    standin::select(names);
    EXPECT_EQ(Names(GetSceneObjects(OBJECT_MESH, true)), "aShape");
    names.clear();
    names.append("b");  // the transform above the shape
    standin::select(names);
    EXPECT_EQ(Names(GetSceneObjects(OBJECT_MESH, true)), "bShape");
}

TEST_F(SceneObjects, ParentsAndMatrices) {
    MObject group = standin::makeTransform("group", MObject::kNullObj, standin::translation(1, 0, 0));
    MObject root = standin::makeJoint("root", group, standin::translation(0, 2, 0));
    MObject child = standin::makeJoint("child", root);
    MObject top = standin::makeJoint("top");

    HNodeKit rootKit{HObject(root)}, childKit{HObject(child)}, topKit{HObject(top)};
    EXPECT_TRUE(HNodeKit::GetParent(topKit).IsNull());
    HNodeKit parentOfChild(HNodeKit::GetParent(childKit));
    EXPECT_STREQ(parentOfChild.GetName().c_str(), "root");
    HNodeKit parentOfRoot(HNodeKit::GetParent(rootKit));
    EXPECT_STREQ(parentOfRoot.GetName().c_str(), "group");  // not a joint, still the parent

    HMatrix world = HMatrix::Identity(), local = HMatrix::Identity(), other;
    rootKit.GetMatrix(world, SPACE_WORLD);
    rootKit.GetMatrix(local, SPACE_LOCAL);
    EXPECT_EQ(world.m[3][0], 1.0f);
    EXPECT_EQ(world.m[3][1], 2.0f);
    EXPECT_EQ(local.m[3][0], 0.0f);
    EXPECT_EQ(local.m[3][1], 2.0f);
    rootKit.GetMatrix(other, 5);
    EXPECT_EQ(other, HMatrix::Identity());

    // Setting a world matrix places the joint there under its parent.
    HMatrix placed = HMatrix::Identity();
    placed.m[3][0] = 5;
    EXPECT_EQ(childKit.SetMatrix(placed, 2).GetCode(), HStatus::INVALID_PARAMETER);
    EXPECT_EQ(childKit.SetMatrix(placed, SPACE_WORLD).GetCode(), HStatus::SUCCESS);
    childKit.GetMatrix(world, SPACE_WORLD);
    childKit.GetMatrix(local, SPACE_LOCAL);
    EXPECT_EQ(world.m[3][0], 5.0f);
    EXPECT_EQ(local.m[3][0], 4.0f);
    EXPECT_EQ(local.m[3][1], -2.0f);
}

TEST_F(SceneObjects, NamesAndStatusTranslation) {
    MObject joint = standin::makeJoint("ab");
    HNodeKit kit{HObject(joint)};
    EXPECT_TRUE(kit.SetName(brix::UString("renamed")).IsOk());
    EXPECT_STREQ(kit.GetName().c_str(), "renamed");
    EXPECT_STREQ(kit.GetFullPathName().c_str(), "|renamed");
    HNodeKit none{HObject()};
    EXPECT_STREQ(none.GetName().c_str(), "");

    const int expected[] = {0, 1, 3, 2, 4, 5, 6, 7, 7, 1};
    for (int code = 0; code <= 9; ++code)
        EXPECT_EQ(HStatus::FromHost(MStatus(static_cast<MStatus::MStatusCode>(code))), expected[code]) << code;
}

TEST_F(SceneObjects, BindPoseMatrixOfUnboundAndBoundJoints) {
    MObject free = standin::makeJoint("free", MObject::kNullObj, standin::translation(3, 0, 0));
    HNodeKit freeKit{HObject(free)};
    HMatrix matrix = HMatrix::Identity();
    HJointKit::GetBindPoseMatrix(freeKit, matrix);
    EXPECT_EQ(matrix.m[3][0], 3.0f);  // the current world matrix

    MObject bound = standin::makeJoint("bound", MObject::kNullObj, standin::translation(1, 0, 0));
    MObjectArray influences;
    influences.append(bound);
    standin::bindSkin(standin::makeCube("skin"), influences);
    standin::setLocalMatrix(bound, standin::translation(9, 0, 0));  // posed after binding
    HNodeKit boundKit{HObject(bound)};
    HJointKit::GetBindPoseMatrix(boundKit, matrix);
    EXPECT_FLOAT_EQ(matrix.m[3][0], 1.0f);

    HNodeKit notAJoint{HObject(standin::makeTransform("t"))};
    HMatrix untouched = HMatrix::Identity();
    untouched.m[0][1] = 42;
    HJointKit::GetBindPoseMatrix(notAJoint, untouched);
    EXPECT_EQ(untouched.m[0][1], 42.0f);
}
