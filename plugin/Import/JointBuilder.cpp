#include "Import/JointBuilder.h"

#include "platform/Maya/Kits/HJointKit.h"

using namespace kiln::platform_maya;

JointBuilder::JointBuilder(const brix::UArray<BoneData>& bones, JointTable& joints, const BoneNameTable& names)
    : m_bones(bones), m_joints(joints), m_names(names), m_inProgress(bones.Num()) {
    for (unsigned char& flag : m_inProgress) flag = 0;
}

void JointBuilder::CreateJoint(int32_t index) {
    const BoneData& bone = m_bones[index];
    if (m_joints.Find(bone.name) || m_inProgress[index]) return;
    m_inProgress[index] = 1;

    if (!bone.parent.IsEmpty() && !m_joints.Find(bone.parent)) {
        const uint32_t* parentIndex = m_names.Find(bone.parent);
        if (parentIndex && *parentIndex < uint32_t(m_bones.Num())) CreateJoint(int32_t(*parentIndex));
    }
    const HObject* parentJoint = bone.parent.IsEmpty() ? nullptr : m_joints.Find(bone.parent);
    const HObject parent = parentJoint ? *parentJoint : HObject();

    HNodeKit joint{HObject()};
    HStatus status;
    HJointKit::Create(joint, status, parent);
    m_inProgress[index] = 0;
    if (!status.IsOk()) return;
    joint.SetName(bone.name);
    // The world matrix is the inverse of the inverse bind matrix; a singular one is
    // used as it stands. Singular means singular for the matrix's own scale, so that a
    // rig scaled down (an inverse bind matrix scaled by 0.01, det 1e-6) is placed right.
    HMatrix world = bone.invBaseMatrix;
    if (!world.InvertScaleAware()) world = bone.invBaseMatrix;
    joint.SetMatrix(world, SPACE_WORLD);
    m_joints.Add(bone.name, joint.GetObject());
}
