#include "HObjectIndex.h"

#include <maya/MFnDependencyNode.h>

namespace kiln::platform_maya {

MString HObjectIndex::NameOf(const HObject& node) {
    MStatus status;
    MFnDependencyNode fn(node.m_object, &status);
    if (!status) return MString();
    MString name = fn.name(&status);
    return status ? name : MString();
}

uint32_t HObjectIndex::HashOfName(const MString& name) {
    // FNV-1a over the bytes.
    uint32_t hash = 2166136261u;
    for (const char* c = name.asChar(); *c; ++c) hash = (hash ^ uint32_t(static_cast<unsigned char>(*c))) * 16777619u;
    return hash;
}

HObjectIndex::HObjectIndex(const brix::UArray<HObject>& list) : m_list(list) {
    int32_t buckets = 16;
    while (buckets < list.Num()) buckets *= 2;
    m_buckets.SetNum(buckets);
    for (int32_t& first : m_buckets) first = -1;
    m_nextInBucket.Add(list.Num());
    m_isFirst.Add(list.Num());
    // Backwards, so that each chain runs in list order; a later place of the same node,
    // already in the chain, is then no first place.
    for (int32_t i = list.Num() - 1; i >= 0; --i) {
        const MString name = NameOf(list[i]);
        m_nextInBucket[i] = -1;
        m_isFirst[i] = true;
        if (name.length() == 0) {
            for (int32_t later : m_unnamed)
                if (list[later] == list[i]) m_isFirst[later] = false;
            m_unnamed.Append(i);  // an empty name is no key
            continue;
        }
        int32_t& first = m_buckets[int32_t(HashOfName(name) & uint32_t(buckets - 1))];
        for (int32_t later = first; later >= 0; later = m_nextInBucket[later])
            if (list[later] == list[i]) m_isFirst[later] = false;
        m_nextInBucket[i] = first;
        first = i;
    }
}

int32_t HObjectIndex::Find(const HObject& node, int32_t hint) const {
    if (hint >= 0 && hint < m_list.Num() && m_isFirst[hint] && m_list[hint] == node) return hint;
    return Find(node);
}

int32_t HObjectIndex::Find(const HObject& node) const {
    const MString name = NameOf(node);
    if (name.length() == 0) {
        for (int32_t k = m_unnamed.Num() - 1; k >= 0; --k)
            if (m_list[m_unnamed[k]] == node) return m_unnamed[k];
        return -1;
    }
    const uint32_t mask = uint32_t(m_buckets.Num() - 1);
    for (int32_t i = m_buckets[int32_t(HashOfName(name) & mask)]; i >= 0; i = m_nextInBucket[i])
        if (m_list[i] == node) return i;
    return -1;
}

}  // namespace kiln::platform_maya
