#pragma once
// Function set for skin clusters. Influence index = position in influenceObjects(), which
// lists the nodes feeding matrix[] in ascending logical index. A DAG path selects the
// geometry index whose output is that shape or reaches it downstream.
//
// Choices: a vertex removed from the deformer set reports weight 0.0; setWeights with
// normalize true rescales the vertex's other influences so the weights sum to 1, with
// normalize false it stores the value exactly.
//
// Evaluation of outputGeometry[g] (linear-blend skinning, on every read, cached until
// the next scene edit): G = input[g].inputGeometry; for each influence k in ascending
// logical index m, T_k = bindPreMatrix[m] * matrix[m] (identity for an unset value).
// A vertex in the deformer set for g (or every vertex when the cluster has no set)
// moves to sum_k w[v][k] * (p * T_k) with the weights exactly as stored (no
// normalisation, so weights summing to 0.7 pull towards the origin); other vertices
// keep p. Each normal is multiplied by sum_k w * upper3x3(T_k) of the first vertex using
// it and renormalised (kept when that gives zero). Topology and UVs pass through;
// envelope and geomMatrix are ignored. outMesh and worldMesh[i] of a shape hold its
// current geometry in object space.
#include <maya/MDagPathArray.h>
#include <maya/MDoubleArray.h>
#include <maya/MFnGeometryFilter.h>
#include <maya/MIntArray.h>

class MFnSkinCluster : public MFnGeometryFilter {
public:
  MFnSkinCluster();
  MFnSkinCluster(const MObject& object, MStatus* ReturnStatus = nullptr);
  MFn::Type type() const override;

  unsigned int influenceObjects(MDagPathArray& paths, MStatus* ReturnStatus = nullptr) const;
  unsigned int indexForInfluenceObject(const MDagPath& influence, MStatus* ReturnStatus = nullptr) const;
  // One value per component element.
  MStatus getWeights(const MDagPath& shape, const MObject& components, unsigned int influenceIndex,
                     MDoubleArray& weights) const;
  // All influences of every component element, element-major.
  MStatus getWeights(const MDagPath& shape, const MObject& components, MDoubleArray& weights,
                     unsigned int& influenceCount) const;
  MStatus setWeights(const MDagPath& shape, const MObject& components, unsigned int influenceIndex, double value,
                     bool normalize = true, MDoubleArray* oldValues = nullptr);
  // Several influences at once: values holds either one value per listed influence, used
  // for every component element, or one per element and listed influence, element-major.
  // An influence index out of range, or any other length of values, fails and changes
  // nothing. A listed influence given twice keeps its last value. With normalize true the
  // unlisted influences are rescaled so each vertex sums to 1. oldValues receives the
  // listed influences' previous values, element-major.
  MStatus setWeights(const MDagPath& shape, const MObject& components, const MIntArray& influenceIndices,
                     const MDoubleArray& values, bool normalize = true, MDoubleArray* oldValues = nullptr);
};
