#include "HObject.h"

#include <maya/MFnDependencyNode.h>

namespace kiln::platform_maya {

HObject::HObject(const MObject& object) : m_object(object) {
    MFnDependencyNode node(object);
    m_nameHash = HashName(node.name().asChar());
}

uint32_t HObject::HashName(const char* name) {
    uint32_t hash = 0;
    for (uint32_t i = 0; name && name[i]; ++i) hash ^= uint32_t(static_cast<unsigned char>(name[i])) << (8 * (i % 4));
    return hash;
}

}  // namespace kiln::platform_maya
