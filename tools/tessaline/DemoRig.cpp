#include "DemoRig.h"

#include <maya/MDoubleArray.h>
#include <maya/MFloatArray.h>
#include <maya/MFloatPointArray.h>
#include <maya/MFnMesh.h>
#include <maya/MIntArray.h>

#include <cmath>
#include <initializer_list>

#include "tessahost/StandIn.h"

namespace tessaline {

namespace {
constexpr int kRings = 4;  // rings of vertices along the column, one per joint height
constexpr int kSides = 6;  // vertices around each ring
constexpr double kHeight = 3.0;

// A six-sided column standing on the origin, its rings at heights 0, 1, 2, 3.
MObject BuildColumn() {
    MFloatPointArray points;
    for (int ring = 0; ring < kRings; ++ring)
        for (int side = 0; side < kSides; ++side) {
            const double angle = 2.0 * M_PI * side / kSides;
            points.append(MFloatPoint(float(0.5 * std::cos(angle)), float(ring * kHeight / (kRings - 1)),
                                      float(0.5 * std::sin(angle))));
        }
    MIntArray counts, connects;
    for (int ring = 0; ring + 1 < kRings; ++ring)
        for (int side = 0; side < kSides; ++side) {
            const int next = (side + 1) % kSides;
            counts.append(4);
            for (int v :
                 {ring * kSides + side, ring * kSides + next, (ring + 1) * kSides + next, (ring + 1) * kSides + side})
                connects.append(v);
        }
    return standin::makeMesh("column", points, counts, connects, standin::nodeByName("character"));
}

// UVs: "map1" unwraps the column around its axis; "lightmap" gives every face one cell.
void GiveUVs(const MObject& shape) {
    MFnMesh mesh(shape);
    const MString map1("map1");
    MFloatArray u, v;
    for (int ring = 0; ring < kRings; ++ring)
        for (int side = 0; side < kSides; ++side) {
            u.append(float(side) / kSides);
            v.append(float(ring) / (kRings - 1));
        }
    mesh.setUVs(u, v, &map1);
    MIntArray counts, ids;
    for (int face = 0; face < mesh.numPolygons(); ++face) {
        MIntArray vertices;
        mesh.getPolygonVertices(face, vertices);
        counts.append(int(vertices.length()));
        for (unsigned int k = 0; k < vertices.length(); ++k) ids.append(vertices[k]);
    }
    mesh.assignUVs(counts, ids, &map1);

    MString lightmap("lightmap");
    mesh.createUVSet(lightmap);
    MFloatArray cellU, cellV;
    MIntArray cellIds;
    for (int face = 0; face < mesh.numPolygons(); ++face) {
        const int column = face % kSides, ring = face / kSides;
        const float x = float(column) / kSides, y = float(ring) / (kRings - 1);
        const float w = 1.0f / kSides, h = 1.0f / (kRings - 1);
        const float us[4] = {x, x + w, x + w, x}, vs[4] = {y, y, y + h, y + h};
        for (int k = 0; k < 4; ++k) {
            cellIds.append(int(cellU.length()));
            cellU.append(us[k]);
            cellV.append(vs[k]);
        }
    }
    mesh.setUVs(cellU, cellV, &lightmap);
    MIntArray fours;
    for (int face = 0; face < mesh.numPolygons(); ++face) fours.append(4);
    mesh.assignUVs(fours, cellIds, &lightmap);
}
}  // namespace

void BuildDemoRig() {
    MObject group = standin::makeTransform("character");
    MObject hips = standin::makeJoint("hips", group);
    MObject spine = standin::makeJoint("spine", hips, standin::translation(0, 1.5, 0));
    MObject head = standin::makeJoint("head", spine, standin::translation(0, 1.5, 0));
    MObject shape = BuildColumn();
    GiveUVs(shape);

    // The lower half is skin, the upper half cloth.
    MIntArray lower, upper;
    for (int face = 0; face < (kRings - 1) * kSides; ++face) (face < kSides * 3 / 2 ? lower : upper).append(face);
    standin::assignFaces(shape, 0, standin::makeShadingGroup("skinSG", "skin"), lower);
    standin::assignFaces(shape, 0, standin::makeShadingGroup("clothSG", "cloth", "phong"), upper);

    // Each ring follows the joint at its height; rings between joints are shared.
    MObjectArray influences;
    influences.append(hips);
    influences.append(spine);
    influences.append(head);
    const double ringWeights[kRings][3] = {{1, 0, 0}, {0.5, 0.5, 0}, {0, 0.5, 0.5}, {0, 0, 1}};
    MDoubleArray weights;
    for (int ring = 0; ring < kRings; ++ring)
        for (int side = 0; side < kSides; ++side)
            for (double w : ringWeights[ring]) weights.append(w);
    standin::bindSkin(shape, influences, weights);

    // Pose it: bend the spine and turn the head.
    MMatrix bend = standin::translation(0, 1.5, 0);
    bend(0, 0) = std::cos(0.4);
    bend(0, 1) = std::sin(0.4);
    bend(1, 0) = -std::sin(0.4);
    bend(1, 1) = std::cos(0.4);
    standin::setLocalMatrix(spine, bend);
    standin::setLocalMatrix(head, standin::translation(0.2, 1.5, 0));
}

}  // namespace tessaline
