#include "HStatus.h"

namespace kiln::platform_maya {

int32_t HStatus::FromHost(const MStatus& status) {
    switch (int(status.statusCode())) {
    case 0: return SUCCESS;
    case 1: return FAILURE;
    case 2: return OUT_OF_MEMORY;
    case 3: return INVALID_PARAMETER;
    case 4: return HOST_CODE_4;
    case 5: return UNKNOWN_PARAMETER;
    case 6: return NOT_IMPLEMENTED;
    case 7:
    case 8: return NOT_FOUND;
    default: return FAILURE;
    }
}

}  // namespace kiln::platform_maya
