#pragma once
// Function set for polygon meshes: a mesh shape (attached by object or by path) or a mesh
// data object (no DAG path). Reads see the current geometry: for a shape whose inMesh is
// connected, the evaluated upstream geometry. Geometry writes on such a shape fail with
// kFailure.
//
// Choices where the host leaves room:
// - A new mesh has one empty UV set "map1" (every face vertex unmapped) and no shading.
// - Default normals: one per vertex, the normalised sum of the Newell normals of the faces
//   using it ((0,0,0) for a vertex in no face); face vertex normal id = vertex id.
// - setFaceVertexNormals rebuilds the normal list as the distinct vectors in first-use
//   order over face vertices. A face that touches one vertex at several corners takes
//   the n-th normal given for that pair on the n-th of those corners (in turn).
// - kWorld reads with no DAG path (data objects, sets attached by object but without a
//   path) return object space with success. World normals use the inverse transpose of
//   the upper 3x3 of the path's inclusive matrix, renormalised to unit length.
// - deleteUVSet may remove the last UV set.
#include <maya/MFloatArray.h>
#include <maya/MFloatPointArray.h>
#include <maya/MFloatVectorArray.h>
#include <maya/MFnDagNode.h>
#include <maya/MIntArray.h>
#include <maya/MObjectArray.h>
#include <maya/MStringArray.h>
#include <maya/MVectorArray.h>

class MFnMesh : public MFnDagNode {
public:
  MFnMesh();
  MFnMesh(const MObject& object, MStatus* ReturnStatus = nullptr);
  MFnMesh(const MDagPath& path, MStatus* ReturnStatus = nullptr);
  MFn::Type type() const override;
  MStatus setObject(const MObject& object) override;
  MStatus setObject(const MDagPath& path) override;

  // Null parent: a transform "polySurfaceN" with a shape "polySurfaceShapeN"; returns the
  // transform. Transform parent: the shape under it; returns the shape. Mesh data owner:
  // fills the data and returns it. Fails with kInvalidParameter when the arrays disagree
  // with the counts, a vertex id is out of range or a polygon has fewer than 3 corners.
  MObject create(int numVertices, int numPolygons, const MFloatPointArray& vertexArray, const MIntArray& polygonCounts,
                 const MIntArray& polygonConnects, const MObject& parentOrOwner = MObject::kNullObj,
                 MStatus* ReturnStatus = nullptr);

  int numVertices(MStatus* ReturnStatus = nullptr) const;
  int numPolygons(MStatus* ReturnStatus = nullptr) const;
  int numEdges(MStatus* ReturnStatus = nullptr) const;
  int numNormals(MStatus* ReturnStatus = nullptr) const;
  int numFaceVertices(MStatus* ReturnStatus = nullptr) const;
  int numUVSets(MStatus* ReturnStatus = nullptr) const;
  int numUVs(MStatus* ReturnStatus = nullptr) const;  // of the first set
  int numUVs(const MString& uvSet, MStatus* ReturnStatus = nullptr) const;

  MStatus getPoints(MFloatPointArray& points, MSpace::Space space = MSpace::kObject) const;
  MStatus getPoint(int vertexId, MFloatPoint& point, MSpace::Space space = MSpace::kObject) const;
  MStatus setPoints(const MFloatPointArray& points, MSpace::Space space = MSpace::kObject);
  MStatus getNormals(MFloatVectorArray& normals, MSpace::Space space = MSpace::kObject) const;
  MStatus getPolygonVertices(int polygonId, MIntArray& vertexList) const;
  int polygonVertexCount(int polygonId, MStatus* ReturnStatus = nullptr) const;
  MStatus getVertices(MIntArray& vertexCount, MIntArray& vertexList) const;
  MStatus getFaceNormalIds(int faceIndex, MIntArray& normals) const;

  MStatus getUVSetNames(MStringArray& setNames) const;
  MStatus getCurrentUVSetName(MString& setName) const;
  MStatus getUVs(MFloatArray& uArray, MFloatArray& vArray, const MString* uvSet = nullptr) const;
  // cornerIndex is the face-vertex number within the polygon; an unmapped one fails.
  MStatus getPolygonUVid(int polygonId, int cornerIndex, int& uvId, const MString* uvSet = nullptr) const;
  MStatus getAssignedUVs(MIntArray& uvCounts, MIntArray& uvIds, const MString* uvSet = nullptr) const;

  // Shading groups of one instance in first-assigned order; indices has one entry per
  // polygon (-1: no group).
  MStatus getConnectedShaders(unsigned int instanceNumber, MObjectArray& shaders, MIntArray& indices) const;

  MStatus setFaceVertexNormals(const MVectorArray& normals, const MIntArray& faceList, const MIntArray& vertexList,
                               MSpace::Space space = MSpace::kObject);
  // Empty name: a new unique "uvSetN" is written back. Existing name: kFailure.
  MStatus createUVSet(MString& uvSetName, MDGModifier* modifier = nullptr);
  MStatus deleteUVSet(const MString& uvSetName, MDGModifier* modifier = nullptr);
  MStatus setUVs(const MFloatArray& uArray, const MFloatArray& vArray, const MString* uvSet = nullptr);
  MStatus assignUVs(const MIntArray& uvCounts, const MIntArray& uvIds, const MString* uvSet = nullptr);

private:
  bool m_isData;
};
