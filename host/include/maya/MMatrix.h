#pragma once
// 4x4 double matrix, row-major. Points are row vectors (p' = p * M) and the translation
// sits in row 3, so a child's world matrix is local * parentWorld.
#include <maya/MStatus.h>

class MMatrix {
public:
  MMatrix();  // identity
  MMatrix(const double m[4][4]);
  MMatrix(const float m[4][4]);

  double& operator()(unsigned int row, unsigned int col) { return matrix[row][col]; }
  double operator()(unsigned int row, unsigned int col) const { return matrix[row][col]; }
  const double* operator[](unsigned int row) const { return matrix[row]; }

  MStatus get(double dest[4][4]) const;
  MStatus get(float dest[4][4]) const;

  // General inverse. A singular matrix (no usable pivot) gives the identity.
  MMatrix inverse() const;
  MMatrix transpose() const;
  double det4x4() const;
  MMatrix& setToIdentity();

  MMatrix operator*(const MMatrix& right) const;
  MMatrix& operator*=(const MMatrix& right);  // this = this * right
  bool operator==(const MMatrix& other) const;
  bool operator!=(const MMatrix& other) const { return !(*this == other); }
  bool isEquivalent(const MMatrix& other, double tolerance = 1e-10) const;

  static const MMatrix identity;

  double matrix[4][4];
};
