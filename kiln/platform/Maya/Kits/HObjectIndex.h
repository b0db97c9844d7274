#pragma once
// kiln::platform_maya::HObjectIndex: finds a node's position in a list of handles
// without walking the list. Host objects have no hash of their own, so nodes are looked
// up by name and then compared as host objects: names need not be unique.

#include "HNodeKit.h"
#include "Utils/UTable.h"

namespace kiln::platform_maya {

class HObjectIndex {
public:
    // The list must outlive the index and stay unchanged.
    explicit HObjectIndex(const brix::UArray<HObject>& list);

    // The first position of node in the list, or -1.
    int32_t Find(const HObject& node) const;

private:
    const brix::UArray<HObject>& m_list;
    brix::UTable<brix::UString, int32_t> m_firstOfName;
    brix::UArray<int32_t> m_nextOfSameName;  // -1 ends a chain
    brix::UArray<int32_t> m_unnamed;         // positions whose node has no name, last first
};

}  // namespace kiln::platform_maya
