#include "HStatus.h"

namespace kiln::platform_maya {

int32_t HStatus::FromHost(const MStatus& status) {
    switch (status.statusCode()) {
    case MStatus::kSuccess: return SUCCESS;
    case MStatus::kFailure: return FAILURE;
    case MStatus::kInsufficientMemory: return OUT_OF_MEMORY;
    case MStatus::kInvalidParameter: return INVALID_PARAMETER;
    case MStatus::kLicenseFailure: return HOST_CODE_4;
    case MStatus::kUnknownParameter: return UNKNOWN_PARAMETER;
    case MStatus::kNotImplemented: return NOT_IMPLEMENTED;
    case MStatus::kNotFound:
    case MStatus::kEndOfFile: return NOT_FOUND;
    default: return FAILURE;
    }
}

}  // namespace kiln::platform_maya
