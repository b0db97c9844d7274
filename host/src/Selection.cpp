// MSelectionList and the selection/up-axis/console parts of MGlobal.
#include "Core.h"

#include <maya/MGlobal.h>

#include <algorithm>
#include <cstdio>

using namespace standin::core;

namespace {
bool sameItem(const SelectionItem& a, const SelectionItem& b) {
  if (a.isDag != b.isDag) return false;
  if (a.isDag) return a.path == b.path && a.component == b.component;
  return a.node == b.node;
}

void addItem(SelectionItems* items, const SelectionItem& item) {
  for (const SelectionItem& it : items->items)
    if (sameItem(it, item)) return;
  items->items.push_back(item);
}
}  // namespace

MSelectionList::MSelectionList() : m_items(new SelectionItems()) {}
MSelectionList::MSelectionList(const MSelectionList& o) : m_items(new SelectionItems(*o.m_items)) {}
MSelectionList::~MSelectionList() { delete m_items; }
MSelectionList& MSelectionList::operator=(const MSelectionList& o) {
  if (this != &o) *m_items = *o.m_items;
  return *this;
}

unsigned int MSelectionList::length(MStatus* st) const {
  setStatus(st, MStatus::kSuccess);
  return (unsigned)m_items->items.size();
}

bool MSelectionList::isEmpty(MStatus* st) const { return length(st) == 0; }

MStatus MSelectionList::clear() {
  m_items->items.clear();
  return MStatus::kSuccess;
}

MStatus MSelectionList::add(const MObject& object, bool) {
  Node* n = Access::node(object);
  if (!n) return MStatus::kInvalidParameter;
  SelectionItem item;
  if (n->isDag() && !n->isWorld()) {
    item.isDag = true;
    MDagPath::getAPathTo(object, item.path);
    item.node = object;
  } else {
    item.node = object;
  }
  addItem(m_items, item);
  return MStatus::kSuccess;
}

MStatus MSelectionList::add(const MDagPath& path, const MObject& component, bool) {
  MStatus s;
  MObject n = path.node(&s);
  if (!s || path.length() == 0) return MStatus::kInvalidParameter;
  SelectionItem item;
  item.isDag = true;
  item.path = path;
  item.node = n;
  item.component = component;
  addItem(m_items, item);
  return MStatus::kSuccess;
}

MStatus MSelectionList::add(const MString& name, bool) {
  std::string text = str(name);
  std::vector<Node*> found = nodesNamed(text);
  if (found.empty()) return MStatus::kInvalidParameter;
  for (Node* n : found) {
    MObject o = Access::make(n);
    if (n->isDag() && text.find('|') != std::string::npos) {
      // A path names one route; add the matching path rather than the first one.
      for (const auto& p : allPaths(n)) {
        std::string full = fullPathName(p);
        bool match = text[0] == '|' ? full == text
                                    : full.size() >= text.size() + 1 &&
                                          full.compare(full.size() - text.size(), text.size(), text) == 0 &&
                                          full[full.size() - text.size() - 1] == '|';
        if (match) add(Access::makePath(p));
      }
    } else {
      add(o);
    }
  }
  return MStatus::kSuccess;
}

MStatus MSelectionList::remove(unsigned int index) {
  if (index >= m_items->items.size()) return MStatus::kInvalidParameter;
  m_items->items.erase(m_items->items.begin() + index);
  return MStatus::kSuccess;
}

bool MSelectionList::hasItem(const MDagPath& item, const MObject& component, MStatus* st) const {
  setStatus(st, MStatus::kSuccess);
  for (const SelectionItem& it : m_items->items)
    if (it.isDag && it.path == item && it.component == component) return true;
  return false;
}

bool MSelectionList::hasItem(const MObject& item, MStatus* st) const {
  setStatus(st, MStatus::kSuccess);
  for (const SelectionItem& it : m_items->items)
    if (it.node == item && it.component.isNull()) return true;
  return false;
}

MStatus MSelectionList::getDagPath(unsigned int index, MDagPath& path, MObject& component) const {
  if (index >= m_items->items.size()) return MStatus::kInvalidParameter;
  const SelectionItem& it = m_items->items[index];
  if (!it.isDag) return MStatus::kFailure;
  path = it.path;
  component = it.component;
  return MStatus::kSuccess;
}

MStatus MSelectionList::getDagPath(unsigned int index, MDagPath& path) const {
  MObject component;
  return getDagPath(index, path, component);
}

MStatus MSelectionList::getDependNode(unsigned int index, MObject& node) const {
  if (index >= m_items->items.size()) return MStatus::kInvalidParameter;
  node = m_items->items[index].node;
  return MStatus::kSuccess;
}

// ---------------------------------------------------------------- MGlobal: console

namespace standin::core {
void console(ConsoleKind k, const std::string& text) {
  Scene& s = scene();
  s.console.push_back({k, text});
  if (!s.echo) return;
  FILE* f = k == ConsoleKind::Info ? stdout : stderr;
  const char* prefix = k == ConsoleKind::Warning ? "// Warning: " : k == ConsoleKind::Error ? "// Error: " : "";
  bool newline = !text.empty() && text.back() == '\n';
  std::fprintf(f, "%s%s%s", prefix, text.c_str(), newline ? "" : "\n");
  std::fflush(f);
}
}  // namespace standin::core

void MGlobal::displayInfo(const MString& text) { console(ConsoleKind::Info, str(text)); }
void MGlobal::displayWarning(const MString& text) { console(ConsoleKind::Warning, str(text)); }
void MGlobal::displayError(const MString& text) { console(ConsoleKind::Error, str(text)); }

// ---------------------------------------------------------------- MGlobal: axis, selection, deletion

bool MGlobal::isYAxisUp(MStatus* st) {
  setStatus(st, MStatus::kSuccess);
  return scene().yUp;
}
bool MGlobal::isZAxisUp(MStatus* st) {
  setStatus(st, MStatus::kSuccess);
  return !scene().yUp;
}
MStatus MGlobal::setYAxisUp(bool) {
  scene().yUp = true;
  return MStatus::kSuccess;
}
MStatus MGlobal::setZAxisUp(bool) {
  scene().yUp = false;
  return MStatus::kSuccess;
}

MStatus MGlobal::getActiveSelectionList(MSelectionList& dest, bool) {
  Scene& s = scene();
  if (s.failSelection) {
    s.failSelection = false;
    return MStatus::kFailure;
  }
  dest = s.selection;
  return MStatus::kSuccess;
}

MStatus MGlobal::setActiveSelectionList(const MSelectionList& list, ListAdjustment adj) {
  Scene& s = scene();
  SelectionItems* mine = Access::items(s.selection);
  const SelectionItems* theirs = Access::items(list);
  switch (adj) {
  case kReplaceList: s.selection = list; break;
  case kAddToList:
    for (const SelectionItem& it : theirs->items) addItem(mine, it);
    break;
  case kAddToHeadOfList: {
    SelectionItems merged = *theirs;
    for (const SelectionItem& it : mine->items) addItem(&merged, it);
    *mine = merged;
    break;
  }
  case kRemoveFromList:
  case kXORWithList:
    for (const SelectionItem& it : theirs->items) {
      auto found =
          std::find_if(mine->items.begin(), mine->items.end(), [&](const SelectionItem& m) { return sameItem(m, it); });
      if (found != mine->items.end())
        mine->items.erase(found);
      else if (adj == kXORWithList)
        mine->items.push_back(it);
    }
    break;
  }
  return MStatus::kSuccess;
}

MStatus MGlobal::selectByName(const MString& name, ListAdjustment adj) {
  MSelectionList list;
  MStatus s = list.add(name);
  if (!s) return s;
  return setActiveSelectionList(list, adj);
}

MStatus MGlobal::clearSelectionList() {
  scene().selection.clear();
  return MStatus::kSuccess;
}

MStatus MGlobal::getSelectionListByName(const MString& name, MSelectionList& list) {
  list.clear();
  return list.add(name);
}

MStatus MGlobal::deleteNode(const MObject& node) {
  Node* n = Access::node(node);
  if (!n || n->isWorld()) return MStatus::kInvalidParameter;
  standin::core::deleteNode(n);
  return MStatus::kSuccess;
}
