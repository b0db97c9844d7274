// Sparse per-vertex storage of skin weights.
#include "Core.h"

#include <algorithm>
#include <cmath>

namespace standin::core {

namespace {
const std::vector<WeightEntry> kNoWeights;

bool isPositiveZero(double w) { return w == 0.0 && !std::signbit(w); }

std::vector<WeightEntry>::const_iterator findEntry(const std::vector<WeightEntry>& row, int matrix) {
  return std::lower_bound(row.begin(), row.end(), matrix,
                          [](const WeightEntry& e, int m) { return e.matrix < m; });
}
} // namespace

const std::vector<WeightEntry>& WeightTable::row(int v) const {
  return v >= 0 && (size_t)v < vertices.size() ? vertices[v] : kNoWeights;
}

double WeightTable::get(int v, int matrix) const {
  const std::vector<WeightEntry>& entries = row(v);
  auto it = findEntry(entries, matrix);
  return it != entries.end() && it->matrix == matrix ? it->weight : 0.0;
}

void WeightTable::set(int v, int matrix, double weight) {
  if (v < 0) return;
  if ((size_t)v >= vertices.size()) {
    if (isPositiveZero(weight)) return;
    vertices.resize((size_t)v + 1);
  }
  std::vector<WeightEntry>& entries = vertices[v];
  auto it = entries.begin() + (findEntry(entries, matrix) - entries.cbegin());
  const bool present = it != entries.end() && it->matrix == matrix;
  if (isPositiveZero(weight)) {
    if (present) entries.erase(it);
  } else if (present) {
    it->weight = weight;
  } else {
    entries.insert(it, {matrix, weight});
  }
}

void WeightTable::setAscending(int v, const std::vector<int>& matrices, const double* weights) {
  if (v < 0) return;
  if ((size_t)v >= vertices.size()) vertices.resize((size_t)v + 1);
  // One merge of the stored row with the given weights, instead of a search per weight.
  std::vector<WeightEntry>& row = vertices[v];
  // Merged in a scratch list kept between calls, then copied into the row's own block.
  static thread_local std::vector<WeightEntry> merged;
  merged.clear();
  auto stored = row.begin();
  for (size_t i = 0; i < matrices.size(); ++i) {
    for (; stored != row.end() && stored->matrix < matrices[i]; ++stored) merged.push_back(*stored);
    if (stored != row.end() && stored->matrix == matrices[i]) ++stored;
    if (!isPositiveZero(weights[i])) merged.push_back({matrices[i], weights[i]});
  }
  merged.insert(merged.end(), stored, row.end());
  row.assign(merged.begin(), merged.end());
}

} // namespace standin::core
