// Value types of the host API: status, strings, arrays, matrices and object handles.
#include "Core.h"

#include <maya/MDagPathArray.h>
#include <maya/MDoubleArray.h>
#include <maya/MFloatArray.h>
#include <maya/MFloatPointArray.h>
#include <maya/MFloatVectorArray.h>
#include <maya/MIntArray.h>
#include <maya/MObjectArray.h>
#include <maya/MPlugArray.h>
#include <maya/MStringArray.h>
#include <maya/MVectorArray.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>

// ---------------------------------------------------------------- MStatus

MString MStatus::errorString() const {
  switch (m_code) {
  case kSuccess: return "Success";
  case kFailure: return "Failure";
  case kInsufficientMemory: return "Insufficient memory";
  case kInvalidParameter: return "Invalid parameter";
  case kLicenseFailure: return "License failure";
  case kUnknownParameter: return "Unknown parameter";
  case kNotImplemented: return "Not implemented";
  case kNotFound: return "Not found";
  case kEndOfFile: return "End of file";
  }
  MString s("Status ");
  s += (int)m_code;
  return s;
}

void MStatus::perror(const char* text) const {
  std::fprintf(stderr, "%s: %s\n", text ? text : "", errorString().asChar());
}

// ---------------------------------------------------------------- MString

namespace {
char* copyBytes(const char* src, unsigned n) {
  if (n == 0) return nullptr;
  char* p = static_cast<char*>(std::malloc(n + 1));
  if (!p) throw std::bad_alloc();
  std::memcpy(p, src, n);
  p[n] = 0;
  return p;
}
}  // namespace

MString::MString() : m_data(nullptr), m_length(0) {}

MString::MString(const char* text) : m_data(nullptr), m_length(0) {
  if (text) {
    m_length = (unsigned)std::strlen(text);
    m_data = copyBytes(text, m_length);
  }
}

MString::MString(const char* bytes, int count) : m_data(nullptr), m_length(0) {
  if (bytes && count > 0) {
    unsigned n = 0;
    while (n < (unsigned)count && bytes[n]) ++n;
    m_length = n;
    m_data = copyBytes(bytes, n);
  }
}

MString::MString(const MString& o) : m_data(copyBytes(o.m_data, o.m_length)), m_length(o.m_length) {}

MString::~MString() { std::free(m_data); }

MString& MString::operator=(const MString& o) {
  if (this != &o) {
    char* p = copyBytes(o.m_data, o.m_length);
    std::free(m_data);
    m_data = p;
    m_length = o.m_length;
  }
  return *this;
}

MString& MString::operator=(const char* text) { return *this = MString(text); }

const char* MString::asChar() const { return m_data ? m_data : ""; }
unsigned int MString::length() const { return m_length; }

bool MString::operator==(const MString& o) const {
  return m_length == o.m_length && (m_length == 0 || std::memcmp(m_data, o.m_data, m_length) == 0);
}
bool MString::operator==(const char* text) const { return std::strcmp(asChar(), text ? text : "") == 0; }
bool MString::operator<(const MString& o) const { return std::strcmp(asChar(), o.asChar()) < 0; }

MString& MString::operator+=(const MString& o) {
  if (o.m_length == 0) return *this;
  unsigned n = m_length + o.m_length;
  char* p = static_cast<char*>(std::malloc(n + 1));
  if (!p) throw std::bad_alloc();
  if (m_length) std::memcpy(p, m_data, m_length);
  std::memcpy(p + m_length, o.m_data, o.m_length);
  p[n] = 0;
  std::free(m_data);
  m_data = p;
  m_length = n;
  return *this;
}
MString& MString::operator+=(const char* text) { return *this += MString(text); }
MString& MString::operator+=(int value) { return *this += MString(std::to_string(value).c_str()); }
MString MString::operator+(const MString& o) const {
  MString r(*this);
  r += o;
  return r;
}
MString MString::operator+(const char* text) const {
  MString r(*this);
  r += text;
  return r;
}
MString operator+(const char* text, const MString& s) {
  MString r(text);
  r += s;
  return r;
}

int MString::index(char c) const {
  for (unsigned i = 0; i < m_length; ++i)
    if (m_data[i] == c) return (int)i;
  return -1;
}
int MString::rindex(char c) const {
  for (unsigned i = m_length; i > 0; --i)
    if (m_data[i - 1] == c) return (int)i - 1;
  return -1;
}
MString MString::substring(int start, int end) const {
  if (start < 0) start = 0;
  if (end >= (int)m_length) end = (int)m_length - 1;
  if (end < start) return MString();
  return MString(m_data + start, end - start + 1);
}

// ---------------------------------------------------------------- arrays

template <typename T>
MStandInArray<T>::MStandInArray() : m_data(nullptr), m_length(0), m_capacity(0) {}

template <typename T>
MStandInArray<T>::MStandInArray(unsigned int count, const T& init) : MStandInArray() {
  setLength(count);
  for (unsigned i = 0; i < count; ++i) m_data[i] = init;
}

template <typename T>
MStandInArray<T>::MStandInArray(const T* source, unsigned int count) : MStandInArray() {
  if (!count) return;
  m_data = static_cast<T*>(::operator new(sizeof(T) * count));
  // The library copies: one block move for plain values, a copy per element otherwise.
  std::uninitialized_copy(source, source + count, m_data);
  m_length = m_capacity = count;
}

template <typename T>
MStandInArray<T>::MStandInArray(const MStandInArray& o) : MStandInArray() {
  copy(o);
}

template <typename T>
MStandInArray<T>::~MStandInArray() {
  clear();
  ::operator delete(m_data);
}

template <typename T>
MStandInArray<T>& MStandInArray<T>::operator=(const MStandInArray& o) {
  if (this != &o) copy(o);
  return *this;
}

template <typename T>
MStatus MStandInArray<T>::copy(const MStandInArray& o) {
  if (this == &o) return MStatus::kSuccess;
  clear();
  setLength(o.m_length);
  std::copy(o.m_data, o.m_data + o.m_length, m_data);
  return MStatus::kSuccess;
}

template <typename T>
MStatus MStandInArray<T>::get(T destination[]) const {
  if (!destination && m_length) return MStatus::kInvalidParameter;
  std::copy(m_data, m_data + m_length, destination);
  return MStatus::kSuccess;
}

template <typename T>
unsigned int MStandInArray<T>::length() const {
  return m_length;
}

namespace {
template <typename T>
T& outOfRange() {
  static T dummy;
  dummy = T();
  return dummy;
}
}  // namespace

template <typename T>
T& MStandInArray<T>::operator[](unsigned int i) {
  return i < m_length ? m_data[i] : outOfRange<T>();
}
template <typename T>
const T& MStandInArray<T>::operator[](unsigned int i) const {
  return i < m_length ? m_data[i] : outOfRange<T>();
}

template <typename T>
MStatus MStandInArray<T>::setLength(unsigned int count) {
  if (count > m_capacity) {
    // Twice the room when growing by a little (appends), the exact length otherwise.
    const unsigned twice = m_capacity > 4 ? (m_capacity > 0x7FFFFFFFu ? 0xFFFFFFFFu : m_capacity * 2) : 8;
    const unsigned cap = count > twice ? count : twice;
    T* p = static_cast<T*>(::operator new(sizeof(T) * cap));
    for (unsigned i = 0; i < m_length; ++i) {
      new (p + i) T(m_data[i]);
      m_data[i].~T();
    }
    ::operator delete(m_data);
    m_data = p;
    m_capacity = cap;
  }
  for (unsigned i = m_length; i < count; ++i) new (m_data + i) T();
  for (unsigned i = count; i < m_length; ++i) m_data[i].~T();
  m_length = count;
  return MStatus::kSuccess;
}

template <typename T>
MStatus MStandInArray<T>::append(const T& value) {
  T copyOfValue(value);  // NOLINT(performance-unnecessary-copy-initialization): value may live inside this array
  setLength(m_length + 1);
  m_data[m_length - 1] = copyOfValue;
  return MStatus::kSuccess;
}

template <typename T>
MStatus MStandInArray<T>::insert(const T& value, unsigned int index) {
  if (index > m_length) return MStatus::kInvalidParameter;
  T copyOfValue(value);  // NOLINT(performance-unnecessary-copy-initialization): value may live inside this array
  setLength(m_length + 1);
  for (unsigned i = m_length - 1; i > index; --i) m_data[i] = m_data[i - 1];
  m_data[index] = copyOfValue;
  return MStatus::kSuccess;
}

template <typename T>
MStatus MStandInArray<T>::remove(unsigned int index) {
  if (index >= m_length) return MStatus::kInvalidParameter;
  for (unsigned i = index; i + 1 < m_length; ++i) m_data[i] = m_data[i + 1];
  setLength(m_length - 1);
  return MStatus::kSuccess;
}

template <typename T>
MStatus MStandInArray<T>::clear() {
  return setLength(0);
}

template <typename T>
MStatus MStandInArray<T>::set(const T& value, unsigned int index) {
  if (index >= m_length) return MStatus::kInvalidParameter;
  m_data[index] = value;
  return MStatus::kSuccess;
}

template class MStandInArray<int>;
template class MStandInArray<float>;
template class MStandInArray<double>;
template class MStandInArray<MString>;
template class MStandInArray<MObject>;
template class MStandInArray<MFloatPoint>;
template class MStandInArray<MFloatVector>;
template class MStandInArray<MVector>;
template class MStandInArray<MDagPath>;
template class MStandInArray<MPlug>;

// ---------------------------------------------------------------- MMatrix

const MMatrix MMatrix::identity;
MDGContext MDGContext::fsNormal;

MMatrix::MMatrix() { setToIdentity(); }
MMatrix::MMatrix(const double m[4][4]) {
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) matrix[r][c] = m[r][c];
}
MMatrix::MMatrix(const float m[4][4]) {
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) matrix[r][c] = m[r][c];
}
MMatrix& MMatrix::setToIdentity() {
  static const double identity[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
  std::memcpy(matrix, identity, sizeof matrix);
  return *this;
}
MStatus MMatrix::get(double d[4][4]) const {
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) d[r][c] = matrix[r][c];
  return MStatus::kSuccess;
}
MStatus MMatrix::get(float d[4][4]) const {
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) d[r][c] = (float)matrix[r][c];
  return MStatus::kSuccess;
}
MMatrix MMatrix::operator*(const MMatrix& b) const {
  // A row at a time, its four sums side by side; each sum adds its products in the
  // order k = 0, 1, 2, 3, as one entry at a time would.
  MMatrix r;
  for (int i = 0; i < 4; ++i) {
    double s[4] = {0, 0, 0, 0};
    for (int k = 0; k < 4; ++k) {
      const double a = matrix[i][k];
      for (int j = 0; j < 4; ++j) s[j] += a * b.matrix[k][j];
    }
    for (int j = 0; j < 4; ++j) r.matrix[i][j] = s[j];
  }
  return r;
}
MMatrix& MMatrix::operator*=(const MMatrix& b) { return *this = *this * b; }
bool MMatrix::operator==(const MMatrix& o) const {
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c)
      if (matrix[r][c] != o.matrix[r][c]) return false;
  return true;
}
bool MMatrix::isEquivalent(const MMatrix& o, double tol) const {
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c)
      if (std::fabs(matrix[r][c] - o.matrix[r][c]) > tol) return false;
  return true;
}
MMatrix MMatrix::transpose() const {
  MMatrix t;
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) t.matrix[r][c] = matrix[c][r];
  return t;
}
double MMatrix::det4x4() const {
  // Gaussian elimination with partial pivoting on a copy.
  double a[4][4];
  get(a);
  double det = 1.0;
  for (int c = 0; c < 4; ++c) {
    int p = c;
    for (int r = c + 1; r < 4; ++r)
      if (std::fabs(a[r][c]) > std::fabs(a[p][c])) p = r;
    if (a[p][c] == 0.0) return 0.0;
    if (p != c) {
      for (int k = 0; k < 4; ++k) std::swap(a[p][k], a[c][k]);
      det = -det;
    }
    det *= a[c][c];
    for (int r = c + 1; r < 4; ++r) {
      double f = a[r][c] / a[c][c];
      for (int k = c; k < 4; ++k) a[r][k] -= f * a[c][k];
    }
  }
  return det;
}
MMatrix MMatrix::inverse() const {
  // Gauss-Jordan with partial pivoting. A pivot that vanishes relative to the matrix's
  // largest entry means the matrix is singular; the identity is returned then.
  double a[4][4], inv[4][4];
  get(a);
  double largest = 0;
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) {
      inv[r][c] = r == c ? 1.0 : 0.0;
      largest = std::max(largest, std::fabs(a[r][c]));
    }
  if (largest == 0.0) return MMatrix();
  for (int c = 0; c < 4; ++c) {
    int p = c;
    for (int r = c + 1; r < 4; ++r)
      if (std::fabs(a[r][c]) > std::fabs(a[p][c])) p = r;
    if (std::fabs(a[p][c]) <= largest * 1e-14) return MMatrix();
    for (int k = 0; k < 4; ++k) {
      std::swap(a[p][k], a[c][k]);
      std::swap(inv[p][k], inv[c][k]);
    }
    double d = a[c][c];
    for (int k = 0; k < 4; ++k) {
      a[c][k] /= d;
      inv[c][k] /= d;
    }
    for (int r = 0; r < 4; ++r) {
      if (r == c) continue;
      double f = a[r][c];
      if (f == 0.0) continue;
      for (int k = 0; k < 4; ++k) {
        a[r][k] -= f * a[c][k];
        inv[r][k] -= f * inv[c][k];
      }
    }
  }
  return MMatrix(inv);
}

// ---------------------------------------------------------------- MObject

const MObject MObject::kNullObj;

MObject::MObject(const MObject& o) : m_entity(o.m_entity) { standin::core::retain(m_entity); }
MObject::~MObject() { standin::core::release(m_entity); }
// The new entity is retained before the old one is released, so self-assignment is safe.
MObject& MObject::operator=(const MObject& o) {  // NOLINT(bugprone-unhandled-self-assignment)
  standin::core::retain(o.m_entity);
  standin::core::release(m_entity);
  m_entity = o.m_entity;
  return *this;
}
MFn::Type MObject::apiType() const { return m_entity ? m_entity->type : MFn::kInvalid; }
bool MObject::hasFn(MFn::Type t) const { return m_entity && m_entity->hasFn(t); }
