#include "Import/MeshChecks.h"

namespace {
bool AllBelow(const brix::UArray<uint32_t>& indices, uint32_t limit) {
    for (uint32_t index : indices)
        if (index >= limit) return false;
    return true;
}
}  // namespace

const char* MeshFaultText(MeshFault fault) {
    switch (fault) {
    case MeshFault::None: return nullptr;
    case MeshFault::FewerThan3Corners: return "a polygon has fewer than 3 corners";
    case MeshFault::CountsMismatchIndices: return "its polygon vertex counts do not match its polygon vertex indices";
    case MeshFault::VertexIndexPastEnd: return "a polygon vertex index is past the end of its vertex list";
    case MeshFault::NormalIndicesMismatch: return "its normal indices do not match its face vertices";
    case MeshFault::NormalIndexPastEnd: return "a normal index is past the end of its normal list";
    case MeshFault::FewerUVIndicesThanCorners: return "it has fewer texture coordinate indices than face vertices";
    case MeshFault::UVIndexPastEnd: return "a texture coordinate index is past the end of the set";
    case MeshFault::WeightCountsMismatch: return "its weight counts do not match its vertices";
    case MeshFault::WeightCountsPastWeights: return "its weight counts add up to more weights than it holds";
    }
    return nullptr;
}

uint64_t CountFaceVertices(const MeshData& mesh) {
    uint64_t faceVertices = 0;
    for (uint32_t count : mesh.polygonVertexCounts) faceVertices += count;
    return faceVertices;
}

MeshFault FindGeometryFault(const MeshData& mesh) {
    for (uint32_t count : mesh.polygonVertexCounts)
        if (count < 3) return MeshFault::FewerThan3Corners;
    if (CountFaceVertices(mesh) != uint64_t(mesh.polygonVertexIndices.Num())) return MeshFault::CountsMismatchIndices;
    if (!AllBelow(mesh.polygonVertexIndices, uint32_t(mesh.vertices.Num()))) return MeshFault::VertexIndexPastEnd;
    return MeshFault::None;
}

MeshFault FindNormalFault(const MeshData& mesh, uint64_t faceVertices) {
    if (mesh.polygonNormalIndices.Num() == 0) return MeshFault::None;
    if (uint64_t(mesh.polygonNormalIndices.Num()) != faceVertices) return MeshFault::NormalIndicesMismatch;
    if (!AllBelow(mesh.polygonNormalIndices, uint32_t(mesh.normals.Num()))) return MeshFault::NormalIndexPastEnd;
    return MeshFault::None;
}

bool IsUnmappedUVSet(const MeshData& mesh, int32_t set) {
    return mesh.textureCoordinates[set].Num() == 0 && AllBelow(mesh.polygonTexCoordIndices[set], 1);
}

MeshFault FindUVSetFault(const MeshData& mesh, int32_t set, uint64_t faceVertices) {
    const brix::UArray<uint32_t>& indices = mesh.polygonTexCoordIndices[set];
    if (uint64_t(indices.Num()) < faceVertices) return MeshFault::FewerUVIndicesThanCorners;
    if (!AllBelow(indices, uint32_t(mesh.textureCoordinates[set].Num()))) return MeshFault::UVIndexPastEnd;
    return MeshFault::None;
}

MeshFault FindWeightCountFault(const MeshData& mesh) {
    if (mesh.vertexWeightCounts.Num() != mesh.vertices.Num()) return MeshFault::WeightCountsMismatch;
    uint64_t weights = 0;
    for (uint32_t count : mesh.vertexWeightCounts) weights += count;
    if (weights > uint64_t(mesh.weights.Num())) return MeshFault::WeightCountsPastWeights;
    return MeshFault::None;
}
