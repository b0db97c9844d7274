// The import driver: reads the whole rig file into the rig model, and only when it was
// read without a fault builds joints, meshes, normals, UV sets and skin clusters.

#include <maya/MGlobal.h>

#include "Core/UMessage.h"
#include "Import/JointBuilder.h"
#include "Import/MeshChecks.h"
#include "Rig/RigReader.h"
#include "TessalineTranslators.h"
#include "Utils/UTextParser.h"
#include "platform/Maya/Kits/HPolygonMeshKit.h"

using namespace kiln::platform_maya;
using brix::TVector3;
using brix::UArray;
using brix::UString;
using MeshKit = HPolygonMeshKit<float>;

namespace {

// The file's Z-up to a Y-up scene: rows 1 and 2 of the inverse bind matrix swap and the
// new row 2 is negated; points and normals (x, y, z) become (x, z, -y).
void ConvertToYUp(UArray<BoneData>& bones, UArray<MeshData>& meshes) {
    for (BoneData& bone : bones)
        for (int c = 0; c < 4; ++c) {
            const float row1 = bone.invBaseMatrix.m[1][c];
            bone.invBaseMatrix.m[1][c] = bone.invBaseMatrix.m[2][c];
            bone.invBaseMatrix.m[2][c] = row1 * -1.0f;
        }
    for (MeshData& mesh : meshes) {
        for (UArray<TVector3<float>>* list : {&mesh.vertices, &mesh.normals})
            for (TVector3<float>& v : *list) v = TVector3<float>{v.x, v.z, -0.0f - v.y};
    }
}

class MeshBuilder {
public:
    MeshBuilder(const UArray<BoneData>& bones, const JointTable& joints) {
        // Influence i is the i-th bone that has a joint; bones without one are left out.
        for (int32_t b = 0; b < bones.Num(); ++b) {
            const HObject* joint = bones[b].name.Num() ? joints.Find(bones[b].name) : nullptr;
            m_influenceOfBone.Append(joint ? m_joints.Append(*joint) : -1);
        }
    }

    void Build(const MeshData& mesh) {
        MeshKit kit{HObject()};
        HStatus status;
        kit.Create(mesh.vertices, status, mesh.polygonVertexIndices, mesh.polygonVertexCounts, HObject());
        kit.SetNormals(status, mesh.normals, mesh.polygonNormalIndices);
        BuildUVSets(kit, mesh);
        if (mesh.name.Num()) kit.SetName(mesh.name);
        if (mesh.weights.Num()) BuildSkin(kit, mesh);
    }

private:
    void BuildUVSets(MeshKit& kit, const MeshData& mesh) {
        HStatus status;
        for (int32_t set = 0; set < mesh.textureCoordinates.Num(); ++set) {
            // A set without index list is skipped; a set that cannot be added ends the
            // mesh's UV sets instead of being waited for.
            if (set >= mesh.polygonTexCoordIndices.Num()) break;
            while (kit.GetNumUVSets() <= set) {
                const int32_t before = kit.GetNumUVSets();
                kit.CreateUVSet(status);
                if (kit.GetNumUVSets() <= before) return;
            }
            // An unmapped set is made but given nothing.
            if (mesh.textureCoordinates[set].Num() == 0 && mesh.polygonTexCoordIndices[set].Num() == 0) continue;
            kit.SetTextureCoordinates(status, mesh.textureCoordinates[set], mesh.polygonTexCoordIndices[set], set);
        }
    }

    void BuildSkin(MeshKit& kit, const MeshData& mesh) {
        HStatus status;
        kit.CreateSkinCluster(status, m_joints);
        // Weights of bones without a joint are dropped from their vertex.
        UArray<float> weights;
        UArray<unsigned int> influences, counts;
        int32_t next = 0;
        for (uint32_t count : mesh.vertexWeightCounts) {
            uint32_t kept = 0;
            for (uint32_t j = 0; j < count; ++j, ++next) {
                const MeshData::Weight& weight = mesh.weights[next];
                const int32_t influence = m_influenceOfBone[int32_t(weight.boneIndex)];
                if (influence < 0) continue;
                weights.Append(weight.weight);
                influences.Append(uint32_t(influence));
                ++kept;
            }
            counts.Append(kept);
        }
        kit.SetVertexWeights(status, weights, influences, counts);
    }

    UArray<HObject> m_joints;
    UArray<int32_t> m_influenceOfBone;
};

}  // namespace

void TessalineImporter::ParseImportOptions(const OptionLine& options) {
    m_yAxisUp = MGlobal::isYAxisUp();
    WarnAboutOptions(options);
}

HStatus TessalineImporter::Import(const OptionLine& options, brix::IInputStream& stream) {
    ParseImportOptions(options);
    UArray<BoneData> bones;
    UArray<MeshData> meshes;
    bool intact;
    {
        brix::TextParserPolicy_ParseStream<unsigned char> file(&stream);
        intact = rig::ReadRigFile(file.Parser(), bones, meshes);
    }
    if (!intact) {
        brix::UMessage(7, "Can't handle file \"") << stream.GetName() << "\". Some data is missing or corrupt.";
        return HStatus(HStatus::FAILURE);
    }

    if (m_yAxisUp) ConvertToYUp(bones, meshes);
    BoneNameTable names;
    for (int32_t i = 0; i < bones.Num(); ++i) {
        if (bones[i].name.Num() == 0) {
            brix::UMessage(7, "Bone ") << i << " of file \"" << stream.GetName()
                                       << "\" has no name. It is not built and its weights are ignored.";
            continue;
        }
        if (uint32_t* index = names.Find(bones[i].name)) *index = uint32_t(i);
        else names.Add(bones[i].name, uint32_t(i));
    }
    JointTable joints;
    JointBuilder jointBuilder(bones, joints, names);
    for (int32_t i = 0; i < bones.Num(); ++i)
        if (bones[i].name.Num()) jointBuilder.CreateJoint(i);

    MeshBuilder meshBuilder(bones, joints);
    for (MeshData& mesh : meshes) {
        if (const char* fault = FindMeshFault(mesh, uint32_t(bones.Num()))) {
            brix::UMessage(7, "Can't build mesh \"") << mesh.name << "\": " << fault << ". It is skipped.";
        } else {
            meshBuilder.Build(mesh);
        }
        // The scene holds the mesh now; its lists are let go before the next one is built.
        mesh = MeshData();
    }
    return HStatus(HStatus::SUCCESS);
}
