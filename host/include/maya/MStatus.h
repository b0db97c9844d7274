#pragma once
// Result of a host call. Codes 0..8 are fixed; any other value is carried through
// unchanged. Convention of this host: an invalid object, a wrong type, an index out of
// range or an unknown attribute or UV-set name gives kInvalidParameter; a valid request
// that cannot be met (no DAG path, no connection, an unmapped UV corner, an element
// holding no value, a failing command, a duplicate registration) gives kFailure. No call
// throws a C++ exception.
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
