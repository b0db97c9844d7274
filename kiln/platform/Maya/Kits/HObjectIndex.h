#pragma once
// kiln::platform_maya::HObjectIndex: finds a node's position in a list of handles
// without walking the list. Host objects have no hash of their own, so nodes are looked
// up by name and then compared as host objects: names need not be unique.

#include <maya/MString.h>

#include "HNodeKit.h"

namespace kiln::platform_maya {

class HObjectIndex {
public:
    // The list must outlive the index and stay unchanged.
    explicit HObjectIndex(const brix::UArray<HObject>& list);

    // The first position of node in the list, or -1.
    int32_t Find(const HObject& node) const;
    // The same, trying position hint first: lists are often asked in their own order,
    // and a node found where it was expected needs no name.
    int32_t Find(const HObject& node, int32_t hint) const;

private:
    // Scene names run in long series that differ only in their last digits
    // ("skinCluster1", "skinCluster2", ...), so they are spread over the buckets by a hash
    // that mixes every byte into every bit.
    // The node's name as the host gives it (empty when it has none).
    static MString NameOf(const HObject& node);
    static uint32_t HashOfName(const MString& name);

    const brix::UArray<HObject>& m_list;
    brix::UArray<int32_t> m_buckets;       // first position of each bucket's chain, -1 for none
    brix::UArray<int32_t> m_nextInBucket;  // -1 ends a chain; each chain runs in list order
    brix::UArray<int32_t> m_unnamed;       // positions whose node has no name, last first
    brix::UArray<bool> m_isFirst;          // whether a position holds its node's first place
};

}  // namespace kiln::platform_maya
