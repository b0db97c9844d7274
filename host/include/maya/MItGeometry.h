#pragma once
// Iterates the vertices of a shape's current geometry, in id order.
#include <maya/MDagPath.h>
#include <maya/MObject.h>

class MItGeometry {
public:
  MItGeometry(const MDagPath& path, MStatus* ReturnStatus = nullptr);
  MItGeometry(const MObject& shape, MStatus* ReturnStatus = nullptr);
  MItGeometry(const MItGeometry&) = delete;
  MItGeometry& operator=(const MItGeometry&) = delete;
  ~MItGeometry();

  bool isDone(MStatus* ReturnStatus = nullptr) const;
  MStatus next();
  MStatus reset();
  // A vertex component holding the current vertex id.
  MObject component(MStatus* ReturnStatus = nullptr) const;
  int index(MStatus* ReturnStatus = nullptr) const;
  int count(MStatus* ReturnStatus = nullptr) const;

private:
  int m_count;
  int m_index;
};
