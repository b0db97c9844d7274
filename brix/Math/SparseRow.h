#pragma once
// Walking a row of weights in which most values are zero.

#include <cstdint>
#include <cstring>

namespace brix {

// Calls visit(index, value) for each non-zero value of row[0, count), in order. A row of
// skin weights holds a few weights among many influences, so four values whose bits are
// all zero (+0.0) are passed over with one test; -0.0 is zero too and is passed over one
// value at a time.
template <typename Visit>
void ForEachNonZero(const double* row, unsigned int count, Visit&& visit) {
    unsigned int i = 0;
    for (; i + 4 <= count; i += 4) {
        uint64_t bits[4];
        std::memcpy(bits, row + i, sizeof bits);
        if ((bits[0] | bits[1] | bits[2] | bits[3]) == 0) continue;
        for (unsigned int k = i; k < i + 4; ++k)
            if (row[k] != 0.0) visit(k, row[k]);
    }
    for (; i < count; ++i)
        if (row[i] != 0.0) visit(i, row[i]);
}

}  // namespace brix
