#include "RoundTrip.h"

#include <cmath>
#include <map>
#include <set>

#include "Rig/RigReader.h"

namespace tessaline {

namespace {

constexpr float kTolerance = 0.00015f;  // four decimals, and the rounding of both sides

bool Near(float a, float b) { return std::fabs(a - b) <= kTolerance; }
bool Near(const brix::TVector3<float>& a, const brix::TVector3<float>& b) {
    return Near(a.x, b.x) && Near(a.y, b.y) && Near(a.z, b.z);
}
bool Near(const brix::TVector2<float>& a, const brix::TVector2<float>& b) { return Near(a.x, b.x) && Near(a.y, b.y); }

bool Read(const std::string& text, brix::UArray<BoneData>& bones, brix::UArray<MeshData>& meshes) {
    brix::UString subject(text.c_str());
    brix::UTextParser parser(subject);
    return rig::ReadRigFile(parser, bones, meshes);
}

class Comparison {
public:
    explicit Comparison(std::vector<ComparisonRow>& rows) : m_rows(rows) {}
    // where names the item; it is asked for only when the item is the row's first mismatch,
    // so that millions of matching corners build no text.
    template <typename Where>
    void Count(const std::string& what, bool match, const Where& where) {
        ComparisonRow& row = Row(what);
        ++row.total;
        if (match)
            ++row.matched;
        else if (row.firstMismatch.empty())
            row.firstMismatch = where();
    }

private:
    ComparisonRow& Row(const std::string& what) {
        if (m_last < m_rows.size() && m_rows[m_last].what == what) return m_rows[m_last];
        for (m_last = 0; m_last < m_rows.size(); ++m_last)
            if (m_rows[m_last].what == what) return m_rows[m_last];
        m_rows.push_back({what, 0, 0, ""});
        return m_rows.back();
    }

    std::vector<ComparisonRow>& m_rows;
    size_t m_last = 0;
};

// Per vertex, weight by joint name.
std::vector<std::map<std::string, float>> WeightsByName(const MeshData& mesh, const brix::UArray<BoneData>& bones) {
    std::vector<std::map<std::string, float>> out;
    int32_t next = 0;
    for (uint32_t count : mesh.vertexWeightCounts) {
        std::map<std::string, float> vertex;
        for (uint32_t j = 0; j < count && next < mesh.weights.Num(); ++j, ++next) {
            const MeshData::Weight& w = mesh.weights[next];
            const std::string bone =
                w.boneIndex < uint32_t(bones.Num()) ? bones[int32_t(w.boneIndex)].name.c_str() : "?";
            vertex[bone] = w.weight;
        }
        out.push_back(vertex);
    }
    return out;
}

// A name as a key, every byte of it.
std::string Key(const brix::UString& name) { return std::string(name.c_str(), size_t(name.Length())); }

// The bone's parent when the parent is one of the bones, else "".
std::string ParentBone(const BoneData& bone, const std::set<std::string>& boneNames) {
    return boneNames.count(Key(bone.parent)) ? Key(bone.parent) : "";
}

std::set<std::string> NamesOf(const brix::UArray<BoneData>& bones) {
    std::set<std::string> names;
    for (const BoneData& bone : bones) names.insert(Key(bone.name));
    return names;
}

// Records are matched by name; among records of one name, the n-th with the n-th. The
// index in b of each record of a, or -1.
template <typename Record>
std::vector<int32_t> PairByName(const brix::UArray<Record>& a, const brix::UArray<Record>& b) {
    std::map<std::string, std::vector<int32_t>> named;
    for (int32_t i = 0; i < b.Num(); ++i) named[Key(b[i].name)].push_back(i);
    std::map<std::string, size_t> used;
    std::vector<int32_t> pairs;
    for (const Record& record : a) {
        const auto& candidates = named[Key(record.name)];
        size_t& n = used[Key(record.name)];
        pairs.push_back(n < candidates.size() ? candidates[n] : -1);
        ++n;
    }
    return pairs;
}

}  // namespace

bool CompareRigFiles(const std::string& expectedText, const std::string& actualText, std::vector<ComparisonRow>& rows) {
    brix::UArray<BoneData> bonesA, bonesB;
    brix::UArray<MeshData> meshesA, meshesB;
    if (!Read(expectedText, bonesA, meshesA) || !Read(actualText, bonesB, meshesB)) return false;
    Comparison compare(rows);
    const std::set<std::string> namesA = NamesOf(bonesA), namesB = NamesOf(bonesB);
    const std::vector<int32_t> bonePairs = PairByName(bonesA, bonesB), meshPairs = PairByName(meshesA, meshesB);
    for (int32_t i = 0; i < bonesA.Num(); ++i) {
        const BoneData& a = bonesA[i];
        const BoneData* b = bonePairs[size_t(i)] >= 0 ? &bonesB[bonePairs[size_t(i)]] : nullptr;
        const auto where = [&] { return std::string("joint ") + a.name.c_str(); };
        compare.Count("joints", b != nullptr, where);
        if (!b) continue;
        // A parent that is no bone is not rebuilt by an import: compare parents among bones.
        compare.Count("joint parents", ParentBone(a, namesA) == ParentBone(*b, namesB), where);
        bool matrix = true;
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c) matrix = matrix && Near(a.invBaseMatrix.m[r][c], b->invBaseMatrix.m[r][c]);
        compare.Count("bind matrices", matrix, where);
    }
    for (int32_t i = 0; i < meshesA.Num(); ++i) {
        const MeshData& a = meshesA[i];
        const MeshData* b = meshPairs[size_t(i)] >= 0 ? &meshesB[meshPairs[size_t(i)]] : nullptr;
        const auto where = [&] { return std::string("mesh ") + a.name.c_str(); };
        compare.Count("meshes", b != nullptr, where);
        if (!b) continue;
        const bool sameTopology =
            a.polygonVertexIndices.Num() == b->polygonVertexIndices.Num() && a.vertices.Num() == b->vertices.Num();
        compare.Count("topology", sameTopology, where);
        if (!sameTopology) continue;
        for (int32_t v = 0; v < a.vertices.Num(); ++v)
            compare.Count("positions", Near(a.vertices[v], b->vertices[v]),
                          [&] { return where() + " vertex " + std::to_string(v); });
        for (int32_t k = 0; k < a.polygonNormalIndices.Num() && k < b->polygonNormalIndices.Num(); ++k) {
            const uint32_t ia = a.polygonNormalIndices[k], ib = b->polygonNormalIndices[k];
            const bool ok = ia < uint32_t(a.normals.Num()) && ib < uint32_t(b->normals.Num()) &&
                            Near(a.normals[int32_t(ia)], b->normals[int32_t(ib)]);
            compare.Count("normals", ok, [&] { return where() + " corner " + std::to_string(k); });
        }
        compare.Count("UV sets", a.textureCoordinates.Num() == b->textureCoordinates.Num(), where);
        for (int32_t s = 0; s < a.polygonTexCoordIndices.Num() && s < b->polygonTexCoordIndices.Num(); ++s)
            for (int32_t k = 0; k < a.polygonTexCoordIndices[s].Num() && k < b->polygonTexCoordIndices[s].Num(); ++k) {
                const uint32_t ia = a.polygonTexCoordIndices[s][k], ib = b->polygonTexCoordIndices[s][k];
                const bool ok = ia < uint32_t(a.textureCoordinates[s].Num()) &&
                                ib < uint32_t(b->textureCoordinates[s].Num()) &&
                                Near(a.textureCoordinates[s][int32_t(ia)], b->textureCoordinates[s][int32_t(ib)]);
                compare.Count("UVs", ok,
                              [&] { return where() + " set " + std::to_string(s) + " corner " + std::to_string(k); });
            }
        const auto weightsA = WeightsByName(a, bonesA), weightsB = WeightsByName(*b, bonesB);
        for (size_t v = 0; v < weightsA.size() || v < weightsB.size(); ++v) {
            // A weight that one side leaves out is zero; the other may keep it as 0.0000.
            static const std::map<std::string, float> none;
            const auto& wa = v < weightsA.size() ? weightsA[v] : none;
            const auto& wb = v < weightsB.size() ? weightsB[v] : none;
            bool ok = true;
            for (const auto* side : {&wa, &wb})
                for (const auto& [bone, weight] : *side) {
                    const auto& other = side == &wa ? wb : wa;
                    auto found = other.find(bone);
                    ok = ok && Near(found == other.end() ? 0.0f : found->second, weight);
                }
            compare.Count("weights", ok, [&] { return where() + " vertex " + std::to_string(v); });
        }
    }
    return true;
}

std::string FormatComparison(const std::vector<ComparisonRow>& rows) {
    std::string out = "what            matched  total  result\n";
    for (const ComparisonRow& row : rows) {
        char line[160];
        snprintf(line, sizeof line, "%-15s %7d %6d  %s", row.what.c_str(), row.matched, row.total,
                 row.matched == row.total ? "ok" : "MISMATCH");
        out += line;
        if (row.matched != row.total) out += " (first: " + row.firstMismatch + ")";
        out += "\n";
    }
    return out;
}

}  // namespace tessaline
