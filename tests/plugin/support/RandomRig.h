#pragma once
// Random rigs written in the writer's exact layout: bone trees, meshes of triangles and
// quads with per-corner normals, several UV sets of which later ones may be empty (as
// the writer leaves an unmapped set), vertices without weights, and files without
// bones. Values are chosen so that the file's four decimals hold them exactly and the
// bind matrices invert exactly (signed axis permutations and quarter-unit moves).

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace plugin_test {

class RandomRig {
public:
    explicit RandomRig(uint32_t seed) : m_random(seed) {}

    std::string Write() {
        std::string out = "version 1\r\n";
        const int numBones = Pick(0, 5);
        out += "\r\nnumBones " + std::to_string(numBones);
        std::vector<std::string> bones;
        for (int i = 0; i < numBones; ++i) {
            bones.push_back(Name("bone", i));
            const std::string parent = i == 0 || Pick(0, 3) == 0 ? "" : bones[size_t(Pick(0, i - 1))];
            out += "\r\nbone " + std::to_string(i) + " {\r\n\tname \"" + bones.back() + "\"\r\n\tparent \"" + parent +
                   "\"\r\n\tinvBaseMatrix";
            for (const std::vector<float>& row : Matrix()) out += " " + Reals(row);
            out += "\r\n}\r\n";
        }
        const int numMeshes = Pick(0, 3);
        out += "\r\nnumMeshes " + std::to_string(numMeshes);
        for (int j = 0; j < numMeshes; ++j) out += Mesh(j, numBones);
        return out;
    }

private:
    int Pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(m_random); }
    // A multiple of step between -range and range.
    float Value(int range, float step) { return float(Pick(-range, range)) * step; }

    std::string Name(const char* kind, int index) {
        static const char* kForms[] = {"%s%d", "%s %d", "%s;%d", "%s_%d"};
        char name[32];
        snprintf(name, sizeof name, kForms[Pick(0, 3)], kind, index);
        return name;
    }

    static std::string Reals(const std::vector<float>& values) {
        std::string out;
        for (float value : values) {
            char text[64];
            snprintf(text, sizeof text, "%.4f", double(value));
            out += (out.empty() ? "" : " ") + std::string(text);
        }
        return out;
    }

    static std::string Joined(const std::vector<int>& values) {
        std::string out;
        for (int value : values) out += (out.empty() ? "" : " ") + std::to_string(value);
        return out;
    }

    // A rotation that permutes and flips the axes (determinant 1), then a move.
    std::vector<std::vector<float>> Matrix() {
        std::vector<int> axes = {0, 1, 2};
        std::shuffle(axes.begin(), axes.end(), m_random);
        std::vector<std::vector<float>> m(4, std::vector<float>(4, 0.0f));
        int flips = 0;
        for (int r = 0; r < 3; ++r) {
            const bool flip = Pick(0, 1) == 1;
            flips += flip;
            m[size_t(r)][size_t(axes[size_t(r)])] = flip ? -1.0f : 1.0f;
        }
        const int inversions = (axes[0] > axes[1]) + (axes[0] > axes[2]) + (axes[1] > axes[2]);
        if ((flips + inversions) % 2) m[0][size_t(axes[0])] *= -1.0f;
        for (int c = 0; c < 3; ++c) m[3][size_t(c)] = Value(12, 0.25f);
        m[3][3] = 1.0f;
        return m;
    }

    std::string Mesh(int index, int numBones) {
        const int numVertices = Pick(4, 9);
        std::vector<std::vector<int>> polygons(size_t(Pick(1, 4)));
        for (std::vector<int>& corners : polygons) {
            std::vector<int> order(static_cast<size_t>(numVertices));
            for (int v = 0; v < numVertices; ++v) order[size_t(v)] = v;
            std::shuffle(order.begin(), order.end(), m_random);
            corners.assign(order.begin(), order.begin() + Pick(3, 4));
        }
        int numCorners = 0;
        for (const auto& corners : polygons) numCorners += int(corners.size());

        std::string out = "\r\nmesh " + std::to_string(index) + " {\r\n\tname \"" + Name("mesh", index) + "\"\r\n";
        out += "\r\n\tvertices {";
        for (int v = 0; v < numVertices; ++v)
            out += "\r\n\t\t" + Reals({Value(40, 0.25f), Value(40, 0.25f), Value(40, 0.25f)});
        // Per-corner normals drawn from the six axis directions.
        const int numNormals = Pick(1, 6);
        static const float kAxes[6][3] = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
        out += "\r\n\t}\r\n\r\n\tnormals {";
        for (int n = 0; n < numNormals; ++n) out += "\r\n\t\t" + Reals({kAxes[n][0], kAxes[n][1], kAxes[n][2]});
        // Set 0 and later sets mapped or, as the writer leaves an unmapped set, empty.
        const int numSets = Pick(1, 3);
        std::vector<int> setSizes;
        for (int s = 0; s < numSets; ++s) setSizes.push_back(s > 0 && Pick(0, 1) ? 0 : Pick(1, 6));
        out += "\r\n\t}\r\n\r\n\ttextureCoordinates {";
        for (int s = 0; s < numSets; ++s) {
            out += "\r\n\t\tset " + std::to_string(s) + " {";
            for (int k = 0; k < setSizes[size_t(s)]; ++k)
                out += "\r\n\t\t\t" + Reals({Value(16, 0.125f), Value(16, 0.125f)});
            out += std::string("\r\n\t\t}") + (s + 1 < numSets ? "\r\n" : "");
        }
        out += "\r\n\t}\r\n\r\n\tmaterialNames {\r\n\t\t \"lambert1\"";
        out += "\r\n\t}\r\n\r\n\tpolygonVertexCounts {";
        for (const auto& corners : polygons) out += "\r\n\t\t" + std::to_string(corners.size());
        out += "\r\n\t}\r\n\r\n\tpolygonVertexIndices {";
        for (const auto& corners : polygons) out += "\r\n\t\t" + Joined(corners);
        out += "\r\n\t}\r\n\r\n\tpolygonNormalIndices {";
        for (const auto& corners : polygons) out += "\r\n\t\t" + Joined(RandomIndices(corners.size(), numNormals));
        out += "\r\n\t}\r\n\r\n\tpolygonTexCoordIndices {";
        for (int s = 0; s < numSets; ++s) {
            out += "\r\n\t\tset " + std::to_string(s) + " {";
            for (const auto& corners : polygons)
                out += "\r\n\t\t\t" + Joined(RandomIndices(corners.size(), setSizes[size_t(s)]));
            out += std::string("\r\n\t\t}") + (s + 1 < numSets ? "\r\n" : "");
        }
        out += "\r\n\t}\r\n\r\n\tpolygonMaterialIndices {";
        for (size_t p = 0; p < polygons.size(); ++p) out += "\r\n\t\t0";
        if (numBones > 0 && Pick(0, 3) > 0) out += Skin(numVertices, numBones);
        return out + "\r\n\t}\r\n}\r\n";
    }

    // Indices below size (all 0 for an empty set).
    std::vector<int> RandomIndices(size_t count, int size) {
        std::vector<int> indices(count, 0);
        for (int& index : indices) index = size ? Pick(0, size - 1) : 0;
        return indices;
    }

    // Up to three distinct bones per vertex with weights in sixteenths; some vertices
    // have none, at least one has some.
    std::string Skin(int numVertices, int numBones) {
        std::string counts, weights;
        int total = 0;
        for (int v = 0; v < numVertices; ++v) {
            std::vector<int> order(static_cast<size_t>(numBones));
            for (int b = 0; b < numBones; ++b) order[size_t(b)] = b;
            std::shuffle(order.begin(), order.end(), m_random);
            int count = Pick(0, std::min(3, numBones));
            if (v == numVertices - 1 && total == 0) count = 1;
            total += count;
            counts += "\r\n\t\t" + std::to_string(count);
            for (int k = 0; k < count; ++k)
                weights += "\r\n\t\t" + std::to_string(order[size_t(k)]) + " " + Reals({float(Pick(1, 16)) / 16.0f});
        }
        return "\r\n\t}\r\n\r\n\tvertexWeightCounts {" + counts + "\r\n\t}\r\n\r\n\tweights {" + weights;
    }

    std::mt19937 m_random;
};

}  // namespace plugin_test
