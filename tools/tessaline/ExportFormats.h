#pragma once
// What each scene format that Assimp writes can hold of a rig, as Assimp 5.2.5 writes it,
// so that a conversion says what it leaves out instead of dropping it without a word.

#include <string>
#include <vector>

namespace tessaline {

struct FormatHolds {
    bool skins;      // joints, their bind pose and every vertex's weights
    int uvSets;      // UV sets per mesh it keeps: 0, 1, or kAllUVSets
    bool materials;  // material names per face
};
constexpr int kAllUVSets = 8;

// By Assimp's export format id ("collada", "obj", "glb2", ...); everything for an id it
// does not list.
FormatHolds HoldsOf(const std::string& formatId);

// What a scene about to be written holds.
struct SceneHolds {
    int skinnedMeshes = 0, joints = 0;
    int meshesWithManyUVSets = 0, extraUVSets = 0;  // sets beyond what the format keeps
    int meshesWithUVs = 0, uvSets = 0;
    int materials = 0;  // named materials, the writer's default left out
};

// One warning text per kind of data the format leaves out (empty strings for none), in
// the order skins, UV sets, materials.
std::string SkinsLeftOut(const std::string& path, const std::string& formatId, const SceneHolds& scene);
std::string UVSetsLeftOut(const std::string& path, const std::string& formatId, const SceneHolds& scene);
std::string MaterialsLeftOut(const std::string& path, const std::string& formatId, const SceneHolds& scene);

// Formats whose readers take joints without scale (glTF, FBX), and glTF, whose writer keeps
// 4 influences per vertex: their scenes are fitted first (ExportFit.h), and say what the
// fitting changed.
bool IsGltf(const std::string& formatId);
bool TakesJointsWithoutScale(const std::string& formatId);
std::string JointFitWarning(const std::string& path, const std::string& formatId, const struct JointFit& fit);
std::vector<std::string> WeightFitWarnings(const std::string& path, const std::string& formatId,
                                           const struct WeightFit& fit);

}  // namespace tessaline
