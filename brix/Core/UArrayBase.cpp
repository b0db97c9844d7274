#include "Core/UArrayBase.h"

#include <cstring>
#include <new>

#include "Core/ErrorDescription.h"

namespace brix {

UArrayBase::~UArrayBase() noexcept(false) {
    if (m_arrayData) ::operator delete[](m_arrayData);
    m_arrayData = nullptr;
}

int64_t UArrayBase::GrowthCapacity(int64_t count, int64_t n) {
    const int64_t doubled = count * 2;
    return RoundUp(doubled > n ? doubled : n);
}

void UArrayBase::Reallocate(int64_t capacity, size_t elementSize) {
    if (capacity == m_arrayMax) return;
    if (capacity <= 0) {
        if (m_arrayData) ::operator delete[](m_arrayData);
        m_arrayData = nullptr;
        m_arrayMax = 0;
        return;
    }
    // The pool takes 32-bit sizes and counts are signed 32-bit.
    if (capacity > INT32_MAX || uint64_t(capacity) * elementSize > UINT32_MAX)
        throw ErrorDescription(__FILE__, "brix::UArrayBase::Reallocate", "array capacity too large", __LINE__);
    void* block = ::operator new[](size_t(capacity) * elementSize, std::nothrow);
    if (!block)
        throw ErrorDescription(__FILE__, "brix::UArrayBase::Reallocate", "out of memory while growing an array",
                               __LINE__);
    if (m_arrayNum > capacity) m_arrayNum = int32_t(capacity);
    if (m_arrayData) {
        if (m_arrayNum > 0) memcpy(block, m_arrayData, size_t(m_arrayNum) * elementSize);
        ::operator delete[](m_arrayData);
    }
    m_arrayData = block;
    m_arrayMax = int32_t(capacity);
}

}  // namespace brix
