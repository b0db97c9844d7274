#include "SceneReport.h"

#include "SceneQueries.h"

#include <maya/MDagPath.h>
#include <maya/MDagPathArray.h>
#include <maya/MFnDagNode.h>
#include <maya/MFnMesh.h>
#include <maya/MFnSet.h>
#include <maya/MFnSkinCluster.h>
#include <maya/MIntArray.h>
#include <maya/MItDependencyGraph.h>
#include <maya/MItDependencyNodes.h>
#include <maya/MObjectArray.h>
#include <maya/MPlug.h>
#include <maya/MPlugArray.h>

#include <cstdio>
#include <functional>
#include <unordered_map>

#include <nlohmann/json.hpp>

namespace tessaline {

namespace {

// The first DAG parent; null at the scene root (whose parent is the world).
MObject ParentOf(const MObject& node) {
    MFnDagNode dag(node);
    if (dag.parentCount() == 0) return MObject::kNullObj;
    MObject parent = dag.parent(0);
    return MFnDagNode(parent).parentCount() == 0 ? MObject::kNullObj : parent;
}

MeshReport ReportMesh(const MObject& shape) {
    MeshReport report;
    MFnMesh mesh(shape);
    MDagPath path;
    mesh.getPath(path);
    report.name = NameOf(path.transform());
    report.vertices = mesh.numVertices();
    report.polygons = mesh.numPolygons();
    report.uvSets = mesh.numUVSets();
    MObjectArray groups;
    MIntArray perFace;
    mesh.getConnectedShaders(path.instanceNumber(), groups, perFace);
    for (unsigned int g = 0; g < groups.length(); ++g) {
        MPlugArray sources;
        MFnSet(groups[g]).findPlug("surfaceShader").connectedTo(sources, true, false);
        report.materials.push_back(sources.length() ? NameOf(sources[0].node()) : std::string());
    }
    const MObject cluster = SkinClusterOf(shape);
    if (cluster.isNull()) return report;
    MFnSkinCluster skin(cluster);
    MDagPathArray influences;
    const unsigned int count = skin.influenceObjects(influences);
    for (unsigned int i = 0; i < count; ++i) report.influences.push_back(NameOf(influences[i].node()));
    ForEachWeight(cluster, path, [&](int, unsigned int, double) { ++report.weights; });
    return report;
}

std::string Joined(const std::vector<std::string>& items) {
    std::string out;
    for (size_t i = 0; i < items.size(); ++i) out += (i ? ", " : "") + items[i];
    return out.empty() ? "-" : out;
}

}  // namespace

SceneReport ReportScene() {
    SceneReport report;
    std::vector<MObject> joints;
    for (MItDependencyNodes it(MFn::kJoint); !it.isDone(); it.next()) joints.push_back(it.item());
    // The joints of each name, so that a parent is looked for among its namesakes only.
    std::unordered_map<std::string, std::vector<size_t>> jointsNamed;
    for (size_t j = 0; j < joints.size(); ++j) jointsNamed[NameOf(joints[j])].push_back(j);
    for (const MObject& joint : joints) {
        const MObject parent = ParentOf(joint);
        JointReport entry{NameOf(joint), parent.isNull() ? std::string() : NameOf(parent), -1};
        // The parent by identity: two joints may print the same name.
        if (!parent.isNull()) {
            const auto named = jointsNamed.find(entry.parent);
            if (named != jointsNamed.end())
                for (size_t j : named->second)
                    if (joints[j] == parent) entry.parentJoint = int(j);
        }
        report.joints.push_back(entry);
    }
    for (MItDependencyNodes meshes(MFn::kMesh); !meshes.isDone(); meshes.next()) {
        MFnDagNode dag(meshes.item());
        if (!dag.isIntermediateObject()) report.meshes.push_back(ReportMesh(meshes.item()));
    }
    return report;
}

std::string FormatText(const SceneReport& report, const std::vector<ConsoleMessage>& messages) {
    std::string out = "joints: " + std::to_string(report.joints.size()) + "\n";
    // The tree: roots are joints whose parent is no joint. Children are found by index,
    // and each joint is printed once, so no naming can make the walk go round.
    std::vector<std::vector<size_t>> children(report.joints.size());
    for (size_t j = 0; j < report.joints.size(); ++j) {
        const int parent = report.joints[j].parentJoint;
        if (parent >= 0 && size_t(parent) < report.joints.size()) children[size_t(parent)].push_back(j);
    }
    std::vector<bool> printed(report.joints.size(), false);
    std::vector<std::pair<size_t, int>> pending;  // joint, depth
    for (size_t root = report.joints.size(); root-- > 0;) {
        const JointReport& joint = report.joints[root];
        if (joint.parentJoint < 0 || size_t(joint.parentJoint) >= report.joints.size()) pending.push_back({root, 0});
    }
    while (!pending.empty()) {
        const auto [index, depth] = pending.back();
        pending.pop_back();
        if (printed[index]) continue;
        printed[index] = true;
        const JointReport& joint = report.joints[index];
        out += std::string(size_t(2 * depth), ' ') + "  " + joint.name;
        if (depth == 0 && !joint.parent.empty()) out += "  (under " + joint.parent + ")";
        out += "\n";
        for (size_t c = children[index].size(); c-- > 0;) pending.push_back({children[index][c], depth + 1});
    }
    out += "meshes: " + std::to_string(report.meshes.size()) + "\n";
    for (const MeshReport& mesh : report.meshes) {
        out += "  " + mesh.name + ": " + std::to_string(mesh.vertices) + " vertices, " + std::to_string(mesh.polygons) +
               " polygons, " + std::to_string(mesh.uvSets) + " UV sets, " + std::to_string(mesh.materials.size()) +
               " materials (" + Joined(mesh.materials) + ")\n";
        out += "    influences: " + Joined(mesh.influences) + "; " + std::to_string(mesh.weights) + " weights\n";
    }
    out += "messages: " + std::to_string(messages.size()) + "\n";
    for (const ConsoleMessage& message : messages)
        out += std::string("  ") + KindName(message.kind) + ": " + message.text + "\n";
    return out;
}

namespace {

// Length of the valid UTF-8 sequence at text[at], 0 when the byte there starts none
// (stray continuation bytes, overlong forms, surrogates, values above U+10FFFF).
size_t Utf8SequenceLength(const std::string& text, size_t at) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    if (lead < 0x80) return 1;
    size_t length;
    unsigned char low = 0x80, high = 0xbf;  // the allowed range of the second byte
    if (lead >= 0xc2 && lead <= 0xdf)
        length = 2;
    else if (lead >= 0xe0 && lead <= 0xef) {
        length = 3;
        if (lead == 0xe0) low = 0xa0;
        if (lead == 0xed) high = 0x9f;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        length = 4;
        if (lead == 0xf0) low = 0x90;
        if (lead == 0xf4) high = 0x8f;
    } else
        return 0;
    if (at + length > text.size()) return 0;
    if (byte(at + 1) < low || byte(at + 1) > high) return 0;
    for (size_t i = 2; i < length; ++i)
        if (byte(at + i) < 0x80 || byte(at + i) > 0xbf) return 0;
    return length;
}

// A JSON string: quoted and escaped by the JSON library, after invalid UTF-8 is escaped.
std::string Json(const std::string& text) { return nlohmann::json(EscapeInvalidUtf8(text)).dump(); }

std::string JsonList(const std::vector<std::string>& items) {
    std::string out = "[";
    for (size_t i = 0; i < items.size(); ++i) out += (i ? ", " : "") + Json(items[i]);
    return out + "]";
}

std::string JsonMessages(const std::vector<ConsoleMessage>& messages) {
    std::string out = "  \"messages\": [";
    for (size_t i = 0; i < messages.size(); ++i)
        out += std::string(i ? "," : "") + "\n    {\"kind\": " + Json(KindName(messages[i].kind)) +
               ", \"text\": " + Json(messages[i].text) + "}";
    out += messages.empty() ? "]\n}\n" : "\n  ]\n}\n";
    return out;
}

}  // namespace

std::string EscapeInvalidUtf8(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t at = 0; at < text.size();) {
        const size_t length = Utf8SequenceLength(text, at);
        if (length) {
            out.append(text, at, length);
            at += length;
        } else {
            char escaped[8];
            snprintf(escaped, sizeof escaped, "\\x%02x", static_cast<unsigned char>(text[at]));
            out += escaped;
            ++at;
        }
    }
    return out;
}

std::string FormatJson(const SceneReport& report, const std::vector<ConsoleMessage>& messages) {
    std::string out = "{\n  \"joints\": [";
    for (size_t i = 0; i < report.joints.size(); ++i)
        out += std::string(i ? "," : "") + "\n    {\"name\": " + Json(report.joints[i].name) +
               ", \"parent\": " + Json(report.joints[i].parent) + "}";
    out += report.joints.empty() ? "],\n" : "\n  ],\n";
    out += "  \"meshes\": [";
    for (size_t i = 0; i < report.meshes.size(); ++i) {
        const MeshReport& mesh = report.meshes[i];
        out += std::string(i ? "," : "") + "\n    {\"name\": " + Json(mesh.name) +
               ", \"vertices\": " + std::to_string(mesh.vertices) + ", \"polygons\": " + std::to_string(mesh.polygons) +
               ", \"uvSets\": " + std::to_string(mesh.uvSets) + ", \"materials\": " + JsonList(mesh.materials) +
               ", \"influences\": " + JsonList(mesh.influences) + ", \"weights\": " + std::to_string(mesh.weights) +
               "}";
    }
    out += report.meshes.empty() ? "],\n" : "\n  ],\n";
    return out + JsonMessages(messages);
}

std::string FormatJsonError(const std::string& error, const std::vector<ConsoleMessage>& messages) {
    return "{\n  \"error\": " + Json(error) + ",\n" + JsonMessages(messages);
}

}  // namespace tessaline
