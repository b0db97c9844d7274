// Meshes: creation and validation, topology counts, normals, UV sets, world space and
// mesh data objects.
#include "HostTest.h"

#include <maya/MFnMesh.h>
#include <maya/MFnMeshData.h>
#include <maya/MFnTransform.h>
#include <maya/MItMeshPolygon.h>

#include <cmath>

namespace {
MDagPath pathOf(const MObject& node) {
  MDagPath p;
  MFnDagNode(node).getPath(p);
  return p;
}

// A unit quad (0..1 in x and y) split into two triangles, plus one loose vertex.
struct Fan {
  MFloatPointArray points;
  MIntArray counts, connects;
  Fan() {
    for (auto [x, y] : {std::pair{0, 0}, {1, 0}, {1, 1}, {0, 1}, {5, 5}}) points.append(MFloatPoint(x, y, 0));
    counts.append(3);
    counts.append(3);
    for (int v : {0, 1, 2, 0, 2, 3}) connects.append(v);
  }
};
}  // namespace

class HostMesh : public HostTest {};

TEST_F(HostMesh, CreateMakesTransformAndShapeWithDefaults) {
  Fan f;
  MFnMesh fn;
  MStatus st;
  MObject transform = fn.create(5, 2, f.points, f.counts, f.connects, MObject::kNullObj, &st);
  ASSERT_TRUE(st);
  EXPECT_EQ(transform.apiType(), MFn::kTransform);
  MObject shape = MFnDagNode(transform).child(0);
  EXPECT_TRUE(fn.object() == shape);
  EXPECT_EQ(s(MFnDagNode(transform).name()), "polySurface1");
  EXPECT_EQ(s(fn.fullPathName()), "|polySurface1|polySurfaceShape1");
  EXPECT_EQ(fn.numVertices(), 5);
  EXPECT_EQ(fn.numPolygons(), 2);
  EXPECT_EQ(fn.numEdges(), 5);  // the shared diagonal counts once
  EXPECT_EQ(fn.numNormals(), 5);
  MStringArray sets;
  fn.getUVSetNames(sets);
  ASSERT_EQ(sets.length(), 1u);
  EXPECT_EQ(s(sets[0]), "map1");
  EXPECT_EQ(fn.numUVs("map1"), 0);
  fn.numUVs("nope", &st);
  EXPECT_EQ(st, MStatus::kInvalidParameter);
  MFloatVectorArray normals;
  fn.getNormals(normals);
  EXPECT_FLOAT_EQ(normals[0].z, 1.0f);  // counter-clockwise faces seen from +z
  EXPECT_EQ(normals[4].x, 0.0f);        // a vertex in no face
  EXPECT_EQ(normals[4].z, 0.0f);
  MItMeshPolygon it(shape);
  ASSERT_FALSE(it.isDone());
  it.next();
  EXPECT_EQ(it.polygonVertexCount(), 3u);
  EXPECT_EQ(it.normalIndex(2), 3u);  // default normal id = vertex id
  it.normalIndex(3, &st);
  EXPECT_EQ(st, MStatus::kInvalidParameter);
  MIntArray ids;
  EXPECT_EQ(fn.getPolygonVertices(2, ids), MStatus::kInvalidParameter);

  // The cube's corner normal is the normalised sum of its three faces.
  MFnMesh cube(standin::makeCube("cube"));
  cube.getNormals(normals);
  for (float c : {normals[7].x, normals[7].y, normals[7].z}) EXPECT_NEAR(c, 1.0 / std::sqrt(3.0), 1e-6);
  EXPECT_EQ(cube.numEdges(), 12);
}

TEST_F(HostMesh, CreateRejectsInconsistentArraysAndMakesNothing) {
  struct Case {
    const char* what;
    int numVertices, numPolygons;
    std::vector<int> counts, connects;
  } cases[] = {
      {"vertex count differs from the points", 4, 1, {3}, {0, 1, 2}},
      {"polygon count differs from the counts", 5, 2, {3}, {0, 1, 2}},
      {"counts do not add up to the connects", 5, 1, {3}, {0, 1, 2, 3}},
      {"vertex id out of range", 5, 1, {3}, {0, 1, 5}},
      {"negative vertex id", 5, 1, {3}, {0, -1, 2}},
      {"polygon with two corners", 5, 1, {2}, {0, 1}},
  };
  Fan f;
  unsigned before = standin::allNodes().length();
  for (const Case& c : cases) {
    MIntArray counts(c.counts.data(), (unsigned)c.counts.size());
    MIntArray connects(c.connects.data(), (unsigned)c.connects.size());
    MStatus st;
    MFnMesh().create(c.numVertices, c.numPolygons, f.points, counts, connects, MObject::kNullObj, &st);
    EXPECT_EQ(st, MStatus::kInvalidParameter) << c.what;
  }
  EXPECT_EQ(standin::allNodes().length(), before);
  MStatus st;
  MFnMesh().create(0, 0, MFloatPointArray(), MIntArray(), MIntArray(), MObject::kNullObj, &st);
  EXPECT_TRUE(st);  // an empty mesh is allowed
}

TEST_F(HostMesh, UVSetsAssignmentAndUnmappedCorners) {
  Fan f;
  MObject shape = standin::makeMesh("fan", f.points, f.counts, f.connects);
  MFnMesh fn(shape);
  MFloatArray u, v;
  for (float x : {0.0f, 1.0f, 1.0f}) u.append(x);
  for (float y : {0.0f, 0.0f, 1.0f}) v.append(y);
  ASSERT_TRUE(fn.setUVs(u, v));
  MIntArray counts, ids;
  counts.append(3);
  counts.append(0);  // second triangle unmapped
  for (int id : {0, 1, 2}) ids.append(id);
  ASSERT_TRUE(fn.assignUVs(counts, ids));
  int uv = -1;
  ASSERT_TRUE(fn.getPolygonUVid(0, 2, uv));
  EXPECT_EQ(uv, 2);
  EXPECT_EQ(fn.getPolygonUVid(1, 0, uv), MStatus::kFailure);
  EXPECT_EQ(fn.getPolygonUVid(0, 3, uv), MStatus::kInvalidParameter);
  MIntArray before = standin::uvAssignments(shape, "map1");

  struct Bad {
    const char* what;
    std::vector<int> counts, ids;
  } bad[] = {
      {"count differs from the polygon's corners", {2, 0}, {0, 1}},
      {"one count per polygon", {3}, {0, 1, 2}},
      {"id past the UV list", {3, 0}, {0, 1, 3}},
      {"ids left over", {3, 0}, {0, 1, 2, 0}},
      {"too few ids", {3, 3}, {0, 1, 2}},
  };
  for (const Bad& b : bad) {
    EXPECT_EQ(fn.assignUVs(MIntArray(b.counts.data(), (unsigned)b.counts.size()),
                           MIntArray(b.ids.data(), (unsigned)b.ids.size())),
              MStatus::kInvalidParameter)
        << b.what;
    MIntArray after = standin::uvAssignments(shape, "map1");
    for (unsigned i = 0; i < after.length(); ++i) EXPECT_EQ(after[i], before[i]) << b.what;
  }
  // Shrinking the UV list unmaps corners that pointed past it.
  u.setLength(2);
  v.setLength(2);
  ASSERT_TRUE(fn.setUVs(u, v));
  EXPECT_EQ(fn.getPolygonUVid(0, 2, uv), MStatus::kFailure);
  EXPECT_EQ(fn.setUVs(u, MFloatArray()), MStatus::kInvalidParameter);

  MString name;
  ASSERT_TRUE(fn.createUVSet(name));
  EXPECT_EQ(s(name), "uvSet1");
  name = "";
  fn.createUVSet(name);
  EXPECT_EQ(s(name), "uvSet2");
  name = "map1";
  EXPECT_EQ(fn.createUVSet(name), MStatus::kFailure);
  MString second("uvSet1");
  EXPECT_EQ(fn.numUVs(second), 0);
  EXPECT_EQ(fn.getPolygonUVid(0, 0, uv, &second), MStatus::kFailure);
  for (const char* n : {"map1", "uvSet1", "uvSet2"}) ASSERT_TRUE(fn.deleteUVSet(n));
  EXPECT_EQ(fn.numUVSets(), 0);
  EXPECT_EQ(fn.getUVs(u, v), MStatus::kInvalidParameter);
}

TEST_F(HostMesh, FaceVertexNormalsDeduplicateAndConvertFromWorld) {
  MFloatPointArray points;
  for (auto [x, y] : {std::pair{0, 0}, {1, 0}, {1, 1}, {0, 1}}) points.append(MFloatPoint(x, y, 0));
  MIntArray counts(1, 4), connects;
  for (int v : {0, 1, 2, 3}) connects.append(v);
  double scale[4][4] = {{2, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
  MObject parent = standin::makeTransform("scaled", MObject::kNullObj, MMatrix(scale));
  MObject shape = standin::makeMesh("quad", points, counts, connects, parent);
  MFnMesh fn(pathOf(shape));
  // Two corners share a vector; a corner not listed keeps its default (0, 0, 1).
  MVectorArray normals;
  MIntArray faces(3, 0), vertices;
  for (auto v : {MVector(0.6, 0, 0.8), MVector(0, 1, 0), MVector(0.6, 0, 0.8)}) normals.append(v);
  for (int v : {0, 1, 2}) vertices.append(v);
  ASSERT_TRUE(fn.setFaceVertexNormals(normals, faces, vertices, MSpace::kWorld));
  EXPECT_EQ(fn.numNormals(), 3);
  MItMeshPolygon it(shape);
  EXPECT_EQ(it.normalIndex(0), 0u);
  EXPECT_EQ(it.normalIndex(1), 1u);
  EXPECT_EQ(it.normalIndex(2), 0u);
  EXPECT_EQ(it.normalIndex(3), 2u);
  MFloatVectorArray world, object;
  fn.getNormals(world, MSpace::kWorld);
  fn.getNormals(object, MSpace::kObject);
  EXPECT_NEAR(world[0].x, 0.6f, 1e-6);
  EXPECT_NEAR(world[0].z, 0.8f, 1e-6);
  EXPECT_NEAR(object[0].x, 1.2f, 1e-6);  // object space = world * M^T for an x-scale of 2
  EXPECT_FLOAT_EQ(object[2].z, 1.0f);

  // A (face, vertex) pair that is no corner of the face changes nothing.
  vertices[2] = 9;
  EXPECT_EQ(fn.setFaceVertexNormals(normals, faces, vertices), MStatus::kInvalidParameter);
  faces.setLength(2);
  EXPECT_EQ(fn.setFaceVertexNormals(normals, faces, vertices), MStatus::kInvalidParameter);
  EXPECT_EQ(fn.numNormals(), 3);
}

TEST_F(HostMesh, NormalsForEveryCornerInOrderConvertFromWorld) {
  // Every corner listed once, in corner order, under a transform that scales x by 2.
  MFloatPointArray points;
  for (auto [x, y] : {std::pair{0, 0}, {1, 0}, {1, 1}, {0, 1}}) points.append(MFloatPoint(x, y, 0));
  MIntArray counts(2, 3), connects;
  for (int v : {0, 1, 2, 0, 2, 3}) connects.append(v);
  double scale[4][4] = {{2, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
  MObject parent = standin::makeTransform("scaled", MObject::kNullObj, MMatrix(scale));
  MObject shape = standin::makeMesh("pair", points, counts, connects, parent);
  MFnMesh fn(pathOf(shape));
  MVectorArray normals;
  MIntArray faces, vertices = connects;
  for (int f : {0, 0, 0, 1, 1, 1}) faces.append(f);
  // Vertex 2 keeps one vector on both its corners, vertex 0 changes it, and vertex 3
  // takes one first given at another vertex.
  for (auto v : {MVector(0.6, 0, 0.8), MVector(0, 0, 1), MVector(0.6, 0, 0.8), MVector(0, 1, 0), MVector(0.6, 0, 0.8),
                 MVector(0, 0, 1)})
    normals.append(v);
  ASSERT_TRUE(fn.setFaceVertexNormals(normals, faces, vertices, MSpace::kWorld));
  ASSERT_EQ(fn.numNormals(), 3);
  MItMeshPolygon it(shape);
  EXPECT_EQ(it.normalIndex(0), 0u);
  EXPECT_EQ(it.normalIndex(1), 1u);
  EXPECT_EQ(it.normalIndex(2), 0u);
  it.next();
  EXPECT_EQ(it.normalIndex(0), 2u);
  EXPECT_EQ(it.normalIndex(1), 0u);
  EXPECT_EQ(it.normalIndex(2), 1u);
  MFloatVectorArray object;
  fn.getNormals(object, MSpace::kObject);
  EXPECT_FLOAT_EQ(object[0].x, 1.2f);  // object space = world * M^T for an x-scale of 2
  EXPECT_FLOAT_EQ(object[0].z, 0.8f);
  EXPECT_FLOAT_EQ(object[2].y, 1.0f);
}

// Default normals are those of the points a mesh was made with, whenever they are first
// read: moving the points later keeps them (on the shape and on a data copy of it), and
// the corners a partial setFaceVertexNormals does not list keep theirs.
TEST_F(HostMesh, DefaultNormalsAreThoseOfTheCreatedPoints) {
  MFnMesh reference(standin::makeCube("reference"));
  MFloatVectorArray defaults;
  ASSERT_TRUE(reference.getNormals(defaults));
  ASSERT_EQ(defaults.length(), 8u);
  MFloatPointArray moved;
  reference.getPoints(moved);
  moved[7].x += 4;  // tilts the three faces at vertex 7 and those of its neighbours
  moved[0].y -= 3;
  const MVector given(0, 1, 0);  // for the first corner of face 0

  struct Case {
    const char* what;
    bool dataCopy, move, partial;
  } cases[] = {
      {"never set", false, false, false},
      {"points moved", false, true, false},
      {"one corner given", false, false, true},
      {"points moved, then one corner given", false, true, true},
      {"a data copy's points moved", true, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MObject shape = standin::makeCube("cube");
    MObject target = shape;
    if (c.dataCopy) {
      ASSERT_TRUE(MFnDependencyNode(shape).findPlug("outMesh").getValue(target));
    }
    MFnMesh fn(target);
    if (c.move) {
      ASSERT_TRUE(fn.setPoints(moved));
    }
    if (c.partial) {
      MIntArray corner;
      fn.getPolygonVertices(0, corner);
      MVectorArray one;
      one.append(given);
      ASSERT_TRUE(fn.setFaceVertexNormals(one, MIntArray(1, 0), MIntArray(1, corner[0])));
    }
    MFloatVectorArray list;
    ASSERT_TRUE(fn.getNormals(list));
    EXPECT_EQ(fn.numNormals(), (int)list.length());
    EXPECT_EQ(list.length(), c.partial ? 9u : 8u);
    for (MItMeshPolygon it(target); !it.isDone(); it.next()) {
      MIntArray ids;
      fn.getFaceNormalIds(it.index(), ids);
      for (unsigned k = 0; k < it.polygonVertexCount(); ++k) {
        ASSERT_EQ(ids[k], (int)it.normalIndex((int)k));
        const MFloatVector& n = list[it.normalIndex((int)k)];
        const bool set = c.partial && it.index() == 0 && k == 0;
        const MFloatVector want = set ? MFloatVector(0, 1, 0) : defaults[(unsigned)it.vertexIndex((int)k)];
        EXPECT_FLOAT_EQ(n.x, want.x) << "face " << it.index() << " corner " << k;
        EXPECT_FLOAT_EQ(n.y, want.y) << "face " << it.index() << " corner " << k;
        EXPECT_FLOAT_EQ(n.z, want.z) << "face " << it.index() << " corner " << k;
      }
    }
    if (c.dataCopy) {  // the shape the copy came from is unchanged
      MFloatVectorArray own;
      MFnMesh(shape).getNormals(own);
      EXPECT_EQ(own[7].x, defaults[7].x);
      MFloatPointArray p;
      MFnMesh(shape).getPoints(p);
      EXPECT_EQ(p[7].x, 1.0f);
    }
  }
}

TEST_F(HostMesh, FaceTouchingAVertexTwiceTakesItsNormalsInTurn) {
  // One face around a bridge: vertex 0 is its corner 0 and its corner 3.
  MFloatPointArray points;
  for (int i = 0; i < 5; ++i) points.append(MFloatPoint(float(i), float(i * i), 0));
  MIntArray counts(1, 6), connects;
  for (int v : {0, 1, 2, 0, 3, 4}) connects.append(v);
  MObject shape = standin::makeMesh("bridge", points, counts, connects);
  ASSERT_FALSE(shape.isNull());
  MFnMesh fn(shape);
  MVectorArray normals;
  MIntArray faces(6, 0), vertices;
  for (auto n :
       {MVector(1, 0, 0), MVector(0, 0, 1), MVector(0, 0, 1), MVector(0, 1, 0), MVector(0, 0, 1), MVector(0, 0, 1)})
    normals.append(n);
  for (int v : {0, 1, 2, 0, 3, 4}) vertices.append(v);
  ASSERT_TRUE(fn.setFaceVertexNormals(normals, faces, vertices));
  MFloatVectorArray list;
  fn.getNormals(list);
  MItMeshPolygon it(shape);
  EXPECT_EQ(list[it.normalIndex(0)].x, 1.0f);
  EXPECT_EQ(list[it.normalIndex(3)].y, 1.0f);
}

TEST_F(HostMesh, WorldSpaceNeedsAPathAndDataObjectsHaveNone) {
  MObject moved = standin::makeTransform("moved", MObject::kNullObj, standin::translation(10, 0, 0));
  MObject shape = standin::makeCube("cube", 1.0, moved);
  MFloatPointArray p;
  ASSERT_TRUE(MFnMesh(pathOf(shape)).getPoints(p, MSpace::kWorld));
  EXPECT_EQ(p[7].x, 11.0f);
  EXPECT_EQ(p[7].w, 1.0f);
  ASSERT_TRUE(MFnMesh(shape).getPoints(p, MSpace::kWorld));
  EXPECT_EQ(p[7].x, 1.0f);  // attached by object: no path, object space

  MObject data;
  ASSERT_TRUE(MFnDependencyNode(shape).findPlug("outMesh").getValue(data));
  EXPECT_EQ(data.apiType(), MFn::kMeshData);
  EXPECT_TRUE(data.hasFn(MFn::kMesh));
  MStatus st;
  MFnDagNode(data, &st);
  EXPECT_EQ(st, MStatus::kInvalidParameter);
  MFnMesh fn(data, &st);
  ASSERT_TRUE(st);
  MDagPath none;
  EXPECT_FALSE(fn.getPath(none));
  ASSERT_TRUE(fn.getPoints(p, MSpace::kWorld));
  EXPECT_EQ(p[7].x, 1.0f);
  MObjectArray shaders;
  MIntArray indices;
  EXPECT_FALSE(fn.getConnectedShaders(0, shaders, indices));
  // The snapshot is independent of the shape.
  p[7].x = 50;
  ASSERT_TRUE(fn.setPoints(p));
  MFnMesh(shape).getPoints(p);
  EXPECT_EQ(p[7].x, 1.0f);

  // Building straight into a data object.
  MFnMeshData dataFn;
  MObject owner = dataFn.create();
  Fan f;
  MFnMesh built;
  EXPECT_TRUE(built.create(5, 2, f.points, f.counts, f.connects, owner, &st) == owner);
  ASSERT_TRUE(st);
  EXPECT_EQ(MFnMesh(owner).numPolygons(), 2);
  MItMeshPolygon it(owner, &st);
  EXPECT_TRUE(st);
  MItMeshPolygon refused(moved, &st);
  EXPECT_EQ(st, MStatus::kInvalidParameter);
}
