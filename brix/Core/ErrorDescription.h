#pragma once
// The exception record of the library: a plain fixed-size value that is thrown by
// value and caught by reference. On its way up, every guarded function appends its own
// name to the history, so the record tells where it came from and how it travelled.

#include <cstddef>

namespace brix {

class ErrorDescription {
public:
    enum { TYPE_UNKNOWN = 0, TYPE_BAD_ALLOC = 1 };
    static constexpr size_t kMessageSize = 1024;
    static constexpr size_t kFileSize = 260;
    static constexpr size_t kHistorySize = 4096;
    static constexpr size_t kFormatBufferSize = 5396;

    // A new record: type 0, the message, the file without a leading drive ("C:"), and a
    // history holding the function name with "()" (empty when there is no name).
    ErrorDescription(const char* file, const char* function, const char* message, int line);

    // The history-extending copy made by the standard guard: the record, with
    // " <- name()" (or " <- (unknown)" for an absent name) appended to the history.
    ErrorDescription(const ErrorDescription& inner, const char* function);

    ErrorDescription(const ErrorDescription&) = default;
    ErrorDescription& operator=(const ErrorDescription&) = default;

    // Renders type, message and history into a buffer of this description and returns
    // it, valid while the description lives; the next call overwrites it. Each
    // description has its own, so threads formatting their own errors never meet.
    const char* Format() const;

    static const char* TypeName(int type);

    int m_type;
    char m_message[kMessageSize];
    char m_file[kFileSize];
    int m_line;
    char m_history[kHistorySize];

private:
    mutable char m_formatted[kFormatBufferSize] = {};
};

// Turns a compiler function signature (__PRETTY_FUNCTION__) into the fully qualified
// name the records carry, with template arguments filled in, for example
// "brix::UArray<T>::~UArray() [with T = float]" -> "brix::UArray<float>::~UArray".
// Writes at most outSize - 1 characters and a NUL; returns out.
const char* QualifiedFunctionName(const char* signature, char* out, size_t outSize);

// Throws the record of a failed `assure`.
[[noreturn]] void ThrowAssureFailure(const char* file, const char* signature, const char* message, int line);
// The two handlers of the standard guard.
[[noreturn]] void RethrowWithHistory(const ErrorDescription& inner, const char* signature);
[[noreturn]] void ThrowUnknownError(const char* file, const char* signature, int line);

}  // namespace brix

// Checks an invariant or a precondition; on failure throws an ErrorDescription whose
// message is "'assure' failed: " and the condition's source text.
#define assure(condition)                                                                                        \
    do {                                                                                                         \
        if (!(condition))                                                                                        \
            ::brix::ThrowAssureFailure(__FILE__, __PRETTY_FUNCTION__, "'assure' failed: " #condition, __LINE__); \
    } while (0)

// The standard guard around a function body: a record passing through gets the
// function's name appended to its history; any other exception becomes a record with
// the message "unknown error".
#define BRIX_GUARD_BEGIN try {
// The same guard for functions whose foreign-exception record names a fixed source
// file and line instead of the guard's own.
#define BRIX_GUARD_END_AT(file, line)                                  \
    }                                                                  \
    catch (const ::brix::ErrorDescription& guardedError) {             \
        ::brix::RethrowWithHistory(guardedError, __PRETTY_FUNCTION__); \
    }                                                                  \
    catch (...) {                                                      \
        ::brix::ThrowUnknownError(file, __PRETTY_FUNCTION__, line);    \
    }
#define BRIX_GUARD_END                                                      \
    }                                                                       \
    catch (const ::brix::ErrorDescription& guardedError) {                  \
        ::brix::RethrowWithHistory(guardedError, __PRETTY_FUNCTION__);      \
    }                                                                       \
    catch (...) {                                                           \
        ::brix::ThrowUnknownError(__FILE__, __PRETTY_FUNCTION__, __LINE__); \
    }
