#pragma once
// Small scenes that the export goldens are written from.

#include <maya/MDoubleArray.h>
#include <maya/MFloatArray.h>
#include <maya/MFloatPointArray.h>
#include <maya/MFloatVectorArray.h>
#include <maya/MFnMesh.h>
#include <maya/MIntArray.h>
#include <maya/MVectorArray.h>

#include <string>
#include <vector>

#include "tessahost/StandIn.h"

namespace plugin_test {

inline MObject Triangle(const char* name, MFloatPoint a, MFloatPoint b, MFloatPoint c,
                        const MObject& parent = MObject::kNullObj) {
    MFloatPointArray points;
    points.append(a);
    points.append(b);
    points.append(c);
    MIntArray counts, connects;
    counts.append(3);
    for (int i : {0, 1, 2}) connects.append(i);
    return standin::makeMesh(name, points, counts, connects, parent);
}

inline MObjectArray Objects(std::initializer_list<MObject> objects) {
    MObjectArray array;
    for (const MObject& object : objects) array.append(object);
    return array;
}

// Gives a UV set (made when missing) count coordinates and maps the listed faces with
// ids 0..3 (faces are quads).
inline void MapQuads(const MObject& shape, const char* set, int count, std::initializer_list<int> faces) {
    MFnMesh mesh(shape);
    MString name(set);
    MStringArray names;
    mesh.getUVSetNames(names);
    bool exists = false;
    for (unsigned i = 0; i < names.length(); ++i) exists = exists || names[i] == name;
    if (!exists) mesh.createUVSet(name);
    MFloatArray u, v;
    for (int i = 0; i < count; ++i) {
        u.append(float(i) / float(count));
        v.append(1.0f - float(i) / float(count));
    }
    mesh.setUVs(u, v, &name);
    MIntArray counts, ids;
    for (int f = 0; f < mesh.numPolygons(); ++f) {
        const bool mapped = std::find(faces.begin(), faces.end(), f) != faces.end();
        counts.append(mapped ? 4 : 0);
        if (mapped)
            for (int k = 0; k < 4; ++k) ids.append((f + k) % count);
    }
    mesh.assignUVs(counts, ids, &name);
}

// Vertex-major weights of numVertices vertices over the given per-influence pattern.
inline MDoubleArray Weights(int numVertices, const std::vector<std::vector<double>>& perVertex) {
    MDoubleArray weights;
    for (int v = 0; v < numVertices; ++v)
        for (double w : perVertex[size_t(v) % perVertex.size()]) weights.append(w);
    return weights;
}

// Sets every corner's normal to what it is, which lists the mesh's normals once each in
// the order corners first use them: the form an imported mesh has, so that the rig comes
// back byte for byte.
inline void CanonicalNormals(const MObject& shape) {
    MFnMesh mesh(shape);
    MFloatVectorArray normals;
    mesh.getNormals(normals);
    MVectorArray perCorner;
    MIntArray faces, vertices;
    for (int f = 0; f < mesh.numPolygons(); ++f) {
        MIntArray corners, normalIds;
        mesh.getPolygonVertices(f, corners);
        mesh.getFaceNormalIds(f, normalIds);
        for (unsigned int k = 0; k < corners.length(); ++k) {
            const MFloatVector& n = normals[unsigned(normalIds[k])];
            perCorner.append(MVector(n.x, n.y, n.z));
            faces.append(f);
            vertices.append(corners[k]);
        }
    }
    mesh.setFaceVertexNormals(perCorner, faces, vertices);
}

// The scenes, by golden name.
inline void BuildScene(const std::string& name) {
    using standin::translation;
    standin::setUpAxis(name == "yup");  // the scene default is Y up
    if (name == "empty") return;
    if (name == "bones") {
        MObject group = standin::makeTransform("group", MObject::kNullObj, translation(1, 0, 0));
        MObject root = standin::makeJoint("root", group, translation(0, 2, 0));
        standin::makeJoint("child", root, translation(0, 1, 0.5));
        return;
    }
    if (name == "skinned") {
        MObject hips = standin::makeJoint("hips", MObject::kNullObj, translation(0, 1, 0));
        MObject spine = standin::makeJoint("spine", hips, translation(0, 1, 0));
        MObject shape = standin::makeCube("body", 1.0);
        CanonicalNormals(shape);
        MapQuads(shape, "map1", 4, {0, 1, 2, 3, 4, 5});
        MapQuads(shape, "detail", 6, {0, 2, 4});
        MIntArray front, back;
        for (int f : {0, 1}) front.append(f);
        for (int f : {2, 3}) back.append(f);
        standin::assignFaces(shape, 0, standin::makeShadingGroup("skinSG", "skin"), front);
        standin::assignFaces(shape, 0, standin::makeShadingGroup("clothSG", "cloth", "phong"), back);
        standin::bindSkin(shape, Objects({hips, spine}), Weights(8, {{1.0, 0.0}, {0.25, 0.75}, {0.0, 1.0}}));
        return;
    }
    if (name == "unskinned") {
        CanonicalNormals(standin::makeCube("crate", 0.5));  // its UV set map1 stays unmapped
        return;
    }
    if (name == "yup") {
        MObject joint = standin::makeJoint("joint", MObject::kNullObj, translation(1, 2, 3));
        MObject shape = Triangle("tri", MFloatPoint(1, 2, 3), MFloatPoint(0, 0, 0), MFloatPoint(1, 0, 0));
        CanonicalNormals(shape);
        standin::bindSkin(shape, Objects({joint}));
        return;
    }
    if (name == "influence_order") {
        standin::makeJoint("X");
        MObject a = standin::makeJoint("A", MObject::kNullObj, translation(1, 0, 0));
        MObject b = standin::makeJoint("B", MObject::kNullObj, translation(2, 0, 0));
        MObject c = standin::makeJoint("C", MObject::kNullObj, translation(3, 0, 0));
        MObject shape = Triangle("tri", MFloatPoint(0, 0, 0), MFloatPoint(1, 0, 0), MFloatPoint(0, 1, 0));
        CanonicalNormals(shape);
        standin::bindSkin(shape, Objects({b, c, a}), Weights(3, {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}));
        return;
    }
    if (name == "non_joint_influence") {
        MObject joint = standin::makeJoint("joint");
        MObject locator = standin::makeTransform("locator", MObject::kNullObj, translation(0, 0, 1));
        MObject shape = Triangle("tri", MFloatPoint(0, 0, 0), MFloatPoint(1, 0, 0), MFloatPoint(0, 1, 0));
        CanonicalNormals(shape);
        standin::bindSkin(shape, Objects({joint, locator}), Weights(3, {{0.5, 0.5}}));
        return;
    }
}

}  // namespace plugin_test
