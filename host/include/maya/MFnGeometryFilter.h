#pragma once
// Function set for deformers (skin clusters and the pass-through "tweak" deformer).
#include <maya/MDagPath.h>
#include <maya/MFnDependencyNode.h>

class MFnGeometryFilter : public MFnDependencyNode {
public:
  MFnGeometryFilter();
  MFnGeometryFilter(const MObject& object, MStatus* ReturnStatus = nullptr);
  MFn::Type type() const override;

  // outputGeometry elements that have an outgoing connection.
  unsigned int numOutputConnections(MStatus* ReturnStatus = nullptr) const;
  // Node at the far end of outputGeometry[logicalIndex]; none gives kFailure.
  MObject outputShapeAtIndex(unsigned int logicalIndex, MStatus* ReturnStatus = nullptr) const;
  // Node feeding input[logicalIndex].inputGeometry; none gives kFailure.
  MObject inputShapeAtIndex(unsigned int logicalIndex, MStatus* ReturnStatus = nullptr) const;
  // Geometry index whose output reaches the shape (directly or through intermediates).
  unsigned int indexForOutputShape(const MObject& shape, MStatus* ReturnStatus = nullptr) const;
  MStatus getOutputGeometry(MObjectArray& shapes) const;
  // The objectSet linked through message -> usedBy; none gives kFailure.
  MObject deformerSet(MStatus* ReturnStatus = nullptr) const;
  float envelope(MStatus* ReturnStatus = nullptr) const;
};
