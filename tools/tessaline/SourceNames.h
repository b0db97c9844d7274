#pragma once
// The names a source scene's nodes get in the stand-in scene, worked out once from the
// source alone so that the loader and the independent check agree on them. Nodes named by
// a skin bone become joints; a node that is a joint and also holds meshes keeps its
// meshes on a child transform "<name>Mesh"; skin bones that name no node become joints at
// the scene root. Names are made unique across the whole scene, which is stricter than
// the host (unique among the children of one parent) and so always a name the host
// takes as it is: a name already in use gets its trailing number raised (1 when it has
// none) until it is free, and "|", which a host name cannot hold, becomes "_". The rule
// is written out here rather than asked of the stand-in host, so that the check, which
// uses these names too, judges a conversion without relying on the scene engine that
// made it.

#include <assimp/scene.h>

#include <map>
#include <set>
#include <string>
#include <vector>

namespace tessaline {

class UniqueNames {
public:
    std::string Take(const std::string& wanted);

private:
    std::set<std::string> m_used;
};

struct SourceNames {
    std::set<std::string> boneNames;                     // every skin bone's source name
    std::map<const aiNode*, std::string> node;           // each node's scene name
    std::map<const aiNode*, std::string> meshOfJoint;    // for joints that hold meshes
    std::vector<std::string> bonesWithoutNode;           // source names, first-seen order
    std::map<std::string, std::string> boneWithoutNode;  // source name -> scene name

    bool IsJoint(const aiNode& node) const { return boneNames.count(node.mName.C_Str()) != 0; }
    // The scene name of the node a bone names, or of the root joint made for it.
    std::string Bone(const aiScene& scene, const std::string& sourceName) const;
};

SourceNames NameSourceScene(const aiScene& scene);

}  // namespace tessaline
