#pragma once
// Joint creation on import: one joint per bone, parents first, placed at the bone's
// bind pose. Joints are kept per bone, not per name: two bones of one name are two
// joints (the host names the second as it names any clash), and the host's name for a
// joint need not be the bone's.

#include "Core/UTable.h"
#include "Rig/RigModel.h"
#include "platform/Maya/Kits/HObject.h"

// Bone name to bone index; of two bones with one name, the later one. Parents are found
// through it.
using BoneNameTable = brix::UTable<brix::UString, uint32_t>;

class JointBuilder {
public:
    JointBuilder(const brix::UArray<BoneData>& bones, const BoneNameTable& names);

    // Makes the joint of bone index, and first those of its ancestors. A parent name
    // that names no bone, names the bone itself, or closes a cycle of parent names leaves
    // the joint at the scene root; each bone is made at most once.
    void CreateJoint(int32_t index);
    // The joint made for bone index; a null handle when none was made.
    const kiln::platform_maya::HObject& GetJoint(int32_t index) const { return m_joints[index]; }

private:
    const brix::UArray<BoneData>& m_bones;
    const BoneNameTable& m_names;
    brix::UArray<kiln::platform_maya::HObject> m_joints;
    // Per bone: 0 untouched, 1 creation under way (to break cycles), 2 done (made or not).
    brix::UArray<unsigned char> m_state;
};
