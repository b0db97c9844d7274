#pragma once
// brix::TRational<T>: a fraction kept in lowest terms with a positive denominator.

#include "Core/ErrorDescription.h"

namespace brix {

template <typename T>
class TRational {
public:
    TRational(T num, T den) : m_num(num), m_den(den) {
        assure(den);
        Reduce();
    }

    T Numerator() const { return m_num; }
    T Denominator() const { return m_den; }

private:
    // Divides both parts by their greatest common divisor, given the denominator's sign
    // so that the denominator ends up positive.
    void Reduce() {
        T a = m_num, b = m_den;
        while (b != 0) {
            T r = a % b;
            a = b;
            b = r;
        }
        T g = a < 0 ? -a : a;
        if (g > 0) {
            if (m_den < 0) g = -g;
            m_num /= g;
            m_den /= g;
        }
    }

    T m_num;
    T m_den;
};

}  // namespace brix
