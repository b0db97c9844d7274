// Mesh kit: attaching, names, counts and geometry reads.

#include "HPolygonMeshKit.h"

#include <maya/MDagPath.h>
#include <maya/MFloatArray.h>
#include <maya/MFloatPointArray.h>
#include <maya/MFloatVectorArray.h>
#include <maya/MFnDagNode.h>
#include <maya/MIntArray.h>
#include <maya/MItMeshPolygon.h>
#include <maya/MStringArray.h>

#include <cmath>

#include "Core/ErrorDescription.h"
#include "Core/UMessage.h"

using brix::UArray;
using brix::UString;

namespace kiln::platform_maya {

namespace {
// Raises the space check of the geometry operations, naming the kit's source.
void CheckSpace(int32_t space, const char* signature) {
    if (space != SPACE_WORLD && space != SPACE_LOCAL)
        brix::ThrowAssureFailure("platform/Maya/Kits/HPolygonMeshKit", signature,
                                 "'assure' failed: space == SPACE_WORLD || space == SPACE_LOCAL", __LINE__);
}

MSpace::Space HostSpace(int32_t space) { return space == SPACE_WORLD ? MSpace::kWorld : MSpace::kObject; }

// Unit length, or unchanged when it has none to scale.
template <typename T>
brix::TVector3<T> Normalised(double x, double y, double z) {
    const double length = std::sqrt(x * x + y * y + z * z);
    if (!(length > 0) || !std::isfinite(length)) return brix::TVector3<T>{T(x), T(y), T(z)};
    return brix::TVector3<T>{T(x / length), T(y / length), T(z / length)};
}
}  // namespace

// The bind-pose geometry is a data object without a DAG path, so the host reads it in
// object space whatever space is asked; world space comes from the matrix the mesh had
// when it was bound.
template <typename T>
bool HPolygonMeshKit<T>::ReadsBindPoseInWorld(int32_t space) const {
    return space == SPACE_WORLD && m_geometrySource == GEOMETRY_BIND_POSE && !m_bindPoseGeometry.isNull();
}

template <typename T>
MStatus HPolygonMeshKit<T>::Attach(MFnMesh& mesh) {
    MStatus status;
    if (m_object.m_object.apiType() == MFn::kMeshData) {
        status = mesh.setObject(m_object.m_object);
    } else {
        MFnDagNode dag(m_object.m_object, &status);
        if (status) {
            MDagPath path;
            dag.getPath(path);
            status = mesh.setObject(path);
        }
    }
    if (m_geometrySource == GEOMETRY_BIND_POSE && !m_bindPoseGeometry.isNull()) mesh.setObject(m_bindPoseGeometry);
    return status;
}

template <typename T>
MObject HPolygonMeshKit<T>::GetTransform() {
    MFnMesh mesh;
    if (!Attach(mesh)) return MObject::kNullObj;
    MDagPath path;
    mesh.getPath(path);
    path.pop(1);
    return path.node();
}

template <typename T>
HStatus HPolygonMeshKit<T>::SetName(const UString& name) {
    HNodeKit transform{HObject(GetTransform())};
    return transform.SetName(name);
}

template <typename T>
UString HPolygonMeshKit<T>::GetName() {
    HNodeKit transform{HObject(GetTransform())};
    return transform.GetName();
}

template <typename T>
UString HPolygonMeshKit<T>::GetPartialPathName() {
    HNodeKit transform{HObject(GetTransform())};
    return transform.GetPartialPathName();
}

template <typename T>
UString HPolygonMeshKit<T>::GetFullPathName() {
    HNodeKit transform{HObject(GetTransform())};
    return transform.GetFullPathName();
}

#define MESH_COUNT(Name, call)           \
    template <typename T>                \
    int32_t HPolygonMeshKit<T>::Name() { \
        MFnMesh mesh;                    \
        if (!Attach(mesh)) return 0;     \
        MStatus status;                  \
        const int32_t count = mesh.call; \
        return status ? count : 0;       \
    }
MESH_COUNT(GetNumVertices, numVertices(&status))
MESH_COUNT(GetNumNormals, numNormals(&status))
MESH_COUNT(GetNumPolygons, numPolygons(&status))
MESH_COUNT(GetNumEdges, numEdges(&status))
MESH_COUNT(GetNumUVSets, numUVSets(&status))
#undef MESH_COUNT

template <typename T>
int32_t HPolygonMeshKit<T>::GetNumUVs() {
    MFnMesh mesh;
    if (!Attach(mesh)) return 0;
    const MString name = GetUVSetName(0);
    if (name.length() == 0) return 0;
    MStatus status;
    const int32_t count = mesh.numUVs(name, &status);
    return status ? count : 0;
}

template <typename T>
int32_t HPolygonMeshKit<T>::GetNumPolygonVertices() {
    MFnMesh mesh;
    MStatus status = Attach(mesh);
    if (!status) return 0;
    MItMeshPolygon polygons(m_object.m_object, &status);
    if (!status) return 0;
    int32_t sum = 0;
    for (; !polygons.isDone(); polygons.next()) sum += int32_t(polygons.polygonVertexCount());
    return sum;
}

template <typename T>
MString HPolygonMeshKit<T>::GetUVSetName(int32_t index) {
    if (m_uvSetNamesSource != m_geometrySource) {
        MFnMesh mesh;
        if (!Attach(mesh)) return MString();
        m_uvSetNames.clear();
        mesh.getUVSetNames(m_uvSetNames);
        m_uvSetNamesSource = m_geometrySource;
    }
    return (index >= 0 && unsigned(index) < m_uvSetNames.length()) ? m_uvSetNames[unsigned(index)] : MString();
}

template <typename T>
void HPolygonMeshKit<T>::GetVertices(HStatus& status, UArray<Vector3>& positions, int32_t space) {
    positions.Empty(0);  // a failed read leaves nothing behind that could be taken for data
    CheckSpace(space, __PRETTY_FUNCTION__);
    MFnMesh mesh;
    MStatus hostStatus = Attach(mesh);
    if (!hostStatus) return status.Set(hostStatus);
    MFloatPointArray points;
    hostStatus = mesh.getPoints(points, HostSpace(space));
    if (!hostStatus) return status.Set(hostStatus);
    positions.Empty(int32_t(points.length()));
    if (ReadsBindPoseInWorld(space)) {
        const MMatrix& m = m_bindPoseWorld;
        for (unsigned int i = 0; i < points.length(); ++i) {
            const double x = points[i].x, y = points[i].y, z = points[i].z;
            positions.Append(Vector3{T(x * m(0, 0) + y * m(1, 0) + z * m(2, 0) + m(3, 0)),
                                     T(x * m(0, 1) + y * m(1, 1) + z * m(2, 1) + m(3, 1)),
                                     T(x * m(0, 2) + y * m(1, 2) + z * m(2, 2) + m(3, 2))});
        }
        return status.Set(hostStatus);
    }
    for (unsigned int i = 0; i < points.length(); ++i)
        positions.Append(Vector3{T(points[i].x), T(points[i].y), T(points[i].z)});
    status.Set(hostStatus);
}

template <typename T>
void HPolygonMeshKit<T>::GetNormals(HStatus& status, UArray<Vector3>& normals, int32_t space) {
    normals.Empty(0);
    CheckSpace(space, __PRETTY_FUNCTION__);
    MFnMesh mesh;
    MStatus hostStatus = Attach(mesh);
    if (!hostStatus) return status.Set(hostStatus);
    MFloatVectorArray vectors;
    hostStatus = mesh.getNormals(vectors, HostSpace(space));
    if (!hostStatus) return status.Set(hostStatus);
    normals.Empty(int32_t(vectors.length()));
    if (ReadsBindPoseInWorld(space)) {
        // Normals take the inverse transpose, then unit length again.
        const MMatrix m = m_bindPoseWorld.inverse().transpose();
        for (unsigned int i = 0; i < vectors.length(); ++i) {
            const double x = vectors[i].x, y = vectors[i].y, z = vectors[i].z;
            normals.Append(Normalised<T>(x * m(0, 0) + y * m(1, 0) + z * m(2, 0),
                                         x * m(0, 1) + y * m(1, 1) + z * m(2, 1),
                                         x * m(0, 2) + y * m(1, 2) + z * m(2, 2)));
        }
        return status.Set(hostStatus);
    }
    for (unsigned int i = 0; i < vectors.length(); ++i)
        normals.Append(Vector3{T(vectors[i].x), T(vectors[i].y), T(vectors[i].z)});
    status.Set(hostStatus);
}

template <typename T>
void HPolygonMeshKit<T>::GetTextureCoordinates(HStatus& status, UArray<Vector2>& uvs, int32_t setIndex) {
    uvs.Empty(0);
    MFnMesh mesh;
    MStatus hostStatus = Attach(mesh);
    if (!hostStatus) return status.Set(hostStatus);
    const MString name = GetUVSetName(setIndex);
    if (name.length() == 0) return status.SetCode(HStatus::NOT_FOUND);
    MFloatArray u, v;
    hostStatus = mesh.getUVs(u, v, &name);
    if (!hostStatus) return status.Set(hostStatus);
    uvs.Empty(int32_t(u.length()));
    for (unsigned int i = 0; i < u.length(); ++i) uvs.Append(Vector2{T(u[i]), i < v.length() ? T(v[i]) : T(0)});
    status.Set(hostStatus);
}

template <typename T>
void HPolygonMeshKit<T>::GetPolygonVertexIndices(HStatus& status, IndexList& indices, IndexList& counts) {
    indices.Empty(0);
    counts.Empty(0);
    MFnMesh mesh;
    MStatus hostStatus = Attach(mesh);
    if (!hostStatus) return status.Set(hostStatus);
    const int32_t polygons = GetNumPolygons();
    // Room for every corner: the host's count in one call (walking the polygons to add
    // them up would cost three calls per polygon, and this only sizes the list).
    indices.Empty(mesh.numFaceVertices());
    counts.Empty(polygons);
    MIntArray vertices;
    MStatus firstFailure;
    for (int32_t p = 0; p < polygons; ++p) {
        hostStatus = mesh.getPolygonVertices(p, vertices);
        if (!hostStatus) {
            // Told even when later polygons read: the lists lack this one.
            if (firstFailure) firstFailure = hostStatus;
            continue;
        }
        // The polygon's corners in one copy out of the host's array, not a call per corner.
        const unsigned int n = vertices.length();
        counts.Append(n);
        if (n) vertices.get(reinterpret_cast<int*>(indices.Data() + indices.Add(int32_t(n))));
    }
    status.Set(firstFailure);
}

template <typename T>
void HPolygonMeshKit<T>::GetPolygonNormalIndices(HStatus& status, IndexList& indices) {
    indices.Empty(0);
    MFnMesh mesh;
    MStatus hostStatus = Attach(mesh);
    if (!hostStatus) return status.Set(hostStatus);
    indices.Empty(0);
    MItMeshPolygon polygons(m_object.m_object, &hostStatus);
    if (!hostStatus) return status.Set(hostStatus);
    indices.Empty(mesh.numFaceVertices());
    for (; !polygons.isDone(); polygons.next()) {
        const unsigned int n = polygons.polygonVertexCount();
        for (unsigned int v = 0; v < n && hostStatus; ++v) indices.Append(polygons.normalIndex(int(v), &hostStatus));
        if (!hostStatus) break;
    }
    status.Set(hostStatus);
}

template <typename T>
void HPolygonMeshKit<T>::GetPolygonTexCoordIndices(HStatus& status, IndexList& indices, int32_t setIndex) {
    indices.Empty(0);
    MFnMesh mesh;
    MStatus hostStatus = Attach(mesh);
    if (!hostStatus) return status.Set(hostStatus);
    indices.Empty(mesh.numFaceVertices());
    const MString name = GetUVSetName(setIndex);
    if (name.length() == 0) return status.SetCode(HStatus::NOT_FOUND);
    int32_t missing = 0;
    // The ids of every polygon mapped at all its corners come from one host call; the
    // corners of other polygons are asked one at a time.
    MIntArray polygonCounts, polygonCorners, uvCounts, uvIds;
    mesh.getVertices(polygonCounts, polygonCorners);
    const bool assigned = mesh.getAssignedUVs(uvCounts, uvIds, &name) && uvCounts.length() == polygonCounts.length();
    UArray<int> counts(int32_t(polygonCounts.length())), mappedCounts, ids;
    polygonCounts.get(counts.Data());
    if (assigned) {
        mappedCounts.SetNum(int32_t(uvCounts.length()));
        uvCounts.get(mappedCounts.Data());
        ids.SetNum(int32_t(uvIds.length()));
        uvIds.get(ids.Data());
    }
    int32_t nextId = 0;
    for (int32_t p = 0; p < counts.Num(); ++p) {
        const int n = counts[p];
        if (assigned) {
            const int listed = mappedCounts[p];
            if (listed == n && nextId + n <= ids.Num()) {
                for (int v = 0; v < n; ++v) indices.Append(unsigned(ids[nextId + v]));
                nextId += n;
                continue;
            }
            nextId += listed;
        }
        for (int v = 0; v < n; ++v) {
            int id = 0;
            const MStatus uvStatus = mesh.getPolygonUVid(int(p), v, id, &name);
            if (uvStatus) {
                indices.Append(unsigned(id));
                continue;
            }
            if (missing == 0) {
                if (GetNumUVs() == 0) return status.Set(uvStatus);
                brix::UMessage(brix::Channel::Warning, "There are some (but not all) vertices of mesh")
                    << GetName()
                    << " not having texture coordinates assigned to them. Texture coordinate index 0 will be used "
                       "for them.";
            }
            ++missing;
            indices.Append(0u);
        }
    }
    status.SetCode(HStatus::SUCCESS);
}

template class HPolygonMeshKit<float>;

}  // namespace kiln::platform_maya
