#pragma once
// Compares two rig files by what they describe, within the four decimals the file
// keeps: joints (names, parents, bind matrices) and meshes (positions, the normal and
// UVs of every corner, per-vertex weights by joint name).

#include <string>
#include <vector>

namespace tessaline {

struct ComparisonRow {
    std::string what;
    int matched = 0;
    int total = 0;
    std::string firstMismatch;
};

// One row per kind of data; false when either file cannot be read.
bool CompareRigFiles(const std::string& expected, const std::string& actual, std::vector<ComparisonRow>& rows);
std::string FormatComparison(const std::vector<ComparisonRow>& rows);

}  // namespace tessaline
