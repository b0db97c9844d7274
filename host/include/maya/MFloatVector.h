#pragma once
// Single-precision 3-vector.
class MFloatVector {
public:
  MFloatVector(float xx = 0.0f, float yy = 0.0f, float zz = 0.0f) : x(xx), y(yy), z(zz) {}
  bool operator==(const MFloatVector& o) const { return x == o.x && y == o.y && z == o.z; }
  float x, y, z;
};
