#pragma once
// kiln::platform_maya::HMaterialKit: a kit over one shading group, named after the
// surface shader connected to its "surfaceShader" plug.

#include "HNodeKit.h"

namespace kiln::platform_maya {

class HMaterialKit : public HNodeKit {
public:
    explicit HMaterialKit(const HObject& shadingGroup) : HNodeKit(shadingGroup) {}

    // Writes the node feeding "surfaceShader" into shader (left null when nothing feeds
    // it); the status of the connection query.
    MStatus GetSurfaceShader(MObject& shader);

    // The surface shader's name; empty when there is none.
    HStatus SetName(const brix::UString& name) override;
    brix::UString GetName() override;
    brix::UString GetPartialPathName() override { return GetName(); }
    brix::UString GetFullPathName() override { return GetName(); }
};

}  // namespace kiln::platform_maya
