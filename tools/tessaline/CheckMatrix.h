#pragma once
// Double-precision 4x4 matrices for the independent check, in Assimp's convention
// (column vectors, translation in the last column). The check keeps its own arithmetic so
// that it shares nothing with the loader it judges.

#include <assimp/scene.h>

#include <algorithm>
#include <array>
#include <cmath>

namespace tessaline {

using Vec3 = std::array<double, 3>;

// A 4x4 matrix in double precision. Point, Normal and From take Assimp's convention
// (column vectors, translation in the last column); products and inverses hold for
// either convention.
struct Mat4 {
    double m[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};

    static Mat4 From(const aiMatrix4x4& a) {
        Mat4 r;
        const ai_real* values = &a.a1;
        for (int i = 0; i < 16; ++i) r.m[i / 4][i % 4] = values[i];
        return r;
    }
    Mat4 operator*(const Mat4& b) const {
        Mat4 r;
        for (int i = 0; i < 4; ++i)
            for (int j = 0; j < 4; ++j) {
                r.m[i][j] = 0;
                for (int k = 0; k < 4; ++k) r.m[i][j] += m[i][k] * b.m[k][j];
            }
        return r;
    }
    // Gauss-Jordan with partial pivoting; false when singular.
    bool Inverse(Mat4& out) const {
        double a[4][8];
        for (int i = 0; i < 4; ++i)
            for (int j = 0; j < 8; ++j) a[i][j] = j < 4 ? m[i][j] : (j - 4 == i ? 1 : 0);
        for (int c = 0; c < 4; ++c) {
            int pivot = c;
            for (int r = c + 1; r < 4; ++r)
                if (std::fabs(a[r][c]) > std::fabs(a[pivot][c])) pivot = r;
            if (a[pivot][c] == 0 || !std::isfinite(a[pivot][c])) return false;
            std::swap(a[c], a[pivot]);
            const double scale = a[c][c];
            for (double& v : a[c]) v /= scale;
            for (int r = 0; r < 4; ++r)
                if (r != c) {
                    const double f = a[r][c];
                    for (int j = 0; j < 8; ++j) a[r][j] -= f * a[c][j];
                }
        }
        for (int i = 0; i < 4; ++i)
            for (int j = 0; j < 4; ++j) out.m[i][j] = a[i][j + 4];
        return true;
    }
    // The identity when singular.
    Mat4 Inverted() const {
        Mat4 inverse;
        return Inverse(inverse) ? inverse : Mat4();
    }
    Vec3 Point(const aiVector3D& p) const {
        return {m[0][0] * p.x + m[0][1] * p.y + m[0][2] * p.z + m[0][3],
                m[1][0] * p.x + m[1][1] * p.y + m[1][2] * p.z + m[1][3],
                m[2][0] * p.x + m[2][1] * p.y + m[2][2] * p.z + m[2][3]};
    }
    // Through the inverse transpose, at unit length; false when it has none.
    bool Normal(const aiVector3D& n, Vec3& out) const {
        Mat4 inverse;
        if (!Inverse(inverse)) return false;
        out = {inverse.m[0][0] * n.x + inverse.m[1][0] * n.y + inverse.m[2][0] * n.z,
               inverse.m[0][1] * n.x + inverse.m[1][1] * n.y + inverse.m[2][1] * n.z,
               inverse.m[0][2] * n.x + inverse.m[1][2] * n.y + inverse.m[2][2] * n.z};
        const double length = std::sqrt(out[0] * out[0] + out[1] * out[1] + out[2] * out[2]);
        if (!(length > 0) || !std::isfinite(length)) return false;
        for (double& v : out) v /= length;
        return true;
    }
};

}  // namespace tessaline
