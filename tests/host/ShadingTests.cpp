// Shading groups: per-instance face assignment, first-assigned order, surface shaders.
#include "HostTest.h"

#include <maya/MDagPathArray.h>
#include <maya/MFnMesh.h>
#include <maya/MFnSet.h>
#include <maya/MFnSingleIndexedComponent.h>
#include <maya/MPlugArray.h>

namespace {
std::vector<std::string> shaderNames(const MObjectArray& a) {
  std::vector<std::string> v;
  for (unsigned i = 0; i < a.length(); ++i) v.push_back(s(MFnDependencyNode(a[i]).name()));
  return v;
}
std::vector<int> list(const MIntArray& a) {
  std::vector<int> v;
  for (unsigned i = 0; i < a.length(); ++i) v.push_back(a[i]);
  return v;
}
MIntArray ints(std::initializer_list<int> v) {
  MIntArray a;
  for (int x : v) a.append(x);
  return a;
}
}  // namespace

class HostShading : public HostTest {};

TEST_F(HostShading, ConnectedShadersInFirstAssignedOrderWithUnassignedFaces) {
  MObject shape = standin::makeCube("cube");
  MFnMesh fn(shape);
  MObjectArray shaders;
  MIntArray indices;
  ASSERT_TRUE(fn.getConnectedShaders(0, shaders, indices));
  EXPECT_EQ(shaders.length(), 0u);
  EXPECT_EQ(list(indices), std::vector<int>(6, -1));

  MObject red = standin::makeShadingGroup("redSG", "red");
  MObject initial = standin::nodeByName("initialShadingGroup");
  ASSERT_TRUE(standin::assignFaces(shape, 0, red, ints({1, 2})));
  ASSERT_TRUE(standin::assignFaces(shape, 0, initial, ints({0, 2, 5})));  // face 2 moves over
  ASSERT_TRUE(fn.getConnectedShaders(0, shaders, indices));
  EXPECT_EQ(shaderNames(shaders), (std::vector<std::string>{"redSG", "initialShadingGroup"}));
  EXPECT_EQ(list(indices), (std::vector<int>{1, 0, 1, -1, -1, 1}));

  // A group that loses all its faces drops out of the list.
  ASSERT_TRUE(standin::assignFaces(shape, 0, initial, ints({1})));
  fn.getConnectedShaders(0, shaders, indices);
  EXPECT_EQ(shaderNames(shaders), (std::vector<std::string>{"initialShadingGroup"}));
  EXPECT_EQ(list(indices), (std::vector<int>{0, 0, 0, -1, -1, 0}));

  // Removing members unassigns them.
  MFnSet set(initial);
  MFnSingleIndexedComponent faces;
  MObject comp = faces.create(MFn::kMeshPolygonComponent);
  faces.addElement(0);
  MDagPath path;
  fn.getPath(path);
  EXPECT_TRUE(set.isMember(path, comp));
  ASSERT_TRUE(set.removeMember(path, comp));
  EXPECT_FALSE(set.isMember(path, comp));
  EXPECT_TRUE(set.isMember(path));  // still holds other faces
  fn.getConnectedShaders(0, shaders, indices);
  EXPECT_EQ(list(indices), (std::vector<int>{-1, 0, 0, -1, -1, 0}));
  MSelectionList members;
  set.getMembers(members, true);
  ASSERT_EQ(members.length(), 1u);
  MDagPath memberPath;
  MObject memberFaces;
  members.getDagPath(0, memberPath, memberFaces);
  MIntArray got;
  MFnSingleIndexedComponent(memberFaces).getElements(got);
  EXPECT_EQ(list(got), (std::vector<int>{1, 2, 5}));
}

TEST_F(HostShading, AssignmentIsPerInstance) {
  MObject shape = standin::makeCube("cube");
  MObject other = standin::makeTransform("other");
  standin::makeInstance(MFnDagNode(shape).parent(0), other);
  MObject blue = standin::makeShadingGroup("blueSG", "blue", "phong");
  ASSERT_TRUE(standin::assignFaces(shape, 1, blue));  // all faces of instance 1
  MFnMesh fn(shape);
  MObjectArray shaders;
  MIntArray indices;
  fn.getConnectedShaders(0, shaders, indices);
  EXPECT_EQ(shaders.length(), 0u);
  fn.getConnectedShaders(1, shaders, indices);
  EXPECT_EQ(shaderNames(shaders), (std::vector<std::string>{"blueSG"}));
  EXPECT_EQ(list(indices), std::vector<int>(6, 0));
  EXPECT_EQ(fn.getConnectedShaders(2, shaders, indices), MStatus::kInvalidParameter);
}

TEST_F(HostShading, MaterialIsTheNodeFeedingSurfaceShader) {
  MObject sg = standin::makeShadingGroup("skinSG", "skinMaterial", "blinn");
  MFnSet set(sg);
  MPlugArray sources;
  ASSERT_TRUE(set.findPlug("surfaceShader").connectedTo(sources, true, false));
  MFnDependencyNode material(sources[0].node());
  EXPECT_EQ(s(material.name()), "skinMaterial");
  EXPECT_TRUE(material.object().hasFn(MFn::kLambert));
  material.setName("leather");
  EXPECT_EQ(s(MFnDependencyNode(sources[0].node()).name()), "leather");
  // A group without a shader: the empty list yields a null plug, not a crash.
  MFnDependencyNode bare;
  bare.create("shadingEngine", "bareSG");
  EXPECT_FALSE(bare.findPlug("surfaceShader").connectedTo(sources, true, false));
  EXPECT_TRUE(sources[0].node().isNull());
  MStatus st;
  MFnSet notASet(sources[0].node(), &st);
  EXPECT_EQ(st, MStatus::kInvalidParameter);
  MFnSet(MFnDependencyNode(standin::nodeByName("lambert1")).object(), &st);
  EXPECT_EQ(st, MStatus::kInvalidParameter);
}
