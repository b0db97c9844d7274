#pragma once
// Function set for deformers (skin clusters and the pass-through "tweak" deformer).
#include <maya/MDagPath.h>
#include <maya/MFnDependencyNode.h>

class MFnGeometryFilter : public MFnDependencyNode {
public:
  MFnGeometryFilter();
  MFnGeometryFilter(const MObject& object, MStatus* ReturnStatus = NULL);
  MFn::Type type() const override;

  // outputGeometry elements that have an outgoing connection.
  unsigned int numOutputConnections(MStatus* ReturnStatus = NULL) const;
  // Node at the far end of outputGeometry[logicalIndex]; none gives kFailure.
  MObject outputShapeAtIndex(unsigned int logicalIndex, MStatus* ReturnStatus = NULL) const;
  // Node feeding input[logicalIndex].inputGeometry; none gives kFailure.
  MObject inputShapeAtIndex(unsigned int logicalIndex, MStatus* ReturnStatus = NULL) const;
  // Geometry index whose output reaches the shape (directly or through intermediates).
  unsigned int indexForOutputShape(const MObject& shape, MStatus* ReturnStatus = NULL) const;
  MStatus getOutputGeometry(MObjectArray& shapes) const;
  // The objectSet linked through message -> usedBy; none gives kFailure.
  MObject deformerSet(MStatus* ReturnStatus = NULL) const;
  float envelope(MStatus* ReturnStatus = NULL) const;
};
