// The export driver: walks the scene through the scene kit and streams the rig file,
// bone by bone and mesh by mesh, straight to the output stream.

#include <maya/MGlobal.h>

#include "Core/ErrorDescription.h"
#include "Core/UMessage.h"
#include "CoreServices/Interfaces/ICoreServices.h"
#include "HException.h"
#include "Rig/RigWriter.h"
#include "TessalineTranslators.h"
#include "platform/Maya/Kits/HJointKit.h"
#include "platform/Maya/Kits/HMaterialKit.h"
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

int32_t IndexOf(const UArray<HObject>& list, const HObject& object) {
    for (int32_t i = 0; i < list.Num(); ++i)
        if (list[i] == object) return i;
    return -1;
}

int32_t Smaller(int32_t a, int32_t b) { return a < b ? a : b; }

// Y-up to the file's Z-up: (x, y, z) -> (x, -z, y).
TVector3<float> ToZUp(const TVector3<float>& v) { return TVector3<float>{v.x, -v.z, v.y}; }

class BoneWriter {
public:
    BoneWriter(RigWriter& writer, bool yAxisUp, const UArray<HObject>& meshes)
        : m_writer(writer), m_yAxisUp(yAxisUp), m_meshes(meshes) {
        // Each mesh's skin cluster, found once: a null handle unless exactly one.
        for (const HObject& mesh : meshes) {
            MeshKit kit(mesh);
            UArray<MeshKit::Skin_Plug> skins = kit.FindSkinClusters();
            m_skinClusters.Append(skins.Num() == 1 ? HObject(skins[0].skinCluster.object()) : HObject());
        }
    }

    void Write(const HObject& bone, uint32_t index) {
        HNodeKit boneKit(bone);
        m_writer.WriteText("\r\nbone ");
        m_writer.WriteUnsigned(index);
        m_writer.WriteText(" {");
        m_writer.WriteText("\r\n\tname \"");
        m_writer.WriteName(boneKit.GetName());
        m_writer.WriteText("\"");

        m_writer.WriteText("\r\n\tparent \"");
        const HObject parent = HNodeKit::GetParent(boneKit);
        if (!parent.IsNull()) {
            HNodeKit parentKit(parent);
            m_writer.WriteName(parentKit.GetName());
        }
        m_writer.WriteText("\"");

        HMatrix bind = BindMatrix(boneKit);
        const bool b = bind.InvertScaleAware();
        if (!b) {
            // The record's text names only the failed check; say which joint and why.
            brix::UMessage(5, "Can't export bone \"")
                << boneKit.GetName() << "\": its bind matrix cannot be inverted (a zero scale, for example).";
            brix::ThrowAssureFailure("TessalineExporter", "TessalineExporter::Export", "'assure' failed: b", 140);
        }
        if (m_yAxisUp) {
            for (int c = 0; c < 4; ++c) {
                const float oldRow1 = bind.m[1][c];
                bind.m[1][c] = bind.m[2][c] * -1.0f;
                bind.m[2][c] = oldRow1;
            }
        }
        m_writer.WriteText("\r\n\tinvBaseMatrix");
        for (int row = 0; row < 4; ++row) {
            m_writer.WriteText(" ");
            m_writer.WriteReals(bind.m[row], 4);
        }
        m_writer.WriteText("\r\n}\r\n");
    }

private:
    // The first bind-time world matrix found among the meshes that the bone influences,
    // each read from that mesh's own skin cluster; the current world matrix when it
    // influences none.
    HMatrix BindMatrix(HNodeKit& boneKit) {
        HMatrix first = HMatrix::Identity();
        bool found = false;
        for (int32_t m = 0; m < m_meshes.Num(); ++m) {
            MeshKit meshKit(m_meshes[m]);
            HStatus status;
            UArray<HObject> joints;
            meshKit.GetJoints(status, joints);
            if (IndexOf(joints, boneKit.GetObject()) < 0) continue;
            HMatrix matrix = HMatrix::Identity();
            if (!m_skinClusters[m].IsNull()) HJointKit::GetBindPoseMatrix(boneKit, matrix, m_skinClusters[m].GetObject());
            else HJointKit::GetBindPoseMatrix(boneKit, matrix);
            if (!found) {
                first = matrix;
                found = true;
            } else if (matrix != first) {
                brix::UMessage(6,
                               "Can't export bones with multiple distinct bind poses. Please use the same bind pose "
                               "when binding a bone two more than one mesh.");
                break;
            }
        }
        if (!found) boneKit.GetMatrix(first, SPACE_WORLD);
        return first;
    }

    RigWriter& m_writer;
    bool m_yAxisUp;
    const UArray<HObject>& m_meshes;
    UArray<HObject> m_skinClusters;
};

class MeshWriter {
public:
    MeshWriter(RigWriter& writer, bool yAxisUp, const UArray<HObject>& bones)
        : m_writer(writer), m_yAxisUp(yAxisUp), m_bones(bones) {}

    void Write(const HObject& mesh, uint32_t index) {
        MeshKit kit(mesh);
        HStatus status;
        m_writer.WriteText("\r\nmesh ");
        m_writer.WriteUnsigned(index);
        m_writer.WriteText(" {");
        m_writer.WriteText("\r\n\tname \"");
        const UString meshName = kit.GetName();
        m_writer.WriteName(meshName);
        m_writer.WriteText("\"");

        UArray<HObject> groups;
        kit.GetShadingGroups(status, groups);
        const int32_t numVertices = kit.GetNumVertices();
        const int32_t numNormals = kit.GetNumNormals();
        const int32_t numSets = kit.GetNumUVSets();
        const int32_t numWeights = kit.GetNumVertexWeights();
        const int32_t numPolygons = kit.GetNumPolygons();

        kit.SetGeometrySource(status, GEOMETRY_BIND_POSE);
        UArray<TVector3<float>> vectors;
        kit.GetVertices(status, vectors, SPACE_WORLD);
        m_writer.WriteText("\r\n\r\n\tvertices {");
        WriteVectors(vectors, numVertices);
        vectors.Empty(0);
        kit.GetNormals(status, vectors, SPACE_WORLD);
        m_writer.WriteText("\r\n\t}\r\n\r\n\tnormals {");
        WriteVectors(vectors, numNormals);
        kit.SetGeometrySource(status, GEOMETRY_CURRENT);

        m_writer.WriteText("\r\n\t}\r\n\r\n\ttextureCoordinates {");
        for (int32_t set = 0; set < numSets; ++set) {
            UArray<TVector2<float>> uvs;
            kit.GetTextureCoordinates(status, uvs, set);
            WriteSetOpening(set);
            for (const TVector2<float>& uv : uvs) {
                m_writer.WriteText("\r\n\t\t\t");
                const float pair[2] = {uv.x, uv.y};
                m_writer.WriteReals(pair, 2);
            }
            WriteSetClosing(set, numSets);
        }

        m_writer.WriteText("\r\n\t}\r\n\r\n\tmaterialNames {");
        for (const HObject& group : groups) {
            HMaterialKit material(group);
            m_writer.WriteText("\r\n\t\t \"");
            m_writer.WriteName(material.GetName());
            m_writer.WriteText("\"");
        }

        UArray<unsigned int> indices, counts;
        kit.GetPolygonVertexIndices(status, indices, counts);
        m_writer.WriteText("\r\n\t}\r\n\r\n\tpolygonVertexCounts {");
        for (int32_t p = 0; p < Smaller(numPolygons, counts.Num()); ++p) {
            m_writer.WriteText("\r\n\t\t");
            m_writer.WriteUnsigned(counts[p]);
        }
        m_writer.WriteText("\r\n\t}\r\n\r\n\tpolygonVertexIndices {");
        WritePolygonLines(indices, counts, numPolygons, "\r\n\t\t");
        kit.GetPolygonNormalIndices(status, indices);
        m_writer.WriteText("\r\n\t}\r\n\r\n\tpolygonNormalIndices {");
        WritePolygonLines(indices, counts, numPolygons, "\r\n\t\t");

        m_writer.WriteText("\r\n\t}\r\n\r\n\tpolygonTexCoordIndices {");
        for (int32_t set = 0; set < numSets; ++set) {
            kit.GetPolygonTexCoordIndices(status, indices, set);
            WriteSetOpening(set);
            WritePolygonLines(indices, counts, numPolygons, "\r\n\t\t\t");
            WriteSetClosing(set, numSets);
        }

        UArray<unsigned int> materialIndices;
        kit.GetPolygonMaterialIndices(status, materialIndices);
        m_writer.WriteText("\r\n\t}\r\n\r\n\tpolygonMaterialIndices {");
        for (int32_t p = 0; p < Smaller(numPolygons, materialIndices.Num()); ++p) {
            m_writer.WriteText("\r\n\t\t");
            m_writer.WriteUnsigned(materialIndices[p]);
        }

        // A file without bones has no bone for a weight to name.
        if (numWeights != 0 && m_bones.Num() == 0) WarnAboutLeftOutWeights(kit, meshName);
        else if (numWeights != 0) WriteWeights(kit, meshName, numWeights);
        m_writer.WriteText("\r\n\t}\r\n}\r\n");
    }

private:
    void WriteVectors(const UArray<TVector3<float>>& vectors, int32_t count) {
        for (int32_t i = 0; i < Smaller(count, vectors.Num()); ++i) {
            const TVector3<float> v = m_yAxisUp ? ToZUp(vectors[i]) : vectors[i];
            const float xyz[3] = {v.x, v.y, v.z};
            m_writer.WriteText("\r\n\t\t");
            m_writer.WriteReals(xyz, 3);
        }
    }

    void WriteSetOpening(int32_t set) {
        m_writer.WriteText("\r\n\t\tset ");
        m_writer.WriteUnsigned(uint32_t(set));
        m_writer.WriteText(" {");
    }

    void WriteSetClosing(int32_t set, int32_t numSets) {
        m_writer.WriteText("\r\n\t\t}");
        if (set != numSets - 1) m_writer.WriteText("\r\n");
    }

    // One line per polygon with its corners' indices; a running position walks the flat
    // list, and a list shorter than the counts ends its lines early.
    void WritePolygonLines(const UArray<unsigned int>& indices, const UArray<unsigned int>& counts,
                           int32_t numPolygons, const char* lineStart) {
        int32_t next = 0;
        for (int32_t p = 0; p < Smaller(numPolygons, counts.Num()); ++p) {
            m_writer.WriteText(lineStart);
            for (uint32_t corner = 0; corner < counts[p] && next < indices.Num(); ++corner) {
                if (corner) m_writer.WriteText(" ");
                m_writer.WriteUnsigned(indices[next++]);
            }
        }
    }

    void WarnAboutLeftOutWeights(MeshKit& kit, const UString& meshName) {
        HStatus status;
        UArray<HObject> joints;
        kit.GetJoints(status, joints);
        for (const HObject& joint : joints) {
            HNodeKit influence(joint);
            brix::UMessage(7, "Influence \"")
                << influence.GetName() << "\" of mesh \"" << meshName
                << "\" is not an exported joint. Its weights are left out.";
        }
    }

    void WriteWeights(MeshKit& kit, const UString& meshName, int32_t numWeights) {
        HStatus status;
        UArray<float> weights;
        UArray<unsigned int> influences, counts;
        kit.GetVertexWeights(status, weights, influences, counts);
        m_writer.WriteText("\r\n\t}\r\n\r\n\tvertexWeightCounts {");
        for (unsigned int count : counts) {
            m_writer.WriteText("\r\n\t\t");
            m_writer.WriteUnsigned(count);
        }
        UArray<HObject> joints;
        kit.GetJoints(status, joints);
        // The file names a weight's bone by its index in the file's bone list.
        UArray<uint32_t> boneOfInfluence;
        for (const HObject& joint : joints) {
            const int32_t bone = IndexOf(m_bones, joint);
            boneOfInfluence.Append(bone < 0 ? 0u : uint32_t(bone));
            if (bone < 0) {
                HNodeKit influence(joint);
                brix::UMessage(7, "Influence \"")
                    << influence.GetName() << "\" of mesh \"" << meshName
                    << "\" is not an exported joint. Its weights are written for bone 0.";
            }
        }
        m_writer.WriteText("\r\n\t}\r\n\r\n\tweights {");
        for (int32_t k = 0; k < Smaller(numWeights, Smaller(weights.Num(), influences.Num())); ++k) {
            m_writer.WriteText("\r\n\t\t");
            const uint32_t influence = influences[k];
            m_writer.WriteUnsigned(influence < uint32_t(boneOfInfluence.Num()) ? boneOfInfluence[int32_t(influence)]
                                                                                : 0u);
            m_writer.WriteText(" ");
            m_writer.WriteReals(weights[k]);
        }
    }

    RigWriter& m_writer;
    bool m_yAxisUp;
    const UArray<HObject>& m_bones;
};

}  // namespace

HStatus TessalineExporter::Export(const OptionLine& options, brix::IOutputStream& stream, bool selectedOnly) {
    m_yAxisUp = MGlobal::isYAxisUp();
    WarnAboutOptions(options);

    const UArray<HObject> meshes = GetSceneObjects(OBJECT_MESH, selectedOnly);
    const UArray<HObject> bones = GetSceneObjects(OBJECT_JOINT, false);
    MGlobal::executeCommand(kBeginProgress, false, false);

    HStatus result;
    try {
        RigWriter writer(stream);
        writer.WriteText("version 1\r\n");
        writer.WriteText("\r\nnumBones ");
        writer.WriteUnsigned(uint32_t(bones.Num()));
        BoneWriter boneWriter(writer, m_yAxisUp, meshes);
        for (int32_t i = 0; i < bones.Num(); ++i) boneWriter.Write(bones[i], uint32_t(i));

        writer.WriteText("\r\nnumMeshes ");
        writer.WriteUnsigned(uint32_t(meshes.Num()));
        MeshWriter meshWriter(writer, m_yAxisUp, bones);
        for (int32_t j = 0; j < meshes.Num(); ++j) meshWriter.Write(meshes[j], uint32_t(j));
    } catch (const kiln::HException& exception) {
        brix::UMessage(*brix::GetCoreServices()->GetChannel(5), exception);
        result.SetCode(exception.GetStatus());
    } catch (const brix::ErrorDescription& error) {
        brix::UMessage(5, "The plugin throwed an exception:\r\n") << error.Format();
        result.SetCode(HStatus::FAILURE);
    } catch (...) {
        brix::UMessage(5, "Unknown error during export.");
        result.SetCode(HStatus::FAILURE);
    }
    MGlobal::executeCommand(kEndProgress, false, false);
    return result;
}
