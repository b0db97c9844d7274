#include "HObjectIndex.h"

namespace kiln::platform_maya {

uint32_t HObjectIndex::HashOfName(const brix::UString& name) {
    // FNV-1a over the bytes.
    uint32_t hash = 2166136261u;
    const unsigned char* bytes = name.Data();
    for (int32_t i = 0; i < name.Length(); ++i) hash = (hash ^ bytes[i]) * 16777619u;
    return hash;
}

HObjectIndex::HObjectIndex(const brix::UArray<HObject>& list) : m_list(list) {
    int32_t buckets = 16;
    while (buckets < list.Num()) buckets *= 2;
    m_buckets.SetNum(buckets);
    for (int32_t& first : m_buckets) first = -1;
    m_nextInBucket.Add(list.Num());
    // Backwards, so that each chain runs in list order.
    for (int32_t i = list.Num() - 1; i >= 0; --i) {
        HNodeKit kit(list[i]);
        const brix::UString name = kit.GetName();
        m_nextInBucket[i] = -1;
        if (name.IsEmpty()) {
            m_unnamed.Append(i);  // an empty name is no key
            continue;
        }
        int32_t& first = m_buckets[int32_t(HashOfName(name) & uint32_t(buckets - 1))];
        m_nextInBucket[i] = first;
        first = i;
    }
}

int32_t HObjectIndex::Find(const HObject& node) const {
    HNodeKit kit(node);
    const brix::UString name = kit.GetName();
    if (name.IsEmpty()) {
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
