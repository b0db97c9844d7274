#pragma once
// Double-precision 3-vector.
class MVector {
public:
  MVector(double xx = 0.0, double yy = 0.0, double zz = 0.0) : x(xx), y(yy), z(zz) {}
  bool operator==(const MVector& o) const { return x == o.x && y == o.y && z == o.z; }
  double x, y, z;
};
