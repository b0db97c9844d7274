// Mesh kit: shading groups and per-polygon material indices.

#include <maya/MDagPath.h>
#include <maya/MFnSet.h>
#include <maya/MIntArray.h>
#include <maya/MObjectArray.h>

#include "Core/UMessage.h"
#include "HPolygonMeshKit.h"

using brix::UArray;

namespace kiln::platform_maya {

namespace {
// The mesh instance's shading groups and per-polygon group indices (-1 for none).
MStatus ConnectedShaders(MFnMesh& mesh, MObjectArray& groups, MIntArray& indices) {
    MDagPath path;
    MStatus status = mesh.getPath(path);
    if (!status) return status;
    const unsigned int instance = path.instanceNumber();
    return mesh.getConnectedShaders(instance, groups, indices);
}
}  // namespace

template <typename T>
void HPolygonMeshKit<T>::GetShadingGroups(HStatus& status, UArray<HObject>& groups) {
    groups.Empty(0);
    MFnMesh mesh;
    MStatus hostStatus = Attach(mesh);
    if (!hostStatus) return status.Set(hostStatus);
    groups.Empty(0);
    MObjectArray shaders;
    MIntArray indices;
    hostStatus = ConnectedShaders(mesh, shaders, indices);
    if (!hostStatus) return status.Set(hostStatus);
    groups.Empty(int32_t(shaders.length()));
    for (unsigned int i = 0; i < shaders.length(); ++i) groups.Append(HObject(shaders[i]));
    status.Set(hostStatus);
}

template <typename T>
void HPolygonMeshKit<T>::GetPolygonMaterialIndices(HStatus& status, IndexList& indices) {
    indices.Empty(0);
    MFnMesh mesh;
    MStatus hostStatus = Attach(mesh);
    if (!hostStatus) return status.Set(hostStatus);
    MObjectArray shaders;
    MIntArray groupIndices;
    hostStatus = ConnectedShaders(mesh, shaders, groupIndices);
    if (!hostStatus) return status.Set(hostStatus);
    if (shaders.length() == 0) return status.SetCode(HStatus::FAILURE);

    int64_t replacement = -1;
    indices.Empty(GetNumPolygons());
    for (unsigned int p = 0; p < groupIndices.length(); ++p) {
        const int group = groupIndices[p];
        if (group != -1) {
            indices.Append(unsigned(group));
            continue;
        }
        if (replacement < 0) {
            replacement = 0;
            for (unsigned int g = 0; g < shaders.length(); ++g) {
                MFnSet set(shaders[g]);
                if (set.name() == "initialShadingGroup") {
                    replacement = g;
                    break;
                }
            }
        }
        indices.Append(unsigned(replacement));
    }
    if (replacement >= 0)
        brix::UMessage(brix::Channel::Warning, "One or more invalid material indices have been found for mesh \"")
            << mesh.name().asChar() << "\". Using index " << uint32_t(replacement)
            << " instead. Verify that there aren't any polygons that are not linked to a shading group.";
    status.SetCode(HStatus::SUCCESS);
}

template class HPolygonMeshKit<float>;

}  // namespace kiln::platform_maya
