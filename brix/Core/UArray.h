#pragma once
// brix::UArray<T>: the library's growable array. Capacity moves in steps of 64 elements
// and at least doubles on growth; elements are relocated by a byte copy, so element
// types must tolerate being moved bytewise (numbers, vectors, strings, arrays, handles).

#include <cstring>
#include <new>
#include <type_traits>

#include "Core/ErrorDescription.h"
#include "Core/UArrayBase.h"

namespace brix {

template <typename T>
class UArray : public UArrayBase {
public:
    UArray() = default;

    // n > 0 reserves room for n elements and sets the count to n; n <= 0 is empty.
    explicit UArray(int32_t n) {
        if (n > 0) SetNum(n);
    }

    UArray(const UArray& other) {
        if (other.m_arrayNum > 0) {
            Reallocate(RoundUp(other.m_arrayNum), sizeof(T));
            CopyConstruct(other.Data(), other.m_arrayNum);
        }
    }

    // A move takes the other's block; the other is left empty, without block.
    UArray(UArray&& other) noexcept { Take(other); }

    UArray& operator=(UArray&& other) {
        if (this != &other) {
            Empty(0);
            Take(other);
        }
        return *this;
    }

    UArray& operator=(const UArray& other) {
        if (this != &other) {
            Empty(0);
            if (other.m_arrayNum > 0) {
                Reallocate(RoundUp(other.m_arrayNum), sizeof(T));
                CopyConstruct(other.Data(), other.m_arrayNum);
            }
        }
        return *this;
    }

    ~UArray() noexcept(false) override {
        // The conditions' texts are the messages a failure gives, kept as they were.
        // clang-format off
        assure(m_arrayNum>=0);
        assure(m_arrayMax>=m_arrayNum);
        // clang-format on
        DestroyRange(0, m_arrayNum);
        m_arrayNum = 0;
    }

    int32_t Num() const { return m_arrayNum; }
    int32_t Max() const { return m_arrayMax; }
    T* Data() { return static_cast<T*>(m_arrayData); }
    const T* Data() const { return static_cast<const T*>(m_arrayData); }
    T& operator[](int32_t index) { return Data()[index]; }
    const T& operator[](int32_t index) const { return Data()[index]; }
    T* begin() { return Data(); }
    T* end() { return Data() + m_arrayNum; }
    const T* begin() const { return Data(); }
    const T* end() const { return Data() + m_arrayNum; }

    // Appends n elements and returns the index of the first. Elements of types without
    // a constructor are left uninitialised; others are default-constructed.
    int32_t Add(int32_t n = 1) {
        const int32_t first = m_arrayNum;
        if (n <= 0) return first;
        const int64_t wanted = int64_t(m_arrayNum) + n;
        if (wanted > m_arrayMax) Reallocate(GrowthCapacity(m_arrayNum, wanted), sizeof(T));
        DefaultConstruct(first, n);
        m_arrayNum = int32_t(wanted);
        return first;
    }

    // Appends a copy of value and returns its index.
    int32_t Append(const T& value) {
        if (m_arrayNum == m_arrayMax) Reallocate(GrowthCapacity(m_arrayNum, int64_t(m_arrayNum) + 1), sizeof(T));
        new (Data() + m_arrayNum) T(value);
        return m_arrayNum++;
    }

    // Appends an element constructed in place from the arguments; returns its index.
    template <typename... Args>
    int32_t Emplace(Args&&... args) {
        if (m_arrayNum == m_arrayMax) Reallocate(GrowthCapacity(m_arrayNum, int64_t(m_arrayNum) + 1), sizeof(T));
        new (Data() + m_arrayNum) T(static_cast<Args&&>(args)...);
        return m_arrayNum++;
    }

    // Reallocates to the growth capacity for n (larger or smaller than now) and sets the
    // count to n.
    void SetNum(int32_t n) {
        if (n < 0) n = 0;
        if (n < m_arrayNum) {
            DestroyRange(n, m_arrayNum - n);
            const int32_t oldNum = m_arrayNum;
            m_arrayNum = n;
            Reallocate(GrowthCapacity(oldNum, n), sizeof(T));
        } else {
            Reallocate(GrowthCapacity(m_arrayNum, n), sizeof(T));
            DefaultConstruct(m_arrayNum, n - m_arrayNum);
            m_arrayNum = n;
        }
    }

    // Removes count elements at index, closing the gap; shrinks the block when twice the
    // new count, rounded up to 64, is below the capacity.
    void Remove(int32_t index, int32_t count = 1) {
        if (index < 0 || count <= 0 || index >= m_arrayNum) return;
        if (count > m_arrayNum - index) count = m_arrayNum - index;
        DestroyRange(index, count);
        const int32_t following = m_arrayNum - index - count;
        if (following > 0)
            memmove(static_cast<void*>(Data() + index), Data() + index + count, size_t(following) * sizeof(T));
        m_arrayNum -= count;
        int64_t shrunk = RoundUp(int64_t(m_arrayNum) * 2);
        if (shrunk < m_arrayMax) Reallocate(shrunk, sizeof(T));
    }

    // Makes room for at least capacity elements, keeping the elements.
    void Reserve(int32_t capacity) {
        if (capacity > m_arrayMax) Reallocate(RoundUp(capacity), sizeof(T));
    }

    // Sets the count to 0 and moves to a block of the given capacity (0 releases it).
    void Empty(int32_t capacity = 0) {
        DestroyRange(0, m_arrayNum);
        m_arrayNum = 0;
        Reallocate(capacity, sizeof(T));
    }

protected:
    void Take(UArray& other) noexcept {
        m_arrayData = other.m_arrayData;
        m_arrayNum = other.m_arrayNum;
        m_arrayMax = other.m_arrayMax;
        other.m_arrayData = nullptr;
        other.m_arrayNum = 0;
        other.m_arrayMax = 0;
    }
    void DefaultConstruct(int32_t first, int32_t n) {
        if constexpr (!std::is_trivially_default_constructible_v<T>)
            for (int32_t i = 0; i < n; ++i) new (Data() + first + i) T();
    }
    void CopyConstruct(const T* source, int32_t n) {
        for (int32_t i = 0; i < n; ++i) new (Data() + i) T(source[i]);
        m_arrayNum = n;
    }
    void DestroyRange(int32_t first, int32_t n) {
        if constexpr (!std::is_trivially_destructible_v<T>)
            for (int32_t i = 0; i < n; ++i) Data()[first + i].~T();
    }
};

}  // namespace brix
