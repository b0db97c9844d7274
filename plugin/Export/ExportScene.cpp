// The export driver: walks the scene through the scene kit and streams the rig file,
// bone by bone and mesh by mesh, straight to the output stream through the rig writer.
//
// Each mesh's skin cluster and influence list are found once per export, and each
// influence is matched to its bone once, so the work grows with bones + meshes +
// weights rather than with their product.

#include "Export/ExportScene.h"

#include <maya/MGlobal.h>

#include <algorithm>
#include <cmath>
#include <utility>

#include "Core/ErrorDescription.h"
#include "Core/LegacyTexts.h"
#include "Core/UMessage.h"
#include "Rig/RigAxes.h"
#include "Rig/RigReader.h"
#include "Rig/RigWriter.h"
#include "Utils/UStageClock.h"
#include "platform/Maya/Kits/HJointKit.h"
#include "platform/Maya/Kits/HMaterialKit.h"
#include "platform/Maya/Kits/HObjectIndex.h"
#include "platform/Maya/Kits/HPolygonMeshKit.h"

using namespace kiln::platform_maya;
using brix::TVector2;
using brix::TVector3;
using brix::UArray;
using brix::UString;
using MeshKit = HPolygonMeshKit<float>;

namespace {

const char kBeginProgress[] =
    "global string $gMainProgressBar;progressBar -edit -beginProgress -isInterruptable true -status "
    "\"Progress...\" -maxValue 256 $gMainProgressBar;";
const char kEndProgress[] = "progressBar -edit -endProgress $gMainProgressBar;";

int32_t Smaller(int32_t a, int32_t b) { return a < b ? a : b; }

// What the export needs of each mesh's skin, found once: the skin clusters that reach
// it, its one skin cluster and its influences as positions in the bone list; and, per
// bone, the meshes it influences.
struct SkinMap {
    struct MeshSkin {
        UArray<MeshKit::Skin_Plug> clusters;  // as FindSkinClusters gives them
        HObject skinCluster;                  // null unless the mesh has exactly one
        UArray<HObject> joints;               // the influences, in influence-index order
        UArray<int32_t> boneOfInfluence;      // each influence's bone, -1 when it is none
        bool influencesUnread = false;        // it has one skin cluster, whose influences the scene did not give
    };
    UArray<MeshSkin> meshes;
    UArray<UArray<int32_t>> meshesOfBone;  // ascending mesh indices

    SkinMap(const UArray<HObject>& meshList, const UArray<HObject>& bones) {
        meshes.Add(meshList.Num());
        UArray<UArray<MeshKit::Skin_Plug>> clusters;
        MeshKit::FindSkinClustersOf(meshList, clusters);
        for (int32_t m = 0; m < meshList.Num(); ++m) {
            meshes[m].clusters = std::move(clusters[m]);
            const UArray<MeshKit::Skin_Plug>& found = meshes[m].clusters;
            if (found.Num() == 1) meshes[m].skinCluster = HObject(found[0].skinCluster.object());
        }
        // With no bones no influence can be matched, and no joint list is asked for.
        if (bones.Num() == 0) return;
        const HObjectIndex index(bones);
        meshesOfBone.Add(bones.Num());
        for (int32_t m = 0; m < meshList.Num(); ++m) {
            MeshKit kit(meshList[m]);
            MeshSkin& skin = meshes[m];
            kit.SetKnownSkinClusters(skin.clusters);
            HStatus status;
            kit.GetJoints(status, skin.joints);
            // A mesh without its one skin cluster has no influences to give.
            skin.influencesUnread = !status.IsOk() && !skin.skinCluster.IsNull();
            // Influences usually come in the order of the bone list.
            int32_t previous = -1;
            for (const HObject& joint : skin.joints) {
                const int32_t bone = index.Find(joint, previous + 1);
                previous = bone;
                skin.boneOfInfluence.Append(bone);
                if (bone < 0) continue;
                UArray<int32_t>& list = meshesOfBone[bone];
                if (list.Num() == 0 || list[list.Num() - 1] != m) list.Append(m);
            }
        }
    }
};

// Whether two bind-time world matrices of one bone are one pose. Matrices read from
// different skin clusters of one file agree to float noise (3e-7 of their size) yet may
// differ in the last bits, so entries are compared within a tolerance of the matrices'
// scale: the axes (rows 0 to 2) within 1e-5 of the largest axis entry of either matrix,
// the head (row 3) within 1e-5 of the largest entry of either. A head far from the
// origin thus does not hide a turned bone. Comparing with <= lets all-zero rows (a
// tolerance of 0) compare equal, and a NaN never does.
bool SameBindPose(const HMatrix& a, const HMatrix& b) {
    constexpr float kRelative = 1e-5f;
    float largestAxisEntry = 0, largestEntry = 0;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) {
            const float larger = std::max(std::fabs(a.m[r][c]), std::fabs(b.m[r][c]));
            largestEntry = std::max(largestEntry, larger);
            if (r < 3) largestAxisEntry = std::max(largestAxisEntry, larger);
        }
    for (int r = 0; r < 4; ++r) {
        const float tolerance = kRelative * (r < 3 ? largestAxisEntry : largestEntry);
        for (int c = 0; c < 4; ++c)
            if (!(std::fabs(a.m[r][c] - b.m[r][c]) <= tolerance)) return false;
    }
    return true;
}

// The first bind-time world matrix among the meshes that the bone influences, each read
// from that mesh's own skin cluster; the current world matrix when it influences none.
HMatrix BindMatrix(HNodeKit& boneKit, const SkinMap& skins, int32_t index) {
    HMatrix first = HMatrix::Identity();
    bool found = false;
    if (index < skins.meshesOfBone.Num() && skins.meshesOfBone[index].Num()) {
        HJointBindPoses poses(boneKit);
        for (int32_t m : skins.meshesOfBone[index]) {
            const HObject& skinCluster = skins.meshes[m].skinCluster;
            HMatrix matrix = HMatrix::Identity();
            if (!skinCluster.IsNull())
                poses.Get(matrix, skinCluster.GetObject());
            else
                HJointKit::GetBindPoseMatrix(boneKit, matrix);
            if (!found) {
                first = matrix;
                found = true;
            } else if (!SameBindPose(matrix, first)) {
                brix::UMessage(brix::Channel::Info, brix::legacy::kDistinctBindPoses);
                break;
            }
        }
    }
    if (!found) boneKit.GetMatrix(first, SPACE_WORLD);
    return first;
}

// Every bone's bind-time world matrix, found once before the first bone is written: how
// precisely a bone is written depends on the size of the whole rig.
UArray<HMatrix> BindMatrices(const UArray<HObject>& bones, const SkinMap& skins) {
    UArray<HMatrix> worlds;
    worlds.Reserve(bones.Num());
    for (int32_t i = 0; i < bones.Num(); ++i) {
        HNodeKit boneKit(bones[i]);
        worlds.Append(BindMatrix(boneKit, skins, i));
    }
    return worlds;
}

void WriteBone(RigWriter& writer, const ExportSettings& settings, const HObject& bone, int32_t index,
               const HMatrix& world, float rigSize) {
    HNodeKit boneKit(bone);
    writer.BeginBone(uint32_t(index), boneKit.GetName());
    const HObject parent = HNodeKit::GetParent(boneKit);
    UString parentName;
    if (!parent.IsNull()) {
        HNodeKit parentKit(parent);
        parentName = parentKit.GetName();
    }
    writer.BoneParent(parentName);

    HMatrix bind = world;
    if (!bind.InvertScaleAware()) {
        // The record's text names only the failed check; say which joint and why.
        brix::UMessage(brix::Channel::Error, "Can't export bone \"")
            << boneKit.GetName() << "\": its bind matrix cannot be inverted (a zero scale, for example).";
        const brix::legacy::ErrorSite& site = brix::legacy::kExportBindMatrix;
        brix::ThrowAssureFailure(site.file, site.function, brix::legacy::kExportBindMatrixCheck, site.line);
    }
    // The world matrix in the file's axes stays the inverse of the written matrix: the
    // rows swapped in the inverse are columns (each row's y and z) in the world matrix.
    HMatrix fileWorld = world;
    if (settings.yAxisUp) {
        rig::InverseBindToFileAxes(bind);
        rig::WorldToFileAxes(fileWorld);
    }
    writer.BindMatrix(bind.m, fileWorld.m, rigSize);
    writer.EndBone();
}

class MeshWriter {
public:
    MeshWriter(RigWriter& writer, const ExportSettings& settings, const SkinMap& skins, brix::UStageClock& clock)
        : m_writer(writer), m_yAxisUp(settings.yAxisUp), m_skins(skins), m_clock(clock) {}

    void Write(const HObject& mesh, int32_t index) {
        m_clock.Start("mesh counts and weights");
        MeshKit kit(mesh);
        kit.SetKnownSkinClusters(m_skins.meshes[index].clusters);
        m_failedRead = m_skins.meshes[index].influencesUnread ? "skin influences" : nullptr;
        m_meshName = kit.GetName();
        const UString& meshName = m_meshName;
        m_writer.BeginMesh(uint32_t(index), meshName);

        UArray<HObject> groups;
        HStatus status;
        kit.GetShadingGroups(status, groups);
        Check(status, "shading groups");
        const int32_t numVertices = kit.GetNumVertices();
        const int32_t numNormals = kit.GetNumNormals();
        const int32_t numSets = kit.GetNumUVSets();
        const int32_t numWeights = ReadWeights(kit, index);
        const int32_t numPolygons = kit.GetNumPolygons();

        m_clock.Start("positions and normals");
        WriteBindPoseGeometry(kit, numVertices, numNormals);
        m_clock.Start("UVs");
        WriteTextureCoordinates(kit, numSets);
        m_clock.Start("materials");
        m_writer.BeginSection("materialNames");
        for (const HObject& group : groups) {
            HMaterialKit material(group);
            m_writer.MaterialNameLine(material.GetName());
        }
        m_clock.Start("polygons");
        WritePolygons(kit, numPolygons, numSets, groups.Num() > 0);
        m_clock.Start("weights");

        // A file without bones has no bone for a weight to name.
        if (numWeights != 0 && m_skins.meshesOfBone.Num() == 0)
            WarnAboutLeftOutWeights(kit, meshName);
        else if (numWeights != 0)
            WriteWeights(m_skins.meshes[index], meshName, numWeights);
        m_weights.Empty(0);
        m_influences.Empty(0);
        m_weightCounts.Empty(0);
        m_writer.EndMesh();
        m_clock.Stop();
    }

    // The first host read of the last mesh that failed, or null. A failed read gives an
    // empty list, and a file missing part of a mesh would read back as another mesh, so
    // the export fails on it.
    const char* FailedRead() const { return m_failedRead; }
    const UString& MeshName() const { return m_meshName; }

private:
    void Check(const HStatus& status, const char* what) {
        if (!status.IsOk() && !m_failedRead) m_failedRead = what;
    }

    // The number of the mesh's non-zero weights. When they will be written (the file has
    // bones and the mesh one skin cluster) they are read here, once, into m_weights,
    // m_influences and m_weightCounts: counting them apart would walk every weight of the
    // mesh a second time. Otherwise only the count is asked for, which also warns about a
    // mesh with several skin clusters.
    int32_t ReadWeights(MeshKit& kit, int32_t index) {
        if (m_skins.meshesOfBone.Num() == 0 || m_skins.meshes[index].clusters.Num() != 1)
            return kit.GetNumVertexWeights();
        m_weightsRead = HStatus();
        kit.GetVertexWeights(m_weightsRead, m_weights, m_influences, m_weightCounts);
        return m_weightsRead.IsOk() ? m_weights.Num() : 0;
    }

    // Positions and normals of the bind pose, in world space.
    void WriteBindPoseGeometry(MeshKit& kit, int32_t numVertices, int32_t numNormals) {
        HStatus status;
        kit.SetGeometrySource(status, GEOMETRY_BIND_POSE);
        UArray<TVector3<float>> vectors;
        HStatus read;
        kit.GetVertices(read, vectors, SPACE_WORLD);
        Check(read, "vertices");
        m_writer.BeginSection("vertices");
        WriteVectors(vectors, numVertices);
        vectors.Empty(0);
        kit.GetNormals(read, vectors, SPACE_WORLD);
        Check(read, "normals");
        m_writer.BeginSection("normals");
        WriteVectors(vectors, numNormals);
        kit.SetGeometrySource(status, GEOMETRY_CURRENT);
    }

    void WriteVectors(const UArray<TVector3<float>>& vectors, int32_t count) {
        for (int32_t i = 0; i < Smaller(count, vectors.Num()); ++i)
            m_writer.VectorLine(m_yAxisUp ? rig::ToFileAxes(vectors[i]) : vectors[i]);
    }

    void WriteTextureCoordinates(MeshKit& kit, int32_t numSets) {
        HStatus status;
        m_writer.BeginSection("textureCoordinates");
        m_mappedSets.Empty(0);
        for (int32_t set = 0; set < numSets; ++set) {
            UArray<TVector2<float>> uvs;
            kit.GetTextureCoordinates(status, uvs, set);
            Check(status, "texture coordinates");
            m_mappedSets.Append(uvs.Num() > 0);
            m_writer.BeginSet(set);
            for (const TVector2<float>& uv : uvs) m_writer.CoordinateLine(uv.x, uv.y);
            m_writer.EndSet(set == numSets - 1);
        }
    }

    // Corner counts, then the vertex, normal and texture-coordinate indices of each
    // polygon, then each polygon's material index.
    void WritePolygons(MeshKit& kit, int32_t numPolygons, int32_t numSets, bool hasMaterials) {
        HStatus status;
        UArray<unsigned int> indices, counts;
        kit.GetPolygonVertexIndices(status, indices, counts);
        Check(status, "polygons");
        m_writer.BeginSection("polygonVertexCounts");
        for (int32_t p = 0; p < Smaller(numPolygons, counts.Num()); ++p) m_writer.NumberLine(counts[p]);
        m_writer.BeginSection("polygonVertexIndices");
        WritePolygonLines(indices, counts, numPolygons, false);
        kit.GetPolygonNormalIndices(status, indices);
        Check(status, "normal indices");
        m_writer.BeginSection("polygonNormalIndices");
        WritePolygonLines(indices, counts, numPolygons, false);

        m_writer.BeginSection("polygonTexCoordIndices");
        for (int32_t set = 0; set < numSets; ++set) {
            kit.GetPolygonTexCoordIndices(status, indices, set);
            // A set without coordinates has no indices to give.
            if (set < m_mappedSets.Num() && m_mappedSets[set]) Check(status, "texture coordinate indices");
            m_writer.BeginSet(set);
            WritePolygonLines(indices, counts, numPolygons, true);
            m_writer.EndSet(set == numSets - 1);
        }

        UArray<unsigned int> materialIndices;
        kit.GetPolygonMaterialIndices(status, materialIndices);
        // A mesh with no shading group has no material indices to give.
        if (hasMaterials) Check(status, "material indices");
        m_writer.BeginSection("polygonMaterialIndices");
        for (int32_t p = 0; p < Smaller(numPolygons, materialIndices.Num()); ++p)
            m_writer.NumberLine(materialIndices[p]);
    }

    // One line per polygon with its corners' indices; a running position walks the flat
    // list, and a list shorter than the counts ends its lines early.
    void WritePolygonLines(const UArray<unsigned int>& indices, const UArray<unsigned int>& counts, int32_t numPolygons,
                           bool inSet) {
        int32_t next = 0;
        for (int32_t p = 0; p < Smaller(numPolygons, counts.Num()); ++p) {
            const int64_t left = int64_t(indices.Num()) - next;
            const int32_t corners = int32_t(int64_t(counts[p]) < left ? int64_t(counts[p]) : left);
            m_writer.IndexLine(indices.Data() + next, corners, inSet);
            next += corners;
        }
    }

    void WarnAboutLeftOutWeights(MeshKit& kit, const UString& meshName) {
        HStatus status;
        UArray<HObject> joints;
        kit.GetJoints(status, joints);
        Check(status, "skin influences");
        for (const HObject& joint : joints) {
            HNodeKit influence(joint);
            brix::UMessage(brix::Channel::Warning, "Influence \"")
                << influence.GetName() << "\" of mesh \"" << meshName
                << "\" is not an exported joint. Its weights are left out.";
        }
    }

    // The file names a weight's bone by its index in the file's bone list; an influence
    // that is no exported joint is written as bone 0.
    void WriteWeights(const SkinMap::MeshSkin& skin, const UString& meshName, int32_t numWeights) {
        Check(m_weightsRead, "skin weights");
        const UArray<float>& weights = m_weights;
        const UArray<unsigned int>& influences = m_influences;
        m_writer.BeginSection("vertexWeightCounts");
        for (unsigned int count : m_weightCounts) m_writer.NumberLine(count);
        UArray<uint32_t> boneOfInfluence;
        for (int32_t i = 0; i < skin.joints.Num(); ++i) {
            const int32_t bone = skin.boneOfInfluence[i];
            boneOfInfluence.Append(bone < 0 ? 0u : uint32_t(bone));
            if (bone < 0) {
                HNodeKit influence(skin.joints[i]);
                brix::UMessage(brix::Channel::Warning, "Influence \"")
                    << influence.GetName() << "\" of mesh \"" << meshName
                    << "\" is not an exported joint. Its weights are written for bone 0.";
            }
        }
        m_writer.BeginSection("weights");
        for (int32_t k = 0; k < Smaller(numWeights, Smaller(weights.Num(), influences.Num())); ++k) {
            const uint32_t influence = influences[k];
            m_writer.WeightLine(influence < uint32_t(boneOfInfluence.Num()) ? boneOfInfluence[int32_t(influence)] : 0u,
                                weights[k]);
        }
    }

    RigWriter& m_writer;
    bool m_yAxisUp;
    const SkinMap& m_skins;
    brix::UStageClock& m_clock;
    const char* m_failedRead = nullptr;
    UString m_meshName;
    UArray<bool> m_mappedSets;  // per UV set of the mesh being written: it has coordinates
    // The weights of the mesh being written, as ReadWeights read them.
    HStatus m_weightsRead;
    UArray<float> m_weights;
    UArray<unsigned int> m_influences, m_weightCounts;
};

// A value that is not finite would be written as "nan" or "inf", which reads back as
// another value or as a damaged file: the export stops at the record that held it and
// fails, so that the target file is not replaced.
bool RefuseNonFinite(const RigWriter& writer) {
    if (!writer.WroteNonFinite()) return false;
    brix::UMessage(brix::Channel::Error, "Can't export ")
        << writer.NonFiniteRecordKind() << " \"" << writer.NonFiniteRecordName() << "\": a value under \""
        << writer.NonFiniteKey() << "\" is not a finite number, which a rig file cannot carry.";
    return true;
}

// False when the file must not be kept.
bool WriteFile(brix::IOutputStream& stream, const ExportSettings& settings, const UArray<HObject>& meshes,
               const UArray<HObject>& bones, brix::UStageClock& clock) {
    // A count the rig reader refuses would make a file that no one can read back: the
    // export fails instead, before anything is written.
    if (uint32_t(bones.Num()) >= rig::kMaxRecords || uint32_t(meshes.Num()) >= rig::kMaxRecords) {
        const bool tooManyBones = uint32_t(bones.Num()) >= rig::kMaxRecords;
        brix::UMessage(brix::Channel::Error, "Can't export ")
            << (tooManyBones ? bones.Num() : meshes.Num()) << (tooManyBones ? " joints" : " meshes")
            << ": a rig file holds fewer than " << int32_t(rig::kMaxRecords) << ".";
        return false;
    }
    RigWriter writer(stream);
    writer.BeginFile();
    writer.BoneCount(uint32_t(bones.Num()));
    const SkinMap skins(meshes, bones);
    const UArray<HMatrix> worlds = BindMatrices(bones, skins);
    const float rigSize = RigWriter::RigSize(worlds.Data(), worlds.Num());
    clock.Start("bones");
    for (int32_t i = 0; i < bones.Num(); ++i) {
        WriteBone(writer, settings, bones[i], i, worlds[i], rigSize);
        if (RefuseNonFinite(writer)) return false;
    }

    writer.MeshCount(uint32_t(meshes.Num()));
    MeshWriter meshWriter(writer, settings, skins, clock);
    for (int32_t j = 0; j < meshes.Num(); ++j) {
        meshWriter.Write(meshes[j], j);
        if (RefuseNonFinite(writer)) return false;
        if (meshWriter.FailedRead()) {
            brix::UMessage(brix::Channel::Error, "Can't export mesh \"")
                << meshWriter.MeshName() << "\": the scene did not give its " << meshWriter.FailedRead() << ".";
            return false;
        }
    }
    return true;
}

}  // namespace

HStatus ExportScene(brix::IOutputStream& stream, const ExportSettings& settings) {
    brix::UStageClock clock;
    clock.Start("scene");
    const UArray<HObject> meshes = GetSceneObjects(OBJECT_MESH, settings.selectedOnly);
    const UArray<HObject> bones = GetSceneObjects(OBJECT_JOINT, false);
    MGlobal::executeCommand(kBeginProgress, false, false);

    HStatus result;
    try {
        if (!WriteFile(stream, settings, meshes, bones, clock)) result.SetCode(HStatus::FAILURE);
    } catch (const brix::ErrorDescription& error) {
        brix::UMessage(brix::Channel::Error, brix::legacy::kPluginThrewException) << error.Format();
        result.SetCode(HStatus::FAILURE);
    } catch (...) {
        brix::UMessage(brix::Channel::Error, "Unknown error during export.");
        result.SetCode(HStatus::FAILURE);
    }
    MGlobal::executeCommand(kEndProgress, false, false);
    clock.Stop();
    if (settings.reportTimings)
        for (int i = 0; i < clock.Num(); ++i)
            brix::UMessage(brix::Channel::Info, "Timing: export ") << clock[i].name << " " << clock[i].seconds;
    return result;
}
