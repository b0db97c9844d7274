#pragma once
// brix::UTable<K, V>: a hash table from string keys to values. Nodes live in one array;
// buckets hold the index of the first node of their chain (-1 for none). The bucket
// count is a power of two and doubles when the nodes outnumber the buckets.

#include <cstdint>
#include <cstring>

#include "Core/UArray.h"
#include "Core/UBaseString.h"

namespace brix {

// The XOR of the bytes, byte i shifted left by 8 * (i mod 4): the text folded as
// little-endian 32-bit words.
inline uint32_t FoldBytesHash(const unsigned char* bytes, int32_t length) {
    uint32_t hash = 0;
    for (int32_t i = 0; i < length; ++i) hash ^= uint32_t(bytes[i]) << (8 * (i % 4));
    return hash;
}

template <typename K, typename V>
class UTable {
public:
    struct Node {
        K key;
        V value;
        int32_t next;
    };

    // Folds the key's bytes as little-endian 32-bit words by XOR.
    static uint32_t Hash(const K& key) { return FoldBytesHash(key.Data(), key.Length()); }

    // Adds the pair; false (and the table unchanged) when the key is already present.
    bool Add(const K& key, const V& value) {
        if (Find(key)) return false;
        if (m_buckets.Num() == 0) Rebuild();
        const int32_t index = m_nodes.Add(1);
        m_nodes[index].key = key;
        m_nodes[index].value = value;
        Link(index);
        if (uint32_t(m_nodes.Num()) > m_bucketCount) {
            m_bucketCount *= 2;
            Rebuild();
        }
        return true;
    }

    // The stored value for key, or nullptr. An empty key matches nothing.
    V* Find(const K& key) {
        if (key.Num() == 0 || m_buckets.Num() == 0) return nullptr;
        for (int32_t i = m_buckets[int32_t(Hash(key) & (m_bucketCount - 1))]; i != -1; i = m_nodes[i].next)
            if (strcmp(m_nodes[i].key.c_str(), key.c_str()) == 0) return &m_nodes[i].value;
        return nullptr;
    }
    const V* Find(const K& key) const { return const_cast<UTable*>(this)->Find(key); }

    int32_t Num() const { return m_nodes.Num(); }
    uint32_t BucketCount() const { return m_bucketCount; }
    const UArray<Node>& Nodes() const { return m_nodes; }

private:
    void Link(int32_t index) {
        int32_t& head = m_buckets[int32_t(Hash(m_nodes[index].key) & (m_bucketCount - 1))];
        m_nodes[index].next = head;
        head = index;
    }

    // Builds the bucket array anew (64 buckets when there were none) and links every
    // node again in index order.
    void Rebuild() {
        if (m_bucketCount == 0) m_bucketCount = 64;
        m_buckets.Empty(0);
        m_buckets.SetNum(int32_t(m_bucketCount));
        for (int32_t i = 0; i < m_buckets.Num(); ++i) m_buckets[i] = -1;
        for (int32_t i = 0; i < m_nodes.Num(); ++i) Link(i);
    }

    UArray<Node> m_nodes;
    UArray<int32_t> m_buckets;
    uint32_t m_bucketCount = 0;
};

}  // namespace brix
