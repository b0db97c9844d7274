#pragma once
// Compares two rig files by what they describe rather than by their bytes: bones, and
// per mesh its vertices, polygons, and the normal, UV and weights of every corner and
// vertex. Normal and UV lists may be ordered differently; what each corner gets counts.

#include <map>
#include <sstream>
#include <string>

#include "Rig/RigReader.h"

namespace plugin_test {

inline bool ReadRig(const std::string& text, brix::UArray<BoneData>& bones, brix::UArray<MeshData>& meshes) {
    brix::UString subject(text.c_str());
    brix::UTextParser parser(subject);
    return rig::ReadRigFile(parser, bones, meshes);
}

// "" when equivalent, else the first difference found.
inline std::string RigDifference(const std::string& a, const std::string& b) {
    brix::UArray<BoneData> bonesA, bonesB;
    brix::UArray<MeshData> meshesA, meshesB;
    if (!ReadRig(a, bonesA, meshesA) || !ReadRig(b, bonesB, meshesB)) return "unreadable";
    if (bonesA.Num() != bonesB.Num()) return "bone count";
    for (int32_t i = 0; i < bonesA.Num(); ++i) {
        const std::string at = " of bone " + std::string(bonesA[i].name.c_str());
        if (bonesA[i].name != bonesB[i].name) return "name" + at;
        if (bonesA[i].parent != bonesB[i].parent) return "parent" + at;
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c)
                if (bonesA[i].invBaseMatrix.m[r][c] != bonesB[i].invBaseMatrix.m[r][c] &&
                    !(bonesA[i].invBaseMatrix.m[r][c] == 0 && bonesB[i].invBaseMatrix.m[r][c] == 0))
                    return "matrix" + at;
    }
    if (meshesA.Num() != meshesB.Num()) return "mesh count";
    for (int32_t m = 0; m < meshesA.Num(); ++m) {
        const MeshData& x = meshesA[m];
        const MeshData& y = meshesB[m];
        const std::string at = " of mesh " + std::string(x.name.c_str());
        if (x.name != y.name) return "name" + at;
        if (x.vertices.Num() != y.vertices.Num()) return "vertex count" + at;
        for (int32_t v = 0; v < x.vertices.Num(); ++v)
            if (!(x.vertices[v] == y.vertices[v])) return "vertices" + at;
        if (x.polygonVertexCounts.Num() != y.polygonVertexCounts.Num() ||
            x.polygonVertexIndices.Num() != y.polygonVertexIndices.Num())
            return "polygons" + at;
        for (int32_t k = 0; k < x.polygonVertexIndices.Num(); ++k)
            if (x.polygonVertexIndices[k] != y.polygonVertexIndices[k]) return "polygon vertices" + at;
        if (x.polygonNormalIndices.Num() != y.polygonNormalIndices.Num()) return "normal indices" + at;
        for (int32_t k = 0; k < x.polygonNormalIndices.Num(); ++k)
            if (!(x.normals[int32_t(x.polygonNormalIndices[k])] == y.normals[int32_t(y.polygonNormalIndices[k])]))
                return "corner normals" + at;
        if (x.textureCoordinates.Num() != y.textureCoordinates.Num()) return "UV set count" + at;
        for (int32_t s = 0; s < x.textureCoordinates.Num(); ++s) {
            const brix::UArray<uint32_t>& ix = x.polygonTexCoordIndices[s];
            const brix::UArray<uint32_t>& iy = y.polygonTexCoordIndices[s];
            if (ix.Num() != iy.Num()) return "UV indices" + at;
            // An unmapped set has no coordinates; its indices point at nothing.
            if ((x.textureCoordinates[s].Num() == 0) != (y.textureCoordinates[s].Num() == 0)) return "UV mapping" + at;
            if (x.textureCoordinates[s].Num() == 0) continue;
            for (int32_t k = 0; k < ix.Num(); ++k)
                if (!(x.textureCoordinates[s][int32_t(ix[k])] == y.textureCoordinates[s][int32_t(iy[k])]))
                    return "corner UVs" + at;
        }
        if (!(x.vertexWeightCounts.Num() == y.vertexWeightCounts.Num())) return "weight counts" + at;
        int32_t kx = 0, ky = 0;
        for (int32_t v = 0; v < x.vertexWeightCounts.Num(); ++v) {
            std::map<uint32_t, float> wx, wy;
            // A bone listed twice for a vertex weighs the sum, as the importer builds it.
            for (uint32_t j = 0; j < x.vertexWeightCounts[v]; ++j, ++kx) wx[x.weights[kx].boneIndex] += x.weights[kx].weight;
            for (uint32_t j = 0; j < y.vertexWeightCounts[v]; ++j, ++ky) wy[y.weights[ky].boneIndex] += y.weights[ky].weight;
            if (wx != wy) return "weights" + at;
        }
    }
    return "";
}

}  // namespace plugin_test
