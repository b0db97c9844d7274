#pragma once
// Assimp's matrices in double precision, for the arithmetic of bind poses: products of
// large and small numbers (a x100 joint times its x0.01 offset) lose too much in float.

#include <assimp/matrix4x4.h>

namespace tessaline {

using Matrix = aiMatrix4x4t<double>;

inline Matrix Exact(const aiMatrix4x4& m) {
    Matrix exact;
    for (unsigned r = 0; r < 4; ++r)
        for (unsigned c = 0; c < 4; ++c) exact[r][c] = m[r][c];
    return exact;
}

}  // namespace tessaline
