#pragma once
// The raw element block under every UArray: pointer, count and capacity, and the
// reallocation that moves the live elements by a byte copy.

#include <cstddef>
#include <cstdint>

namespace brix {

class UArrayBase {
public:
    // Capacities move in steps of this many elements.
    static constexpr int32_t kGranularity = 64;

    // Releases the block. Declared noexcept(false) because the typed destructor above
    // it checks its invariants with `assure`, which throws.
    virtual ~UArrayBase() noexcept(false);

    // The capacity that makes room for n elements when the count is `count`: the larger
    // of twice the count and n, rounded up to a multiple of 64.
    static int64_t GrowthCapacity(int64_t count, int64_t n);
    static int64_t RoundUp(int64_t n) { return (n + kGranularity - 1) / kGranularity * kGranularity; }

protected:
    UArrayBase() : m_arrayData(nullptr), m_arrayNum(0), m_arrayMax(0) {}

    // Moves to a block of `capacity` elements: equal capacity does nothing, 0 releases
    // the block, otherwise a new block is taken, the count is cut to the capacity and the
    // live elements are byte-copied. Throws an ErrorDescription when no block comes back
    // or the capacity cannot be expressed, never writing through a missing block.
    void Reallocate(int64_t capacity, size_t elementSize);

    void* m_arrayData;
    int32_t m_arrayNum;
    int32_t m_arrayMax;
};

}  // namespace brix
