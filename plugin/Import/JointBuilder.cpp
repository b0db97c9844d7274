#include "Import/JointBuilder.h"

#include "Core/UMessage.h"
#include "platform/Maya/Kits/HJointKit.h"

using namespace kiln::platform_maya;

namespace {
enum : unsigned char { kUntouched = 0, kUnderWay = 1, kDone = 2 };
}

JointBuilder::JointBuilder(const brix::UArray<BoneData>& bones, const BoneNameTable& names)
    : m_bones(bones), m_names(names), m_joints(bones.Num()), m_state(bones.Num()) {
    for (unsigned char& state : m_state) state = kUntouched;
}

void JointBuilder::CreateJoint(int32_t index) {
    if (m_state[index] != kUntouched) return;
    m_state[index] = kUnderWay;
    const BoneData& bone = m_bones[index];

    HObject parent;
    if (!bone.parent.IsEmpty()) {
        const uint32_t* parentIndex = m_names.Find(bone.parent);
        if (parentIndex && *parentIndex < uint32_t(m_bones.Num()) && int32_t(*parentIndex) != index) {
            CreateJoint(int32_t(*parentIndex));
            parent = m_joints[int32_t(*parentIndex)];  // null while under way: a cycle
        }
    }

    HNodeKit joint{HObject()};
    HStatus status;
    const HStatus created = HJointKit::Create(joint, status, parent);
    m_state[index] = kDone;
    if (!created.IsOk() || !status.IsOk()) {
        brix::UMessage(brix::Channel::Warning, "Bone \"") << bone.name << "\" could not be built.";
        return;
    }
    // A name the scene cannot hold ("", or one with "|") leaves the host's own name.
    if (!joint.SetName(bone.name).IsOk())
        brix::UMessage(brix::Channel::Warning, "Bone ")
            << index << " is named \"" << bone.name << "\", which a joint cannot be named. It is built as \""
            << joint.GetName() << "\".";
    // The world matrix is the inverse of the inverse bind matrix; a singular one is
    // used as it stands. Singular means singular for the matrix's own scale, so that a
    // rig scaled down (an inverse bind matrix scaled by 0.01, det 1e-6) is placed right.
    HMatrix world = bone.invBaseMatrix;
    if (!world.InvertScaleAware()) world = bone.invBaseMatrix;
    if (!joint.SetMatrix(world, SPACE_WORLD).IsOk())
        brix::UMessage(brix::Channel::Warning, "Bone \"")
            << joint.GetName() << "\" could not be placed; it stays at the origin.";
    m_joints[index] = joint.GetObject();
}
