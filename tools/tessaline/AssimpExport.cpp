// Writing the stand-in scene through Assimp's exporters.

#include "AssimpScene.h"

namespace tessaline {

bool SaveWithAssimp(const std::string& path, std::string& error) {
    error = "writing scene files other than rig files is not available yet";
    (void)path;
    return false;
}

}  // namespace tessaline
