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

namespace tessaline {

namespace {

std::string ParentName(const MObject& node) {
    MFnDagNode dag(node);
    if (dag.parentCount() == 0) return "";
    MObject parent = dag.parent(0);
    return MFnDagNode(parent).parentCount() == 0 ? "" : NameOf(parent);
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

std::string Json(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c < 0x20) {
            char escaped[8];
            snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += char(c);
        }
    }
    return out + "\"";
}

std::string JsonList(const std::vector<std::string>& items) {
    std::string out = "[";
    for (size_t i = 0; i < items.size(); ++i) out += (i ? ", " : "") + Json(items[i]);
    return out + "]";
}

std::string Joined(const std::vector<std::string>& items) {
    std::string out;
    for (size_t i = 0; i < items.size(); ++i) out += (i ? ", " : "") + items[i];
    return out.empty() ? "-" : out;
}

}  // namespace

SceneReport ReportScene() {
    SceneReport report;
    for (MItDependencyNodes joints(MFn::kJoint); !joints.isDone(); joints.next())
        report.joints.push_back({NameOf(joints.item()), ParentName(joints.item())});
    for (MItDependencyNodes meshes(MFn::kMesh); !meshes.isDone(); meshes.next()) {
        MFnDagNode dag(meshes.item());
        if (!dag.isIntermediateObject()) report.meshes.push_back(ReportMesh(meshes.item()));
    }
    return report;
}

std::string FormatText(const SceneReport& report, const std::vector<ConsoleMessage>& messages) {
    std::string out = "joints: " + std::to_string(report.joints.size()) + "\n";
    // The tree: roots are joints whose parent is no joint.
    std::function<void(const std::string&, int)> children = [&](const std::string& parent, int depth) {
        for (const JointReport& joint : report.joints)
            if (joint.parent == parent) {
                out += std::string(size_t(2 * depth), ' ') + "  " + joint.name + "\n";
                children(joint.name, depth + 1);
            }
    };
    for (const JointReport& joint : report.joints) {
        bool parentIsJoint = false;
        for (const JointReport& other : report.joints) parentIsJoint = parentIsJoint || other.name == joint.parent;
        if (parentIsJoint) continue;
        out += "  " + joint.name + (joint.parent.empty() ? "" : "  (under " + joint.parent + ")") + "\n";
        children(joint.name, 1);
    }
    out += "meshes: " + std::to_string(report.meshes.size()) + "\n";
    for (const MeshReport& mesh : report.meshes) {
        out += "  " + mesh.name + ": " + std::to_string(mesh.vertices) + " vertices, " +
               std::to_string(mesh.polygons) + " polygons, " + std::to_string(mesh.uvSets) + " UV sets, " +
               std::to_string(mesh.materials.size()) + " materials (" + Joined(mesh.materials) + ")\n";
        out += "    influences: " + Joined(mesh.influences) + "; " + std::to_string(mesh.weights) + " weights\n";
    }
    out += "messages: " + std::to_string(messages.size()) + "\n";
    for (const ConsoleMessage& message : messages) out += std::string("  ") + KindName(message.kind) + ": " + message.text + "\n";
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
               ", \"vertices\": " + std::to_string(mesh.vertices) + ", \"polygons\": " +
               std::to_string(mesh.polygons) + ", \"uvSets\": " + std::to_string(mesh.uvSets) +
               ", \"materials\": " + JsonList(mesh.materials) + ", \"influences\": " + JsonList(mesh.influences) +
               ", \"weights\": " + std::to_string(mesh.weights) + "}";
    }
    out += report.meshes.empty() ? "],\n" : "\n  ],\n";
    out += "  \"messages\": [";
    for (size_t i = 0; i < messages.size(); ++i)
        out += std::string(i ? "," : "") + "\n    {\"kind\": " + Json(KindName(messages[i].kind)) +
               ", \"text\": " + Json(messages[i].text) + "}";
    out += messages.empty() ? "]\n}\n" : "\n  ]\n}\n";
    return out;
}

}  // namespace tessaline
