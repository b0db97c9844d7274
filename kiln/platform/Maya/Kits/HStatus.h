#pragma once
// kiln::platform_maya::HStatus: the result code of kit operations.

#include <maya/MStatus.h>

#include <cstdint>

namespace kiln::platform_maya {

class [[nodiscard]] HStatus {
public:
    enum Code : int32_t {
        SUCCESS = 0,
        FAILURE = 1,
        INVALID_PARAMETER = 2,
        OUT_OF_MEMORY = 3,
        HOST_CODE_4 = 4,  // the host's licence failure, passed through
        UNKNOWN_PARAMETER = 5,
        NOT_IMPLEMENTED = 6,
        NOT_FOUND = 7,
    };

    HStatus() = default;
    explicit HStatus(int32_t code) : m_code(code) {}
    virtual ~HStatus() = default;

    int32_t GetCode() const { return m_code; }
    void SetCode(int32_t code) { m_code = code; }
    // Sets the code translated from a host status.
    void Set(const MStatus& status) { m_code = FromHost(status); }
    bool IsOk() const { return m_code == SUCCESS; }

    // Host status to kit code: invalid parameter and out of memory swap places, end of
    // file counts as not found, anything unknown is a failure.
    static int32_t FromHost(const MStatus& status);

private:
    int32_t m_code = SUCCESS;
};

// Coordinate spaces of the kits.
constexpr int32_t SPACE_WORLD = 0;
constexpr int32_t SPACE_LOCAL = 1;

}  // namespace kiln::platform_maya
