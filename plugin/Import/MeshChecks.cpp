#include "Import/MeshChecks.h"

namespace {
bool AllBelow(const brix::UArray<uint32_t>& indices, uint32_t limit) {
    for (uint32_t index : indices)
        if (index >= limit) return false;
    return true;
}
}  // namespace

const char* FindMeshFault(const MeshData& mesh, uint32_t boneCount) {
    uint64_t faceVertices = 0;
    for (uint32_t count : mesh.polygonVertexCounts) faceVertices += count;
    if (faceVertices != uint64_t(mesh.polygonVertexIndices.Num()))
        return "its polygon vertex counts do not match its polygon vertex indices";
    if (!AllBelow(mesh.polygonVertexIndices, uint32_t(mesh.vertices.Num())))
        return "a polygon vertex index is past the end of its vertex list";
    if (!AllBelow(mesh.polygonNormalIndices, uint32_t(mesh.normals.Num())))
        return "a normal index is past the end of its normal list";
    for (int32_t set = 0; set < mesh.polygonTexCoordIndices.Num() && set < mesh.textureCoordinates.Num(); ++set) {
        const brix::UArray<uint32_t>& indices = mesh.polygonTexCoordIndices[set];
        // A set without coordinates and without indices is an unmapped set.
        if (indices.Num() == 0 && mesh.textureCoordinates[set].Num() == 0) continue;
        if (uint64_t(indices.Num()) < faceVertices) return "a UV set has fewer texture coordinate indices than face vertices";
        if (!AllBelow(indices, uint32_t(mesh.textureCoordinates[set].Num())))
            return "a texture coordinate index is past the end of its UV set";
    }
    uint64_t weights = 0;
    for (uint32_t count : mesh.vertexWeightCounts) weights += count;
    if (weights > uint64_t(mesh.weights.Num())) return "its weight counts add up to more weights than it holds";
    for (const MeshData::Weight& weight : mesh.weights)
        if (weight.boneIndex >= boneCount) return "a weight names a bone past the end of the bone list";
    return nullptr;
}
