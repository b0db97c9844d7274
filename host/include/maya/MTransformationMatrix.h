#pragma once
// A transformation kept as the exact 4x4 it was given: no decomposition into
// translate/rotate/scale, so asMatrix() returns what was set, singular matrices included.
#include <maya/MMatrix.h>

class MTransformationMatrix {
public:
  MTransformationMatrix() {}
  MTransformationMatrix(const MMatrix& m) : m_matrix(m) {}
  MMatrix asMatrix() const { return m_matrix; }
  bool operator==(const MTransformationMatrix& o) const { return m_matrix == o.m_matrix; }

private:
  MMatrix m_matrix;
};
