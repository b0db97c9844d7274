#include "Rig/RigReader.h"

#include <cstring>

using brix::TVector2;
using brix::TVector3;
using brix::UArray;
using brix::UString;
using brix::UTextParser;

namespace rig {

namespace {

bool Is(const UString& key, const char* text) { return strcmp(key.c_str(), text) == 0; }

void ReadVectors3(const UString& text, UArray<TVector3<float>>& out) {
    UTextParser parser(text);
    while (parser.HasMoreTokens()) parser >> out[out.Add()];
}

void ReadVectors2(const UString& text, UArray<TVector2<float>>& out) {
    UTextParser parser(text);
    while (parser.HasMoreTokens()) parser >> out[out.Add()];
}

void ReadUnsigned(const UString& text, UArray<uint32_t>& out) {
    UTextParser parser(text);
    while (parser.HasMoreTokens()) {
        int32_t value;
        parser >> value;
        out.Append(uint32_t(value));
    }
}

void ReadWeights(const UString& text, UArray<MeshData::Weight>& out) {
    UTextParser parser(text);
    while (parser.HasMoreTokens()) {
        int32_t bone;
        float weight;
        parser >> bone >> weight;
        out.Append(MeshData::Weight{uint32_t(bone), weight});
    }
}

// Reads "set 0 {...} set 1 {...}": each entry the word set, its number in order, and a
// block handed to readSet; false on any other word or number.
template <typename List, typename ReadSet>
bool ReadSets(const UString& text, UArray<List>& sets, ReadSet readSet) {
    sets.Empty(16);
    UTextParser parser(text);
    if (parser.GetEngineError()) return false;
    while (parser.HasMoreTokens()) {
        UString key, block;
        int32_t number;
        parser >> key;
        if (!Is(key, "set")) return false;
        parser >> number >> block;
        if (number != sets.Num()) return false;
        readSet(block, sets[sets.Add()]);
    }
    return true;
}

}  // namespace

bool CheckVersion(UTextParser& parser) {
    UString version;
    parser >> version;
    return Is(version, "1");
}

bool ReadBoneBlock(const UString& blockText, BoneData& bone) {
    UTextParser parser(blockText);
    while (parser.HasMoreTokens()) {
        UString key;
        parser >> key;
        if (Is(key, "name")) parser >> bone.name;
        else if (Is(key, "parent")) parser >> bone.parent;
        else if (Is(key, "invBaseMatrix"))
            for (int row = 0; row < 4; ++row) parser >> bone.invBaseMatrix.m[row];
    }
    return true;
}

bool ReadMeshBlock(const UString& blockText, MeshData& mesh) {
    mesh.vertices.Empty(0);
    mesh.normals.Empty(0);
    mesh.textureCoordinates.Empty(0);
    mesh.vertexWeightCounts.Empty(0);
    mesh.weights.Empty(0);
    mesh.polygonVertexCounts.Empty(0);
    mesh.polygonVertexIndices.Empty(0);
    mesh.polygonNormalIndices.Empty(0);
    mesh.polygonTexCoordIndices.Empty(0);

    UTextParser parser(blockText);
    if (parser.GetEngineError()) return false;
    while (parser.HasMoreTokens()) {
        UString key, value;
        parser >> key;
        if (Is(key, "name")) {
            parser >> mesh.name;
        } else if (Is(key, "material")) {
            parser >> mesh.material;
        } else if (Is(key, "vertices")) {
            parser >> value;
            ReadVectors3(value, mesh.vertices);
        } else if (Is(key, "normals")) {
            parser >> value;
            ReadVectors3(value, mesh.normals);
        } else if (Is(key, "textureCoordinates")) {
            parser >> value;
            if (!ReadSets(value, mesh.textureCoordinates, ReadVectors2)) return false;
        } else if (Is(key, "polygonTexCoordIndices")) {
            parser >> value;
            if (!ReadSets(value, mesh.polygonTexCoordIndices, ReadUnsigned)) return false;
        } else if (Is(key, "polygonVertexCounts")) {
            parser >> value;
            ReadUnsigned(value, mesh.polygonVertexCounts);
        } else if (Is(key, "polygonVertexIndices")) {
            parser >> value;
            ReadUnsigned(value, mesh.polygonVertexIndices);
        } else if (Is(key, "polygonNormalIndices")) {
            parser >> value;
            ReadUnsigned(value, mesh.polygonNormalIndices);
        } else if (Is(key, "vertexWeightCounts")) {
            parser >> value;
            ReadUnsigned(value, mesh.vertexWeightCounts);
        } else if (Is(key, "weights")) {
            parser >> value;
            ReadWeights(value, mesh.weights);
        }
    }
    return true;
}

bool ReadRigFile(UTextParser& parser, UArray<BoneData>& bones, UArray<MeshData>& meshes) {
    // Text the tokenizer could not read to its end is damaged, not short.
    if (parser.GetEngineError()) return false;
    bool ok = true;
    while (ok && parser.HasMoreTokens()) {
        UString key;
        parser >> key;
        if (Is(key, "version")) {
            ok = CheckVersion(parser);
        } else if (Is(key, "numBones") || Is(key, "numMeshes")) {
            int32_t count;
            parser >> count;
            ok = uint32_t(count) < kMaxRecords;
            if (ok && Is(key, "numBones")) {
                bones.Empty(0);
                bones.Add(count);
            } else if (ok) {
                meshes.Empty(0);
                meshes.Add(count);
            }
        } else if (Is(key, "bone")) {
            int32_t index;
            UString block;
            parser >> index;
            ok = uint32_t(index) < uint32_t(bones.Num());
            if (ok) {
                parser >> block;
                ReadBoneBlock(block, bones[index]);
            }
        } else if (Is(key, "mesh")) {
            int32_t index;
            UString block;
            parser >> index;
            ok = uint32_t(index) < uint32_t(meshes.Num());
            if (ok) {
                parser >> block;
                ok = ReadMeshBlock(block, meshes[index]);
            }
        }
    }
    return ok;
}

}  // namespace rig
