#pragma once
// Growable array used for every M*Array class of the host API. All member functions are
// compiled into the host library (explicit instantiations), so no allocation or release
// is ever inlined into a caller's module.
#include <maya/MStatus.h>

namespace standin {
namespace core {
struct Access;
}
}  // namespace standin

template <typename T>
class MStandInArray {
public:
  MStandInArray();
  MStandInArray(unsigned int count, const T& init = T());
  MStandInArray(const T* source, unsigned int count);
  MStandInArray(const MStandInArray& other);
  ~MStandInArray();
  MStandInArray& operator=(const MStandInArray& other);

  unsigned int length() const;
  // Indexing past the end yields a default-valued element (reset on every such access)
  // instead of touching memory outside the array.
  T& operator[](unsigned int index);
  const T& operator[](unsigned int index) const;

  MStatus append(const T& value);
  MStatus insert(const T& value, unsigned int index);
  MStatus remove(unsigned int index);
  MStatus setLength(unsigned int count);
  MStatus clear();
  MStatus set(const T& value, unsigned int index);
  MStatus copy(const MStandInArray& source);
  // Copies every element into destination, which must hold length() of them.
  MStatus get(T destination[]) const;

protected:
  friend struct standin::core::Access;
  T* m_data;
  unsigned int m_length;
  unsigned int m_capacity;
};
