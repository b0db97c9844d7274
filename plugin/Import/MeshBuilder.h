#pragma once
// Builds one mesh record in the scene, step by step: the polygon mesh, its normals, its
// UV sets, its name and its skin. Each step is checked on its own; a step that cannot
// be taken is left out with a warning naming the mesh, and the others still run. Only
// geometry that cannot be built costs the whole mesh.

#include "Import/JointBuilder.h"
#include "Rig/RigModel.h"
#include "Utils/UStageClock.h"
#include "platform/Maya/Kits/HPolygonMeshKit.h"

class MeshBuilder {
public:
    // Influence i of every skin is the i-th bone that has a joint. Each step's time is
    // added to its stage of the clock.
    MeshBuilder(const brix::UArray<BoneData>& bones, const JointBuilder& joints, brix::UStageClock& clock);

    void Build(const MeshData& mesh);

private:
    using MeshKit = kiln::platform_maya::HPolygonMeshKit<float>;

    bool BuildGeometry(MeshKit& kit, const MeshData& mesh);
    void BuildNormals(MeshKit& kit, const MeshData& mesh, uint64_t faceVertices);
    void BuildUVSets(MeshKit& kit, const MeshData& mesh, uint64_t faceVertices);
    void BuildSkin(MeshKit& kit, const MeshData& mesh);

    brix::UArray<kiln::platform_maya::HObject> m_joints;
    brix::UArray<int32_t> m_influenceOfBone;  // -1 for a bone without a joint
    brix::UStageClock& m_clock;
};
