#pragma once
// The rig model: the in-memory form of one rig file, one record per bone and per mesh,
// each field named after the file key that carries it. Records refer to each other by
// index (weights to bones) or by name (a bone to its parent), never by pointer.

#include <cstdint>

#include "Core/UArray.h"
#include "Core/UBaseString.h"
#include "Math/TMatrix4.h"
#include "Math/TVector.h"

using RigMatrix = brix::TMatrix4<float>;

struct BoneData {
    brix::UString name;
    brix::UString parent;
    // The inverse of the bone's world matrix at bind time, Z-up. The identity until a
    // file sets it.
    RigMatrix invBaseMatrix = RigMatrix::Identity();
};

struct MeshData {
    struct Weight {
        uint32_t boneIndex;
        float weight;
    };

    brix::UString name;
    brix::UArray<brix::TVector3<float>> vertices;
    brix::UArray<brix::TVector3<float>> normals;
    brix::UArray<brix::UArray<brix::TVector2<float>>> textureCoordinates;
    brix::UArray<uint32_t> vertexWeightCounts;
    brix::UArray<Weight> weights;
    brix::UArray<uint32_t> polygonVertexCounts;
    brix::UArray<uint32_t> polygonVertexIndices;
    brix::UArray<uint32_t> polygonNormalIndices;
    brix::UArray<brix::UArray<uint32_t>> polygonTexCoordIndices;
};
