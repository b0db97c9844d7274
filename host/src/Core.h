#pragma once
// Internal model of the stand-in host: entities behind MObject handles, the node graph,
// geometry, and the process-wide host state. Not installed; only host sources include it.
#define _MApiVersion  // the host library must not define the plug-in's version symbol
#include <maya/MDagPath.h>
#include <maya/MFloatPointArray.h>
#include <maya/MFn.h>
#include <maya/MMatrix.h>
#include <maya/MObject.h>
#include <maya/MPlug.h>
#include <maya/MSceneMessage.h>
#include <maya/MSelectionList.h>
#include <maya/MString.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

class MPxFileTranslator;
class MDagPathArray;

namespace standin::core {

enum class EntityKind { Node, Attribute, MeshData, MatrixData, Component, Plugin };

// Intrusively counted base of everything an MObject can refer to.
struct Entity {
  Entity(EntityKind k, MFn::Type t) : kind(k), type(t) {}
  virtual ~Entity();
  virtual bool hasFn(MFn::Type t) const;
  EntityKind kind;
  MFn::Type type;
  int refs = 0;
};

void retain(Entity* e);
void release(Entity* e);

struct Node;
struct Attr;
struct Geometry;

// One step of a DAG path: its last node and the path to that node's parent (null for a
// node right under the world). Paths that begin alike share those steps, so a path is
// copied, shortened or extended by one node without copying its nodes. Each step holds a
// reference to its node and to the step before it.
struct PathStep {
  int refs = 0;
  unsigned length = 0;  // nodes from the top down to this one
  Node* node = nullptr;
  PathStep* up = nullptr;
};

// A new step (no reference taken yet) after up.
PathStep* newStep(Node* node, PathStep* up);
void retainStep(PathStep* s);
void releaseStep(PathStep* s);

// ---------------------------------------------------------------- attributes and plugs

enum class AttrKind { Message, Matrix, Geometry, Compound, Numeric, Generic };

struct Attr : Entity {
  Attr(const std::string& n, AttrKind k, bool isArray, bool src, bool dst);
  bool hasFn(MFn::Type t) const override;
  std::string name;
  AttrKind akind;
  bool array;
  bool source;
  bool dest;
  Attr* parent = nullptr;
  std::vector<Attr*> children;
};

// Identifies one plug of a node: attribute, element index of the parent compound array
// (or -1) and logical index when the plug is an array element (or -1).
struct PlugKey {
  const Attr* attr = nullptr;
  int parentIndex = -1;
  int index = -1;
  bool operator==(const PlugKey& o) const { return attr == o.attr && parentIndex == o.parentIndex && index == o.index; }
  bool operator<(const PlugKey& o) const {
    if (attr != o.attr) return attr < o.attr;
    if (parentIndex != o.parentIndex) return parentIndex < o.parentIndex;
    return index < o.index;
  }
};

// A table from plugs to values that stays compact and quick at the sizes skin clusters
// reach: a connection and a stored value for each of thousands of influences. Elements
// of an array attribute whose logical indices run densely from 0 (matrix[0], matrix[1],
// ...) lie in one vector per attribute; every other plug lies in a block of slots (open
// addressing, linear probing). A default value (null) stands for no entry, so null is
// never stored. Iteration is in no set order.
template <typename V>
class PlugTable {
public:
  V* find(const PlugKey& k) {
    V* dense = denseSlot(k);
    if (dense && present(*dense)) return dense;
    const size_t i = slotOf(k);
    return i == kNone ? nullptr : &m_slots[i].value;
  }
  const V* find(const PlugKey& k) const { return const_cast<PlugTable*>(this)->find(k); }

  // The entry for k, made (null) when missing; the caller stores a value in it.
  V& operator[](const PlugKey& k) {
    // An element that went to the slots before its attribute's vector reached it stays
    // there, so that no plug has two entries.
    V* dense = denseSlot(k);
    if (dense && present(*dense)) return *dense;
    const size_t at = slotOf(k);
    if (at != kNone) return m_slots[at].value;
    if (dense) return *dense;
    if (V* grown = growDense(k)) return *grown;
    if ((m_size + 1) * 4 > m_slots.size() * 3) grow();
    size_t i = home(k);
    while (m_slots[i].key.attr) i = next(i);
    m_slots[i].key = k;
    ++m_size;
    countAttr(k.attr, +1);
    return m_slots[i].value;
  }

  bool erase(const PlugKey& k) {
    if (V* dense = denseSlot(k))
      if (present(*dense)) {
        *dense = V{};
        return true;
      }
    size_t hole = slotOf(k);
    if (hole == kNone) return false;
    // Backward shift: later slots of the run move into the hole when their home allows.
    for (size_t i = next(hole); m_slots[i].key.attr; i = next(i)) {
      const size_t want = home(m_slots[i].key);
      const bool between = hole <= i ? (hole < want && want <= i) : (hole < want || want <= i);
      if (between) continue;
      m_slots[hole] = std::move(m_slots[i]);
      hole = i;
    }
    m_slots[hole] = Slot();
    --m_size;
    countAttr(k.attr, -1);
    return true;
  }

  void clear() {
    std::vector<Slot>().swap(m_slots);
    m_attrs.clear();
    m_dense.clear();
    m_size = 0;
  }
  // Makes room for elements 0 .. count - 1 of an array attribute.
  void reserveElements(const Attr* attr, size_t count) {
    if (count > kDenseStart) denseOf(attr).reserve(count);
  }
  // Calls visit(key, value) for every entry.
  template <typename Visit>
  void forEach(Visit visit) const {
    for (const auto& [attr, values] : m_dense)
      for (size_t i = 0; i < values.size(); ++i)
        if (present(values[i])) visit(PlugKey{attr, -1, (int)i}, values[i]);
    for (const Slot& s : m_slots)
      if (s.key.attr) visit(s.key, s.value);
  }

private:
  struct Slot {
    PlugKey key;  // key.attr null: empty
    V value{};
  };
  static constexpr size_t kNone = ~size_t(0);
  // Indices below this always go to the attribute's vector; higher ones when they are at
  // most twice its length, so a lone element far out does not claim a long vector.
  static constexpr size_t kDenseStart = 64;

  static bool present(const V& v) { return !(v == V{}); }

  std::vector<V>* denseOf(const Attr* attr, bool make) {
    for (auto& [a, values] : m_dense)
      if (a == attr) return &values;
    if (!make) return nullptr;
    m_dense.emplace_back(attr, std::vector<V>());
    return &m_dense.back().second;
  }
  std::vector<V>& denseOf(const Attr* attr) { return *denseOf(attr, true); }
  V* denseSlot(const PlugKey& k) {
    if (k.parentIndex != -1 || k.index < 0) return nullptr;
    std::vector<V>* values = denseOf(k.attr, false);
    return values && (size_t)k.index < values->size() ? &(*values)[(size_t)k.index] : nullptr;
  }
  V* growDense(const PlugKey& k) {
    if (k.parentIndex != -1 || k.index < 0 || !k.attr->array) return nullptr;
    const size_t i = (size_t)k.index;
    std::vector<V>* values = denseOf(k.attr, i < kDenseStart);
    if (!values || (i >= kDenseStart && i > 2 * values->size())) return nullptr;
    values->resize(i + 1);  // the vector's own growth keeps this amortised
    return &(*values)[i];
  }

  size_t slotOf(const PlugKey& k) const {
    // A plug of an attribute with no slot at all (a stored bindPreMatrix asked for a
    // connection, say) is answered without probing.
    bool slotted = false;
    for (const auto& [attr, count] : m_attrs) slotted |= attr == k.attr;
    if (!slotted) return kNone;
    for (size_t i = home(k);; i = next(i)) {
      if (!m_slots[i].key.attr) return kNone;
      if (m_slots[i].key == k) return i;
    }
  }
  size_t next(size_t i) const { return i + 1 == m_slots.size() ? 0 : i + 1; }
  size_t home(const PlugKey& k) const {
    // The key's fields mixed so that every bit of each reaches the low bits.
    unsigned long long h = (unsigned long long)(uintptr_t)k.attr;
    h ^= ((unsigned long long)(unsigned)k.index << 32 | (unsigned)k.parentIndex) * 0x9E3779B97F4A7C15ull;
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDull;
    h ^= h >> 33;
    h *= 0xC4CEB9FE1A85EC53ull;
    h ^= h >> 33;
    return (size_t)(h % m_slots.size());  // the size need not be a power of two
  }
  void grow() {
    std::vector<Slot> old;
    old.swap(m_slots);
    m_slots.resize(old.empty() ? 8 : old.size() * 2);
    for (Slot& s : old)
      if (s.key.attr) {
        size_t i = home(s.key);
        while (m_slots[i].key.attr) i = next(i);
        m_slots[i] = std::move(s);
      }
  }
  void countAttr(const Attr* attr, int change) {
    for (size_t i = 0; i < m_attrs.size(); ++i)
      if (m_attrs[i].first == attr) {
        m_attrs[i].second += change;
        if (m_attrs[i].second == 0) m_attrs.erase(m_attrs.begin() + (std::ptrdiff_t)i);
        return;
      }
    m_attrs.push_back({attr, 1});
  }

  std::vector<std::pair<const Attr*, std::vector<V>>> m_dense;  // by attribute
  std::vector<Slot> m_slots;                                    // at most three quarters full
  std::vector<std::pair<const Attr*, size_t>> m_attrs;          // the attributes in slots, with counts
  size_t m_size = 0;                                            // entries in slots
};

struct Connection {
  Node* src;
  PlugKey srcKey;
  Node* dst;
  PlugKey dstKey;
  unsigned long long serial;
};

// True when a connection endpoint lies at or below the plug (elements and children of
// an array or compound plug included).
bool keyWithin(const PlugKey& endpoint, const PlugKey& plug);

// ---------------------------------------------------------------- geometry

struct P3 {
  double x = 0, y = 0, z = 0;
  bool operator==(const P3& o) const { return x == o.x && y == o.y && z == o.z; }
};

// Hash agreeing with P3's equality (-0.0 and +0.0 hash alike): the coordinates' bits,
// mixed by multiplication.
struct P3Hash {
  size_t operator()(const P3& p) const {
    unsigned long long h = 0x9E3779B97F4A7C15ull;
    for (double c : {p.x + 0.0, p.y + 0.0, p.z + 0.0}) {
      unsigned long long bits;
      std::memcpy(&bits, &c, sizeof bits);
      h = (h ^ bits) * 0xFF51AFD7ED558CCDull;
      h ^= h >> 32;
    }
    return (size_t)h;
  }
};

struct UVSet {
  std::string name;
  std::vector<float> u, v;
  std::vector<int> ids;  // per face vertex; -1 unmapped
};

struct Geometry {
  // Settle the normals (settleNormals) before changing a point: default normals are
  // those of the points the geometry was given, not of where they are moved later.
  std::vector<P3> points;
  std::vector<int> counts;
  std::vector<int> connects;
  std::vector<int> offsets;                            // first face vertex of each polygon
  std::vector<UVSet> uvSets;                           // change only through addUVSet and removeUVSet
  std::unordered_map<std::string, size_t> uvSetIndex;  // name -> position in uvSets
  unsigned long long nextDefaultUVSet = 1;             // every "uvSetN" below it is taken
  // The edge count once numEdges has counted it, else -1. Topology is only ever given
  // whole (a new Geometry), so a copy keeps it; writeGeometry forgets it all the same.
  mutable int edgeCount = -1;

  void addUVSet(const std::string& name);
  bool removeUVSet(const std::string& name);
  void rebuildOffsets();
  int numEdges() const;  // counted once, then kept (edgeCount)
  int numFaceVertices() const { return (int)connects.size(); }
  UVSet* findUVSet(const std::string& name);
  const UVSet* findUVSet(const std::string& name) const;

  // Normals. A new geometry's are the defaults (one per vertex, the normalised sum of the
  // Newell normals of the faces that use it; normal ids = vertex ids), worked out only
  // when first read: most meshes are given normals for every corner at once, which would
  // throw the defaults away unread. Every read and write of the list and the ids goes
  // through these calls, which work the defaults out first where they are still owed.
  void useDefaultNormals();  // after points and topology are given
  void settleNormals() const {
    if (defaultNormalsOwed) computeDefaultNormals();
  }
  const std::vector<P3>& normals() const {
    settleNormals();
    return normalList;
  }
  const std::vector<int>& normalIds() const {  // per face vertex
    settleNormals();
    return cornerNormalIds;
  }
  std::vector<P3>& normals() {
    settleNormals();
    return normalList;
  }
  std::vector<int>& normalIds() {
    settleNormals();
    return cornerNormalIds;
  }
  // The length of the list, the defaults' without working them out.
  size_t numNormals() const { return defaultNormalsOwed ? points.size() : normalList.size(); }
  // Empties the list and the ids without working out the defaults, for a caller about to
  // give every corner a normal; the list length they had (or would have had) is returned.
  size_t dropNormals();

private:
  void computeDefaultNormals() const;
  mutable std::vector<P3> normalList;
  mutable std::vector<int> cornerNormalIds;
  mutable bool defaultNormalsOwed = false;
};

struct MeshData : Entity {
  MeshData() : Entity(EntityKind::MeshData, MFn::kMeshData) {}
  bool hasFn(MFn::Type t) const override;
  // Shared with the geometry it was read from (a shape's own or evaluated geometry,
  // another data object's) until either is written: writeGeometry copies it first.
  std::shared_ptr<Geometry> geom = std::make_shared<Geometry>();
};

struct MatrixData : Entity {
  MatrixData() : Entity(EntityKind::MatrixData, MFn::kMatrixData) {}
  bool hasFn(MFn::Type t) const override;
  MMatrix matrix;
};

struct Component : Entity {
  explicit Component(MFn::Type t) : Entity(EntityKind::Component, t) {}
  bool hasFn(MFn::Type t) const override;
  std::vector<int> ids;
  // Largest id and the id count it was taken at, so components built in ascending order
  // add an element without searching for it.
  int largest = -1;
  size_t largestAt = 0;
};

struct PluginEntity : Entity {
  PluginEntity() : Entity(EntityKind::Plugin, MFn::kPlugin) {}
  std::string path, vendor, version, apiVersion;
};

// ---------------------------------------------------------------- skin weights

// One stored weight: the logical index of the influence's matrix[] plug and the value.
struct WeightEntry {
  int matrix;
  double weight;
};

// The stored weights of one vertex, sorted by matrix index.
struct WeightRow {
  const WeightEntry* first = nullptr;
  const WeightEntry* last = nullptr;
  const WeightEntry* begin() const { return first; }
  const WeightEntry* end() const { return last; }
  size_t size() const { return (size_t)(last - first); }
};

// The weights a new skin cluster gives a vertex: 1.0 on the influence whose world position
// is nearest the vertex's world position at bind time, ties going to the lower index. A
// NaN distance never wins, except that a NaN first distance leaves influence 0. What that
// needs is kept as it was at bind time: a share of the bind geometry (a shared geometry is
// copied before it is written, so the share never changes), the mesh's world matrix and
// the influences' world positions.
struct NearestInfluence {
  std::shared_ptr<const Geometry> bind;
  MMatrix meshWorld;
  std::vector<double> x, y, z;  // influence k's position, one coordinate to an array
  size_t influences() const { return x.size(); }
  // The matrix index of vertex v's weight: influence k was bound on matrix[k].
  int of(int v) const;
};

// The weights of one geometry of a skin cluster. Each vertex keeps only the weights that
// are not +0.0, sorted by matrix index: a skinned vertex has a handful of influences out
// of many, and an absent weight reads as 0.0 exactly as a stored +0.0 would. The rows
// lie in one pool, each in a slot of its own that a longer row leaves for a new one at
// the end; the pool is compacted when abandoned slots make up most of it.
//
// A table may start with default rows (startWithNearest). A row not yet written reads as
// its default, which is found and stored the first time the row is read or written in
// part; a write that gives every influence the default could be on replaces the row
// without finding it, which is the usual case, as a cluster is made and then given every
// weight of every vertex. Every read and write of a row passes through settleDefault
// first, so no caller sees a row without its default.
class WeightTable {
public:
  // Reads are not const: a row that still waits for its default is given it, which may
  // move other rows. A row read stays valid until the table is next read or written.
  double get(int v, int matrix);
  WeightRow row(int v);
  void set(int v, int matrix, double weight);
  // Sets several weights of a vertex; matrices must be strictly ascending.
  void setAscending(int v, const std::vector<int>& matrices, const double* weights);
  // Gives vertices [0, count of bind points) their nearest-influence weights, each found
  // when it is first needed. For a new table.
  void startWithNearest(std::shared_ptr<const NearestInfluence> nearest);

private:
  struct Slot {
    size_t offset = 0;
    unsigned size = 0, capacity = 0;
  };
  void reserveRows(size_t count, unsigned room);
  void store(int v, const WeightEntry* entries, size_t count);
  void compact();
  bool waitsForDefault(int v) const { return (size_t)v < m_waiting.size() && m_waiting[(size_t)v]; }
  // Gives row v its default if it still waits for one; with replaced, the caller is about
  // to replace every weight the default could be on, so the row is left empty instead.
  void settleDefault(int v, bool replaced = false);

  std::vector<Slot> m_slots;
  std::vector<WeightEntry> m_pool;
  size_t m_abandoned = 0;  // entries of the pool in no vertex's slot
  // Where default rows come from, and which rows still wait for theirs; both are let go
  // once no row waits.
  std::shared_ptr<const NearestInfluence> m_nearest;
  std::vector<bool> m_waiting;
  size_t m_waitingCount = 0;
};

// ---------------------------------------------------------------- nodes

struct NodeType {
  std::string name;
  MFn::Type type;
  std::vector<MFn::Type> fns;  // further types hasFn answers true for
  bool dag;
  std::vector<Attr*> attrs;  // top-level attributes
  // The geometry input of a mesh ("inMesh") or deformer ("inputGeometry"), null for other
  // types: found once, since evaluation asks for it on every read of a shape.
  Attr* geometryInput = nullptr;
  Attr* find(const std::string& name) const;  // any level
  bool has(const Attr* a) const;              // any level
};

const NodeType* nodeType(const std::string& name);

// Shading of one mesh instance: group per polygon and the order groups first got a face.
struct Shading {
  std::vector<Node*> faces;
  std::vector<Node*> firstOrder;
};

// Members of a plain objectSet.
struct SetMember {
  MObject node;
  MDagPath path;
  bool isDag = false;
  MObject component;
};

struct Node : Entity {
  Node(const NodeType* t);
  bool hasFn(MFn::Type t) const override;
  const NodeType* nt;
  unsigned long long serial = 0;
  std::string name;
  bool alive = true;
  PlugTable<MObject> data;            // stored data values (matrix / mesh data)
  std::map<PlugKey, double> numbers;  // stored numeric values
  std::vector<Connection*> in, out;   // creation order
  PlugTable<Connection*> inByPlug;    // the connection into each destination plug
  // DAG
  std::vector<Node*> parents, children;
  bool intermediate = false;
  MMatrix local;
  // Instance 0 (the route through each first parent): its path and its world matrix, kept
  // until a node on the way changes place (both) or local matrix (the matrix); see
  // placeChanged and localChanged.
  PathStep* firstPath = nullptr;  // holds a reference
  bool worldKnown = false;
  MMatrix world;
  MObject worldInverse;  // matrix data of the inverse of world, or null; dropped with it
  // Marks the nodes one graph walk has reached (see nextWalkMark).
  unsigned long long walkMark = 0;
  // mesh shape
  // Shared by a shape and the orig shape copied from it until either is changed:
  // writeGeometry gives a node a copy of its own first.
  std::shared_ptr<Geometry> geom;
  std::shared_ptr<Geometry> evaluated;  // cached upstream geometry when inMesh is connected; never written
  unsigned long long evaluatedAt = 0;   // scene revision of that cache
  // The stored geometry whose topology the shape shows when inMesh is connected, found
  // without evaluating (meshTopology) and kept until the next edit, as evaluated is: the
  // exporter reads it once per polygon.
  std::shared_ptr<Geometry> topology;
  unsigned long long topologyAt = 0;
  std::map<unsigned, Shading> shading;
  // skin cluster: geometry index -> weights of its vertices
  std::map<int, WeightTable> weights;
  // deformer: answers about its connections, kept while the scene revision is `at`
  struct ConnectionAnswers {
    unsigned long long at = 0;
    bool haveInfluences = false;
    std::vector<int> influences;
    std::vector<std::pair<Node*, int>> geometryIndices;  // shape -> geometry index
  } answers;
  // deformer set: geometry index -> membership flag per vertex
  std::map<int, std::vector<char>> deformMembers;
  // plain objectSet members
  std::vector<SetMember> members;

  bool isDag() const { return nt->dag; }
  bool isWorld() const { return type == MFn::kWorld; }
};

// ---------------------------------------------------------------- handle access

struct Access {
  static Entity* get(const MObject& o) { return o.m_entity; }
  // The elements of a host array, for filling one of known length in a single pass.
  template <typename T>
  static T* elements(MStandInArray<T>& a) {
    return a.m_data;
  }
  static MObject make(Entity* e);
  static Node* node(const MObject& o);     // live node or null
  static Node* anyNode(const MObject& o);  // node, alive or not
  static std::vector<Node*> nodes(const MDagPath& p);
  static bool pathValidFlag(const MDagPath& p) { return p.m_valid; }
  static PathStep* step(const MDagPath& p) { return p.m_step; }
  static MDagPath makePath(const std::vector<Node*>& nodes);
  // The path whose last step is s (null: the world's path).
  static MDagPath makePath(PathStep* s);
  // Points path at step s, keeping the array element in place (no copy of the path).
  static void setPath(MDagPath& path, PathStep* s);
  static const Attr* attr(const MPlug& p) { return p.m_attr; }
  static PlugKey key(const MPlug& p) { return {p.m_attr, p.m_parentIndex, p.m_index}; }
  static MPlug makePlug(Node* n, const PlugKey& k);
  static struct SelectionItems* items(const MSelectionList& l) { return l.m_items; }
};

template <class T>
T* entityAs(const MObject& o, EntityKind k) {
  Entity* e = Access::get(o);
  return e && e->kind == k ? static_cast<T*>(e) : nullptr;
}

// ---------------------------------------------------------------- selection storage

struct SelectionItem {
  bool isDag = false;
  MDagPath path;
  MObject node;
  MObject component;
};
struct SelectionItems {
  std::vector<SelectionItem> items;
};

// ---------------------------------------------------------------- host state

enum class ConsoleKind { Info, Warning, Error };
struct ConsoleLine {
  ConsoleKind kind;
  std::string text;
};
struct CommandRecord {
  std::string text;
  MStatus status;
};
struct Progress {
  unsigned beginCount = 0, endCount = 0;
  bool active = false;
  std::string status;
  int maxValue = 0;
  int value = 0;
};
struct TranslatorRecord {
  std::string name, pixmap, optionsScript, defaultOptions;
  void* (*creator)() = nullptr;
  bool requiresFullScript = false;
};
struct CommandRegistration {
  std::string name;
  void* (*creator)() = nullptr;
};
struct CallbackRecord {
  MCallbackId id;
  MSceneMessage::Message message;
  void (*function)(void*);
  void* clientData;
};

using CommandHandler = MStatus (*)(const std::vector<std::string>& words, std::vector<std::string>& result);

struct Scene {
  Node* world = nullptr;
  std::vector<Node*> nodes;  // live nodes in creation order, world first
  // Live nodes by each type hasFn answers true for, in creation order (world included).
  std::unordered_map<int, std::vector<Node*>> nodesOfType;
  unsigned long long walkMarks = 0;  // the last mark handed out by nextWalkMark
  unsigned long long nextSerial = 1;
  unsigned long long revision = 1;  // bumped by every edit that can change evaluated values
  bool yUp = true;
  MSelectionList selection;
  std::vector<ConsoleLine> console;
  bool echo = true;
  std::vector<CommandRecord> commandLog;
  Progress progress;
  std::map<std::string, CommandHandler> handlers;
  // registries (owned by plug-ins, survive resetScene)
  std::vector<TranslatorRecord> translators;
  std::vector<CommandRegistration> commands;
  std::vector<CallbackRecord> callbacks;
  MCallbackId nextCallbackId = 1;
  // plug-in harness
  MObject plugin;
  bool pluginLoading = false;
  void* moduleHandle = nullptr;
  MStatus (*uninit)(MObject) = nullptr;
  // fault injection
  bool failRegisterTranslator = false, failAddCallback = false, failSelection = false, failCommand = false;
  std::vector<MFn::Type> failIterate;
  std::string failCall;  // the one function whose next call fails (failNextCall)
  // last translator exception
  bool translatorThrew = false;
  std::string translatorException;
  // Live nodes by short name (the world is not listed); each list in no set order.
  std::unordered_map<std::string, std::vector<Node*>> nodesByName;
  // Where each search for a free numbered name ("base" followed by a number) last
  // ended, and the searches of each base. Every number below a hint is taken: giving up
  // a name of the base lowers the hints of its searches to that name's number.
  std::unordered_map<std::string, unsigned long long> numberHints;
  std::unordered_map<std::string, std::vector<std::string>> searchesOfBase;
  // nodes whose output is being computed (cycle guard)
  std::vector<Node*> evaluating;
};

Scene& scene();
void buildDefaultScene();
// Marks the scene as edited, so cached evaluations are recomputed on the next read.
void touch();

// ---------------------------------------------------------------- graph operations

// Creates a node; DAG nodes go under parent (null: the world). Empty name: default name.
Node* createNode(const std::string& typeName, Node* parent, const std::string& name);
Node* createNode(const NodeType* nt, Node* parent, const std::string& name);
void deleteNode(Node* n);
// Name rules: a DAG node must differ from its siblings and every non-DAG node; a non-DAG
// node from every node. A clash appends or increments a trailing number.
std::string uniqueName(Node* n, const std::string& wanted);
std::string defaultName(const std::string& base);
bool nameTaken(Node* n, const std::string& name);
MStatus renameNode(Node* n, const std::string& wanted);
// Gives a node its name (or none, for a deleted node), keeping nodesByName.
void setNodeName(Node* n, const std::string& name);
void forgetNodeName(Node* n);
// Live nodes of that short name, in creation order.
std::vector<Node*> nodesWithName(const std::string& name);
// The first number from `from` on that isFree accepts, for names made of one of bases
// and a number. The search named `search` starts where it last ended, as long as no name
// of those bases was given up since.
unsigned long long firstFreeNumber(const std::string& search, const std::vector<std::string>& bases,
                                   unsigned long long from, const std::function<bool(unsigned long long)>& isFree);
// Lowers the hints of every search that could have counted name as taken.
void forgetNumberHints(const std::string& name);
std::vector<Node*> nodesNamed(const std::string& name);  // short name, partial or full path

MStatus connect(Node* src, const PlugKey& sk, Node* dst, const PlugKey& dk);
MStatus disconnect(Node* src, const PlugKey& sk, Node* dst, const PlugKey& dk);
Connection* incoming(Node* n, const PlugKey& k);  // connection into exactly this plug
void removeConnection(Connection* c);

// DAG
std::vector<std::vector<Node*>> allPaths(Node* n);  // top-first, world excluded
// The number of paths of a node (its instances), without listing them.
size_t pathCount(Node* n);
MMatrix inclusiveMatrix(const std::vector<Node*>& path);
// Instance 0 of a live DAG node other than the world, and its inclusive matrix; both
// kept on the node until placeChanged or localChanged drops them.
PathStep* firstPath(Node* n);
const MMatrix& firstWorldMatrix(Node* n);
// The inclusive matrix of the path ending at step s (identity for the world's path).
MMatrix inclusiveMatrix(const PathStep* s);
// Drop what is kept about the node and everything below it: after a change of its parents
// (or its deletion), or of its local matrix.
void placeChanged(Node* n);
void localChanged(Node* n);
// Sets a transform's local matrix.
void setLocal(Node* n, const MMatrix& local);
// A mark no node carries yet, for one walk over the graph that does not start another.
unsigned long long nextWalkMark();
// Every type a node answers hasFn with true.
std::vector<MFn::Type> typesOf(const Node* n);
bool isAncestor(Node* ancestor, Node* n);
// Puts child under parent at position index among its children (past the end: last).
MStatus addChild(Node* parent, Node* child, bool keepExisting, unsigned index = 0xffffffffu);
std::string fullPathName(const std::vector<Node*>& path);
std::string partialPathName(const std::vector<Node*>& path);

// Values and evaluation. Geometry: fills out, false when no mesh geometry flows there.
bool plugGeometry(Node* n, const PlugKey& k, Geometry& out);
// The same geometry without a copy where it is kept (a shape's own or evaluated geometry,
// a stored data object's); a deformer's output is made afresh. Null when none flows there.
std::shared_ptr<Geometry> plugGeometryShared(Node* n, const PlugKey& k);
// Geometry a mesh shape currently shows: its own, or its evaluated input, which is kept
// until the next edit of the scene. Null on failure (cycle or unset input).
std::shared_ptr<Geometry> meshGeometryShared(Node* mesh);
const Geometry* meshGeometry(Node* mesh, Geometry& scratch);  // scratch is not used
// Geometry whose topology, normal ids and UV sets (all but point and normal values) are
// those a mesh shows or a plug carries, or null when none flows there; found without
// evaluating deformers. The vertex counts of the same.
const Geometry* meshTopology(Node* mesh);
std::shared_ptr<Geometry> meshTopologyShared(Node* mesh);
// A share of a geometry, for holders outside this library's own types.
struct GeometryHold {
  std::shared_ptr<Geometry> geometry;
};
const Geometry* plugTopology(Node* n, const PlugKey& k);
int meshVertexCount(Node* mesh);
int plugVertexCount(Node* n, const PlugKey& k);
bool plugMatrix(Node* n, const PlugKey& k, MMatrix& out);
MStatus plugValue(Node* n, const PlugKey& k, MObject& out);

MObject newMeshData(const Geometry& g);
MObject newMeshData(std::shared_ptr<Geometry> g);  // shares g until either is written
MObject newMatrixData(const MMatrix& m);

// Skin clusters and deformer sets
bool skinOutput(Node* cluster, int g, Geometry& out);
Node* deformerSetOf(Node* deformer);
Node* deformerOfSet(Node* set);
const std::vector<int>& influenceIndices(Node* cluster);  // logical indices of matrix[], ascending
// Fills paths with the DAG path of the node feeding each of those (invalid where none
// does), in that order.
void influencePaths(Node* cluster, MDagPathArray& paths);
int geometryIndexFor(Node* deformer, Node* shape);  // -1 if none
// Vertex count of the geometry flowing into input[g] of a deformer (-1 when none),
// without copying it when it comes straight from a shape's stored geometry.
int inputVertexCount(Node* deformer, int g);
bool reaches(Node* from, Node* to);
std::vector<int> outputIndices(Node* deformer);  // connected outputGeometry elements
// The first skin cluster, in creation order, one of whose outputGeometry connections
// reaches the node; null when none does.
Node* firstSkinClusterReaching(Node* n);

// Shading
void assignFaces(Node* mesh, unsigned instance, Node* group, const std::vector<int>& faces);
void unassignFaces(Node* mesh, unsigned instance, Node* group, const std::vector<int>* faces);

// Commands
MStatus runCommandText(const std::string& text, std::vector<std::string>& result);
// Binds mesh to influences as the skinCluster command does (no checks).
Node* buildSkinCluster(Node* mesh, const std::vector<Node*>& influences);
MStatus skinClusterCommand(const std::vector<std::string>& words, std::vector<std::string>& result);

void console(ConsoleKind k, const std::string& text);
inline void setStatus(MStatus* s, MStatus v) {
  if (s) *s = v;
}

// True once for the function failNextCall named: that call then fails.
bool takeCallFault(const char* function);

std::string str(const MString& s);

}  // namespace standin::core
