#pragma once
// Joint creation on import: one joint per bone, parents first, placed at the bone's
// bind pose.

#include "Rig/RigModel.h"
#include "Utils/UTable.h"
#include "platform/Maya/Kits/HObject.h"

using JointTable = brix::UTable<brix::UString, kiln::platform_maya::HObject>;
using BoneNameTable = brix::UTable<brix::UString, uint32_t>;

class JointBuilder {
public:
    JointBuilder(const brix::UArray<BoneData>& bones, JointTable& joints, const BoneNameTable& names);

    // Makes the joint of bone index, and first those of its ancestors. A parent name
    // that names no bone, or that closes a cycle of parent names, leaves the joint at
    // the scene root; each bone is made at most once.
    void CreateJoint(int32_t index);

private:
    const brix::UArray<BoneData>& m_bones;
    JointTable& m_joints;
    const BoneNameTable& m_names;
    // Bones whose creation is under way, to break cycles.
    brix::UArray<unsigned char> m_inProgress;
};
