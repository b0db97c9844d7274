#pragma once
// The rig file is Z-up; a Y-up scene is turned about the X axis on the way in and out.
// Points and normals: scene (x, y, z) is file (x, -z, y). An inverse bind matrix maps
// world points (row vectors) to bone space, so its rows 1 and 2 (the world's y and z)
// change places; a world matrix's columns 1 and 2 do. Both directions are here so that
// each stays the exact inverse of the other, bit for bit (-0.0 included).

#include "Math/TMatrix4.h"
#include "Math/TVector.h"

namespace rig {

// Scene (Y-up) to file (Z-up).
inline brix::TVector3<float> ToFileAxes(const brix::TVector3<float>& v) { return {v.x, -v.z, v.y}; }
// File (Z-up) to scene (Y-up).
inline brix::TVector3<float> ToSceneAxes(const brix::TVector3<float>& v) { return {v.x, v.z, -0.0f - v.y}; }

// An inverse bind matrix, scene to file: row 1 becomes minus row 2, row 2 becomes row 1.
inline void InverseBindToFileAxes(brix::TMatrix4<float>& m) {
    for (int c = 0; c < 4; ++c) {
        const float row1 = m.m[1][c];
        m.m[1][c] = m.m[2][c] * -1.0f;
        m.m[2][c] = row1;
    }
}

// An inverse bind matrix, file to scene: row 1 becomes row 2, row 2 becomes minus row 1.
inline void InverseBindToSceneAxes(brix::TMatrix4<float>& m) {
    for (int c = 0; c < 4; ++c) {
        const float row1 = m.m[1][c];
        m.m[1][c] = m.m[2][c];
        m.m[2][c] = row1 * -1.0f;
    }
}

// A world matrix, scene to file: column 1 becomes minus column 2, column 2 becomes column 1.
inline void WorldToFileAxes(brix::TMatrix4<float>& m) {
    for (int r = 0; r < 4; ++r) {
        const float column1 = m.m[r][1];
        m.m[r][1] = m.m[r][2] * -1.0f;
        m.m[r][2] = column1;
    }
}

}  // namespace rig
