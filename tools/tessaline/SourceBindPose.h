#pragma once
// Where a skinned mesh and its bones stood when the mesh was bound, read by the rule of
// the format that wrote the file. Assimp gives every format's skin one shape (an offset
// matrix per bone) but the formats mean different things by it, and the general rule
// (bone = world(mesh node) · inverse(offset)) puts glTF and COLLADA rigs metres away from
// their skin. Matrices here are Assimp's (column vectors, translation in the last column),
// in double precision: a bind shape recovered from a joint's world matrix times its
// offset cancels large numbers, and float arithmetic leaves errors of 1e-4 of the rig there.

#include <assimp/scene.h>

#include <map>
#include <string>
#include <vector>

#include "ExactMatrix.h"

namespace tessaline {

enum class SourceFormat { Gltf, Collada, Fbx, Other };

// From the importer's name in the scene's metadata.
SourceFormat FormatOf(const aiScene& scene);

// The frame that takes the file's coordinates to metres with Y up. FBX files state
// their unit and axes and Assimp leaves the coordinates as stored; the other readers
// convert on their own (COLLADA's unit and up axis are in its root node), so for them it
// is the identity.
Matrix SceneFrame(const aiScene& scene);

// Every node's world matrix, the scene frame included.
struct SceneWorlds {
    explicit SceneWorlds(const aiScene& scene);
    Matrix frame;
    std::map<const aiNode*, Matrix> world;
    std::map<const aiNode*, const aiNode*> parent;     // as the children lists give them
    std::multimap<std::string, const aiNode*> byName;  // a name may be used more than once
};

struct SkinBindPose {
    Matrix meshWorld;                     // the mesh's world matrix at bind time
    std::vector<Matrix> boneWorld;        // each bone's world matrix at bind time
    std::vector<const aiNode*> boneNode;  // the node each bone names; null for none
    std::string problem;                  // why the pose could not be recovered; empty when it was
};

// The bind pose of the skin on meshNode whose bones (by source name) have these offsets.
SkinBindPose BindPoseOf(const aiScene& scene, const SceneWorlds& worlds, const aiNode& meshNode,
                        const std::vector<std::string>& boneNames, const std::vector<aiMatrix4x4>& offsets);

}  // namespace tessaline
