#pragma once
// kiln::platform_maya::HJointKit: joint operations: the world matrix a joint had when
// it was bound, and joint creation on import.

#include <maya/MMatrix.h>

#include <memory>

#include "HNodeKit.h"
#include "HObjectIndex.h"

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

// One joint's bind-time world matrices asked of many skin clusters: the joint's
// connections are listed once, and each question is answered as
// HJointKit::GetBindPoseMatrix(joint, matrix, skinCluster) answers it.
class HJointBindPoses {
public:
    explicit HJointBindPoses(HNodeKit& joint);
    HMatrix& Get(HMatrix& matrix, const MObject& skinCluster);

private:
    HNodeKit& m_joint;
    bool m_isJoint = false;
    // The node and logical index of each "matrix" plug that the joint's world matrix
    // feeds, in connection order.
    brix::UArray<HObject> m_clusters;
    brix::UArray<unsigned int> m_matrixIndices;
    std::unique_ptr<HObjectIndex> m_index;
    // The last bindPreMatrix read and its inverse: clusters bound while the joint stood
    // still hold equal ones, and each is inverted once.
    int32_t m_lastFound = -1;  // the position of the cluster asked last
    MObject m_bindPreMatrix;   // the attribute, once found
    bool m_haveLast = false;
    MMatrix m_lastBindPre, m_lastInverse;
};

}  // namespace kiln::platform_maya
