// The DAG: paths, instancing, matrices, selection, reparenting and deletion.
#include "HostTest.h"

#include <maya/MDagModifier.h>
#include <maya/MDagPathArray.h>
#include <maya/MFnDagNode.h>
#include <maya/MFnIkJoint.h>
#include <maya/MFnTransform.h>
#include <maya/MGlobal.h>
#include <maya/MItDependencyNodes.h>
#include <maya/MSelectionList.h>

namespace {
MDagPath pathOf(const MObject& node) {
  MDagPath p;
  MFnDagNode(node).getPath(p);
  return p;
}
}  // namespace

class HostDag : public HostTest {};

TEST_F(HostDag, InstancedShapeHasTwoPathsButIsIteratedOnce) {
  MObject a = standin::makeTransform("a");
  MObject b = standin::makeTransform("b", MObject::kNullObj, standin::translation(0, 0, 5));
  MObject shape = standin::makeCube("box", 1.0, a);
  MObject box = MFnDagNode(shape).parent(0);
  MDagPath second = standin::makeInstance(box, b);
  ASSERT_TRUE(second.isValid());

  MDagPathArray paths;
  ASSERT_TRUE(MDagPath::getAllPathsTo(shape, paths));
  ASSERT_EQ(paths.length(), 2u);
  EXPECT_EQ(s(paths[0].fullPathName()), "|a|box|boxShape");
  EXPECT_EQ(s(paths[1].fullPathName()), "|b|box|boxShape");
  EXPECT_EQ(paths[1].instanceNumber(), 1u);
  EXPECT_EQ(s(paths[0].partialPathName()), "a|box|boxShape");
  EXPECT_TRUE(pathOf(shape) == paths[0]);  // attached by object: instance 0
  EXPECT_EQ(paths[1].inclusiveMatrix()(3, 2), 5.0);
  MFnDagNode fbox(box);
  EXPECT_EQ(fbox.parentCount(), 2u);
  EXPECT_TRUE(fbox.parent(1) == b);
  MFnDagNode world(MFnDagNode(a).parent(0));
  EXPECT_EQ(world.object().apiType(), MFn::kWorld);
  EXPECT_EQ(world.parentCount(), 0u);
  EXPECT_TRUE(MFnDagNode(paths[1]).dagPath() == paths[1]);  // attached by path keeps it
  int meshes = 0;
  for (MItDependencyNodes it(MFn::kMesh); !it.isDone(); it.next()) ++meshes;
  EXPECT_EQ(meshes, 1);
}

TEST_F(HostDag, AddChildMovesInstancesOrInsertsAtAPosition) {
  MObject a = standin::makeTransform("a");
  MObject b = standin::makeTransform("b");
  MObject first = standin::makeJoint("first", b);
  MObject j = standin::makeJoint("j", a);
  MFnDagNode fb(b);
  ASSERT_TRUE(fb.addChild(j, 0, true));  // an instance, placed before "first"
  EXPECT_TRUE(fb.child(0) == j);
  EXPECT_TRUE(fb.child(1) == first);
  EXPECT_EQ(MFnDagNode(j).parentCount(), 2u);
  EXPECT_EQ(fb.addChild(j, MFnDagNode::kNextPos, true), MStatus::kFailure);  // already there
  ASSERT_TRUE(MFnDagNode(a).addChild(j));                                    // moves: a is now its only parent
  EXPECT_EQ(MFnDagNode(j).parentCount(), 1u);
  EXPECT_EQ(fb.childCount(), 1u);
  EXPECT_EQ(MFnDagNode(j).addChild(a), MStatus::kInvalidParameter);  // a cycle
}

TEST_F(HostDag, PopAndTransformWalkTowardsTheWorld) {
  MObject top = standin::makeTransform("top");
  MObject shape = standin::makeCube("box", 1.0, top);
  MDagPath p = pathOf(shape);
  ASSERT_EQ(p.length(), 3u);
  EXPECT_EQ(s(MFnDagNode(p.transform()).name()), "box");  // a shape's transform is its parent
  ASSERT_TRUE(p.pop());
  EXPECT_TRUE(p.transform() == p.node());  // a transform's transform is itself
  ASSERT_TRUE(p.pop(2));
  EXPECT_EQ(p.length(), 0u);
  EXPECT_EQ(p.node().apiType(), MFn::kWorld);
  MStatus st;
  p.transform(&st);
  EXPECT_FALSE(st);
  EXPECT_EQ(p.pop(), MStatus::kInvalidParameter);
  MDagPath invalid;
  invalid.node(&st);
  EXPECT_FALSE(st);
}

TEST_F(HostDag, WorldMatrixIncludesParentsLocalDoesNot) {
  MObject parent = standin::makeTransform("parent", MObject::kNullObj, standin::translation(1, 0, 0));
  MObject child = standin::makeJoint("child", parent, standin::translation(0, 3, 0));
  MDagPath p = pathOf(child);
  MMatrix world = p.inclusiveMatrix();
  EXPECT_EQ(world(3, 0), 1.0);
  EXPECT_EQ(world(3, 1), 3.0);
  MMatrix local = MFnTransform(child).transformation().asMatrix();
  EXPECT_EQ(local(3, 0), 0.0);
  EXPECT_EQ(local(3, 1), 3.0);
  EXPECT_EQ(p.exclusiveMatrixInverse()(3, 0), -1.0);
  // Moving the parent is seen by the next read.
  standin::setLocalMatrix(parent, standin::translation(-2, 0, 0));
  EXPECT_EQ(p.inclusiveMatrix()(3, 0), -2.0);
  // Matrices are kept exactly, singular ones included.
  double zero[4][4] = {};
  ASSERT_TRUE(MFnTransform(child).set(MTransformationMatrix(MMatrix(zero))));
  EXPECT_TRUE(MFnTransform(child).transformation().asMatrix() == MMatrix(zero));
}

// Paths and world matrices are kept on the nodes between edits; every edit above a node
// must reach the nodes below it, and the type lists must follow deletions.
TEST_F(HostDag, KeptPathsAndMatricesFollowEditsAbove) {
  MObject top = standin::makeTransform("top", MObject::kNullObj, standin::translation(1, 0, 0));
  MObject mid = standin::makeJoint("mid", top, standin::translation(0, 1, 0));
  MObject low = standin::makeJoint("low", mid, standin::translation(0, 0, 1));
  MObject other = standin::makeTransform("other", MObject::kNullObj, standin::translation(5, 0, 0));
  EXPECT_EQ(s(pathOf(low).fullPathName()), "|top|mid|low");
  EXPECT_EQ(pathOf(low).inclusiveMatrix()(3, 0), 1.0);

  standin::setLocalMatrix(top, standin::translation(2, 0, 0));
  EXPECT_EQ(pathOf(low).inclusiveMatrix()(3, 0), 2.0);
  MDagModifier move;
  ASSERT_TRUE(move.reparentNode(mid, other));
  ASSERT_TRUE(move.doIt());
  MDagPath moved = pathOf(low);
  EXPECT_EQ(s(moved.fullPathName()), "|other|mid|low");
  EXPECT_EQ(moved.inclusiveMatrix()(3, 0), 5.0);
  EXPECT_EQ(moved.exclusiveMatrix()(3, 1), 1.0);

  // Below a second parent, instance 0 stays the first route until that parent goes.
  MFnDagNode(top).addChild(mid, MFnDagNode::kNextPos, true);
  EXPECT_EQ(s(pathOf(low).fullPathName()), "|other|mid|low");
  ASSERT_TRUE(MGlobal::deleteNode(other));
  EXPECT_FALSE(moved.isValid());
  EXPECT_EQ(s(pathOf(low).fullPathName()), "|top|mid|low");
  EXPECT_EQ(pathOf(low).inclusiveMatrix()(3, 0), 2.0);

  std::vector<std::string> joints;
  for (MItDependencyNodes it(MFn::kJoint); !it.isDone(); it.next())
    joints.push_back(s(MFnDependencyNode(it.item()).name()));
  EXPECT_EQ(joints, (std::vector<std::string>{"mid", "low"}));
  ASSERT_TRUE(MGlobal::deleteNode(top));
  int transforms = 0;
  for (MItDependencyNodes it(MFn::kTransform); !it.isDone(); it.next()) ++transforms;
  EXPECT_EQ(transforms, 0);
}

TEST_F(HostDag, JointCreationUnderParentsAndRefusals) {
  MFnIkJoint fn;
  MStatus st;
  MObject root = fn.create(MObject::kNullObj, &st);
  ASSERT_TRUE(st);
  MObject knee = fn.create(root, &st);
  ASSERT_TRUE(st);
  EXPECT_EQ(s(fn.fullPathName()), "|joint1|joint2");
  EXPECT_TRUE(fn.transformation().asMatrix() == MMatrix());
  MObject set = MFnDependencyNode().create("objectSet");
  fn.create(set, &st);
  EXPECT_EQ(st, MStatus::kInvalidParameter);
  MFnIkJoint notJoint(standin::makeTransform("t"), &st);
  EXPECT_EQ(st, MStatus::kInvalidParameter);
  EXPECT_EQ(s(notJoint.name(&st)), "");
  EXPECT_EQ(st, MStatus::kInvalidParameter);
  (void)knee;
}

TEST_F(HostDag, DeletionRemovesOnlyChildrenTheNodeAloneHeld) {
  MObject a = standin::makeTransform("a");
  MObject b = standin::makeTransform("b");
  MObject onlyA = standin::makeJoint("onlyA", a);
  MObject shared = standin::makeJoint("shared", a);
  standin::makeInstance(shared, b);
  standin::select(a);
  ASSERT_TRUE(MGlobal::deleteNode(a));
  EXPECT_FALSE(a.isNull());
  MStatus st;
  EXPECT_EQ(s(MFnDependencyNode(a).name(&st)), "");
  EXPECT_EQ(st, MStatus::kInvalidParameter);
  EXPECT_EQ(s(MFnDependencyNode(onlyA).name()), "");
  MFnDagNode fs(shared, &st);
  ASSERT_TRUE(st);
  EXPECT_EQ(s(fs.fullPathName()), "|b|shared");
  MSelectionList sel;
  MGlobal::getActiveSelectionList(sel);
  EXPECT_EQ(sel.length(), 0u);
}

class HostSelection : public HostTest {};

TEST_F(HostSelection, HasItemMatchesExactPathsOnly) {
  MObject group = standin::makeTransform("group");
  MObject shape = standin::makeCube("box", 1.0, group);
  MObject set = MFnDependencyNode().create("objectSet", "things");
  ASSERT_TRUE(MGlobal::selectByName("group"));
  ASSERT_TRUE(MGlobal::selectByName("things"));
  MSelectionList sel;
  ASSERT_TRUE(MGlobal::getActiveSelectionList(sel));
  MDagPath p = pathOf(shape);
  EXPECT_FALSE(sel.hasItem(p));  // ancestors do not count
  p.pop();
  EXPECT_FALSE(sel.hasItem(p));
  p.pop();
  EXPECT_TRUE(sel.hasItem(p));
  EXPECT_TRUE(sel.hasItem(set));
  EXPECT_FALSE(sel.hasItem(shape));
  // The list handed out is a copy.
  sel.clear();
  MGlobal::getActiveSelectionList(sel);
  EXPECT_EQ(sel.length(), 2u);
  // Paths select exactly that route; unknown names fail.
  EXPECT_TRUE(MGlobal::selectByName("|group|box", MGlobal::kReplaceList));
  MGlobal::getActiveSelectionList(sel);
  ASSERT_EQ(sel.length(), 1u);
  MDagPath got;
  sel.getDagPath(0, got);
  EXPECT_EQ(s(got.fullPathName()), "|group|box");
  EXPECT_FALSE(MGlobal::selectByName("nothing"));

  standin::failNext(standin::Fault::GetActiveSelectionList);
  EXPECT_EQ(MGlobal::getActiveSelectionList(sel), MStatus::kFailure);
  EXPECT_TRUE(MGlobal::getActiveSelectionList(sel));
}

class HostModifier : public HostTest {};

TEST_F(HostModifier, ReparentKeepsLocalMatrixAndRenamesOnClash) {
  MObject a = standin::makeTransform("a", MObject::kNullObj, standin::translation(10, 0, 0));
  MObject x1 = standin::makeTransform("x", a);
  MObject x2 = standin::makeTransform("x", MObject::kNullObj, standin::translation(1, 0, 0));
  MDagModifier mod;
  EXPECT_EQ(mod.reparentNode(a, x1), MStatus::kInvalidParameter);  // under its own child
  EXPECT_EQ(mod.reparentNode(a, a), MStatus::kInvalidParameter);
  ASSERT_TRUE(mod.reparentNode(x2, a));
  ASSERT_TRUE(mod.doIt());
  MFnDagNode f(x2);
  EXPECT_EQ(s(f.fullPathName()), "|a|x1");
  EXPECT_EQ(standin::localMatrix(x2)(3, 0), 1.0);
  EXPECT_EQ(pathOf(x2).inclusiveMatrix()(3, 0), 11.0);
  ASSERT_TRUE(mod.reparentNode(x2));
  ASSERT_TRUE(mod.doIt());
  EXPECT_EQ(s(f.fullPathName()), "|x1");
  // doIt reports the failure of an operation whose target vanished while queued.
  ASSERT_TRUE(mod.reparentNode(x2, x1));
  MGlobal::deleteNode(x1);
  EXPECT_EQ(mod.doIt(), MStatus::kInvalidParameter);
  EXPECT_EQ(s(f.fullPathName()), "|x1");
}
