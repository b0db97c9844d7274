#pragma once
// The benchmark rig: the rig text of a generated grid of (n + 1)^2 vertices and n^2 quads
// with normals, one UV set, 4 weights per vertex and 64 bones, laid out as the writer lays
// it out. 775 gives 602,176 vertices and 137 MB of text. The benchmarks that read or
// import it all write it here, so that they time the same file.

#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <string>

namespace bench {

constexpr int kBones = 64;

// Closes a written file once its pages are on disk, so that their writeback does not
// run during whichever timed process comes first.
inline bool CloseOnDisk(FILE* out) {
    const bool flushed = fflush(out) == 0 && fsync(fileno(out)) == 0;
    return fclose(out) == 0 && flushed;
}

// Normals tilted by up to 0.1 in thousands of directions, one listed per vertex.
struct Normal {
    float x, y, z;
};
inline Normal NormalAt(int x, int y) {
    const float a = float((x * 13 + y * 7) % 101 - 50) / 500, b = float((x * 5 + y * 11) % 97 - 48) / 500;
    return {a, b, std::sqrt(1 - a * a - b * b)};
}

// The rig text of the grid: vertex (x, y) at (x, y, ((7x + 3y) mod 11) / 10), normals tilted a little,
// UV (x/n, y/n), 4 weights of 0.25 on the bones nearest along x; laid out as the writer
// lays it out.
inline bool WriteRigText(int n, const std::string& file) {
    FILE* out = fopen(file.c_str(), "wb");
    if (!out) return false;
    char real[64];
    auto reals = [&](std::initializer_list<float> values) {
        std::string line;
        for (float value : values) {
            const auto result = std::to_chars(real, real + sizeof real, double(value), std::chars_format::fixed, 4);
            if (!line.empty()) line += ' ';
            line.append(real, result.ptr);
        }
        return line;
    };
    fprintf(out, "version 1\r\n\r\nnumBones %d", kBones);
    for (int b = 0; b < kBones; ++b)
        fprintf(out, "\r\nbone %d {\r\n\tname \"bone%d\"\r\n\tparent \"%s%s\"\r\n\tinvBaseMatrix %s %s %s %s\r\n}\r\n",
                b, b, b ? "bone" : "", b ? std::to_string(b - 1).c_str() : "", reals({1, 0, 0, 0}).c_str(),
                reals({0, 1, 0, 0}).c_str(), reals({0, 0, 1, 0}).c_str(),
                reals({-float(b) * n / kBones, 0, 0, 1}).c_str());
    fprintf(out, "\r\nnumMeshes 1\r\nmesh 0 {\r\n\tname \"grid\"\r\n\r\n\tvertices {");
    for (int y = 0; y <= n; ++y)
        for (int x = 0; x <= n; ++x)
            fprintf(out, "\r\n\t\t%s", reals({float(x), float(y), float((x * 7 + y * 3) % 11) * 0.1f}).c_str());
    fprintf(out, "\r\n\t}\r\n\r\n\tnormals {");
    for (int y = 0; y <= n; ++y)
        for (int x = 0; x <= n; ++x) {
            const Normal normal = NormalAt(x, y);
            fprintf(out, "\r\n\t\t%s", reals({normal.x, normal.y, normal.z}).c_str());
        }
    fprintf(out, "\r\n\t}\r\n\r\n\ttextureCoordinates {\r\n\t\tset 0 {");
    for (int y = 0; y <= n; ++y)
        for (int x = 0; x <= n; ++x) fprintf(out, "\r\n\t\t\t%s", reals({float(x) / n, float(y) / n}).c_str());
    fprintf(out,
            "\r\n\t\t}\r\n\t}\r\n\r\n\tmaterialNames {\r\n\t\t \"lambert1\"\r\n\t}\r\n\r\n\tpolygonVertexCounts {");
    for (int i = 0; i < n * n; ++i) fprintf(out, "\r\n\t\t4");
    for (const char* list : {"polygonVertexIndices", "polygonNormalIndices", "polygonTexCoordIndices"}) {
        const bool sets = list[7] == 'T';
        fprintf(out, "\r\n\t}\r\n\r\n\t%s {%s", list, sets ? "\r\n\t\tset 0 {" : "");
        for (int y = 0; y < n; ++y)
            for (int x = 0; x < n; ++x)
                fprintf(out, "\r\n%s%d %d %d %d", sets ? "\t\t\t" : "\t\t", y * (n + 1) + x, y * (n + 1) + x + 1,
                        (y + 1) * (n + 1) + x + 1, (y + 1) * (n + 1) + x);
        if (sets) fprintf(out, "\r\n\t\t}");
    }
    fprintf(out, "\r\n\t}\r\n\r\n\tpolygonMaterialIndices {");
    for (int i = 0; i < n * n; ++i) fprintf(out, "\r\n\t\t0");
    fprintf(out, "\r\n\t}\r\n\r\n\tvertexWeightCounts {");
    for (int i = 0; i < (n + 1) * (n + 1); ++i) fprintf(out, "\r\n\t\t4");
    fprintf(out, "\r\n\t}\r\n\r\n\tweights {");
    for (int i = 0; i < (n + 1) * (n + 1); ++i) {
        const int nearest = std::min(kBones - 4, (i % (n + 1)) * kBones / (n + 1));
        for (int k = 0; k < 4; ++k) fprintf(out, "\r\n\t\t%d 0.2500", nearest + k);
    }
    fprintf(out, "\r\n\t}\r\n}\r\n");
    return CloseOnDisk(out);
}

}  // namespace bench
