#include "HMaterialKit.h"

#include <maya/MFnSet.h>
#include <maya/MPlug.h>
#include <maya/MPlugArray.h>

namespace kiln::platform_maya {

MStatus HMaterialKit::GetSurfaceShader(MObject& shader) {
    MStatus status;
    MFnSet set(m_object.m_object, &status);
    if (!status) return status;
    MPlug surfaceShader = set.findPlug("surfaceShader");
    MPlugArray sources;
    surfaceShader.connectedTo(sources, true, false, &status);
    // A group whose shader plug has no source has no shader.
    if (status && sources.length() > 0) shader = sources[0].node();
    return status;
}

brix::UString HMaterialKit::GetName() {
    MObject shader;
    if (!GetSurfaceShader(shader) || shader.isNull()) return brix::UString("");
    HNodeKit shaderKit{HObject(shader)};
    return shaderKit.GetName();
}

HStatus HMaterialKit::SetName(const brix::UString& name) {
    MObject shader;
    const MStatus status = GetSurfaceShader(shader);
    if (!status) return HStatus(HStatus::FromHost(status));
    HNodeKit shaderKit{HObject(shader)};
    return shaderKit.SetName(name);
}

}  // namespace kiln::platform_maya
