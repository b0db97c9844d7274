#pragma once
// A plug: a node plus an attribute, with the logical index of an array element and, for
// a child of a compound array element, the index of that element (input[2].inputGeometry).
#include <maya/MDGContext.h>
#include <maya/MObject.h>
#include <maya/MString.h>

namespace standin {
namespace core {
struct Attr;
}
}  // namespace standin

class MPlug {
public:
  MPlug();
  MPlug(const MObject& node, const MObject& attribute);
  MPlug(const MPlug& other);
  ~MPlug();
  MPlug& operator=(const MPlug& other);

  bool isNull(MStatus* ReturnStatus = nullptr) const;
  MObject node(MStatus* ReturnStatus = nullptr) const;
  MObject attribute(MStatus* ReturnStatus = nullptr) const;
  MString name(MStatus* ReturnStatus = nullptr) const;
  MString partialName(MStatus* ReturnStatus = nullptr) const;

  bool isArray(MStatus* ReturnStatus = nullptr) const;
  bool isElement(MStatus* ReturnStatus = nullptr) const;
  bool isCompound(MStatus* ReturnStatus = nullptr) const;
  bool isChild(MStatus* ReturnStatus = nullptr) const;
  unsigned int logicalIndex(MStatus* ReturnStatus = nullptr) const;
  MPlug elementByLogicalIndex(unsigned int logicalIndex, MStatus* ReturnStatus = nullptr) const;
  // Logical indices in use (stored or connected, counting children), ascending.
  unsigned int numElements(MStatus* ReturnStatus = nullptr) const;
  MPlug elementByPhysicalIndex(unsigned int physicalIndex, MStatus* ReturnStatus = nullptr) const;
  unsigned int numConnectedElements(MStatus* ReturnStatus = nullptr) const;
  unsigned int numChildren(MStatus* ReturnStatus = nullptr) const;
  MPlug child(unsigned int index, MStatus* ReturnStatus = nullptr) const;
  MPlug parent(MStatus* ReturnStatus = nullptr) const;
  MPlug array(MStatus* ReturnStatus = nullptr) const;

  bool isConnected(MStatus* ReturnStatus = nullptr) const;
  // Fills array with the other ends, in connection-creation order; returns whether any.
  bool connectedTo(MPlugArray& array, bool asDst, bool asSrc, MStatus* ReturnStatus = nullptr) const;

  // Connected destination: the evaluated source value. Otherwise the stored value. An
  // array element never set nor connected fails with a null object.
  MStatus getValue(MObject& value, MDGContext& context = MDGContext::fsNormal) const;
  MStatus getValue(double& value, MDGContext& context = MDGContext::fsNormal) const;
  MStatus getValue(int& value, MDGContext& context = MDGContext::fsNormal) const;
  MStatus getValue(bool& value, MDGContext& context = MDGContext::fsNormal) const;
  // Fails on a connected destination and on a value of the wrong kind.
  MStatus setValue(const MObject& value);
  MStatus setValue(double value);
  MStatus setValue(int value);
  MStatus setValue(bool value);

  bool operator==(const MPlug& other) const;
  bool operator!=(const MPlug& other) const { return !(*this == other); }

private:
  friend struct standin::core::Access;
  MObject m_node;
  const standin::core::Attr* m_attr;
  int m_parentIndex;  // element index of the parent compound array, or -1
  int m_index;        // logical index when this is an element of an array, or -1
};
