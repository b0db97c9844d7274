#include "HObject.h"

namespace kiln::platform_maya {

HObject::HObject(const MObject& object) : m_object(object) {}

}  // namespace kiln::platform_maya
