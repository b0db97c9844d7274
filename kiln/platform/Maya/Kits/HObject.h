#pragma once
// kiln::platform_maya::HObject: the handle by which the framework holds one host node
// (or host data object), with a hash of the node's name taken when it was made. Two
// handles stand for one node when their host objects compare equal.

#include <maya/MObject.h>

#include <cstdint>

namespace kiln::platform_maya {

class HObject {
public:
    HObject() = default;
    explicit HObject(const MObject& object);
    virtual ~HObject() = default;
    HObject(const HObject&) = default;
    HObject& operator=(const HObject&) = default;

    const MObject& GetObject() const { return m_object; }
    uint32_t GetNameHash() const { return m_nameHash; }
    bool IsNull() const { return m_object.isNull(); }
    bool operator==(const HObject& other) const { return m_object == other.m_object; }
    bool operator!=(const HObject& other) const { return !(*this == other); }

    // The XOR of the name's bytes, byte i shifted left by 8 * (i mod 4).
    static uint32_t HashName(const char* name);

    MObject m_object;
    uint32_t m_nameHash = 0;
};

}  // namespace kiln::platform_maya
