#pragma once
// Result of a host call. Codes 0..8 are fixed; any other value (for example 4, which has
// no dedicated meaning here) is carried through unchanged.
#include <maya/MTypes.h>

class MStatus {
public:
  enum MStatusCode {
    kSuccess = 0,
    kFailure,
    kInsufficientMemory,
    kInvalidParameter,
    kLicenseFailure,
    kUnknownParameter,
    kNotImplemented,
    kNotFound,
    kEndOfFile
  };

  MStatus() : m_code(kSuccess) {}
  MStatus(MStatusCode code) : m_code(code) {}

  MStatusCode statusCode() const { return m_code; }
  bool operator==(MStatusCode code) const { return m_code == code; }
  bool operator==(const MStatus& other) const { return m_code == other.m_code; }
  bool operator!=(MStatusCode code) const { return m_code != code; }
  bool operator!=(const MStatus& other) const { return m_code != other.m_code; }
  operator bool() const { return m_code == kSuccess; }
  bool error() const { return m_code != kSuccess; }
  void clear() { m_code = kSuccess; }

  // Short English description of the code.
  MString errorString() const;
  // Writes "<text>: <errorString>" to standard error.
  void perror(const char* text) const;

private:
  MStatusCode m_code;
};

// Lets callers write MS::kSuccess as with the host's own headers.
typedef MStatus MS;
