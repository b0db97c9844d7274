#pragma once
// kiln::HException: the framework's exception. It is a message string (so a message
// builder can take it as its first text) and a status code that is handed back to the
// host as the status of the failed call.

#include <cstdint>

#include "Utils/UBaseString.h"

namespace kiln {

class HException : public brix::UString {
public:
    HException(const char* message, int32_t status) : brix::UString(message), m_status(status) {}

    const brix::UString& GetMessage() const { return *this; }
    int32_t GetStatus() const { return m_status; }

private:
    int32_t m_status;
};

}  // namespace kiln
