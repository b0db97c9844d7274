// The import driver: reads the whole rig file into the rig model, and only when it was
// read without a fault builds joints, meshes, normals, UV sets and skin clusters.

#include "Import/ImportScene.h"

#include "Core/UMessage.h"
#include "Import/JointBuilder.h"
#include "Import/MeshBuilder.h"
#include "Rig/RigAxes.h"
#include "Rig/RigReader.h"
#include "Utils/UStageClock.h"
#include "Utils/UTextParser.h"

using namespace kiln::platform_maya;
using brix::TVector3;
using brix::UArray;
using brix::UString;

namespace {

// The file's Z-up to a Y-up scene.
void ConvertToYUp(UArray<BoneData>& bones, UArray<MeshData>& meshes) {
    for (BoneData& bone : bones) rig::InverseBindToSceneAxes(bone.invBaseMatrix);
    for (MeshData& mesh : meshes)
        for (UArray<TVector3<float>>* list : {&mesh.vertices, &mesh.normals})
            for (TVector3<float>& v : *list) v = rig::ToSceneAxes(v);
}

void ReportTimings(const brix::UStageClock& clock) {
    for (int i = 0; i < clock.Num(); ++i)
        brix::UMessage(brix::Channel::Info, "Timing: import ") << clock[i].name << " " << clock[i].seconds;
}

}  // namespace

HStatus ImportScene(brix::IInputStream& stream, const ImportSettings& settings) {
    UArray<BoneData> bones;
    UArray<MeshData> meshes;
    bool intact;
    rig::RigReadReport report;
    brix::UStageClock clock;
    {
        clock.Start("read");
        brix::TextParserPolicy_ParseStream<unsigned char> file(&stream);
        clock.Start("parse");
        intact = rig::ReadRigFile(file.Parser(), bones, meshes, report);
        clock.Start("release the text");
    }
    clock.Stop();
    if (!intact) {
        if (settings.reportTimings) ReportTimings(clock);
        brix::UMessage(brix::Channel::Warning, "Can't handle file \"")
            << stream.GetName() << "\". Some data is missing or corrupt.";
        // Why, on the info channel: the warning's text stays as it always was.
        if (report.damage.Found()) {
            brix::UMessage why(brix::Channel::Info, "");
            if (report.damage.offset >= 0)
                why << "at byte " << report.damage.offset << ", line " << report.damage.line << ": ";
            why << rig::DamageRuleText(report.damage.rule);
        }
        return HStatus(HStatus::FAILURE);
    }
    // Two rig files one after the other read as the second: its counts start the
    // records over. Whatever that cost is said.
    if (report.discardedBones)
        brix::UMessage(brix::Channel::Warning, "File \"")
            << stream.GetName() << "\": a later bone count discards the bones read before it (" << report.discardedBones
            << ").";
    if (report.discardedMeshes)
        brix::UMessage(brix::Channel::Warning, "File \"")
            << stream.GetName() << "\": a later mesh count discards the meshes read before it ("
            << report.discardedMeshes << ").";
    if (report.materialsLeftOut)
        brix::UMessage(brix::Channel::Warning, "File \"")
            << stream.GetName()
            << "\": its materials are not imported; the meshes are built without material names and polygon "
               "materials.";

    if (settings.yAxisUp) {
        clock.Start("axes");
        ConvertToYUp(bones, meshes);
    }
    clock.Start("joints");
    BoneNameTable names;
    for (int32_t i = 0; i < bones.Num(); ++i) {
        if (bones[i].name.IsEmpty()) {
            brix::UMessage(brix::Channel::Warning, "Bone ")
                << i << " of file \"" << stream.GetName()
                << "\" has no name. It is not built and its weights are ignored.";
            continue;
        }
        if (uint32_t* index = names.Find(bones[i].name))
            *index = uint32_t(i);
        else
            names.Add(bones[i].name, uint32_t(i));
    }
    JointBuilder joints(bones, names);
    for (int32_t i = 0; i < bones.Num(); ++i)
        if (!bones[i].name.IsEmpty()) joints.CreateJoint(i);

    MeshBuilder meshBuilder(bones, joints, clock);
    for (MeshData& mesh : meshes) {
        meshBuilder.Build(mesh);
        // The scene holds the mesh now; its lists are let go before the next one is built.
        clock.Start("release the lists");
        mesh = MeshData();
    }
    clock.Stop();
    if (settings.reportTimings) ReportTimings(clock);
    return HStatus(HStatus::SUCCESS);
}
