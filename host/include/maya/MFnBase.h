#pragma once
// Base of all function sets. A set attaches to an object when the object is alive and has
// the set's required type; otherwise it stays unattached and every method fails with
// kInvalidParameter. Sets hold only handles and may be copied or byte-relocated.
// Heap-allocated sets get their memory from the host library (class allocation
// functions), because their virtual destructors, and so their deallocation, live there.
#include <maya/MObject.h>

class MFnBase {
public:
  MFnBase();
  MFnBase(const MFnBase& other);
  MFnBase& operator=(const MFnBase& other);
  virtual ~MFnBase();

  virtual MFn::Type type() const;
  virtual MStatus setObject(const MObject& object);
  MObject object(MStatus* ReturnStatus = nullptr) const;
  bool hasObj(const MObject& object) const;
  bool hasObj(MFn::Type type) const;

  static void* operator new(std::size_t size);
  static void* operator new[](std::size_t size);
  static void operator delete(void* p) noexcept;
  static void operator delete[](void* p) noexcept;
  // Placement forms stay available (containers construct sets in their own storage).
  static void* operator new(std::size_t, void* where) noexcept { return where; }
  static void* operator new[](std::size_t, void* where) noexcept { return where; }
  static void operator delete(void*, void*) noexcept {}
  static void operator delete[](void*, void*) noexcept {}

protected:
  // Attaches when compatible with required; otherwise detaches and returns kInvalidParameter.
  MStatus attach(const MObject& object, MFn::Type required);
  MObject m_object;
};
