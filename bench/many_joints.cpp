// Converts glTF skins of many joints to rigs with `tessaline convert`, as whole processes:
// a grid of vertices, each weighted on 4 joints spread over the whole skeleton, for a few
// sizes of skin. Binding a skin once cost time in the product of vertices and joints.
//
// Usage: bench_many_joints [directory]   (where the glTF files are written; /tmp by default)

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "ProcessTiming.h"

namespace {

std::string Base64(const std::string& bytes) {
    static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        uint32_t n = uint32_t(uint8_t(bytes[i])) << 16;
        if (i + 1 < bytes.size()) n |= uint32_t(uint8_t(bytes[i + 1])) << 8;
        if (i + 2 < bytes.size()) n |= uint32_t(uint8_t(bytes[i + 2]));
        out += digits[(n >> 18) & 63];
        out += digits[(n >> 12) & 63];
        out += i + 1 < bytes.size() ? digits[(n >> 6) & 63] : '=';
        out += i + 2 < bytes.size() ? digits[n & 63] : '=';
    }
    return out;
}

template <typename T>
void Append(std::string& buffer, const std::vector<T>& values) {
    buffer.append(reinterpret_cast<const char*>(values.data()), values.size() * sizeof(T));
    while (buffer.size() % 4) buffer += '\0';
}

// A side x side grid of triangles skinned to `joints` joints in a row.
std::string SkinnedGrid(int side, int joints) {
    const int vertices = side * side;
    std::vector<float> positions, weights, binds;
    std::vector<uint32_t> indices;
    std::vector<uint16_t> jointIds;
    for (int v = 0; v < vertices; ++v) {
        positions.insert(positions.end(), {float(v % side) * 0.1f, float(v / side) * 0.1f, 0.0f});
        for (int k = 0; k < 4; ++k) jointIds.push_back(uint16_t((v * 7 + k * (joints / 4 + 1)) % joints));
        weights.insert(weights.end(), {0.4f, 0.3f, 0.2f, 0.1f});
    }
    for (int y = 0; y + 1 < side; ++y)
        for (int x = 0; x + 1 < side; ++x) {
            const uint32_t a = uint32_t(y * side + x), b = a + 1, c = a + uint32_t(side), d = c + 1;
            indices.insert(indices.end(), {a, b, c, b, d, c});
        }
    for (int j = 0; j < joints; ++j)
        binds.insert(binds.end(), {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, -0.01f * j, 0, 0, 1});
    std::string buffer;
    std::vector<size_t> offsets;
    offsets.push_back(buffer.size()), Append(buffer, positions);
    offsets.push_back(buffer.size()), Append(buffer, indices);
    offsets.push_back(buffer.size()), Append(buffer, jointIds);
    offsets.push_back(buffer.size()), Append(buffer, weights);
    offsets.push_back(buffer.size()), Append(buffer, binds);
    offsets.push_back(buffer.size());
    const char* kinds[] = {"5126,\"count\":%d,\"type\":\"VEC3\",\"min\":[0,0,0],\"max\":[%d,%d,0]",
                           "5125,\"count\":%d,\"type\":\"SCALAR\"", "5123,\"count\":%d,\"type\":\"VEC4\"",
                           "5126,\"count\":%d,\"type\":\"VEC4\"", "5126,\"count\":%d,\"type\":\"MAT4\""};
    const int counts[] = {vertices, int(indices.size()), vertices, vertices, joints};
    std::string views, accessors;
    for (int i = 0; i < 5; ++i) {
        char text[256];
        snprintf(text, sizeof text, "%s{\"buffer\":0,\"byteOffset\":%zu,\"byteLength\":%zu}", i ? "," : "", offsets[i],
                 offsets[i + 1] - offsets[i]);
        views += text;
        char kind[128];
        snprintf(kind, sizeof kind, kinds[i], counts[i], side, side);
        snprintf(text, sizeof text, "%s{\"bufferView\":%d,\"componentType\":%s}", i ? "," : "", i, kind);
        accessors += text;
    }
    std::string nodes = "{\"name\":\"root\",\"children\":[", jointList;
    for (int j = 0; j < joints; ++j) nodes += (j ? "," : "") + std::to_string(j + 2);
    nodes += "]},{\"name\":\"grid\",\"mesh\":0,\"skin\":0}";
    for (int j = 0; j < joints; ++j) {
        nodes += ",{\"name\":\"j" + std::to_string(j) + "\",\"translation\":[" + std::to_string(0.01 * j) + ",0,0]}";
        jointList += (j ? "," : "") + std::to_string(j + 2);
    }
    return "{\"asset\":{\"version\":\"2.0\"},\"scene\":0,\"scenes\":[{\"nodes\":[0,1]}],\"nodes\":[" + nodes +
           "],\"meshes\":[{\"primitives\":[{\"attributes\":{\"POSITION\":0,\"JOINTS_0\":2,\"WEIGHTS_0\":3},"
           "\"indices\":1}]}],\"skins\":[{\"joints\":[" +
           jointList + "],\"inverseBindMatrices\":4}],\"accessors\":[" + accessors + "],\"bufferViews\":[" + views +
           "],\"buffers\":[{\"byteLength\":" + std::to_string(buffer.size()) +
           ",\"uri\":\"data:application/octet-stream;base64," + Base64(buffer) + "\"}]}";
}

}  // namespace

int main(int argc, char** argv) {
    const std::string directory = argc > 1 ? argv[1] : "/tmp";
    std::string here = argv[0];
    here = here.substr(0, here.rfind('/') + 1);
    const std::string tessaline = here + "../bin/tessaline";
    printf("%-28s %10s %10s %10s %8s\n", "skin", "seconds", "cpu", "peak MiB", "status");
    const struct { int side, joints; } sizes[] = {{55, 1000}, {100, 1000}, {55, 4000}};
    for (const auto& size : sizes) {
        const std::string source = directory + "/many_joints.gltf", rig = directory + "/many_joints.tsl";
        std::ofstream(source) << SkinnedGrid(size.side, size.joints);
        const bench::ProcessRun run = bench::TimeProcess({tessaline, "convert", source, rig});
        char label[64];
        snprintf(label, sizeof label, "%d vertices x %d joints", size.side * size.side, size.joints);
        if (!run.ran) {
            printf("%-28s tessaline not found at %s\n", label, tessaline.c_str());
            return 1;
        }
        printf("%-28s %10.3f %10.3f %10ld %8d\n", label, run.seconds, run.cpuSeconds, run.peakMegabytes,
               run.exitStatus);
        std::remove(source.c_str());
        std::remove(rig.c_str());
    }
    return 0;
}
