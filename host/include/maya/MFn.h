#pragma once
// Entity type numbers. kJoint, kMesh, kMeshData and kSkinClusterFilter have fixed values
// that plug-ins depend on; 360 and 779 exist with no entity of those types. The other
// numbers are this host's own, all distinct from the fixed ones.
namespace MFn {
enum Type {
  kInvalid = 0,
  kBase = 1,
  kNamedObject = 2,
  kDependencyNode = 4,
  kDagNode = 107,
  kWorld = 108,
  kTransform = 110,
  kJoint = 121,
  kShape = 248,
  kSurface = 292,
  kMesh = 293,
  kShadingEngine = 320,
  kGeometryFilt = 334,
  kTweak = 343,
  kType360 = 360,
  kLambert = 363,
  kBlinn = 365,
  kPhong = 366,
  kSet = 459,
  kComponent = 524,
  kSingleIndexedComponent = 525,
  kMeshVertComponent = 526,
  kMeshPolygonComponent = 527,
  kAttribute = 556,
  kNumericAttribute = 557,
  kCompoundAttribute = 558,
  kTypedAttribute = 559,
  kMatrixAttribute = 560,
  kMessageAttribute = 561,
  kGenericAttribute = 562,
  kData = 571,
  kGeometryData = 572,
  kMeshData = 573,
  kMatrixData = 574,
  kPlugin = 580,
  kSkinClusterFilter = 668,
  kType779 = 779,
  kLast = 1000
};
}
