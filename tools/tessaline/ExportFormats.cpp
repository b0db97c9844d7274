#include "ExportFormats.h"

#include <cstdio>
#include <map>

#include "ExportFit.h"

namespace tessaline {

// Measured by writing a skinned rig with two UV sets and two materials in each format and
// reading it back with Assimp; STEP, which Assimp does not read back, writes triangles
// alone.
FormatHolds HoldsOf(const std::string& formatId) {
    static const std::map<std::string, FormatHolds> table = {
        {"collada", {true, kAllUVSets, true}},
        {"x", {false, 1, true}},
        {"stp", {false, 0, false}},
        {"obj", {false, 1, true}},
        {"objnomtl", {false, 1, false}},
        {"stl", {false, 0, false}},
        {"stlb", {false, 0, false}},
        {"ply", {false, 1, false}},
        {"plyb", {false, 1, false}},
        {"3ds", {false, 1, true}},
        {"gltf2", {true, kAllUVSets, true}},
        {"glb2", {true, kAllUVSets, true}},
        {"gltf", {true, kAllUVSets, true}},
        {"glb", {true, kAllUVSets, true}},
        {"x3d", {false, 1, true}},
        {"fbx", {true, kAllUVSets, true}},
        {"fbxa", {true, kAllUVSets, true}},
        {"3mf", {false, 0, true}},
        {"pbrt", {false, 0, false}},
    };
    auto found = table.find(formatId);
    return found == table.end() ? FormatHolds{true, kAllUVSets, true} : found->second;
}

namespace {
std::string Count(int n, const char* one, const char* many) { return std::to_string(n) + " " + (n == 1 ? one : many); }
const char* Are(int n) { return n == 1 ? " is" : " are"; }
std::string Opening(const std::string& path, const std::string& formatId) {
    return "\"" + path + "\" is written as " + formatId + ", which ";
}
}  // namespace

std::string SkinsLeftOut(const std::string& path, const std::string& formatId, const SceneHolds& scene) {
    if (HoldsOf(formatId).skins || scene.skinnedMeshes == 0) return "";
    return Opening(path, formatId) + "cannot hold skins: the weights of " +
           Count(scene.skinnedMeshes, "mesh", "meshes") + " on " + Count(scene.joints, "joint", "joints") +
           " are left out.";
}

std::string UVSetsLeftOut(const std::string& path, const std::string& formatId, const SceneHolds& scene) {
    const int kept = HoldsOf(formatId).uvSets;
    if (kept == 0 && scene.uvSets > 0)
        return Opening(path, formatId) + "holds no UV sets: " + Count(scene.uvSets, "UV set", "UV sets") + " of " +
               Count(scene.meshesWithUVs, "mesh", "meshes") + Are(scene.uvSets) + " left out.";
    if (kept == 1 && scene.extraUVSets > 0)
        return Opening(path, formatId) +
               "holds one UV set per mesh: " + Count(scene.extraUVSets, "more UV set", "more UV sets") + " of " +
               Count(scene.meshesWithManyUVSets, "mesh", "meshes") + Are(scene.extraUVSets) + " left out.";
    return "";
}

std::string MaterialsLeftOut(const std::string& path, const std::string& formatId, const SceneHolds& scene) {
    if (HoldsOf(formatId).materials || scene.materials == 0) return "";
    return Opening(path, formatId) + "holds no materials: " + Count(scene.materials, "material", "materials") +
           Are(scene.materials) + " left out.";
}

bool IsGltf(const std::string& formatId) {
    return formatId == "gltf2" || formatId == "glb2" || formatId == "gltf" || formatId == "glb";
}

bool TakesJointsWithoutScale(const std::string& formatId) {
    return IsGltf(formatId) || formatId == "fbx" || formatId == "fbxa";
}

std::string JointFitWarning(const std::string& path, const std::string& formatId, const JointFit& fit) {
    if (!fit.jointsScaled) return "";
    char scale[32];
    snprintf(scale, sizeof scale, "%g", fit.largestScale);
    return Opening(path, formatId) +
           "readers take without a joint's scale: " + Count(fit.jointsScaled, "joint", "joints") +
           " with a scale in the bind pose (as far as " + scale + ")" + Are(fit.jointsScaled) +
           " written at the head with the rotation alone, and the skin is bound to them as written.";
}

std::vector<std::string> WeightFitWarnings(const std::string& path, const std::string& formatId, const WeightFit& fit) {
    std::vector<std::string> texts;
    if (fit.verticesOverFour) {
        char largest[32];
        snprintf(largest, sizeof largest, "%.4f", double(fit.largestDropped));
        texts.push_back(Opening(path, formatId) + "keeps 4 influences per vertex: " +
                        Count(fit.verticesOverFour, "vertex loses", "vertices lose") + " " +
                        Count(fit.influencesDropped, "smaller influence", "smaller influences") + " (the largest " +
                        largest + "), and keep the rest divided by their sum.");
    }
    if (fit.verticesNormalised)
        texts.push_back(Opening(path, formatId) + "wants each vertex's weights to add up to 1: the weights of " +
                        Count(fit.verticesNormalised, "vertex are", "vertices are") + " divided by their sum.");
    return texts;
}

}  // namespace tessaline
