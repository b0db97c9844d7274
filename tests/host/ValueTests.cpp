// Value types: strings, statuses, matrices, arrays, and handles moved by a byte copy.
#include "HostTest.h"

#include <maya/MDagPath.h>
#include <maya/MFnDagNode.h>
#include <maya/MFnSkinCluster.h>
#include <maya/MIntArray.h>
#include <maya/MMatrix.h>
#include <maya/MPlugArray.h>
#include <maya/MString.h>

#include <cstring>
#include <new>

TEST(HostValues, StringKeepsBytesAndConcatenates) {
  const char raw[] = "na\xc3\xafve\x01|x";
  MString a(raw);
  EXPECT_EQ(a.length(), sizeof raw - 1);
  EXPECT_EQ(std::memcmp(a.asChar(), raw, sizeof raw), 0);
  MString b = MString("ab") + "cd";
  b += MString("ef");
  EXPECT_EQ(b, "abcdef");
  EXPECT_TRUE(MString(nullptr) == "");
  EXPECT_EQ(MString("abc", 2), "ab");
  EXPECT_EQ(MString("a|b|c").rindex('|'), 3);
  EXPECT_EQ(MString("a|b|c").substring(2, 4), "b|c");
}

TEST(HostValues, StatusCodesAndTruthiness) {
  EXPECT_EQ((int)MStatus::kEndOfFile, 8);
  MStatus four(static_cast<MStatus::MStatusCode>(4));
  EXPECT_EQ((int)four.statusCode(), 4);
  EXPECT_FALSE(four);
  EXPECT_TRUE(MStatus());
  EXPECT_TRUE(MStatus(MStatus::kInvalidParameter) == MStatus::kInvalidParameter);
}

TEST(HostValues, MatrixProductInverseAndSingular) {
  double rows[4][4] = {{2, 0, 0, 0}, {0, 0, 3, 0}, {0, -1, 0, 0}, {5, 6, 7, 1}};
  MMatrix m(rows);
  EXPECT_TRUE((m * m.inverse()).isEquivalent(MMatrix(), 1e-12));
  EXPECT_TRUE((m.inverse() * m).isEquivalent(MMatrix(), 1e-12));
  // Row vectors: translation in row 3 composes as local * parent.
  MMatrix a = standin::translation(1, 0, 0), b = standin::translation(0, 2, 0);
  MMatrix ab = a;
  ab *= b;
  EXPECT_EQ(ab(3, 0), 1.0);
  EXPECT_EQ(ab(3, 1), 2.0);
  double zero[4][4] = {};
  EXPECT_TRUE(MMatrix(zero).inverse() == MMatrix());
  double flat[4][4] = {{1, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
  EXPECT_TRUE(MMatrix(flat).inverse() == MMatrix());
  float out[4][4];
  m.get(out);
  EXPECT_EQ(out[3][2], 7.0f);
}

TEST(HostValues, ArraysGrowCopyAndGuardTheirEnd) {
  MIntArray a(3, 7);
  a.append(9);
  MIntArray b = a;
  b[0] = 1;
  EXPECT_EQ(a.length(), 4u);
  EXPECT_EQ(a[0], 7);
  EXPECT_EQ(b[3], 9);
  EXPECT_EQ(a.remove(9), MStatus::kInvalidParameter);
  a.append(a[0]);  // appending an element of the array itself
  EXPECT_EQ(a[4], 7);
  MPlugArray plugs;
  EXPECT_TRUE(plugs[0].isNull());
  MStatus st;
  EXPECT_TRUE(plugs[3].node(&st).isNull());
  EXPECT_FALSE(st);
}

// Containers of the plug-in move elements with a byte copy and no constructor or
// destructor; handles must survive that.
template <class T>
T relocated(const T& original) {
  alignas(T) unsigned char first[sizeof(T)], second[sizeof(T)];
  new (first) T(original);
  std::memcpy(second, first, sizeof(T));  // the move: bytes only, first is abandoned
  T copy(*reinterpret_cast<T*>(second));
  reinterpret_cast<T*>(second)->~T();
  return copy;
}

class HostRelocation : public HostTest {};

TEST_F(HostRelocation, HandlesAndFunctionSetsSurviveByteCopies) {
  MObject root = standin::makeJoint("root");
  MObject tip = standin::makeJoint("tip", root, standin::translation(0, 1, 0));
  MObject shape = standin::makeCube("box");
  MObjectArray joints;
  joints.append(root);
  joints.append(tip);
  MObject sc = standin::bindSkin(shape, joints);
  ASSERT_FALSE(sc.isNull());

  EXPECT_EQ(relocated(MString("some text that is longer than sixteen bytes")),
            "some text that is longer than sixteen bytes");
  EXPECT_TRUE(relocated(tip) == tip);
  MDagPath path;
  MFnDagNode(tip).getPath(path);
  EXPECT_EQ(s(relocated(path).fullPathName()), "|root|tip");
  MFnSkinCluster moved = relocated(MFnSkinCluster(sc));
  MDagPathArray influences;
  EXPECT_EQ(moved.influenceObjects(influences), 2u);
  EXPECT_EQ(s(moved.name()), "skinCluster1");
  MPlug plug = relocated(MFnDagNode(tip).findPlug("worldMatrix").elementByLogicalIndex(0));
  EXPECT_EQ(s(plug.name()), "tip.worldMatrix[0]");
}
