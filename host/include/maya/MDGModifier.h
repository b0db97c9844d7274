#pragma once
// Queues graph edits and applies them with doIt(). createNode makes the node at once (so
// the returned object can be used in later queued operations); connect, disconnect,
// deleteNode and reparentNode wait for doIt(), which applies them in order, stops at the
// first failure and returns it, and empties the queue.
#include <maya/MObject.h>
#include <maya/MPlug.h>
#include <maya/MString.h>

namespace standin {
namespace core {
struct ModifierQueue;
}
}  // namespace standin

class MDGModifier {
public:
  MDGModifier();
  MDGModifier(const MDGModifier&) = delete;
  MDGModifier& operator=(const MDGModifier&) = delete;
  virtual ~MDGModifier();

  MObject createNode(const MString& typeName, MStatus* ReturnStatus = nullptr);
  MStatus deleteNode(const MObject& node);
  // Fails at doIt() when the destination already has an incoming connection.
  MStatus connect(const MPlug& source, const MPlug& destination);
  MStatus connect(const MObject& sourceNode, const MObject& sourceAttr, const MObject& destNode,
                  const MObject& destAttr);
  MStatus disconnect(const MPlug& source, const MPlug& destination);
  MStatus renameNode(const MObject& node, const MString& newName);
  MStatus doIt();

  // Heap-allocated modifiers get their memory from the host library, where their
  // virtual destructors live.
  static void* operator new(std::size_t size);
  static void operator delete(void* p) noexcept;
  static void* operator new(std::size_t, void* where) noexcept { return where; }
  static void operator delete(void*, void*) noexcept {}

protected:
  standin::core::ModifierQueue* m_queue;
};
