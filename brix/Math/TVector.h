#pragma once
// Plain float vectors: TVector2 for texture coordinates, TVector3 for positions and
// normals.

namespace brix {

template <typename T>
struct TVector2 {
    T x, y;
    bool operator==(const TVector2& o) const { return x == o.x && y == o.y; }
};

template <typename T>
struct TVector3 {
    T x, y, z;
    bool operator==(const TVector3& o) const { return x == o.x && y == o.y && z == o.z; }
};

}  // namespace brix
