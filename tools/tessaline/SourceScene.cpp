#include "SourceScene.h"

#include <assimp/cimport.h>
#include <assimp/config.h>
#include <assimp/postprocess.h>

#include <filesystem>
#include <map>

#include "SourceDepth.h"

namespace tessaline {

namespace {

int Depth(const aiNode& root) {
    std::map<const aiNode*, int> depth;
    int deepest = 0;
    ForEachNode(root, [&](const aiNode& node, const aiNode* parent) {
        depth[&node] = parent ? depth[parent] + 1 : 1;
        deepest = std::max(deepest, depth[&node]);
    });
    return deepest;
}

}  // namespace

const aiScene* ReadSourceScene(const std::string& path, std::string& error) {
    // Only plain files are read: the reader would wait forever on a pipe with no writer,
    // read a device without end, and take a folder for an empty scene. A path that does
    // not exist is left to the reader, which says so.
    std::error_code failure;
    const std::filesystem::file_status status = std::filesystem::status(path, failure);
    if (!failure && std::filesystem::is_directory(status)) {
        error = "it is a directory, not a file.";
        return nullptr;
    }
    if (!failure && !std::filesystem::is_regular_file(status)) {
        error = "it is a pipe or a device, not a file; only files are read.";
        return nullptr;
    }
    if (!SourceDepthAcceptable(path, error)) return nullptr;
    aiPropertyStore* properties = aiCreatePropertyStore();
    aiSetImportPropertyInteger(properties, AI_CONFIG_IMPORT_COLLADA_USE_COLLADA_NAMES, 1);
    aiSetImportPropertyInteger(properties, AI_CONFIG_IMPORT_FBX_PRESERVE_PIVOTS, 0);
    const aiScene* scene =
        aiImportFileExWithProperties(path.c_str(), aiProcess_ValidateDataStructure, nullptr, properties);
    aiReleasePropertyStore(properties);
    if (scene && scene->mRootNode && Depth(*scene->mRootNode) > kMaxSourceDepth) {
        error = "its nodes nest more than " + std::to_string(kMaxSourceDepth) + " deep, which no rig needs.";
        aiReleaseImport(scene);
        return nullptr;
    }
    if (scene && scene->mRootNode) return scene;
    error = aiGetErrorString();
    if (scene) aiReleaseImport(scene);
    return nullptr;
}

void ToRows(const aiMatrix4x4& m, double rows[4][4]) {
    const double values[4][4] = {
        {m.a1, m.b1, m.c1, m.d1}, {m.a2, m.b2, m.c2, m.d2}, {m.a3, m.b3, m.c3, m.d3}, {m.a4, m.b4, m.c4, m.d4}};
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) rows[r][c] = values[r][c];
}

}  // namespace tessaline
