#pragma once
// brix::TMatrix4<T>: a 4x4 matrix of four rows of four, row 0 first. Points are row
// vectors (p * M) with the translation in row 3.

#include <cmath>

namespace brix {

template <typename T>
struct TMatrix4 {
    T m[4][4];

    static TMatrix4 Identity() {
        TMatrix4 identity{};
        for (int i = 0; i < 4; ++i) identity.m[i][i] = T(1);
        return identity;
    }

    T* operator[](int row) { return m[row]; }
    const T* operator[](int row) const { return m[row]; }

    bool operator==(const TMatrix4& other) const {
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c)
                if (m[r][c] != other.m[r][c]) return false;
        return true;
    }
    bool operator!=(const TMatrix4& other) const { return !(*this == other); }

    // The smallest absolute determinant that still counts as invertible.
    static constexpr T kSingularLimit = T(0.00001);

    // Determinant by cofactor expansion along row 0, in the matrix's own precision.
    T Determinant() const {
        T det = 0;
        for (int c = 0; c < 4; ++c) det += ((c & 1) ? -m[0][c] : m[0][c]) * Minor(0, c);
        return det;
    }

    // Inverts in place by the adjugate over the determinant. Fails, leaving the matrix
    // unchanged, when |det| <= 0.00001.
    bool Invert() {
        const T det = Determinant();
        if (!(std::fabs(det) > kSingularLimit)) return false;
        InvertWithDeterminant(det);
        return true;
    }

    // Inverts in place unless the matrix is singular for its own scale: |det| <= 0.00001
    // times the product of the lengths of its first three rows. A rig scaled by 0.01 in
    // every axis (det 1e-6) is inverted; a zero scale or collapsed rows are refused.
    bool InvertScaleAware() {
        T scale = 1;
        for (int r = 0; r < 3; ++r) scale *= std::sqrt(m[r][0] * m[r][0] + m[r][1] * m[r][1] + m[r][2] * m[r][2]);
        const T det = Determinant();
        if (!(std::fabs(det) > kSingularLimit * scale)) return false;
        InvertWithDeterminant(det);
        return true;
    }

    // The adjugate (transposed cofactors) times 1/det, computed once.
    void InvertWithDeterminant(T det) {
        const T inverseDet = T(1) / det;
        TMatrix4 result;
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c) {
                const T cofactor = Minor(c, r);
                result.m[r][c] = (((r + c) & 1) ? -cofactor : cofactor) * inverseDet;
            }
        *this = result;
    }

    // The determinant of the 3x3 matrix left when row and column are removed, expanded
    // along its first row with 2x2 determinants a*d - b*c.
    T Minor(int row, int column) const {
        T s[3][3];
        for (int r = 0, sr = 0; r < 4; ++r) {
            if (r == row) continue;
            for (int c = 0, sc = 0; c < 4; ++c) {
                if (c == column) continue;
                s[sr][sc++] = m[r][c];
            }
            ++sr;
        }
        return s[0][0] * (s[1][1] * s[2][2] - s[1][2] * s[2][1]) - s[0][1] * (s[1][0] * s[2][2] - s[1][2] * s[2][0]) +
               s[0][2] * (s[1][0] * s[2][1] - s[1][1] * s[2][0]);
    }
};

}  // namespace brix
