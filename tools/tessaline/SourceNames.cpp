#include "SourceNames.h"

#include "SourceScene.h"

namespace tessaline {

std::string UniqueNames::Take(const std::string& wanted) {
    std::string name = wanted.empty() ? "node" : wanted;
    for (char& c : name)
        if (c == '|') c = '_';
    if (m_used.insert(name).second) return name;
    size_t digits = name.size();
    while (digits > 0 && name[digits - 1] >= '0' && name[digits - 1] <= '9') --digits;
    const std::string base = name.substr(0, digits);
    unsigned long long number =
        name.size() - digits > 0 && name.size() - digits < 18 ? std::stoull(name.substr(digits)) : 0;
    for (;;) {
        std::string candidate = base + std::to_string(++number);
        if (m_used.insert(candidate).second) return candidate;
    }
}

std::string SourceNames::Bone(const aiScene& scene, const std::string& sourceName) const {
    const aiNode* found = scene.mRootNode->FindNode(sourceName.c_str());
    if (found) return node.at(found);
    auto made = boneWithoutNode.find(sourceName);
    return made == boneWithoutNode.end() ? std::string() : made->second;
}

SourceNames NameSourceScene(const aiScene& scene) {
    SourceNames names;
    for (unsigned m = 0; m < scene.mNumMeshes; ++m)
        for (unsigned b = 0; b < scene.mMeshes[m]->mNumBones; ++b)
            names.boneNames.insert(scene.mMeshes[m]->mBones[b]->mName.C_Str());
    UniqueNames unique;
    ForEachNode(*scene.mRootNode, [&](const aiNode& node, const aiNode*) {
        names.node[&node] = unique.Take(node.mName.C_Str());
        if (node.mNumMeshes && names.IsJoint(node)) names.meshOfJoint[&node] = unique.Take(names.node[&node] + "Mesh");
    });
    for (unsigned m = 0; m < scene.mNumMeshes; ++m)
        for (unsigned b = 0; b < scene.mMeshes[m]->mNumBones; ++b) {
            const std::string name = scene.mMeshes[m]->mBones[b]->mName.C_Str();
            if (scene.mRootNode->FindNode(name.c_str()) || names.boneWithoutNode.count(name)) continue;
            names.bonesWithoutNode.push_back(name);
            names.boneWithoutNode[name] = unique.Take(name);
        }
    return names;
}

}  // namespace tessaline
