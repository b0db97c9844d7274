// Default scene, node iteration, names, plugs, connections and dependency-graph walks.
#include "HostTest.h"

#include <maya/MDGModifier.h>
#include <maya/MFnAttribute.h>
#include <maya/MFnDependencyNode.h>
#include <maya/MFnIkJoint.h>
#include <maya/MFnMatrixData.h>
#include <maya/MFnSkinCluster.h>
#include <maya/MGlobal.h>
#include <maya/MItDependencyGraph.h>
#include <maya/MItDependencyNodes.h>
#include <maya/MPlugArray.h>

namespace {
std::vector<std::string> names(MItDependencyNodes& it) {
  std::vector<std::string> v;
  for (; !it.isDone(); it.next()) v.push_back(s(MFnDependencyNode(it.item()).name()));
  return v;
}
std::vector<std::string> walk(MItDependencyGraph& it) {
  std::vector<std::string> v;
  for (; !it.isDone(); it.next()) v.push_back(s(MFnDependencyNode(it.currentItem()).name()));
  return v;
}
MPlug plug(const MObject& node, const char* attr) { return MFnDependencyNode(node).findPlug(attr); }
}  // namespace

class HostScene : public HostTest {};

TEST_F(HostScene, DefaultSceneHasWorldAndInitialShadingGroupOnly) {
  MObjectArray all = standin::allNodes();
  ASSERT_EQ(all.length(), 3u);
  EXPECT_EQ(all[0].apiType(), MFn::kWorld);
  EXPECT_EQ(s(MFnDependencyNode(all[1]).name()), "lambert1");
  EXPECT_EQ(s(MFnDependencyNode(all[2]).name()), "initialShadingGroup");
  MPlugArray sources;
  EXPECT_TRUE(plug(all[2], "surfaceShader").connectedTo(sources, true, false));
  ASSERT_EQ(sources.length(), 1u);
  EXPECT_TRUE(sources[0].node() == all[1]);
  EXPECT_TRUE(MGlobal::isYAxisUp());
  for (MFn::Type t : {MFn::kMesh, MFn::kJoint, MFn::kTransform, MFn::kSkinClusterFilter}) {
    MItDependencyNodes it(t);
    EXPECT_TRUE(it.isDone()) << t;
  }
}

TEST_F(HostScene, NodeIterationFiltersByTypeInCreationOrder) {
  MObject a = standin::makeJoint("a");
  standin::makeCube("box");
  standin::makeJoint("b", a);
  MItDependencyNodes joints(MFn::kJoint);
  EXPECT_EQ(names(joints), (std::vector<std::string>{"a", "b"}));
  MItDependencyNodes meshes(MFn::kMesh);
  EXPECT_EQ(names(meshes), (std::vector<std::string>{"boxShape"}));
  MItDependencyNodes transforms(MFn::kTransform);  // joints are transforms too
  EXPECT_EQ(names(transforms), (std::vector<std::string>{"a", "box", "b"}));
  for (MFn::Type t : {MFn::kType360, MFn::kType779}) {
    MItDependencyNodes none(t);
    EXPECT_TRUE(none.isDone());
  }
  MStatus st;
  MItDependencyNodes done(MFn::kSkinClusterFilter);
  EXPECT_TRUE(done.item(&st).isNull());
  EXPECT_FALSE(st);

  standin::failNextNodeIteration(MFn::kJoint);
  MItDependencyNodes failed(MFn::kJoint, &st);
  EXPECT_EQ(st, MStatus::kFailure);
  EXPECT_TRUE(failed.isDone());
  MItDependencyNodes again(MFn::kJoint, &st);
  EXPECT_TRUE(st);
  EXPECT_FALSE(again.isDone());
}

TEST_F(HostScene, RenamingKeepsNamesUnique) {
  MObject a = standin::makeTransform("a");
  MObject b = standin::makeTransform("b");
  MObject a1 = standin::makeTransform("a");  // a top-level sibling clash
  EXPECT_EQ(s(MFnDependencyNode(a1).name()), "a1");
  MObject child = standin::makeTransform("a", b);  // not a sibling of "a": allowed
  EXPECT_EQ(s(MFnDependencyNode(child).name()), "a");
  MFnDependencyNode fb(b);
  struct Case {
    const char* wanted;
    MStatus::MStatusCode code;
    const char* result;
  } cases[] = {
      {"a1", MStatus::kSuccess, "a2"},              // clash with a sibling increments the number
      {"lambert1", MStatus::kSuccess, "lambert2"},  // DAG name against a non-DAG node
      {"", MStatus::kInvalidParameter, "lambert2"},
      {"x|y", MStatus::kInvalidParameter, "lambert2"},
      {"caf\xc3\xa9 \x7f", MStatus::kSuccess, "caf\xc3\xa9 \x7f"},  // bytes kept as they are
      {"b", MStatus::kSuccess, "b"},
  };
  for (const Case& c : cases) {
    MStatus st;
    fb.setName(c.wanted, false, &st);
    EXPECT_EQ(st, c.code) << c.wanted;
    EXPECT_EQ(s(fb.name()), c.result) << c.wanted;
  }
  // A non-DAG node must differ from every node, DAG or not.
  MFnDependencyNode set;
  set.create("objectSet", "b");
  EXPECT_EQ(s(set.name()), "b1");
  // Default names count up.
  MFnIkJoint j;
  j.create();
  EXPECT_EQ(s(j.name()), "joint1");
  j.create();
  EXPECT_EQ(s(j.name()), "joint2");
  (void)a;
}

class HostPlugs : public HostTest {};

TEST_F(HostPlugs, WorldMatrixElementReadsAsMatrixData) {
  MObject parent = standin::makeTransform("parent", MObject::kNullObj, standin::translation(1, 0, 0));
  MObject j = standin::makeJoint("j", parent, standin::translation(0, 2, 0));
  MPlug wm = plug(j, "worldMatrix");
  EXPECT_TRUE(wm.isArray());
  MObject value;
  EXPECT_EQ(wm.getValue(value), MStatus::kInvalidParameter);  // the array itself has no value
  ASSERT_TRUE(wm.elementByLogicalIndex(0).getValue(value));
  EXPECT_EQ(value.apiType(), MFn::kMatrixData);
  const MMatrix& m = MFnMatrixData(value).matrix();
  EXPECT_EQ(m(3, 0), 1.0);
  EXPECT_EQ(m(3, 1), 2.0);
  EXPECT_EQ(wm.elementByLogicalIndex(1).getValue(value), MStatus::kFailure);  // no second instance
  MStatus st;
  EXPECT_TRUE(MFnDependencyNode(j).findPlug("noSuchAttribute", &st).isNull());
  EXPECT_EQ(st, MStatus::kInvalidParameter);
}

TEST_F(HostPlugs, ConnectionsElementsAndChildren) {
  MFnDependencyNode fn;
  MObject sc = fn.create("skinCluster");
  MObject j1 = standin::makeJoint("j1"), j2 = standin::makeJoint("j2");
  MPlug matrix = plug(sc, "matrix");
  MDGModifier mod;
  mod.connect(plug(j1, "worldMatrix").elementByLogicalIndex(0), matrix.elementByLogicalIndex(3));
  mod.connect(plug(j2, "worldMatrix").elementByLogicalIndex(0), matrix.elementByLogicalIndex(1));
  ASSERT_TRUE(mod.doIt());
  // A destination takes one incoming connection.
  mod.connect(plug(j2, "worldMatrix").elementByLogicalIndex(0), matrix.elementByLogicalIndex(3));
  EXPECT_EQ(mod.doIt(), MStatus::kFailure);

  EXPECT_EQ(matrix.numElements(), 2u);
  EXPECT_EQ(matrix.elementByPhysicalIndex(0).logicalIndex(), 1u);
  MPlugArray dests;
  EXPECT_TRUE(plug(j1, "worldMatrix").elementByLogicalIndex(0).connectedTo(dests, false, true));
  ASSERT_EQ(dests.length(), 1u);
  EXPECT_EQ(dests[0].logicalIndex(), 3u);
  EXPECT_EQ(s(MFnAttribute(dests[0].attribute()).name()), "matrix");
  MStatus st;
  matrix.logicalIndex(&st);
  EXPECT_EQ(st, MStatus::kFailure);

  // Compound array: input[g] counts as connected when a child has a connection.
  MPlug input = plug(sc, "input");
  EXPECT_EQ(input.numConnectedElements(), 0u);
  MPlug group = input.elementByLogicalIndex(2).child(1);
  EXPECT_EQ(s(group.name()), "skinCluster1.input[2].groupId");
  MPlug other = plug(j1, "intermediateObject");
  mod.connect(other, group);
  ASSERT_TRUE(mod.doIt());
  EXPECT_EQ(input.numConnectedElements(), 1u);
  MObject geometry;
  EXPECT_EQ(input.elementByLogicalIndex(2).child(0).getValue(geometry), MStatus::kFailure);
  EXPECT_TRUE(geometry.isNull());
  // A bindPreMatrix element never set has no value.
  EXPECT_EQ(plug(sc, "bindPreMatrix").elementByLogicalIndex(0).getValue(geometry), MStatus::kFailure);
  MFnMatrixData md;
  MPlug bpm = plug(sc, "bindPreMatrix").elementByLogicalIndex(0);
  ASSERT_TRUE(bpm.setValue(md.create(standin::translation(4, 5, 6))));
  ASSERT_TRUE(bpm.getValue(geometry));
  EXPECT_EQ(MFnMatrixData(geometry).matrix()(3, 2), 6.0);
  // Setting a connected destination fails.
  EXPECT_EQ(matrix.elementByLogicalIndex(1).setValue(md.create(MMatrix())), MStatus::kFailure);
}

class HostGraphWalk : public HostTest {};

TEST_F(HostGraphWalk, DownstreamDepthFirstFromNodeAndFromPlug) {
  // j.worldMatrix[0] -> A.matrix[0]; j.message -> set.usedBy[0];
  // A.outputGeometry[0] -> B.input[0].inputGeometry; A.outputGeometry[1] -> C.input[0];
  // B.outputGeometry[0] -> C.input[1]   (C is reached twice)
  MFnDependencyNode fn;
  MObject j = standin::makeJoint("j");
  MObject a = fn.create("skinCluster", "A");
  MObject b = fn.create("tweak", "B");
  MObject c = fn.create("tweak", "C");
  MObject set = fn.create("objectSet", "S");
  auto in = [&](const MObject& n, int g) { return plug(n, "input").elementByLogicalIndex(g).child(0); };
  auto out = [&](const MObject& n, int g) { return plug(n, "outputGeometry").elementByLogicalIndex(g); };
  MDGModifier mod;
  mod.connect(plug(j, "worldMatrix").elementByLogicalIndex(0), plug(a, "matrix").elementByLogicalIndex(0));
  mod.connect(plug(j, "message"), plug(set, "usedBy").elementByLogicalIndex(0));
  mod.connect(out(a, 0), in(b, 0));
  mod.connect(out(a, 1), in(c, 0));
  mod.connect(out(b, 0), in(c, 1));
  ASSERT_TRUE(mod.doIt());

  MItDependencyGraph fromNode(j);
  EXPECT_EQ(walk(fromNode), (std::vector<std::string>{"j", "A", "B", "C", "S"}));
  MItDependencyGraph filtered(j, MFn::kTweak);
  EXPECT_EQ(walk(filtered), (std::vector<std::string>{"B", "C"}));  // hidden items are still walked through
  MPlug wm0 = plug(j, "worldMatrix").elementByLogicalIndex(0);
  MItDependencyGraph fromPlug(wm0, MFn::kInvalid, MItDependencyGraph::kDownstream, MItDependencyGraph::kDepthFirst,
                              MItDependencyGraph::kPlugLevel);
  EXPECT_EQ(walk(fromPlug), (std::vector<std::string>{"j", "A", "B", "C"}));  // not the message branch
  MItDependencyGraph upstream(c, MFn::kInvalid, MItDependencyGraph::kUpstream);
  EXPECT_EQ(walk(upstream), (std::vector<std::string>{"C", "A", "j", "B"}));
  MItDependencyGraph bfs(j, MFn::kInvalid, MItDependencyGraph::kDownstream, MItDependencyGraph::kBreadthFirst);
  EXPECT_EQ(walk(bfs), (std::vector<std::string>{"j", "A", "S", "B", "C"}));
}
