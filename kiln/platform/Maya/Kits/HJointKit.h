#pragma once
// kiln::platform_maya::HJointKit: joint operations: the world matrix a joint had when
// it was bound, and joint creation on import.

#include "HNodeKit.h"

namespace kiln::platform_maya {

class HJointKit {
public:
    // The joint's world matrix at bind time: the inverse of the bindPreMatrix element
    // that a skin cluster keeps for it, or its current world matrix when no skin
    // cluster binds it. Left untouched when the kit's object is not a joint.
    static HMatrix& GetBindPoseMatrix(HNodeKit& joint, HMatrix& matrix);
    // The same, asked of one skin cluster: the inverse of that cluster's bindPreMatrix
    // element for the joint; the general answer above when the cluster does not hold
    // the joint.
    static HMatrix& GetBindPoseMatrix(HNodeKit& joint, HMatrix& matrix, const MObject& skinCluster);

    // Makes a joint under parent (a null parent: at the scene root); the kit's object
    // becomes the new joint.
    static HStatus Create(HNodeKit& kit, HStatus& status, const HObject& parent);
};

}  // namespace kiln::platform_maya
