#include "Import/MeshBuilder.h"

#include "Core/UMessage.h"
#include "Import/MeshChecks.h"

using namespace kiln::platform_maya;
using brix::UArray;
using brix::UMessage;

MeshBuilder::MeshBuilder(const UArray<BoneData>& bones, const JointBuilder& joints, brix::UStageClock& clock)
    : m_clock(clock) {
    for (int32_t b = 0; b < bones.Num(); ++b) {
        const HObject& joint = joints.GetJoint(b);
        m_influenceOfBone.Append(joint.IsNull() ? -1 : m_joints.Append(joint));
    }
}

void MeshBuilder::Build(const MeshData& mesh) {
    MeshKit kit{HObject()};
    m_clock.Start("geometry");
    if (!BuildGeometry(kit, mesh)) return;
    const uint64_t faceVertices = CountFaceVertices(mesh);
    m_clock.Start("normals");
    BuildNormals(kit, mesh, faceVertices);
    m_clock.Start("UVs");
    BuildUVSets(kit, mesh, faceVertices);
    m_clock.Start("geometry");
    if (mesh.name.Num() && !kit.SetName(mesh.name).IsOk())
        UMessage(brix::Channel::Warning, "Mesh \"")
            << mesh.name << "\" is built as \"" << kit.GetName() << "\": a mesh cannot be named so.";
    m_clock.Start("skin");
    if (mesh.weights.Num()) BuildSkin(kit, mesh);
    m_clock.Stop();
}

bool MeshBuilder::BuildGeometry(MeshKit& kit, const MeshData& mesh) {
    const char* fault = MeshFaultText(FindGeometryFault(mesh));
    HStatus status;
    if (!fault) {
        kit.Create(mesh.vertices, status, mesh.polygonVertexIndices, mesh.polygonVertexCounts, HObject());
        if (!status.IsOk()) fault = "the host refused its geometry";
    }
    if (fault)
        UMessage(brix::Channel::Warning, "Can't build mesh \"") << mesh.name << "\": " << fault << ". It is skipped.";
    return !fault;
}

void MeshBuilder::BuildNormals(MeshKit& kit, const MeshData& mesh, uint64_t faceVertices) {
    if (mesh.polygonNormalIndices.Num() == 0) return;  // the host's default normals stay
    const char* fault = MeshFaultText(FindNormalFault(mesh, faceVertices));
    if (!fault) {
        HStatus status;
        kit.SetNormals(status, mesh.normals, mesh.polygonNormalIndices);
        if (!status.IsOk()) fault = "the host refused its normals";
    }
    if (fault)
        UMessage(brix::Channel::Warning, "Mesh \"") << mesh.name << "\" keeps its default normals: " << fault << ".";
}

void MeshBuilder::BuildUVSets(MeshKit& kit, const MeshData& mesh, uint64_t faceVertices) {
    HStatus status;
    for (int32_t set = 0; set < mesh.textureCoordinates.Num(); ++set) {
        // Index lists come in set order, so a set without one ends the sets.
        if (set >= mesh.polygonTexCoordIndices.Num()) {
            UMessage(brix::Channel::Warning, "UV set ")
                << set << " of mesh \"" << mesh.name << "\" is not built: it has no texture coordinate indices.";
            return;
        }
        // Sets are addressed by index, so a set that is not filled is still added. One
        // that cannot be added ends the sets instead of being waited for.
        while (kit.GetNumUVSets() <= set) {
            const int32_t before = kit.GetNumUVSets();
            kit.CreateUVSet(status);
            if (kit.GetNumUVSets() <= before) {
                UMessage(brix::Channel::Warning, "UV set ")
                    << set << " of mesh \"" << mesh.name << "\" is not built: the host could not add it.";
                return;
            }
        }
        if (IsUnmappedUVSet(mesh, set)) continue;
        const char* fault = MeshFaultText(FindUVSetFault(mesh, set, faceVertices));
        if (!fault) {
            kit.SetTextureCoordinates(status, mesh.textureCoordinates[set], mesh.polygonTexCoordIndices[set], set);
            if (!status.IsOk()) fault = "the host refused it";
        }
        if (fault)
            UMessage(brix::Channel::Warning, "UV set ")
                << set << " of mesh \"" << mesh.name << "\" is left empty: " << fault << ".";
    }
}

void MeshBuilder::BuildSkin(MeshKit& kit, const MeshData& mesh) {
    const char* fault = MeshFaultText(FindWeightCountFault(mesh));
    // Weights go to the influence of their bone. Those of a bone outside the file's list
    // are dropped with a warning; those of a bone without a joint (a bone without a
    // name, reported when its joint was not made) without one. A bone listed twice for
    // one vertex gets the sum of its weights, as the host gives a repeated influence.
    // Pairs after the last run the counts ask for are dropped with a warning.
    UArray<float> weights;
    UArray<unsigned int> influences, counts;
    // Where each influence's weight of the current vertex lies in weights; an entry
    // before the vertex's first one is an earlier vertex's.
    UArray<int32_t> slotOfInfluence;
    if (!fault) {
        // Room for every pair and count at once: growing by steps would copy the lists
        // several times over and touch fresh memory for each copy.
        weights.Reserve(mesh.weights.Num());
        influences.Reserve(mesh.weights.Num());
        counts.Reserve(mesh.vertexWeightCounts.Num());
        slotOfInfluence.Reserve(m_joints.Num());
        for (int32_t i = 0; i < m_joints.Num(); ++i) slotOfInfluence.Append(-1);
    }
    int32_t outsideList = 0, next = 0;
    for (int32_t v = 0; !fault && v < mesh.vertexWeightCounts.Num(); ++v) {
        const int32_t first = weights.Num();
        for (uint32_t j = 0; j < mesh.vertexWeightCounts[v]; ++j, ++next) {
            const MeshData::Weight& weight = mesh.weights[next];
            if (weight.boneIndex >= uint32_t(m_influenceOfBone.Num())) {
                ++outsideList;
                continue;
            }
            const int32_t influence = m_influenceOfBone[int32_t(weight.boneIndex)];
            if (influence < 0) continue;
            int32_t& slot = slotOfInfluence[influence];
            if (slot >= first) {
                weights[slot] += weight.weight;
                continue;
            }
            slot = weights.Num();
            weights.Append(weight.weight);
            influences.Append(uint32_t(influence));
        }
        counts.Append(uint32_t(weights.Num() - first));
    }
    if (outsideList)
        UMessage(brix::Channel::Warning, "Mesh \"")
            << mesh.name << "\": weights naming a bone outside the file's bone list are dropped (" << outsideList
            << " of " << mesh.weights.Num() << ").";
    if (!fault && next < mesh.weights.Num())
        UMessage(brix::Channel::Warning, "Mesh \"")
            << mesh.name << "\": weights beyond its weight counts are dropped (" << mesh.weights.Num() - next << " of "
            << mesh.weights.Num() << ").";
    if (!fault && weights.Num() == 0) fault = "none of its weights names a bone that has a joint";
    HStatus status;
    if (!fault) {
        kit.CreateSkinCluster(status, m_joints);
        if (!status.IsOk()) fault = "the host refused the skinCluster command";
    }
    if (!fault) {
        kit.SetVertexWeights(status, weights, influences, counts);
        if (!status.IsOk()) fault = "the host refused its weights";
    }
    if (fault)
        UMessage(brix::Channel::Warning, "Can't build the skin of mesh \"") << mesh.name << "\": " << fault << ".";
}
