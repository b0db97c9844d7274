// Skin clusters: the skinCluster command, linear-blend skinning, weights, deformer-set
// membership, and chains of deformers through intermediate shapes.
#include "HostTest.h"

#include <cmath>
#include <string>
#include <vector>

#include <maya/MDGModifier.h>
#include <maya/MDagPathArray.h>
#include <maya/MFnMatrixData.h>
#include <maya/MFnMesh.h>
#include <maya/MFnSet.h>
#include <maya/MFnSingleIndexedComponent.h>
#include <maya/MFnSkinCluster.h>
#include <maya/MGlobal.h>
#include <maya/MItDependencyGraph.h>
#include <maya/MItDependencyNodes.h>
#include <maya/MItGeometry.h>

namespace {
MDagPath pathOf(const MObject& node) {
  MDagPath p;
  MFnDagNode(node).getPath(p);
  return p;
}

MObject vertex(int id) {
  MFnSingleIndexedComponent fn;
  MObject c = fn.create(MFn::kMeshVertComponent);
  fn.addElement(id);
  return c;
}

double weight(const MObject& sc, const MObject& shape, int v, unsigned influence) {
  MDoubleArray w;
  MStatus s = MFnSkinCluster(sc).getWeights(pathOf(shape), vertex(v), influence, w);
  return s && w.length() == 1 ? w[0] : -1.0;
}

// Two joints, j0 at the origin and j1 two units up as its child, and a 1x2 quad strip
// "strip" standing on the origin: vertices (0,0) (1,0) (1,2) (0,2).
class HostSkin : public HostTest {
protected:
  MObject j0, j1, shape;
  void SetUp() override {
    HostTest::SetUp();
    j0 = standin::makeJoint("j0");
    j1 = standin::makeJoint("j1", j0, standin::translation(0, 2, 0));
    MFloatPointArray p;
    for (auto [x, y] : {std::pair{0, 0}, {1, 0}, {1, 2}, {0, 2}}) p.append(MFloatPoint(x, y, 0));
    MIntArray counts(1, 4), connects;
    for (int v : {0, 1, 2, 3}) connects.append(v);
    shape = standin::makeMesh("strip", p, counts, connects);
  }
  MObject bind() {
    MObjectArray joints;
    joints.append(j0);
    joints.append(j1);
    return standin::bindSkin(shape, joints);
  }
  MFloatPointArray worldPoints() {
    MFloatPointArray p;
    MFnMesh(pathOf(shape)).getPoints(p, MSpace::kWorld);
    return p;
  }
  MFloatPointArray bindPose(const MObject& sc) {
    MObject data;
    MFnDependencyNode(sc).findPlug("input").elementByLogicalIndex(0).child(0).getValue(data);
    MFloatPointArray p;
    MFnMesh(data).getPoints(p, MSpace::kWorld);
    return p;
  }
};
}  // namespace

TEST_F(HostSkin, CommandBuildsOrigShapeClusterAndDeformerSet) {
  MStringArray result;
  ASSERT_TRUE(MGlobal::executeCommand("skinCluster |j0|j1 |j0 |strip|stripShape;", result));
  ASSERT_EQ(result.length(), 1u);
  EXPECT_EQ(s(result[0]), "skinCluster1");
  MObject sc = standin::nodeByName("skinCluster1");
  MFnSkinCluster fn(sc);
  MDagPathArray influences;
  ASSERT_EQ(fn.influenceObjects(influences), 2u);
  EXPECT_EQ(s(influences[0].fullPathName()), "|j0|j1");  // command order
  EXPECT_EQ(s(influences[1].fullPathName()), "|j0");

  // The original shape: intermediate, last child of the transform, holding the geometry.
  MFnDagNode transform(MFnDagNode(shape).parent(0));
  ASSERT_EQ(transform.childCount(), 2u);
  MFnDagNode orig(transform.child(1));
  EXPECT_EQ(s(orig.name()), "stripShapeOrig");
  EXPECT_TRUE(orig.isIntermediateObject());
  EXPECT_FALSE(MFnDagNode(shape).isIntermediateObject());
  EXPECT_TRUE(fn.outputShapeAtIndex(0) == shape);
  EXPECT_EQ(fn.numOutputConnections(), 1u);

  // bindPreMatrix = inverse of each influence's world matrix at bind time.
  MObject value;
  ASSERT_TRUE(fn.findPlug("bindPreMatrix").elementByLogicalIndex(0).getValue(value));
  EXPECT_EQ(MFnMatrixData(value).matrix()(3, 1), -2.0);

  // Deformer set with every vertex; initial weights on the nearest influence.
  MObject set = fn.deformerSet();
  EXPECT_EQ(s(MFnDependencyNode(set).name()), "skinCluster1Set");
  EXPECT_EQ(standin::deformerSetVertices(sc).length(), 4u);
  EXPECT_TRUE(MFnSet(set).isMember(pathOf(shape), vertex(3)));
  for (int v : {0, 1}) {
    EXPECT_EQ(weight(sc, shape, v, 0), 0.0);
    EXPECT_EQ(weight(sc, shape, v, 1), 1.0);
  }
  for (int v : {2, 3}) EXPECT_EQ(weight(sc, shape, v, 0), 1.0);

  int meshes = 0;
  for (MItDependencyNodes it(MFn::kMesh); !it.isDone(); it.next()) ++meshes;
  EXPECT_EQ(meshes, 2);  // the visible shape and its original
}

// The orig shape holds its own copy of the geometry: an edit of it moves the skinned
// shape, and once the cluster is gone the shape shows its points from before the edit.
TEST_F(HostSkin, OrigShapeGeometryIsACopyOfItsOwn) {
  MObject sc = bind();
  MObject orig = MFnDagNode(MFnDagNode(shape).parent(0)).child(1);
  MFloatPointArray moved;
  ASSERT_TRUE(MFnMesh(orig).getPoints(moved));
  for (unsigned i = 0; i < moved.length(); ++i) moved[i].x += 10.0f;
  ASSERT_TRUE(MFnMesh(orig).setPoints(moved));
  EXPECT_EQ(worldPoints()[1].x, 11.0f);
  ASSERT_TRUE(MGlobal::deleteNode(sc));
  MFloatPointArray own = worldPoints();
  ASSERT_EQ(own.length(), 4u);
  EXPECT_EQ(own[1].x, 1.0f);
  MFloatPointArray origPoints;
  ASSERT_TRUE(MFnMesh(orig).getPoints(origPoints));
  EXPECT_EQ(origPoints[1].x, 11.0f);
}

// Names may hold any byte but '|': quoted, with a backslash before quotes and
// backslashes, each stays one word, ';' included.
TEST_F(HostSkin, CommandTakesQuotedNamesWithEscapes) {
  MFnDependencyNode(j0).setName("upper spine");
  MFnDependencyNode(j1).setName("neck;x\"q\\");
  MFnDependencyNode(MFnDagNode(shape).parent(0)).setName("my mesh;1");
  MStringArray result;
  ASSERT_TRUE(
      MGlobal::executeCommand("skinCluster \"|upper spine\" \"|upper spine|neck;x\\\"q\\\\\" \"|my mesh;1\";", result));
  MDagPathArray influences;
  ASSERT_EQ(MFnSkinCluster(standin::nodeByName(result[0])).influenceObjects(influences), 2u);
  EXPECT_EQ(s(influences[1].fullPathName()), "|upper spine|neck;x\"q\\");
  // A backslash that ends the text escapes nothing: the word is unterminated.
  EXPECT_EQ(MGlobal::executeCommand("skinCluster \"|upper spine\\"), MStatus::kFailure);
}

TEST_F(HostSkin, PosedJointDeformsTheMeshWhileTheInputKeepsTheBindPose) {
  MObject sc = bind();
  ASSERT_FALSE(sc.isNull());
  standin::setLocalMatrix(j1, standin::translation(1, 2, 0));  // move j1 one unit along x
  MFloatPointArray p = worldPoints();
  EXPECT_FLOAT_EQ(p[0].x, 0.0f);
  EXPECT_FLOAT_EQ(p[1].x, 1.0f);
  EXPECT_FLOAT_EQ(p[2].x, 2.0f);
  EXPECT_FLOAT_EQ(p[3].x, 1.0f);
  EXPECT_FLOAT_EQ(p[3].y, 2.0f);
  MFloatPointArray b = bindPose(sc);
  EXPECT_FLOAT_EQ(b[2].x, 1.0f);
  EXPECT_FLOAT_EQ(b[3].x, 0.0f);

  // Normals follow the rotation of the influence: a quarter turn about y flips +z to +x.
  double turn[4][4] = {{0, 0, -1, 0}, {0, 1, 0, 0}, {1, 0, 0, 0}, {0, 2, 0, 1}};
  standin::setLocalMatrix(j1, MMatrix(turn));
  MFloatVectorArray n;
  MFnMesh(shape).getNormals(n);
  EXPECT_NEAR(n[3].x, 1.0f, 1e-6);
  EXPECT_NEAR(n[0].z, 1.0f, 1e-6);
  // Geometry writes on the deformed shape are refused.
  MFloatPointArray some = worldPoints();
  EXPECT_EQ(MFnMesh(shape).setPoints(some), MStatus::kFailure);
}

TEST_F(HostSkin, WeightsStayExactAndRemovedVerticesKeepTheirInputPosition) {
  MObject sc = bind();
  MFnSkinCluster fn(sc);
  MDagPath path = pathOf(shape);
  // Vertex 3: 0.5 on j0 and 0.2 on j1, which sum to 0.7 and stay so.
  ASSERT_TRUE(fn.setWeights(path, vertex(3), 0, 0.5, false));
  ASSERT_TRUE(fn.setWeights(path, vertex(3), 1, 0.2, false));
  EXPECT_EQ(weight(sc, shape, 3, 0), 0.5);
  EXPECT_EQ(weight(sc, shape, 3, 1), 0.2);
  standin::setLocalMatrix(j1, standin::translation(1, 2, 0));
  MFloatPointArray p = worldPoints();
  EXPECT_FLOAT_EQ(p[3].x, 0.2f);  // 0.5 * (0,2,0) + 0.2 * (1,2,0)
  EXPECT_FLOAT_EQ(p[3].y, 1.4f);

  // Out of the deformer set: no deformation, weight reads 0.
  MFnSet set(fn.deformerSet());
  ASSERT_TRUE(set.removeMember(path, vertex(2)));
  EXPECT_TRUE(set.removeMember(path, vertex(2)));  // removing a non-member is a no-op
  EXPECT_FALSE(set.isMember(path, vertex(2)));
  p = worldPoints();
  EXPECT_FLOAT_EQ(p[2].x, 1.0f);
  EXPECT_FLOAT_EQ(p[2].y, 2.0f);
  EXPECT_EQ(weight(sc, shape, 2, 0), 0.0);
  EXPECT_EQ((std::vector<int>{standin::deformerSetVertices(sc)[0], standin::deformerSetVertices(sc)[2]}),
            (std::vector<int>{0, 3}));

  // normalize = true rescales the other influences.
  MDoubleArray old;
  ASSERT_TRUE(fn.setWeights(path, vertex(3), 0, 0.6, true, &old));
  EXPECT_EQ(old[0], 0.5);
  EXPECT_NEAR(weight(sc, shape, 3, 1), 0.4, 1e-12);

  // Bad influence index, other shape, or a component of the wrong kind fail.
  MDoubleArray w;
  EXPECT_EQ(fn.getWeights(path, vertex(0), 2, w), MStatus::kInvalidParameter);
  MObject other = standin::makeCube("other");
  EXPECT_FALSE(fn.getWeights(pathOf(other), vertex(0), 0, w));
  EXPECT_FALSE(fn.getWeights(path, vertex(4), 0, w));
  MFnSingleIndexedComponent faces;
  MObject face = faces.create(MFn::kMeshPolygonComponent);
  faces.addElement(0);
  EXPECT_FALSE(fn.getWeights(path, face, 0, w));
}

TEST_F(HostSkin, SetsSeveralInfluencesAtOnce) {
  MObject sc = bind();
  MFnSkinCluster fn(sc);
  MDagPath path = pathOf(shape);
  MFnSingleIndexedComponent ids;
  MObject three = ids.create(MFn::kMeshVertComponent);
  for (int v : {0, 2, 3}) ids.addElement(v);
  MIntArray both;
  both.append(0);
  both.append(1);

  // One value per element and influence, element-major; +0.0 clears a stored weight.
  MDoubleArray perElement;
  for (double w : {0.0, 1.0, 0.3, 0.4, -0.0, 0.5}) perElement.append(w);
  MDoubleArray old;
  ASSERT_TRUE(fn.setWeights(path, three, both, perElement, false, &old));
  EXPECT_EQ(old.length(), 6u);
  EXPECT_EQ(old[0], 1.0);  // vertex 0 started on j0, its nearest joint
  MDoubleArray all;
  unsigned count = 0;
  ASSERT_TRUE(fn.getWeights(path, three, all, count));
  ASSERT_EQ(count, 2u);
  for (unsigned i = 0; i < 6; ++i) EXPECT_EQ(all[i], perElement[i]) << i;
  EXPECT_TRUE(std::signbit(all[4]));  // a negative zero is kept as given

  // One value per influence, shared by every element; a repeated influence keeps its last value.
  MIntArray repeated;
  for (int i : {1, 0, 1}) repeated.append(i);
  MDoubleArray shared;
  for (double w : {0.9, 0.25, 0.75}) shared.append(w);
  ASSERT_TRUE(fn.setWeights(path, three, repeated, shared, false));
  for (int v : {0, 2, 3}) {
    EXPECT_EQ(weight(sc, shape, v, 0), 0.25);
    EXPECT_EQ(weight(sc, shape, v, 1), 0.75);
  }

  // Normalizing scales the unlisted influence so the vertex sums to 1.
  MIntArray first(1, 0);
  ASSERT_TRUE(fn.setWeights(path, vertex(3), first, MDoubleArray(1, 0.5), true));
  EXPECT_EQ(weight(sc, shape, 3, 1), 0.75 * ((1.0 - 0.5) / 0.75));

  // Refusals change nothing.
  struct Case {
    const char* what;
    std::vector<int> influences;
    unsigned values;
  } refused[] = {
      {"influence out of range", {0, 2}, 2}, {"negative influence", {-1}, 1}, {"values of no layout", {0, 1}, 4}};
  for (const Case& c : refused) {
    MIntArray influences;
    for (int i : c.influences) influences.append(i);
    EXPECT_EQ(fn.setWeights(path, three, influences, MDoubleArray(c.values, 0.125), false), MStatus::kInvalidParameter)
        << c.what;
    EXPECT_EQ(weight(sc, shape, 0, 0), 0.25) << c.what;
  }
}

TEST_F(HostSkin, BindSkinStoresGivenWeightsAndBindPose) {
  MObjectArray joints;
  joints.append(j0);
  joints.append(j1);
  MDoubleArray weights;
  for (double w : {1.0, 0.0, 0.25, 0.75, 0.0, 0.0, 0.0, 1.0}) weights.append(w);
  MMatrix bindWorld[2] = {MMatrix(), standin::translation(0, 4, 0)};
  MObject sc = standin::bindSkin(shape, joints, weights, bindWorld);
  ASSERT_FALSE(sc.isNull());
  EXPECT_EQ(weight(sc, shape, 1, 1), 0.75);
  // j1 sits at y=2 but was bound at y=4, so its vertices drop by two.
  MFloatPointArray p = worldPoints();
  EXPECT_FLOAT_EQ(p[3].y, 0.0f);
  EXPECT_FLOAT_EQ(p[2].y, 0.0f);  // all-zero weights pull a vertex to the origin
  EXPECT_FLOAT_EQ(p[2].x, 0.0f);
  MItGeometry it(pathOf(shape));
  EXPECT_EQ(it.count(), 4);
  it.next();
  MIntArray ids;
  MFnSingleIndexedComponent(it.component()).getElements(ids);
  ASSERT_EQ(ids.length(), 1u);
  EXPECT_EQ(ids[0], 1);
  MStatus st;
  MItGeometry notGeometry(pathOf(j0), &st);
  EXPECT_EQ(st, MStatus::kInvalidParameter);
}

TEST_F(HostSkin, CommandErrorsReportAndCreateNothing) {
  MObject t = standin::makeTransform("loose");
  MFnDependencyNode().create("objectSet", "aSet");
  standin::makeTransform("twin", t);
  standin::makeTransform("twin");
  struct Case {
    const char* text;
  } cases[] = {
      {"skinCluster |j0 |nowhere;"},     // unknown name
      {"skinCluster |j0 twin |strip;"},  // ambiguous name
      {"skinCluster |strip;"},           // no influence
      {"skinCluster |j0 |j0 |strip;"},   // same influence twice
      {"skinCluster |j0 |j0|j1;"},       // geometry is not a mesh
      {"skinCluster aSet |strip;"},      // influence is not a transform
      {"skinCluster -tsb |j0 |strip;"},  // flags
  };
  unsigned before = standin::allNodes().length();
  for (const Case& c : cases) {
    standin::clearConsole();
    EXPECT_EQ(MGlobal::executeCommand(c.text), MStatus::kFailure) << c.text;
    EXPECT_EQ(standin::allNodes().length(), before) << c.text;
    ASSERT_EQ(standin::consoleCount(), 1u) << c.text;
    EXPECT_EQ(standin::consoleKind(0), standin::ConsoleKind::Error);
  }
  // A transform influence is accepted; the transform's mesh child is the geometry.
  ASSERT_TRUE(MGlobal::executeCommand("skinCluster loose |strip;"));
  EXPECT_EQ(MGlobal::executeCommand("skinCluster |j0 |strip;"), MStatus::kFailure);  // already bound
}

// Many influences: their connections and bind matrices are looked up by plug, so
// removing some in the middle must leave every other one found, and binding after a
// joint moved must take its new place.
// Seven influences, so the nearest one is looked for past the first few: an exact tie
// goes to the lower index, and the last influence can win.
TEST_F(HostSkin, InitialWeightsGoToTheNearestOfManyInfluences) {
  MObjectArray joints;
  const double at[7][3] = {{10, 0, 0}, {0, 2, 0}, {5, 5, 0}, {1, 0, 0}, {1, 0, 0}, {1, 2, 0}, {0, 0, 0.5}};
  for (int k = 0; k < 7; ++k)
    joints.append(standin::makeJoint(MString(("near" + std::to_string(k)).c_str()), MObject::kNullObj,
                                     standin::translation(at[k][0], at[k][1], at[k][2])));
  MObject sc = standin::bindSkin(shape, joints);
  ASSERT_FALSE(sc.isNull());
  const unsigned nearest[4] = {6, 3, 5, 1};  // for the vertices (0,0) (1,0) (1,2) (0,2)
  for (int v = 0; v < 4; ++v)
    for (unsigned k = 0; k < 7; ++k) EXPECT_EQ(weight(sc, shape, v, k), k == nearest[v] ? 1.0 : 0.0) << v << " " << k;
}

// Each vertex's initial weight is found only when something needs it, but from the
// bind pose. After binding, the orig shape is turned upside down and the joints trade
// places, either of which alone would put each vertex on the other joint; the vertices
// still start on the joint that was nearest them at bind time: j0 for the bottom two,
// j1 for the top two.
TEST_F(HostSkin, InitialWeightsAreThoseOfTheBindPoseWhenFirstNeeded) {
  const std::vector<double> atBind = {1, 0, 1, 0, 0, 1, 0, 1};  // vertex-major
  auto allWeights = [&](const MObject& sc) {
    MFnSingleIndexedComponent ids;
    MObject every = ids.create(MFn::kMeshVertComponent);
    for (int v = 0; v < 4; ++v) ids.addElement(v);
    MDoubleArray w;
    unsigned count = 0;
    EXPECT_TRUE(MFnSkinCluster(sc).getWeights(pathOf(shape), every, w, count));
    std::vector<double> out;
    for (unsigned i = 0; i < w.length(); ++i) out.push_back(w[i]);
    return out;
  };
  auto turnUpsideDown = [](const MObject& mesh) {
    MFloatPointArray p;
    ASSERT_TRUE(MFnMesh(mesh).getPoints(p));
    for (unsigned i = 0; i < p.length(); ++i) p[i].y = 2.0f - p[i].y;
    ASSERT_TRUE(MFnMesh(mesh).setPoints(p));
  };
  MObject sc = bind();
  MObject orig = MFnDagNode(MFnDagNode(shape).parent(0)).child(1);
  ASSERT_EQ(s(MFnDependencyNode(orig).name()), "stripShapeOrig");
  turnUpsideDown(orig);
  standin::setLocalMatrix(j0, standin::translation(0, 2, 0));
  standin::setLocalMatrix(j1, standin::translation(0, -2, 0));  // j1 now at the origin
  // The first read is the skinning: the bottom two (now on top) follow j0 up by two, the
  // top two (now at the bottom) follow j1 down by two.
  MFloatPointArray p = worldPoints();
  const float expected[4][2] = {{0, 4}, {1, 4}, {1, -2}, {0, -2}};
  for (unsigned v = 0; v < 4; ++v) {
    EXPECT_FLOAT_EQ(p[v].x, expected[v][0]) << v;
    EXPECT_FLOAT_EQ(p[v].y, expected[v][1]) << v;
  }
  EXPECT_EQ(allWeights(sc), atBind);

  // A cluster bound upstream keeps a share of the geometry that flowed in when it was
  // bound, which an edit of its source does not change.
  turnUpsideDown(orig);  // upright again, as the cluster below is bound to it
  standin::setLocalMatrix(j0, MMatrix());
  standin::setLocalMatrix(j1, standin::translation(0, 2, 0));
  MObjectArray joints;
  joints.append(j0);
  joints.append(j1);
  MObject upstream = standin::addUpstreamSkinCluster(shape, joints);
  ASSERT_FALSE(upstream.isNull());
  turnUpsideDown(orig);
  EXPECT_EQ(allWeights(upstream), atBind);
}

// A write of some influences of a vertex keeps the initial weights of the others; a write
// of every influence replaces them whole, +0.0 included. Each case is one vertex of the
// strip, never read before; the skinning then moves each by the weights read.
TEST_F(HostSkin, WritesReplaceOnlyTheInitialWeightsTheyGive) {
  MObject sc = bind();
  MFnSkinCluster fn(sc);
  MDagPath path = pathOf(shape);
  struct Case {
    const char* what;
    std::vector<int> influences;  // none: read only
    std::vector<double> values;
    double expected[2];
  } cases[] = {
      {"read, never written", {}, {}, {1.0, 0.0}},                    // vertex 0, nearest j0
      {"one influence written", {1}, {0.25}, {1.0, 0.25}},            // vertex 1, nearest j0
      {"the other influence written", {0}, {0.5}, {0.5, 1.0}},        // vertex 2, nearest j1
      {"every influence written", {0, 1}, {0.75, 0.0}, {0.75, 0.0}},  // vertex 3, nearest j1
  };
  for (int v = 0; v < 4; ++v) {
    const Case& c = cases[v];
    if (!c.influences.empty()) {
      MIntArray influences;
      MDoubleArray values;
      for (int i : c.influences) influences.append(i);
      for (double w : c.values) values.append(w);
      ASSERT_TRUE(fn.setWeights(path, vertex(v), influences, values, false)) << c.what;
    }
    for (unsigned k = 0; k < 2; ++k) EXPECT_EQ(weight(sc, shape, v, k), c.expected[k]) << c.what << " " << k;
  }
  // j1 moves one unit along x: each vertex moves by its weights as read.
  standin::setLocalMatrix(j1, standin::translation(1, 2, 0));
  MFloatPointArray p = worldPoints();
  const float expected[4][2] = {{0, 0}, {1.5, 0}, {2.5, 3}, {0, 1.5}};
  for (unsigned v = 0; v < 4; ++v) {
    EXPECT_FLOAT_EQ(p[v].x, expected[v][0]) << cases[v].what;
    EXPECT_FLOAT_EQ(p[v].y, expected[v][1]) << cases[v].what;
  }
}

TEST_F(HostSkin, ManyInfluencesStayFoundAsSomeAreDisconnected) {
  std::vector<MObject> joints;
  MObjectArray influences;
  for (int k = 0; k < 60; ++k) {
    joints.push_back(standin::makeJoint(MString(("many" + std::to_string(k)).c_str()), MObject::kNullObj,
                                        standin::translation(k, 0, 0)));
    influences.append(joints.back());
  }
  MObject sc = standin::bindSkin(shape, influences);
  ASSERT_FALSE(sc.isNull());
  MFnDependencyNode cluster(sc);
  MDGModifier cut;
  for (int k = 0; k < 60; k += 3)
    cut.disconnect(MFnDependencyNode(joints[k]).findPlug("worldMatrix").elementByLogicalIndex(0),
                   cluster.findPlug("matrix").elementByLogicalIndex(k));
  ASSERT_TRUE(cut.doIt());
  // An element far past the others is kept apart from them, and found as well.
  MDGModifier far;
  far.connect(MFnDependencyNode(joints[0]).findPlug("worldMatrix").elementByLogicalIndex(0),
              cluster.findPlug("matrix").elementByLogicalIndex(5000));
  ASSERT_TRUE(far.doIt());
  MDagPathArray paths;
  ASSERT_EQ(MFnSkinCluster(sc).influenceObjects(paths), 41u);
  for (unsigned i = 0, k = 1; i < 40; ++i, k += k % 3 == 1 ? 1 : 2) EXPECT_TRUE(paths[i].node() == joints[k]) << i;
  EXPECT_TRUE(paths[40].node() == joints[0]);

  // A value stored apart, then passed by the others, is still found and takes the next
  // value.
  MPlug bindPre = cluster.findPlug("bindPreMatrix");
  auto store = [&](unsigned index, double x) {
    MObject data = MFnMatrixData().create(standin::translation(x, 0, 0));
    return bindPre.elementByLogicalIndex(index).setValue(data);
  };
  ASSERT_TRUE(store(130, 1));
  for (unsigned i = 60; i < 140; ++i)
    if (i != 130) {
      ASSERT_TRUE(store(i, 0));
    }
  MObject stored;
  ASSERT_TRUE(bindPre.elementByLogicalIndex(130).getValue(stored));
  EXPECT_EQ(MFnMatrixData(stored).matrix()(3, 0), 1.0);
  ASSERT_TRUE(store(130, 2));
  ASSERT_TRUE(bindPre.elementByLogicalIndex(130).getValue(stored));
  EXPECT_EQ(MFnMatrixData(stored).matrix()(3, 0), 2.0);
  EXPECT_EQ(bindPre.numElements(), 140u);

  standin::setLocalMatrix(joints[1], standin::translation(0, 0, 7));
  MObject strip2 = standin::makeCube("cube", 1.0);
  MObjectArray one;
  one.append(joints[1]);
  MObject sc2 = standin::bindSkin(strip2, one);
  MObject value;
  ASSERT_TRUE(MFnDependencyNode(sc2).findPlug("bindPreMatrix").elementByLogicalIndex(0).getValue(value));
  EXPECT_EQ(MFnMatrixData(value).matrix()(3, 2), -7.0);
  ASSERT_TRUE(cluster.findPlug("bindPreMatrix").elementByLogicalIndex(1).getValue(value));
  EXPECT_EQ(MFnMatrixData(value).matrix()(3, 0), -1.0);
}

TEST_F(HostSkin, ClusterFoundThroughIntermediateShapeAndAnotherDeformer) {
  MObject sc = bind();
  ASSERT_FALSE(standin::insertTweak(shape, true).isNull());
  // orig -> skinCluster -> intermediate shape -> tweak -> mesh
  MFnSkinCluster fn(sc);
  MObject intermediate = fn.outputShapeAtIndex(0);
  EXPECT_FALSE(intermediate == shape);
  EXPECT_TRUE(MFnDagNode(intermediate).isIntermediateObject());
  int hits = 0;
  for (MItDependencyGraph it(intermediate); !it.isDone(); it.next()) hits += it.currentItem() == shape;
  EXPECT_EQ(hits, 1);
  // Weights and the deformer set are addressed through the visible mesh's path.
  MDagPath path = pathOf(shape);
  ASSERT_TRUE(fn.setWeights(path, vertex(2), 1, 0.5, false));
  EXPECT_EQ(weight(sc, shape, 2, 1), 0.5);
  ASSERT_TRUE(MFnSet(fn.deformerSet()).removeMember(path, vertex(0)));
  EXPECT_EQ(standin::deformerSetVertices(sc).length(), 3u);
  // The mesh shows the deformation through the whole chain.
  standin::setLocalMatrix(j1, standin::translation(1, 2, 0));
  MFloatPointArray p = worldPoints();
  EXPECT_FLOAT_EQ(p[3].x, 1.0f);
  EXPECT_FLOAT_EQ(p[2].x, 1.0f);  // 0.5 * (2, 2, 0): the only weight left is the halved one
  EXPECT_FLOAT_EQ(p[2].y, 1.0f);
  EXPECT_EQ(MGlobal::executeCommand("skinCluster |j0 |strip;"), MStatus::kFailure);  // already bound
}

TEST_F(HostSkin, TwoClustersChainedBothReachTheMesh) {
  MObject first = bind();
  MObjectArray one;
  one.append(j1);
  MObject second = standin::addUpstreamSkinCluster(shape, one);
  ASSERT_FALSE(second.isNull());
  // orig -> second -> intermediate -> first -> mesh
  EXPECT_TRUE(MFnSkinCluster(first).outputShapeAtIndex(0) == shape);
  MObject intermediate = MFnSkinCluster(second).outputShapeAtIndex(0);
  EXPECT_TRUE(MFnDagNode(intermediate).isIntermediateObject());
  int clusters = 0;
  for (MItDependencyNodes it(MFn::kSkinClusterFilter); !it.isDone(); it.next()) ++clusters;
  EXPECT_EQ(clusters, 2);
  EXPECT_EQ(weight(second, shape, 0, 0), 1.0);
  EXPECT_EQ(weight(first, shape, 2, 1), 1.0);
  // The second moves everything with j1, the first moves the top again.
  standin::setLocalMatrix(j1, standin::translation(1, 2, 0));
  MFloatPointArray p = worldPoints();
  EXPECT_FLOAT_EQ(p[0].x, 1.0f);
  EXPECT_FLOAT_EQ(p[2].x, 3.0f);
  EXPECT_FLOAT_EQ(bindPose(second)[2].x, 1.0f);
  EXPECT_FLOAT_EQ(bindPose(first)[2].x, 2.0f);  // the first cluster's input is already deformed
}

TEST_F(HostSkin, OutputsWithoutInputsAndUnsetInputGeometry) {
  MObject sc = bind();
  MFnSkinCluster fn(sc);
  MObject other = standin::makeCube("other");
  MStatus st;
  fn.outputShapeAtIndex(1, &st);
  EXPECT_EQ(st, MStatus::kFailure);
  MDGModifier mod;
  mod.connect(fn.findPlug("outputGeometry").elementByLogicalIndex(1), MFnDependencyNode(other).findPlug("inMesh"));
  ASSERT_TRUE(mod.doIt());
  EXPECT_EQ(fn.numOutputConnections(), 2u);
  EXPECT_EQ(fn.findPlug("input").numConnectedElements(), 1u);
  // input[1] has no geometry: the deformed output and the shape read nothing.
  MObject value;
  EXPECT_EQ(fn.findPlug("input").elementByLogicalIndex(1).child(0).getValue(value), MStatus::kFailure);
  MFnMesh(other).numVertices(&st);
  EXPECT_EQ(st, MStatus::kFailure);
  // Replacing the bind pose with other mesh data changes what the cluster deforms.
  MObject cubeData;
  MFnDependencyNode(standin::makeCube("source")).findPlug("outMesh").getValue(cubeData);
  MPlug in1 = fn.findPlug("input").elementByLogicalIndex(1).child(0);
  ASSERT_TRUE(in1.setValue(cubeData));
  EXPECT_EQ(MFnMesh(other).numVertices(), 8);
}

TEST(HostSkinAtScale, RowsThatGrowKeepEveryWeight) {
  standin::resetScene();
  // A strip of 1000 quads and twenty joints. Every vertex is weighted on the joints one
  // by one, so each row outgrows its room again and again and the storage is compacted
  // on the way; then half the weights are cleared in one call.
  const int quads = 1000, jointCount = 20;
  MFloatPointArray points;
  for (int x = 0; x <= quads; ++x)
    for (int y = 0; y < 2; ++y) points.append(MFloatPoint(float(x), float(y), 0));
  MIntArray counts(unsigned(quads), 4), connects;
  for (int q = 0; q < quads; ++q)
    for (int corner : {2 * q, 2 * q + 2, 2 * q + 3, 2 * q + 1}) connects.append(corner);
  MObject shape = standin::makeMesh("strip", points, counts, connects);
  MObjectArray joints;
  for (int j = 0; j < jointCount; ++j)
    joints.append(standin::makeJoint(("j" + std::to_string(j)).c_str(), MObject::kNullObj,
                                     standin::translation(100.0 * j, 0, 0)));
  MObject sc = standin::bindSkin(shape, joints);
  MFnSkinCluster fn(sc);
  MDagPath path = pathOf(shape);
  const unsigned vertices = points.length();
  MFnSingleIndexedComponent all;
  MObject every = all.create(MFn::kMeshVertComponent);
  for (unsigned v = 0; v < vertices; ++v) all.addElement(int(v));
  auto expectWeights = [&](auto expected) {
    MDoubleArray read;
    unsigned count = 0;
    ASSERT_TRUE(fn.getWeights(path, every, read, count));
    ASSERT_EQ(count, unsigned(jointCount));
    ASSERT_EQ(read.length(), vertices * count);
    for (unsigned i = 0; i < read.length(); ++i) ASSERT_EQ(read[i], expected(int(i % count))) << i;
  };
  for (int j = 0; j < jointCount; ++j) ASSERT_TRUE(fn.setWeights(path, every, unsigned(j), (j + 1) * 0.01, false));
  expectWeights([](int j) { return (j + 1) * 0.01; });
  MIntArray even;
  for (int j = 0; j < jointCount; j += 2) even.append(j);
  ASSERT_TRUE(fn.setWeights(path, every, even, MDoubleArray(even.length(), 0.0), false));
  expectWeights([](int j) { return j % 2 ? (j + 1) * 0.01 : 0.0; });
  // Influences listed last to first are stored one weight at a time: the even ones go
  // back between the odd ones, past the row's room, and the odd ones are cleared.
  MIntArray descending;
  MDoubleArray values;
  for (int j = jointCount - 1; j >= 0; --j) {
    descending.append(j);
    values.append(j % 2 ? 0.0 : (j + 1) * 0.02);
  }
  MDoubleArray perVertex;
  for (unsigned v = 0; v < vertices; ++v)
    for (unsigned i = 0; i < values.length(); ++i) perVertex.append(values[i]);
  ASSERT_TRUE(fn.setWeights(path, every, descending, perVertex, false));
  expectWeights([](int j) { return j % 2 ? 0.0 : (j + 1) * 0.02; });
}
