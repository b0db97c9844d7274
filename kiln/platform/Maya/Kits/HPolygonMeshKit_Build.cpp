// Mesh kit: building a mesh on import: the mesh, its normals, UV sets, skin cluster and
// raw weights. Index lists are checked against the lists they index before anything
// reaches the host.

#include <maya/MDagModifier.h>
#include <maya/MDagPath.h>
#include <maya/MDagPathArray.h>
#include <maya/MDoubleArray.h>
#include <maya/MFloatArray.h>
#include <maya/MFloatPointArray.h>
#include <maya/MFnSet.h>
#include <maya/MFnSingleIndexedComponent.h>
#include <maya/MFnSkinCluster.h>
#include <maya/MGlobal.h>
#include <maya/MIntArray.h>
#include <maya/MItGeometry.h>
#include <maya/MStringArray.h>
#include <maya/MVectorArray.h>

#include <algorithm>
#include <string>

#include "Core/UMessage.h"
#include "HPolygonMeshKit.h"

using brix::UArray;

namespace kiln::platform_maya {

namespace {
// The face and vertex of every face vertex, polygon by polygon, from one listing of the
// mesh's polygons.
// Host arrays are filled from a buffer of our own in one call: an element access is a
// call into the host, and a mesh has millions of face vertices.
void FaceVertices(MFnMesh& mesh, MIntArray& faces, MIntArray& vertices) {
    MIntArray polygonCounts;
    mesh.getVertices(polygonCounts, vertices);
    UArray<int> polygonCountList;
    polygonCountList.Add(int32_t(polygonCounts.length()));
    if (polygonCounts.length()) polygonCounts.get(polygonCountList.Data());
    // The host's lengths are calls into its library: asked once, not per corner.
    const uint32_t corners = vertices.length();
    UArray<int> faceList;
    faceList.Reserve(int32_t(corners));
    for (int32_t p = 0; p < polygonCountList.Num(); ++p)
        for (int k = 0; k < polygonCountList[p] && uint32_t(faceList.Num()) < corners; ++k) faceList.Append(p);
    faces = MIntArray(faceList.Data(), unsigned(faceList.Num()));
}

using IndexList = UArray<unsigned int>;

// The host's point array, made from a buffer of our own that is let go before the host
// builds its geometry from it: a mesh of mostly vertices would otherwise hold one more
// copy of them while the host holds two.
template <typename Vector3>
MFloatPointArray HostPoints(const UArray<Vector3>& vertices) {
    UArray<MFloatPoint> pointList;
    pointList.Reserve(vertices.Num());
    for (const Vector3& vertex : vertices) pointList.Emplace(float(vertex.x), float(vertex.y), float(vertex.z), 1.0f);
    return MFloatPointArray(pointList.Data(), unsigned(pointList.Num()));
}

struct WeightRun {
    UArray<int> vertices;
    UArray<int32_t> firstWeight;  // index of the vertex's first entry in the weight lists
    UArray<int32_t> counts;
    UArray<double> values;

    void Add(int vertex, int32_t first, unsigned int count, const UArray<float>& weights,
             const IndexList& influenceIndices, unsigned int influenceCount) {
        vertices.Append(vertex);
        firstWeight.Append(first);
        counts.Append(int32_t(count));
        const int32_t base = values.Add(int32_t(influenceCount));
        double* row = values.Data() + base;
        for (unsigned int i = 0; i < influenceCount; ++i) row[i] = 0.0;
        // A listed influence out of range is left to the host to refuse, one weight at a time.
        for (unsigned int j = 0; j < count; ++j) {
            const unsigned int influence = influenceIndices[first + int32_t(j)];
            if (influence < influenceCount) row[influence] = double(weights[first + int32_t(j)]);
        }
    }

    bool LastIsInRange(const IndexList& influenceIndices, unsigned int influenceCount) const {
        const int32_t v = vertices.Num() - 1;
        for (int32_t j = 0; j < counts[v]; ++j)
            if (influenceIndices[firstWeight[v] + j] >= influenceCount) return false;
        return true;
    }

    // Sets the run's weights and empties it; oneByOne skips the call for the whole run.
    MStatus Flush(MFnSkinCluster& skin, const MDagPath& path, const MIntArray& allInfluences,
                  const UArray<float>& weights, const IndexList& influenceIndices, bool oneByOne = false) {
        MStatus last;
        if (oneByOne) {
            last = SetOneByOne(skin, path, weights, influenceIndices, allInfluences.length());
        } else if (vertices.Num() != 0) {
            MFnSingleIndexedComponent component;
            MObject components = component.create(MFn::kMeshVertComponent);
            component.addElements(MIntArray(vertices.Data(), unsigned(vertices.Num())));
            if (!skin.setWeights(path, components, allInfluences, MDoubleArray(values.Data(), unsigned(values.Num())),
                                 false))
                last = SetOneByOne(skin, path, weights, influenceIndices, allInfluences.length());
        }
        // Emptied but kept at their size for the next run.
        vertices.Empty(vertices.Max());
        firstWeight.Empty(firstWeight.Max());
        counts.Empty(counts.Max());
        values.Empty(values.Max());
        return last;
    }

    // Sets the run's weights with a host call per weight, up to the first the host refuses.
    MStatus SetOneByOne(MFnSkinCluster& skin, const MDagPath& path, const UArray<float>& weights,
                        const IndexList& influenceIndices, unsigned int influenceCount) {
        MStatus last;
        for (int32_t v = 0; v < vertices.Num() && last; ++v) {
            MFnSingleIndexedComponent component;
            MObject vertex = component.create(MFn::kMeshVertComponent);
            component.addElement(vertices[v]);
            // Every influence ends at 0.0 but the listed ones; only those holding a
            // weight need to be cleared.
            MDoubleArray current;
            unsigned int listed = 0;
            const bool known = skin.getWeights(path, vertex, current, listed) && current.length() == influenceCount;
            for (unsigned int i = 0; i < influenceCount; ++i)
                if (!known || current[i] != 0.0) skin.setWeights(path, vertex, i, 0.0, false);
            for (int32_t j = 0; j < counts[v] && last; ++j) {
                const int32_t k = firstWeight[v] + j;
                last = skin.setWeights(path, vertex, influenceIndices[k], double(weights[k]), false);
            }
        }
        return last;
    }
};

}  // namespace

template <typename T>
void HPolygonMeshKit<T>::Create(const UArray<Vector3>& vertices, HStatus& status, const IndexList& polygonVertexIndices,
                                const IndexList& polygonVertexCounts, const HObject& parent) {
    const MFloatPointArray points = HostPoints(vertices);
    const MIntArray counts(reinterpret_cast<const int*>(polygonVertexCounts.Data()),
                           unsigned(polygonVertexCounts.Num()));
    const MIntArray indices(reinterpret_cast<const int*>(polygonVertexIndices.Data()),
                            unsigned(polygonVertexIndices.Num()));

    MFnMesh mesh;
    MStatus hostStatus;
    MObject transform = mesh.create(int(points.length()), int(counts.length()), points, counts, indices,
                                    MObject::kNullObj, &hostStatus);
    if (hostStatus) {
        MFnDagNode transformNode(transform);
        m_object = HObject(transformNode.child(0));
        m_uvSetNamesSource = -1;
        if (!parent.IsNull()) {
            MDagPath parentPath;
            MFnDagNode parentNode(parent.m_object);
            parentNode.getPath(parentPath);
            MDagModifier modifier;
            modifier.reparentNode(transform, parentPath.transform());
            modifier.doIt();
        }
    }
    status.Set(hostStatus);
}

template <typename T>
void HPolygonMeshKit<T>::SetNormals(HStatus& status, const UArray<Vector3>& normals, const IndexList& normalIndices,
                                    int32_t space) {
    if (space != SPACE_WORLD && space != SPACE_LOCAL)
        brix::ThrowAssureFailure("platform/Maya/Kits/HPolygonMeshKit", __PRETTY_FUNCTION__,
                                 "'assure' failed: space == SPACE_WORLD || space == SPACE_LOCAL", __LINE__);
    MFnMesh mesh;
    MStatus hostStatus = Attach(mesh);
    if (!hostStatus) return status.Set(hostStatus);
    MIntArray faces, vertices;
    FaceVertices(mesh, faces, vertices);
    if (unsigned(normalIndices.Num()) != faces.length()) return status.SetCode(HStatus::INVALID_PARAMETER);
    const unsigned int corners = faces.length();
    MVectorArray faceNormals;
    faceNormals.setLength(corners);
    for (unsigned int k = 0; k < corners; ++k) {
        const unsigned int index = normalIndices[int32_t(k)];
        if (index >= unsigned(normals.Num())) return status.SetCode(HStatus::INVALID_PARAMETER);
        const Vector3& n = normals[int32_t(index)];
        faceNormals[k] = MVector(double(n.x), double(n.y), double(n.z));
    }
    status.Set(mesh.setFaceVertexNormals(faceNormals, faces, vertices, MSpace::kWorld));
}

template <typename T>
void HPolygonMeshKit<T>::CreateUVSet(HStatus& status) {
    MFnMesh mesh;
    MStatus hostStatus = Attach(mesh);
    if (!hostStatus) return status.Set(hostStatus);
    MString name;
    m_uvSetNamesSource = -1;
    status.Set(mesh.createUVSet(name));
}

template <typename T>
void HPolygonMeshKit<T>::SetTextureCoordinates(HStatus& status, const UArray<Vector2>& coordinates,
                                               const IndexList& indices, int32_t setIndex) {
    MFnMesh mesh;
    MStatus hostStatus = Attach(mesh);
    if (!hostStatus) return status.Set(hostStatus);
    const MString name = GetUVSetName(setIndex);
    if (name.length() == 0) return status.SetCode(HStatus::NOT_FOUND);
    UArray<float> uList, vList;
    uList.Reserve(coordinates.Num());
    vList.Reserve(coordinates.Num());
    for (const Vector2& coordinate : coordinates) {
        uList.Append(float(coordinate.x));
        vList.Append(float(coordinate.y));
    }
    const MFloatArray u(uList.Data(), unsigned(uList.Num())), v(vList.Data(), unsigned(vList.Num()));
    hostStatus = mesh.setUVs(u, v, &name);
    if (!hostStatus) return status.Set(hostStatus);
    // Only the polygon sizes and the corner count are needed here, not a face per corner:
    // the host's corner list has one entry per corner.
    MIntArray vertices, counts;
    mesh.getVertices(counts, vertices);
    const unsigned int corners = vertices.length();
    if (unsigned(indices.Num()) < corners) return status.SetCode(HStatus::INVALID_PARAMETER);
    const MIntArray ids(reinterpret_cast<const int*>(indices.Data()), corners);
    status.Set(mesh.assignUVs(counts, ids, &name));
}

namespace {
// A path between double quotes, with a backslash before each quote and backslash in it:
// names may hold spaces, semicolons and quotes, and the command must still read them
// as one word each.
void AppendQuoted(std::string& command, const MString& path) {
    command += '"';
    const char* run = path.asChar();
    for (const char* c = run; *c; ++c)
        if (*c == '"' || *c == '\\') {
            command.append(run, c);
            command += '\\';
            run = c;
        }
    command.append(run);
    command += '"';
}
}  // namespace

template <typename T>
void HPolygonMeshKit<T>::CreateSkinCluster(HStatus& status, const UArray<HObject>& joints) {
    std::string command("skinCluster ");
    for (const HObject& joint : joints) {
        MStatus hostStatus;
        MFnDagNode node(joint.m_object, &hostStatus);
        MDagPath path;
        if (hostStatus) hostStatus = node.getPath(path);
        if (!hostStatus) return status.Set(hostStatus);
        AppendQuoted(command, path.fullPathName());
        command += ' ';
    }
    MFnMesh mesh;
    MStatus hostStatus = Attach(mesh);
    if (!hostStatus) return status.Set(hostStatus);
    AppendQuoted(command, mesh.fullPathName());
    command += ';';
    MStringArray result;
    status.Set(MGlobal::executeCommand(MString(command.c_str()), result, false, false));
}

template <typename T>
void HPolygonMeshKit<T>::SetVertexWeights(HStatus& status, const UArray<float>& weights,
                                          const IndexList& influenceIndices, const IndexList& vertexWeightCounts) {
    MFnMesh mesh;
    MStatus hostStatus = Attach(mesh);
    if (!hostStatus) return status.Set(hostStatus);
    UArray<Skin_Plug> entries = FindSkinClusters();
    if (entries.Num() == 0) return status.SetCode(HStatus::NOT_FOUND);
    if (entries.Num() > 1) {
        brix::UMessage(brix::Channel::Warning, "Can't set vertex weights for mesh \"")
            << mesh.name().asChar() << "\". " << entries.Num() << " skin clusters found - expected 1.";
        return status.SetCode(HStatus::FAILURE);
    }
    MDagPath path;
    mesh.getPath(path);
    MItGeometry geometry(path, &hostStatus);
    if (!hostStatus) return status.Set(hostStatus);
    if (geometry.count() != vertexWeightCounts.Num() || weights.Num() != influenceIndices.Num())
        return status.SetCode(HStatus::FAILURE);
    // The counts must not ask for more weights than the lists hold.
    uint64_t total = 0;
    for (unsigned int count : vertexWeightCounts) total += count;
    if (total > uint64_t(weights.Num())) return status.SetCode(HStatus::FAILURE);

    MFnSkinCluster& skin = entries[0].skinCluster;
    MObject deformerSet = skin.deformerSet(&hostStatus);
    if (!hostStatus) return status.Set(hostStatus);
    MFnSet set(deformerSet);
    MDagPathArray influences;
    const unsigned int influenceCount = skin.influenceObjects(influences);

    // Weights go to the host a run of vertices at a time, every influence of a vertex in
    // one call: the listed weights in place and 0.0 on the others, which also clears the
    // initial weights the new cluster gave the vertex. A run the host refuses is set
    // again one weight at a time, which stops at the weight the host refuses.
    const unsigned int runLength = std::max(1u, kWeightRunValues / std::max(1u, influenceCount));
    MIntArray allInfluences;
    for (unsigned int i = 0; i < influenceCount; ++i) allInfluences.append(int(i));
    WeightRun run;
    int32_t k = 0;
    MStatus last;
    for (; !geometry.isDone() && last; geometry.next()) {
        const int vertex = geometry.index();
        const unsigned int count = vertexWeightCounts[vertex];
        if (count == 0) {
            last = set.removeMember(path, geometry.component());
            continue;
        }
        run.Add(vertex, k, count, weights, influenceIndices, influenceCount);
        k += int32_t(count);
        // An influence the cluster lacks: the weights before it are set, and the host's
        // refusal of it ends the loop there.
        if (!run.LastIsInRange(influenceIndices, influenceCount)) {
            last = run.Flush(skin, path, allInfluences, weights, influenceIndices, true);
            continue;
        }
        if (unsigned(run.vertices.Num()) == runLength)
            last = run.Flush(skin, path, allInfluences, weights, influenceIndices);
    }
    const MStatus flushed = run.Flush(skin, path, allInfluences, weights, influenceIndices);
    status.Set(last ? flushed : last);
}

template class HPolygonMeshKit<float>;

}  // namespace kiln::platform_maya
