#pragma once
// Iterates the polygons of a mesh shape or mesh data object, in id order.
#include <maya/MIntArray.h>
#include <maya/MObject.h>

namespace standin {
namespace core {
struct Geometry;
struct GeometryHold;
}  // namespace core
}  // namespace standin

class MItMeshPolygon {
public:
  MItMeshPolygon(const MObject& polyObject, MStatus* ReturnStatus = nullptr);
  MItMeshPolygon(const MItMeshPolygon&) = delete;
  MItMeshPolygon& operator=(const MItMeshPolygon&) = delete;
  ~MItMeshPolygon();

  bool isDone(MStatus* ReturnStatus = nullptr) const;
  MStatus next();
  MStatus reset();
  int index(MStatus* ReturnStatus = nullptr) const;
  int count(MStatus* ReturnStatus = nullptr) const;
  unsigned int polygonVertexCount(MStatus* ReturnStatus = nullptr) const;
  int vertexIndex(int localVertexIndex, MStatus* ReturnStatus = nullptr) const;
  MStatus getVertices(MIntArray& vertices) const;
  // Normal-list index of a corner of the current polygon; a bad corner fails.
  unsigned int normalIndex(int localVertexIndex, MStatus* ReturnStatus = nullptr) const;

private:
  // The polygons as they were at construction: the mesh's geometry itself, held so that
  // an edit of the mesh meanwhile writes a copy instead. Null when construction failed.
  standin::core::GeometryHold* m_hold;
  const standin::core::Geometry* m_geometry;
  int m_polygon;
};
