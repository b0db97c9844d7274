#pragma once
// Compares two rig files by what they describe rather than by their bytes: bones (name,
// parent, inverse bind matrix), and per mesh its name, vertices, polygons (corner counts
// and vertex indices), the normal and the UV of every corner in every set, its material
// names and each polygon's material, and the weights of every vertex. Normal and UV lists
// may be ordered differently; what each corner gets counts. Reals are compared as the
// file's four decimals read them, exactly (-0 equals 0).

#include <cctype>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "Rig/RigReader.h"

namespace plugin_test {

inline bool ReadRig(const std::string& text, brix::UArray<BoneData>& bones, brix::UArray<MeshData>& meshes) {
    brix::UString subject(text.c_str());
    brix::UTextParser parser(subject);
    return rig::ReadRigFile(parser, bones, meshes);
}

// The materials of one mesh block, which the rig model does not keep (the importer builds
// none): the names of "materialNames" and the indices of "polygonMaterialIndices".
struct RigMaterials {
    std::vector<std::string> names;
    std::vector<uint32_t> polygonIndices;
};

// The materials of each "mesh N { ... }" block by N, read from the text's tokens: words,
// braces and double-quoted strings (a name never holds a double quote). Blocks are
// skipped by their braces, so a key matters only directly inside a mesh block.
inline std::map<uint32_t, RigMaterials> ReadRigMaterials(const std::string& text) {
    std::vector<std::string> tokens;
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (std::isspace(c)) {
            ++i;
        } else if (c == '"') {
            const size_t end = text.find('"', i + 1);
            const size_t stop = end == std::string::npos ? text.size() : end + 1;
            tokens.push_back(text.substr(i, stop - i));
            i = stop;
        } else if (c == '{' || c == '}') {
            tokens.push_back(std::string(1, char(c)));
            ++i;
        } else {
            size_t end = i;
            while (end < text.size() && !std::isspace(static_cast<unsigned char>(text[end])) && text[end] != '{' &&
                   text[end] != '}' && text[end] != '"')
                ++end;
            tokens.push_back(text.substr(i, end - i));
            i = end;
        }
    }
    std::map<uint32_t, RigMaterials> meshes;
    RigMaterials* mesh = nullptr;  // the mesh block the tokens are directly inside
    int depth = 0;
    for (size_t t = 0; t < tokens.size(); ++t) {
        const std::string& token = tokens[t];
        if (token == "{") {
            ++depth;
        } else if (token == "}") {
            if (--depth == 0) mesh = nullptr;
        } else if (depth == 0 && token == "mesh" && t + 2 < tokens.size() && tokens[t + 2] == "{") {
            mesh = &meshes[uint32_t(std::stoul(tokens[t + 1]))];
            *mesh = RigMaterials();
            t += 2;
            depth = 1;
        } else if (depth == 1 && mesh && t + 1 < tokens.size() && tokens[t + 1] == "{" &&
                   (token == "materialNames" || token == "polygonMaterialIndices")) {
            for (t += 2; t < tokens.size() && tokens[t] != "}"; ++t) {
                if (token == "materialNames")
                    mesh->names.push_back(tokens[t].substr(1, tokens[t].size() - 2));
                else
                    mesh->polygonIndices.push_back(uint32_t(std::stoul(tokens[t])));
            }
        }
    }
    return meshes;
}

// The material name polygon p has, "" when it has none (no index, or one past the names).
inline std::string MaterialOfPolygon(const RigMaterials& materials, int32_t p) {
    if (size_t(p) >= materials.polygonIndices.size()) return "";
    const uint32_t index = materials.polygonIndices[size_t(p)];
    return index < materials.names.size() ? materials.names[index] : "";
}

// Whether materials count. The importer builds none, so a rig that was imported and
// exported again names none; comparisons across an import leave them out.
enum class Materials { Compared, Ignored };

// "" when equivalent, else the first difference found.
inline std::string RigDifference(const std::string& a, const std::string& b,
                                 Materials materials = Materials::Compared) {
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
    const std::map<uint32_t, RigMaterials> materialsA = ReadRigMaterials(a), materialsB = ReadRigMaterials(b);
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
        for (int32_t p = 0; p < x.polygonVertexCounts.Num(); ++p)
            if (x.polygonVertexCounts[p] != y.polygonVertexCounts[p]) return "polygon sizes" + at;
        for (int32_t k = 0; k < x.polygonVertexIndices.Num(); ++k)
            if (x.polygonVertexIndices[k] != y.polygonVertexIndices[k]) return "polygon vertices" + at;
        if (x.polygonNormalIndices.Num() != y.polygonNormalIndices.Num()) return "normal indices" + at;
        for (int32_t k = 0; k < x.polygonNormalIndices.Num(); ++k) {
            const uint32_t nx = x.polygonNormalIndices[k], ny = y.polygonNormalIndices[k];
            if (nx >= uint32_t(x.normals.Num()) || ny >= uint32_t(y.normals.Num()))
                return "normal index past the normals" + at;
            if (!(x.normals[int32_t(nx)] == y.normals[int32_t(ny)])) return "corner normals" + at;
        }
        if (x.textureCoordinates.Num() != y.textureCoordinates.Num() ||
            x.polygonTexCoordIndices.Num() != y.polygonTexCoordIndices.Num())
            return "UV set count" + at;
        for (int32_t s = 0; s < x.textureCoordinates.Num() && s < x.polygonTexCoordIndices.Num(); ++s) {
            const brix::UArray<uint32_t>& ix = x.polygonTexCoordIndices[s];
            const brix::UArray<uint32_t>& iy = y.polygonTexCoordIndices[s];
            if (ix.Num() != iy.Num()) return "UV indices" + at;
            // An unmapped set has no coordinates; its indices point at nothing.
            if ((x.textureCoordinates[s].Num() == 0) != (y.textureCoordinates[s].Num() == 0)) return "UV mapping" + at;
            if (x.textureCoordinates[s].Num() == 0) continue;
            for (int32_t k = 0; k < ix.Num(); ++k) {
                if (ix[k] >= uint32_t(x.textureCoordinates[s].Num()) ||
                    iy[k] >= uint32_t(y.textureCoordinates[s].Num()))
                    return "UV index past the set" + at;
                if (!(x.textureCoordinates[s][int32_t(ix[k])] == y.textureCoordinates[s][int32_t(iy[k])]))
                    return "corner UVs" + at;
            }
        }
        const auto found = [](const std::map<uint32_t, RigMaterials>& all, int32_t mesh) {
            const auto it = all.find(uint32_t(mesh));
            return it == all.end() ? RigMaterials() : it->second;
        };
        const RigMaterials mx = found(materialsA, m), my = found(materialsB, m);
        if (materials == Materials::Compared) {
            if (mx.names != my.names) return "material names" + at;
            for (int32_t p = 0; p < x.polygonVertexCounts.Num(); ++p)
                if (MaterialOfPolygon(mx, p) != MaterialOfPolygon(my, p)) return "polygon materials" + at;
        }
        if (!(x.vertexWeightCounts.Num() == y.vertexWeightCounts.Num())) return "weight counts" + at;
        int32_t kx = 0, ky = 0;
        for (int32_t v = 0; v < x.vertexWeightCounts.Num(); ++v) {
            std::map<uint32_t, float> wx, wy;
            // A bone listed twice for a vertex weighs the sum, as the importer builds it.
            for (uint32_t j = 0; j < x.vertexWeightCounts[v]; ++j, ++kx) {
                if (kx >= x.weights.Num()) return "weights past the list" + at;
                wx[x.weights[kx].boneIndex] += x.weights[kx].weight;
            }
            for (uint32_t j = 0; j < y.vertexWeightCounts[v]; ++j, ++ky) {
                if (ky >= y.weights.Num()) return "weights past the list" + at;
                wy[y.weights[ky].boneIndex] += y.weights[ky].weight;
            }
            if (wx != wy) return "weights" + at;
        }
        if (kx != x.weights.Num() || ky != y.weights.Num()) return "weights past the counts" + at;
    }
    return "";
}

}  // namespace plugin_test
