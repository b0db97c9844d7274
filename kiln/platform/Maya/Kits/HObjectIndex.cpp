#include "HObjectIndex.h"

namespace kiln::platform_maya {

HObjectIndex::HObjectIndex(const brix::UArray<HObject>& list) : m_list(list) {
    m_nextOfSameName.Add(list.Num());
    // Backwards, so that each name's chain runs in list order.
    for (int32_t i = list.Num() - 1; i >= 0; --i) {
        HNodeKit kit(list[i]);
        const brix::UString name = kit.GetName();
        m_nextOfSameName[i] = -1;
        if (name.IsEmpty()) {
            m_unnamed.Append(i);  // an empty name is no table key
        } else if (int32_t* first = m_firstOfName.Find(name)) {
            m_nextOfSameName[i] = *first;
            *first = i;
        } else {
            m_firstOfName.Add(name, i);
        }
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
    if (const int32_t* first = m_firstOfName.Find(name))
        for (int32_t i = *first; i >= 0; i = m_nextOfSameName[i])
            if (m_list[i] == node) return i;
    return -1;
}

}  // namespace kiln::platform_maya
