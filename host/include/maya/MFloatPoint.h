#pragma once
// Homogeneous single-precision point.
class MFloatPoint {
public:
  MFloatPoint(float xx = 0.0f, float yy = 0.0f, float zz = 0.0f, float ww = 1.0f) : x(xx), y(yy), z(zz), w(ww) {}
  bool operator==(const MFloatPoint& o) const { return x == o.x && y == o.y && z == o.z && w == o.w; }
  float x, y, z, w;
};
