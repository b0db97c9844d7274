#include "Import/MeshChecks.h"

namespace {
bool AllBelow(const brix::UArray<uint32_t>& indices, uint32_t limit) {
    for (uint32_t index : indices)
        if (index >= limit) return false;
    return true;
}
}  // namespace

uint64_t CountFaceVertices(const MeshData& mesh) {
    uint64_t faceVertices = 0;
    for (uint32_t count : mesh.polygonVertexCounts) faceVertices += count;
    return faceVertices;
}

const char* FindGeometryFault(const MeshData& mesh) {
    for (uint32_t count : mesh.polygonVertexCounts)
        if (count < 3) return "a polygon has fewer than 3 corners";
    if (CountFaceVertices(mesh) != uint64_t(mesh.polygonVertexIndices.Num()))
        return "its polygon vertex counts do not match its polygon vertex indices";
    if (!AllBelow(mesh.polygonVertexIndices, uint32_t(mesh.vertices.Num())))
        return "a polygon vertex index is past the end of its vertex list";
    return nullptr;
}

const char* FindNormalFault(const MeshData& mesh, uint64_t faceVertices) {
    if (mesh.polygonNormalIndices.Num() == 0) return nullptr;
    if (uint64_t(mesh.polygonNormalIndices.Num()) != faceVertices)
        return "its normal indices do not match its face vertices";
    if (!AllBelow(mesh.polygonNormalIndices, uint32_t(mesh.normals.Num())))
        return "a normal index is past the end of its normal list";
    return nullptr;
}

bool IsUnmappedUVSet(const MeshData& mesh, int32_t set) {
    return mesh.textureCoordinates[set].Num() == 0 && AllBelow(mesh.polygonTexCoordIndices[set], 1);
}

const char* FindUVSetFault(const MeshData& mesh, int32_t set, uint64_t faceVertices) {
    const brix::UArray<uint32_t>& indices = mesh.polygonTexCoordIndices[set];
    if (uint64_t(indices.Num()) < faceVertices) return "it has fewer texture coordinate indices than face vertices";
    if (!AllBelow(indices, uint32_t(mesh.textureCoordinates[set].Num())))
        return "a texture coordinate index is past the end of the set";
    return nullptr;
}

const char* FindWeightCountFault(const MeshData& mesh) {
    if (mesh.vertexWeightCounts.Num() != mesh.vertices.Num()) return "its weight counts do not match its vertices";
    uint64_t weights = 0;
    for (uint32_t count : mesh.vertexWeightCounts) weights += count;
    if (weights > uint64_t(mesh.weights.Num())) return "its weight counts add up to more weights than it holds";
    return nullptr;
}
