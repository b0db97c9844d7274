#include "GltfNodes.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <nlohmann/json.hpp>

namespace tessaline {

namespace {

using Json = nlohmann::json;

uint32_t Read32(const std::string& bytes, size_t at) {
    uint32_t value;
    std::memcpy(&value, bytes.data() + at, 4);
    return value;
}

void Write32(std::string& bytes, size_t at, uint32_t value) { std::memcpy(bytes.data() + at, &value, 4); }

// glTF's matrix is column-major: element [c * 4 + r] is row r of column c.
bool Decompose(const Json& matrix, Json& node, std::string& error) {
    if (!matrix.is_array() || matrix.size() != 16) return error = "a node matrix is not 16 numbers", false;
    double m[4][4];
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r) {
            const Json& value = matrix[size_t(c) * 4 + size_t(r)];
            if (!value.is_number()) return error = "a node matrix holds something other than a number", false;
            m[r][c] = value.get<double>();
        }
    double scale[3];
    for (int c = 0; c < 3; ++c) scale[c] = std::sqrt(m[0][c] * m[0][c] + m[1][c] * m[1][c] + m[2][c] * m[2][c]);
    const double det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                       m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                       m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
    if (!(std::fabs(det) > 0) || !std::isfinite(det)) return error = "a node matrix cannot be inverted", false;
    // A mirror is a negative scale on every axis, leaving a proper rotation.
    if (det < 0)
        for (double& s : scale) s = -s;
    double r[3][3];
    for (int i = 0; i < 3; ++i)
        for (int c = 0; c < 3; ++c) r[i][c] = m[i][c] / scale[c];
    // The quaternion of a rotation matrix, from its largest diagonal term for accuracy.
    double q[4];  // x, y, z, w
    const double trace = r[0][0] + r[1][1] + r[2][2];
    if (trace > 0) {
        const double s = std::sqrt(trace + 1) * 2;
        q[3] = s / 4, q[0] = (r[2][1] - r[1][2]) / s, q[1] = (r[0][2] - r[2][0]) / s, q[2] = (r[1][0] - r[0][1]) / s;
    } else if (r[0][0] > r[1][1] && r[0][0] > r[2][2]) {
        const double s = std::sqrt(1 + r[0][0] - r[1][1] - r[2][2]) * 2;
        q[3] = (r[2][1] - r[1][2]) / s, q[0] = s / 4, q[1] = (r[0][1] + r[1][0]) / s, q[2] = (r[0][2] + r[2][0]) / s;
    } else if (r[1][1] > r[2][2]) {
        const double s = std::sqrt(1 + r[1][1] - r[0][0] - r[2][2]) * 2;
        q[3] = (r[0][2] - r[2][0]) / s, q[0] = (r[0][1] + r[1][0]) / s, q[1] = s / 4, q[2] = (r[1][2] + r[2][1]) / s;
    } else {
        const double s = std::sqrt(1 + r[2][2] - r[0][0] - r[1][1]) * 2;
        q[3] = (r[1][0] - r[0][1]) / s, q[0] = (r[0][2] + r[2][0]) / s, q[1] = (r[1][2] + r[2][1]) / s, q[2] = s / 4;
    }
    const double length = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
    for (double& v : q) v /= length;
    node.erase("matrix");
    if (m[0][3] != 0 || m[1][3] != 0 || m[2][3] != 0) node["translation"] = {m[0][3], m[1][3], m[2][3]};
    if (q[0] != 0 || q[1] != 0 || q[2] != 0) node["rotation"] = {q[0], q[1], q[2], q[3]};
    if (scale[0] != 1 || scale[1] != 1 || scale[2] != 1) node["scale"] = {scale[0], scale[1], scale[2]};
    return true;
}

bool RewriteNodes(Json& document, std::string& error) {
    if (!document.is_object()) return error = "the JSON is not an object", false;
    auto nodes = document.find("nodes");
    if (nodes == document.end()) return true;
    for (Json& node : *nodes) {
        auto matrix = node.find("matrix");
        if (matrix != node.end() && !Decompose(Json(*matrix), node, error)) return false;
    }
    return true;
}

}  // namespace

bool WriteNodesAsTrs(std::string& bytes, bool binary, std::string& error) {
    if (!binary) {
        Json document = Json::parse(bytes, nullptr, false);
        if (document.is_discarded()) return error = "the glTF file is not JSON", false;
        if (!RewriteNodes(document, error)) return false;
        bytes = document.dump();
        return true;
    }
    // Header: "glTF", version, length; then the JSON chunk (length, "JSON", text padded
    // with spaces to 4 bytes) and any further chunks as they are.
    if (bytes.size() < 20 || bytes.compare(0, 4, "glTF") != 0 || Read32(bytes, 8) != bytes.size() ||
        bytes.compare(16, 4, "JSON") != 0)
        return error = "the file is not a binary glTF file", false;
    const size_t jsonLength = Read32(bytes, 12);
    if (jsonLength > bytes.size() - 20) return error = "the JSON chunk runs past the end of the file", false;
    Json document = Json::parse(bytes.substr(20, jsonLength), nullptr, false);
    if (document.is_discarded()) return error = "the JSON chunk is not JSON", false;
    if (!RewriteNodes(document, error)) return false;
    std::string text = document.dump();
    while (text.size() % 4) text += ' ';
    std::string out = bytes.substr(0, 20) + text + bytes.substr(20 + jsonLength);
    Write32(out, 12, uint32_t(text.size()));
    Write32(out, 8, uint32_t(out.size()));
    bytes = std::move(out);
    return true;
}

}  // namespace tessaline
