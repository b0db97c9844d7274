// Stand-in-only hooks: reset, inspection, logs, fault injection and scene building.
#include "Core.h"

#include <maya/MFnIkJoint.h>
#include <maya/MGlobal.h>
#include <tessahost/StandIn.h>

using namespace standin::core;

namespace standin {

void forgetPlugin(); // Plugin.cpp

void resetScene() {
  Scene& s = scene();
  s.selection.clear();
  std::vector<Node*> nodes;
  nodes.swap(s.nodes);
  for (Node* n : nodes)
    while (!n->in.empty()) removeConnection(n->in.back());
  for (Node* n : nodes) {
    n->alive = false;
    n->parents.clear();
    n->children.clear();
    n->shading.clear();
    n->members.clear();
    n->data.clear();
  }
  for (Node* n : nodes) release(n);
  s.world = nullptr;
  s.console.clear();
  s.commandLog.clear();
  s.progress = Progress();
  s.yUp = true;
  s.failRegisterTranslator = s.failAddCallback = s.failSelection = s.failCommand = false;
  s.failIterate.clear();
  s.translatorThrew = false;
  s.translatorException.clear();
  buildDefaultScene();
}

void resetHost() {
  forgetPlugin();
  scene().nextCallbackId = 1;
  resetScene();
}

MObjectArray allNodes() {
  MObjectArray a;
  for (Node* n : scene().nodes) a.append(Access::make(n));
  return a;
}

MObject nodeByName(const MString& name) {
  std::vector<Node*> found = nodesNamed(str(name));
  return found.size() == 1 ? Access::make(found[0]) : MObject();
}

MMatrix localMatrix(const MObject& node) {
  Node* n = Access::node(node);
  return n ? n->local : MMatrix();
}

// ---------------------------------------------------------------- console and logs

unsigned int consoleCount() { return (unsigned)scene().console.size(); }

ConsoleKind consoleKind(unsigned int i) {
  auto& c = scene().console;
  return i < c.size() ? static_cast<ConsoleKind>(static_cast<int>(c[i].kind)) : ConsoleKind::Info;
}

MString consoleText(unsigned int i) {
  auto& c = scene().console;
  return i < c.size() ? MString(c[i].text.c_str()) : MString();
}

void clearConsole() { scene().console.clear(); }
void setConsoleEcho(bool on) { scene().echo = on; }

unsigned int commandLogCount() { return (unsigned)scene().commandLog.size(); }

MString commandLogText(unsigned int i) {
  auto& c = scene().commandLog;
  return i < c.size() ? MString(c[i].text.c_str()) : MString();
}

MStatus commandLogStatus(unsigned int i) {
  auto& c = scene().commandLog;
  return i < c.size() ? c[i].status : MStatus(MStatus::kInvalidParameter);
}

ProgressState progressState() {
  const Progress& p = scene().progress;
  return {p.beginCount, p.endCount, p.active, MString(p.status.c_str()), p.maxValue, p.value};
}

// ---------------------------------------------------------------- faults

void failNext(Fault f) {
  Scene& s = scene();
  switch (f) {
  case Fault::RegisterFileTranslator: s.failRegisterTranslator = true; break;
  case Fault::AddCallback: s.failAddCallback = true; break;
  case Fault::GetActiveSelectionList: s.failSelection = true; break;
  case Fault::ExecuteCommand: s.failCommand = true; break;
  }
}

void failNextNodeIteration(MFn::Type filter) { scene().failIterate.push_back(filter); }

// ---------------------------------------------------------------- building

namespace {
MObject makeDag(const char* type, const MString& name, const MObject& parent, const MMatrix& local) {
  Node* p = nullptr;
  if (!parent.isNull()) {
    p = Access::node(parent);
    if (!p || !p->hasFn(MFn::kTransform)) return MObject();
  }
  std::string n = str(name);
  if (n.find('|') != std::string::npos) return MObject();
  Node* node = createNode(type, p, n);
  node->local = local;
  return Access::make(node);
}
} // namespace

MObject makeTransform(const MString& name, const MObject& parent, const MMatrix& local) {
  return makeDag("transform", name, parent, local);
}

MObject makeJoint(const MString& name, const MObject& parent, const MMatrix& local) {
  return makeDag("joint", name, parent, local);
}

MStatus setLocalMatrix(const MObject& node, const MMatrix& local) {
  Node* n = Access::node(node);
  if (!n || !n->hasFn(MFn::kTransform)) return MStatus::kInvalidParameter;
  n->local = local;
  return MStatus::kSuccess;
}

MMatrix translation(double x, double y, double z) {
  MMatrix m;
  m(3, 0) = x;
  m(3, 1) = y;
  m(3, 2) = z;
  return m;
}

MMatrix worldMatrix(const MObject& node) {
  MDagPath p;
  if (!MDagPath::getAPathTo(node, p)) return MMatrix();
  return p.inclusiveMatrix();
}

MStatus select(const MStringArray& names, bool replace) {
  MSelectionList list;
  for (unsigned i = 0; i < names.length(); ++i) {
    MStatus s = list.add(names[i]);
    if (!s) return s;
  }
  return MGlobal::setActiveSelectionList(list, replace ? MGlobal::kReplaceList : MGlobal::kAddToList);
}

MStatus select(const MObject& node, bool replace) {
  MSelectionList list;
  MStatus s = list.add(node);
  if (!s) return s;
  return MGlobal::setActiveSelectionList(list, replace ? MGlobal::kReplaceList : MGlobal::kAddToList);
}

void setUpAxis(bool yUp) { scene().yUp = yUp; }

} // namespace standin
