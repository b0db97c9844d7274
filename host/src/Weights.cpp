// Sparse per-vertex storage of skin weights.
#include "Core.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace standin::core {

namespace {
bool isPositiveZero(double w) { return w == 0.0 && !std::signbit(w); }

// The first entry of a sorted row whose matrix is not below matrix.
template <typename Entry>
Entry* entryAtOrAfter(Entry* first, Entry* last, int matrix) {
  return std::lower_bound(first, last, matrix, [](const WeightEntry& e, int m) { return e.matrix < m; });
}
}  // namespace

WeightRow WeightTable::row(int v) {
  if (v < 0) return {};
  settleDefault(v);
  if ((size_t)v >= m_slots.size()) return {};
  const Slot& slot = m_slots[v];
  const WeightEntry* first = m_pool.data() + slot.offset;
  return {first, first + slot.size};
}

double WeightTable::get(int v, int matrix) {
  const WeightRow entries = row(v);
  const WeightEntry* it = entryAtOrAfter(entries.begin(), entries.end(), matrix);
  return it != entries.end() && it->matrix == matrix ? it->weight : 0.0;
}

void WeightTable::set(int v, int matrix, double weight) {
  if (v < 0) return;
  settleDefault(v);
  if ((size_t)v >= m_slots.size()) {
    if (isPositiveZero(weight)) return;
    reserveRows((size_t)v + 1, 0);
  }
  // The entry is changed, dropped or put in place within the row's own slot; only a row
  // that outgrows its slot goes through store.
  Slot& slot = m_slots[v];
  WeightEntry* first = m_pool.data() + slot.offset;
  WeightEntry* last = first + slot.size;
  WeightEntry* it = entryAtOrAfter(first, last, matrix);
  const bool found = it != last && it->matrix == matrix;
  if (isPositiveZero(weight)) {
    if (found) std::copy(it + 1, last, it), --slot.size;
  } else if (found) {
    it->weight = weight;
  } else if (slot.size < slot.capacity) {
    std::copy_backward(it, last, last + 1);
    *it = {matrix, weight};
    ++slot.size;
  } else {
    std::vector<WeightEntry> grown(first, last);
    grown.insert(grown.begin() + (it - first), {matrix, weight});
    store(v, grown.data(), grown.size());
  }
}

void WeightTable::setAscending(int v, const std::vector<int>& matrices, const double* weights) {
  if (v < 0) return;
  // A default row holds one weight, on one of the matrices [0, n) of its n influences.
  // When all of them are given, the default is replaced whichever it would be, so it is
  // never found: in a strictly ascending list, 0 with n - 1 at n - 1 places after it
  // means every matrix between is there too.
  if (waitsForDefault(v)) {
    const int n = (int)m_nearest->influences();
    const auto zero = std::lower_bound(matrices.begin(), matrices.end(), 0);
    settleDefault(v, matrices.end() - zero >= n && *zero == 0 && zero[n - 1] == n - 1);
  }
  // The given weights that are kept (all but +0.0, whose bits are all zero), found four
  // at a time: a vertex is usually given every influence, and most of them are zero.
  static thread_local std::vector<WeightEntry> given, merged;
  given.clear();
  const size_t count = matrices.size();
  size_t i = 0;
  for (; i + 4 <= count; i += 4) {
    uint64_t bits[4];
    std::memcpy(bits, weights + i, sizeof bits);
    if ((bits[0] | bits[1] | bits[2] | bits[3]) == 0) continue;
    for (size_t k = i; k < i + 4; ++k)
      if (!isPositiveZero(weights[k])) given.push_back({matrices[k], weights[k]});
  }
  for (; i < count; ++i)
    if (!isPositiveZero(weights[i])) given.push_back({matrices[i], weights[i]});
  // Stored weights on matrices that were not given stay; both lists are sorted.
  merged.clear();
  const WeightRow stored = row(v);
  const WeightEntry* next = given.data();
  const WeightEntry* end = next + given.size();
  for (const WeightEntry& e : stored) {
    if (std::binary_search(matrices.begin(), matrices.end(), e.matrix)) continue;
    for (; next != end && next->matrix < e.matrix; ++next) merged.push_back(*next);
    merged.push_back(e);
  }
  merged.insert(merged.end(), next, end);
  store(v, merged.data(), merged.size());
}

void WeightTable::reserveRows(size_t count, unsigned room) {
  if (m_slots.size() >= count) return;
  size_t offset = m_pool.size();
  m_pool.resize(offset + (count - m_slots.size()) * room);
  if (count > m_slots.capacity()) m_slots.reserve(std::max(count, 2 * m_slots.capacity()));
  size_t v = m_slots.size();
  m_slots.resize(count);
  for (; v < count; ++v, offset += room) {
    m_slots[v].offset = offset;
    m_slots[v].capacity = room;
  }
}

void WeightTable::startWithNearest(std::shared_ptr<const NearestInfluence> nearest) {
  const size_t count = nearest && nearest->bind && nearest->influences() ? nearest->bind->points.size() : 0;
  if (count == 0) return;
  reserveRows(count, 4);
  m_nearest = std::move(nearest);
  m_waiting.assign(count, true);
  m_waitingCount = count;
}

void WeightTable::settleDefault(int v, bool replaced) {
  if (!waitsForDefault(v)) return;
  const WeightEntry nearest{replaced ? 0 : m_nearest->of(v), 1.0};
  m_waiting[(size_t)v] = false;
  if (--m_waitingCount == 0) {
    m_nearest.reset();
    m_waiting = std::vector<bool>();
  }
  if (!replaced) store(v, &nearest, 1);
}

void WeightTable::store(int v, const WeightEntry* entries, size_t count) {
  if ((size_t)v >= m_slots.size()) {
    if (count == 0) return;
    reserveRows((size_t)v + 1, 0);
  }
  if (count > m_slots[v].capacity) {
    // A new slot at the end of the pool, with room to grow; the old one is abandoned.
    m_abandoned += m_slots[v].capacity;
    if (m_abandoned > 1024 && m_abandoned > m_pool.size() / 2) compact();
    Slot& moved = m_slots[v];
    moved.offset = m_pool.size();
    moved.capacity = (unsigned)std::max<size_t>(4, count + count / 2);
    m_pool.resize(m_pool.size() + moved.capacity);
  }
  Slot& slot = m_slots[v];
  std::copy(entries, entries + count, m_pool.begin() + (std::ptrdiff_t)slot.offset);
  slot.size = (unsigned)count;
}

void WeightTable::compact() {
  // Abandoned slots are dropped; each row keeps its capacity.
  std::vector<WeightEntry> pool;
  pool.reserve(m_pool.size() - m_abandoned);
  for (Slot& slot : m_slots) {
    const size_t offset = pool.size();
    pool.insert(pool.end(), m_pool.begin() + (std::ptrdiff_t)slot.offset,
                m_pool.begin() + (std::ptrdiff_t)(slot.offset + slot.capacity));
    slot.offset = offset;
  }
  m_pool.swap(pool);
  m_abandoned = 0;
}

}  // namespace standin::core
