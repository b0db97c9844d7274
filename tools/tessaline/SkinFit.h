#pragma once
// Fits the skins of the scene to an engine's influence limit before a conversion writes
// them: each vertex keeps its N largest positive weights, rescaled to sum to 1 in steps
// of 1/65535 (exactly what a 16-bit engine stores), the same fit as the engine reader's
// tsl_fit_skin. Vertices the fit leaves alone keep their weights as they were.

#include <string>
#include <vector>

namespace tessaline {

// What fitting one skinned mesh lost, in scene units.
struct MeshFitLoss {
    std::string mesh;
    unsigned int vertices = 0;
    unsigned int verticesTouched = 0;  // lost an influence, or a weight moved by more than 1/65535
    unsigned int influencesDropped = 0;
    double largestWeightDropped = 0;
    double largestBindChange = 0;  // how far a skinned vertex moves at the bind pose
    double largestPoseChange = 0;  // and in the test pose (each bone turned 0.5 rad)
    int worstPoseVertex = -1;
};

// Fits every skinned mesh of the scene to at most maxInfluences (1 to 64) influences.
// False, with the error, when a mesh's skin cannot be read, fitted or written back.
bool FitSkins(unsigned int maxInfluences, std::vector<MeshFitLoss>& losses, std::string& error);

// The report printed on standard error: a line for the limit, a line per mesh.
std::string FormatFitReport(unsigned int maxInfluences, const std::vector<MeshFitLoss>& losses);

}  // namespace tessaline
