#pragma once
// kiln::platform_maya::HObject: the handle by which the framework holds one host node
// (or host data object). Two handles stand for one node when their host objects compare
// equal.

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
    bool IsNull() const { return m_object.isNull(); }
    bool operator==(const HObject& other) const { return m_object == other.m_object; }
    bool operator!=(const HObject& other) const { return !(*this == other); }

    MObject m_object;
};

}  // namespace kiln::platform_maya
