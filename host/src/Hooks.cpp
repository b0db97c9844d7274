// Stand-in-only hooks: reset, queries, logs, fault injection and scene building.
#include "Core.h"

#include <maya/MFnIkJoint.h>
#include <maya/MFnMesh.h>
#include <maya/MFnSet.h>
#include <maya/MFnSingleIndexedComponent.h>
#include <maya/MFnSkinCluster.h>
#include <maya/MGlobal.h>
#include <maya/MItGeometry.h>
#include <tessahost/StandIn.h>

using namespace standin::core;

namespace standin {

void forgetPlugin();  // Plugin.cpp

void resetScene() {
  Scene& s = scene();
  s.selection.clear();
  std::vector<Node*> nodes;
  nodes.swap(s.nodes);
  for (Node* n : nodes)
    while (!n->in.empty()) removeConnection(n->in.back());
  for (Node* n : nodes) {
    releaseStep(n->firstPath);
    n->firstPath = nullptr;
    n->worldKnown = false;
    n->worldInverse = MObject();
  }
  for (Node* n : nodes) {
    n->alive = false;
    n->parents.clear();
    n->children.clear();
    n->shading.clear();
    n->members.clear();
    n->data.clear();
  }
  for (Node* n : nodes) release(n);
  s.nodesByName.clear();
  s.nodesOfType.clear();
  s.numberHints.clear();
  s.searchesOfBase.clear();
  s.world = nullptr;
  touch();
  s.console.clear();
  s.commandLog.clear();
  s.progress = Progress();
  s.yUp = true;
  s.failRegisterTranslator = s.failAddCallback = s.failSelection = s.failCommand = false;
  s.failCall.clear();
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

void failNextCall(const char* function) { scene().failCall = function ? function : ""; }

}  // namespace standin

bool standin::core::takeCallFault(const char* function) {
  std::string& wanted = scene().failCall;
  if (wanted.empty() || wanted != function) return false;
  wanted.clear();
  return true;
}

namespace standin {

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
  setLocal(node, local);
  touch();
  return Access::make(node);
}
}  // namespace

MObject makeTransform(const MString& name, const MObject& parent, const MMatrix& local) {
  return makeDag("transform", name, parent, local);
}

MObject makeJoint(const MString& name, const MObject& parent, const MMatrix& local) {
  return makeDag("joint", name, parent, local);
}

MStatus setLocalMatrix(const MObject& node, const MMatrix& local) {
  Node* n = Access::node(node);
  if (!n || !n->hasFn(MFn::kTransform)) return MStatus::kInvalidParameter;
  setLocal(n, local);
  touch();
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

}  // namespace standin

// ---------------------------------------------------------------- building: meshes, shading, skins

namespace standin {

MObject makeMesh(const MString& name, const MFloatPointArray& points, const MIntArray& counts,
                 const MIntArray& connects, const MObject& parent) {
  MObject transform = makeTransform(name, parent);
  if (transform.isNull()) return MObject();
  MFnMesh fn;
  MStatus s;
  MObject shape = fn.create((int)points.length(), (int)counts.length(), points, counts, connects, transform, &s);
  if (!s) {
    deleteNode(Access::node(transform));
    return MObject();
  }
  renameNode(Access::node(shape), str(MFnDependencyNode(transform).name()) + "Shape");
  return shape;
}

MObject makeCube(const MString& name, double h, const MObject& parent) {
  MFloatPointArray p;
  for (int i = 0; i < 8; ++i)
    p.append(MFloatPoint((float)(i & 1 ? h : -h), (float)(i & 2 ? h : -h), (float)(i & 4 ? h : -h)));
  const int quads[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
  MIntArray counts(6, 4), connects;
  for (auto& q : quads)
    for (int v : q) connects.append(v);
  return makeMesh(name, p, counts, connects, parent);
}

MObject makeShadingGroup(const MString& name, const MString& materialName, const MString& materialType) {
  const NodeType* t = nodeType(str(materialType));
  if (!t || !t->find("outColor")) return MObject();
  Node* material = createNode(t, nullptr, str(materialName));
  Node* sg = createNode("shadingEngine", nullptr, str(name));
  connect(material, {material->nt->find("outColor"), -1, -1}, sg, {sg->nt->find("surfaceShader"), -1, -1});
  return Access::make(sg);
}

MStatus assignFaces(const MObject& shape, unsigned int instance, const MObject& shadingGroup, const MIntArray& faces) {
  MDagPathArray paths;
  MStatus s = MDagPath::getAllPathsTo(shape, paths);
  if (!s) return s;
  if (instance >= paths.length()) return MStatus::kInvalidParameter;
  MFnSet set(shadingGroup, &s);
  if (!s) return s;
  MObject comp;
  if (faces.length()) {
    MFnSingleIndexedComponent fc;
    comp = fc.create(MFn::kMeshPolygonComponent);
    fc.addElements(faces);
  }
  return set.addMember(paths[instance], comp);
}

MDagPath makeInstance(const MObject& node, const MObject& newParent) {
  Node* n = Access::node(node);
  Node* p = newParent.isNull() ? scene().world : Access::node(newParent);
  if (!n || !p || !addChild(p, n, true)) return MDagPath();
  auto paths = allPaths(n);
  return Access::makePath(paths.back());
}

// A name as one word of command text: between double quotes, with a backslash before
// each quote and backslash, so that spaces, ';' and '"' in names stay part of them.
static std::string quotedWord(const MString& name) {
  std::string word = "\"";
  for (const char* c = name.asChar(); *c; ++c) {
    if (*c == '"' || *c == '\\') word += '\\';
    word += *c;
  }
  return word + "\"";
}

MObject bindSkin(const MObject& shape, const MObjectArray& influences, const MDoubleArray& weights,
                 const MMatrix* bindWorld) {
  MFnDagNode mesh(shape);
  std::string command("skinCluster");
  for (unsigned i = 0; i < influences.length(); ++i)
    command += " " + quotedWord(MFnDagNode(influences[i]).fullPathName());
  command += " " + quotedWord(mesh.fullPathName()) + ";";
  std::vector<std::string> result;
  if (!runCommandText(command, result) || result.empty()) return MObject();
  MObject sc = nodeByName(result[0].c_str());
  Node* cluster = Access::node(sc);
  if (bindWorld)
    for (unsigned k = 0; k < influences.length(); ++k)
      cluster->data[{cluster->nt->find("bindPreMatrix"), -1, (int)k}] = newMatrixData(bindWorld[k].inverse());
  touch();
  if (weights.length()) {
    // Every vertex and influence in one call: set one weight at a time, a skin of a
    // thousand joints took minutes. A list that does not fit the mesh binds nothing.
    MDagPath path;
    mesh.getPath(path);
    const unsigned count = (unsigned)MItGeometry(path).count(), k = influences.length();
    if (weights.length() != count * k) return MObject();
    MFnSingleIndexedComponent component;
    MObject vertices = component.create(MFn::kMeshVertComponent);
    for (unsigned v = 0; v < count; ++v) component.addElement(int(v));
    MIntArray all;
    for (unsigned j = 0; j < k; ++j) all.append(int(j));
    if (!MFnSkinCluster(sc).setWeights(path, vertices, all, weights, false)) return MObject();
  }
  return sc;
}

MObject addUpstreamSkinCluster(const MObject& shape, const MObjectArray& influences) {
  Node* mesh = Access::node(shape);
  if (!mesh || mesh->type != MFn::kMesh) return MObject();
  Connection* c = incoming(mesh, {mesh->nt->find("inMesh"), -1, -1});
  if (!c || !c->src->hasFn(MFn::kGeometryFilt)) return MObject();
  Node* first = c->src;
  PlugKey firstInput{first->nt->find("inputGeometry"), 0, -1};
  Connection* in = incoming(first, firstInput);
  if (!in) return MObject();
  // New intermediate shape between the new cluster and the first deformer; the new
  // cluster takes over the first deformer's input.
  Node* transform = mesh->parents.empty() ? nullptr : mesh->parents.front();
  Node* mid = createNode("mesh", transform, mesh->name + "Deformed");
  mid->intermediate = true;
  Geometry g;
  plugGeometry(in->src, in->srcKey, g);
  *mid->geom = g;
  touch();
  std::vector<Node*> infl;
  for (unsigned i = 0; i < influences.length(); ++i) {
    Node* n = Access::node(influences[i]);
    if (!n || !n->hasFn(MFn::kTransform)) return MObject();
    infl.push_back(n);
  }
  Node* source = in->src;
  PlugKey sourceKey = in->srcKey;
  removeConnection(in);
  connect(source, sourceKey, mid, {mid->nt->find("inMesh"), -1, -1});
  Node* sc = buildSkinCluster(mid, infl);
  connect(mid, {mid->nt->find("outMesh"), -1, -1}, first, firstInput);
  touch();
  return Access::make(sc);
}

MObject insertTweak(const MObject& shape, bool viaIntermediateShape) {
  Node* mesh = Access::node(shape);
  if (!mesh || mesh->type != MFn::kMesh) return MObject();
  PlugKey inMesh{mesh->nt->find("inMesh"), -1, -1};
  Connection* c = incoming(mesh, inMesh);
  if (!c) return MObject();
  Node* src = c->src;
  PlugKey sk = c->srcKey;
  removeConnection(c);
  if (viaIntermediateShape) {
    Node* transform = mesh->parents.empty() ? nullptr : mesh->parents.front();
    Node* mid = createNode("mesh", transform, mesh->name + "Intermediate");
    mid->intermediate = true;
    mid->geom = mesh->geom;  // a copy that is made only when one of them changes
    connect(src, sk, mid, inMesh);
    src = mid;
    sk = {mid->nt->find("outMesh"), -1, -1};
  }
  Node* tweak = createNode("tweak", nullptr, "");
  connect(src, sk, tweak, {tweak->nt->find("inputGeometry"), 0, -1});
  connect(tweak, {tweak->nt->find("outputGeometry"), -1, 0}, mesh, inMesh);
  return Access::make(tweak);
}

MIntArray deformerSetVertices(const MObject& skinCluster) {
  MIntArray ids;
  Node* sc = Access::node(skinCluster);
  Node* set = sc ? deformerSetOf(sc) : nullptr;
  if (!set) return ids;
  auto it = set->deformMembers.find(0);
  if (it != set->deformMembers.end())
    for (size_t v = 0; v < it->second.size(); ++v)
      if (it->second[v]) ids.append((int)v);
  return ids;
}

MIntArray uvAssignments(const MObject& shape, const MString& uvSet) {
  MIntArray ids;
  Node* n = Access::node(shape);
  Geometry scratch;
  const Geometry* g = n && n->type == MFn::kMesh ? meshGeometry(n, scratch) : nullptr;
  const UVSet* uv = g ? g->findUVSet(str(uvSet)) : nullptr;
  if (uv)
    for (int id : uv->ids) ids.append(id);
  return ids;
}

}  // namespace standin
