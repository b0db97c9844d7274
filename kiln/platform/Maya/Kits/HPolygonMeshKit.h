#pragma once
// kiln::platform_maya::HPolygonMeshKit<float>: the kit's view of one polygon mesh. It
// reads counts, world-space geometry, UV sets and per-polygon index lists (with the
// repair of unmapped face vertices), shading groups and material indices, the skin
// (skin cluster, joints, weights, bind-pose geometry), and builds meshes on import.
// No host function set is kept between calls: each operation attaches its own.

#include <maya/MFnMesh.h>
#include <maya/MFnSkinCluster.h>
#include <maya/MMatrix.h>
#include <maya/MObject.h>
#include <maya/MString.h>
#include <maya/MStringArray.h>

#include "HNodeKit.h"
#include "Math/TVector.h"

namespace kiln::platform_maya {

// Skin weights move between the kit and the host a run of vertices per call, every
// influence of each vertex: this many values at most. 256 KB of doubles stay in the
// processor's cache while the host fills them and the kit reads them.
inline constexpr unsigned int kWeightRunValues = 1u << 15;

constexpr int32_t GEOMETRY_CURRENT = 0;
constexpr int32_t GEOMETRY_BIND_POSE = 1;

template <typename T>
class HPolygonMeshKit : public HNodeKit {
public:
    using Vector3 = brix::TVector3<T>;
    using Vector2 = brix::TVector2<T>;
    using IndexList = brix::UArray<unsigned int>;

    // One way in which a skin cluster's output reaches the mesh.
    struct Skin_Plug {
        MFnSkinCluster skinCluster;
        uint32_t geometryIndex;
    };

    explicit HPolygonMeshKit(const HObject& object) : HNodeKit(object) {}
    ~HPolygonMeshKit() override = default;

    // Named after the mesh's parent transform.
    HStatus SetName(const brix::UString& name) override;
    brix::UString GetName() override;
    brix::UString GetPartialPathName() override;
    brix::UString GetFullPathName() override;

    // Counts; 0 on any failure.
    int32_t GetNumVertices();
    int32_t GetNumNormals();
    int32_t GetNumPolygons();
    int32_t GetNumEdges();
    int32_t GetNumUVSets();
    int32_t GetNumUVs();  // of the first UV set
    int32_t GetNumPolygonVertices();

    MString GetUVSetName(int32_t index);
    MObject GetTransform();

    void GetVertices(HStatus& status, brix::UArray<Vector3>& positions, int32_t space);
    void GetNormals(HStatus& status, brix::UArray<Vector3>& normals, int32_t space);
    void GetTextureCoordinates(HStatus& status, brix::UArray<Vector2>& uvs, int32_t setIndex);
    void GetPolygonVertexIndices(HStatus& status, IndexList& indices, IndexList& counts);
    void GetPolygonNormalIndices(HStatus& status, IndexList& indices);
    void GetPolygonTexCoordIndices(HStatus& status, IndexList& indices, int32_t setIndex);

    // Materials.
    void GetShadingGroups(HStatus& status, brix::UArray<HObject>& groups);
    void GetPolygonMaterialIndices(HStatus& status, IndexList& indices);

    // Skin.
    brix::UArray<Skin_Plug> FindSkinClusters();
    // The skin clusters of every mesh of the list, as FindSkinClusters would give them,
    // found in one pass over the scene's skin clusters.
    static void FindSkinClustersOf(const brix::UArray<HObject>& meshes, brix::UArray<brix::UArray<Skin_Plug>>& out);
    // Hands the kit its mesh's skin clusters found by the caller (FindSkinClustersOf);
    // every skin operation of this kit then uses them instead of searching the scene.
    // The list is not copied: it must outlive the kit.
    void SetKnownSkinClusters(const brix::UArray<Skin_Plug>& entries) { m_knownSkinClusters = &entries; }
    int32_t GetNumVertexWeights();
    void GetVertexWeights(HStatus& status, brix::UArray<float>& weights, IndexList& influenceIndices,
                          IndexList& vertexWeightCounts);
    void GetJoints(HStatus& status, brix::UArray<HObject>& joints);
    MObject GetBindPoseGeometry();
    // The mesh's world matrix when it was bound: the skin cluster's geomMatrix, or the
    // mesh's current world matrix when the cluster has none.
    MMatrix GetBindPoseWorldMatrix();
    void SetGeometrySource(HStatus& status, int32_t source);
    int32_t GetGeometrySource() const { return m_geometrySource; }

    // Building.
    void Create(const brix::UArray<Vector3>& vertices, HStatus& status, const IndexList& polygonVertexIndices,
                const IndexList& polygonVertexCounts, const HObject& parent);
    void SetNormals(HStatus& status, const brix::UArray<Vector3>& normals, const IndexList& normalIndices,
                    int32_t space = SPACE_WORLD);
    void CreateUVSet(HStatus& status);
    void SetTextureCoordinates(HStatus& status, const brix::UArray<Vector2>& coordinates, const IndexList& indices,
                               int32_t setIndex);
    void CreateSkinCluster(HStatus& status, const brix::UArray<HObject>& joints);
    void SetVertexWeights(HStatus& status, const brix::UArray<float>& weights, const IndexList& influenceIndices,
                          const IndexList& vertexWeightCounts);

protected:
    // Attaches mesh to the kit's object (or its DAG path); in bind-pose mode then to the
    // bind-pose geometry. Returns the first attach's status.
    MStatus Attach(MFnMesh& mesh);
    // True when a read in this space must take the bind-pose geometry to world space.
    bool ReadsBindPoseInWorld(int32_t space) const;
    // The one-skin-cluster rule: exactly one entry, else code 7 (none) or a channel 7
    // warning starting with opening and code 1 (several). True with the entry.
    bool FindOneSkinCluster(MFnMesh& mesh, const char* opening, HStatus& status, Skin_Plug& entry);

    int32_t m_geometrySource = GEOMETRY_CURRENT;
    MObject m_bindPoseGeometry;
    const brix::UArray<Skin_Plug>* m_knownSkinClusters = nullptr;
    // Takes the bind-pose geometry (object space, no DAG path of its own) to world space.
    MMatrix m_bindPoseWorld;
    // The UV set names of the geometry read last, for the source they were read from (-1:
    // none). A mesh with thousands of sets would otherwise list all names for each set.
    MStringArray m_uvSetNames;
    int32_t m_uvSetNamesSource = -1;
};

extern template class HPolygonMeshKit<float>;

}  // namespace kiln::platform_maya
