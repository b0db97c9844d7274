#include "HObject.h"

#include <maya/MFnDependencyNode.h>

#include <cstring>

#include "Utils/UTable.h"

namespace kiln::platform_maya {

HObject::HObject(const MObject& object) : m_object(object) {
    MFnDependencyNode node(object);
    m_nameHash = HashName(node.name().asChar());
}

uint32_t HObject::HashName(const char* name) {
    return name ? brix::FoldBytesHash(reinterpret_cast<const unsigned char*>(name), int32_t(strlen(name))) : 0;
}

}  // namespace kiln::platform_maya
