// convert --max-influences: a skin fitted to an engine's influence limit, run as the
// program. The expected weights and losses are worked out by hand below.

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "support/CliRun.h"

#ifdef TESSALINE_CLI_PATH

namespace fs = std::filesystem;
using testsupport::ProgramRun;
using testsupport::ReadFile;
using testsupport::Tessaline;

namespace {

std::string Folder(const std::string& name) { return testsupport::NewFolder("fit", name); }

// A triangle on six bones at the origin (identity bind matrices):
//  vertex 0 (0,0,0): 0.3 0.25 0.2 0.15 0.06 0.04 on bones 0..5 (six influences);
//  vertex 1 (1,0,0): 0.5 0.5 on bones 4 and 5 (already fits);
//  vertex 2 (0,1,0): 0.6 0.2 on bones 1 and 2 (sums to 0.8).
std::string SixBoneTriangle() {
    std::string text = "version 1\n\nnumBones 6\n";
    for (int b = 0; b < 6; ++b)
        text += "bone " + std::to_string(b) + " {\n\tname \"b" + std::to_string(b) +
                "\"\n\tparent \"\"\n\tinvBaseMatrix 1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1\n}\n\n";
    text +=
        "numMeshes 1\nmesh 0 {\n\tname \"tri\"\n\tvertices {\n0 0 0\n1 0 0\n0 1 0\n}\n"
        "\tnormals {\n0 0 1\n}\n\ttextureCoordinates {\n}\n\tmaterialNames {\n}\n"
        "\tpolygonVertexCounts {\n3\n}\n\tpolygonVertexIndices {\n0 1 2\n}\n"
        "\tpolygonNormalIndices {\n0 0 0\n}\n\tpolygonTexCoordIndices {\n}\n\tpolygonMaterialIndices {\n}\n"
        "\tvertexWeightCounts {\n6\n2\n2\n}\n"
        "\tweights {\n0 0.3\n1 0.25\n2 0.2\n3 0.15\n4 0.06\n5 0.04\n4 0.5\n5 0.5\n1 0.6\n2 0.2\n}\n}\n";
    return text;
}

std::string WeightsOf(const std::string& rig) {
    const size_t counts = rig.find("vertexWeightCounts");
    return counts == std::string::npos ? "" : rig.substr(counts);
}

std::string Squeezed(std::string text) {
    std::string out;
    for (char c : text)
        if (c == '\t' || c == '\r' || c == '\n' || c == ' ') {
            if (!out.empty() && out.back() != ' ') out += ' ';
        } else {
            out += c;
        }
    if (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

}  // namespace

// Vertex 0 keeps 0.3 0.25 0.2 0.15, rescaled by 1/0.9 to 21845, 18204.17, 14563.33 and
// 10922.5 steps of 1/65535: floors add to 65534 and the step left goes to the largest
// remainder (10922.5), so 21845 18204 14563 10923. Vertex 2's 0.75 and 0.25 become
// 49151.25 and 16383.75, floored 49151 and 16383, the step left to 16383.75. Vertex 1
// fits already and keeps its weights. At the bind pose every skinning matrix is the
// identity, so only vertex 2 moves there: from 0.8 of (0,1,0) to all of it, 0.2.
TEST(TessalineFit, KeepsTheLargestInfluencesRescaledAndSaysWhatWasLost) {
    const std::string folder = Folder("fit");
    std::ofstream(folder + "/six.tsl") << SixBoneTriangle();
    const ProgramRun run = Tessaline("convert " + folder + "/six.tsl " + folder + "/out.tsl --max-influences 4");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Squeezed(WeightsOf(ReadFile(folder + "/out.tsl"))),
              Squeezed("vertexWeightCounts { 4 2 2 } weights { 0 0.3333 1 0.2778 2 0.2222 3 0.1667 "
                       "4 0.5000 5 0.5000 1 0.7500 2 0.2500 } }"));
    EXPECT_NE(run.err.find("Skins fitted to 4 influences per vertex:\n"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("mesh \"tri\": 2 of 3 vertices changed, 2 influences dropped (the largest weighed "
                           "0.0600); skinned points move by up to 0.2 at the bind pose"),
              std::string::npos)
        << run.err;
}

TEST(TessalineFit, ASkinWithinTheLimitIsWrittenUnchanged) {
    const std::string folder = Folder("within");
    std::ofstream(folder + "/six.tsl") << SixBoneTriangle();
    ASSERT_EQ(Tessaline("convert " + folder + "/six.tsl " + folder + "/plain.tsl").status, 0);
    const ProgramRun run = Tessaline("convert " + folder + "/six.tsl " + folder + "/fitted.tsl --max-influences 6");
    ASSERT_EQ(run.status, 0) << run.err;
    // Only vertex 2, whose weights did not sum to 1, is rescaled.
    EXPECT_NE(run.err.find("1 of 3 vertices changed, no influence dropped"), std::string::npos) << run.err;
    std::string plain = ReadFile(folder + "/plain.tsl");
    const size_t six = plain.find("1 0.6000"), two = plain.find("2 0.2000", six);
    ASSERT_NE(two, std::string::npos) << plain;
    plain.replace(six, 8, "1 0.7500");
    plain.replace(two, 8, "2 0.2500");
    EXPECT_EQ(ReadFile(folder + "/fitted.tsl"), plain);
}

TEST(TessalineFit, BadLimitsAreUsageErrors) {
    const std::string rig = std::string(TESSALINE_TEST_DATA) + "/rig/skinned.tsl";
    const std::string out = Folder("usage") + "/out.tsl";
    for (const std::string& arguments :
         {"convert " + rig + " " + out + " --max-influences 0", "convert " + rig + " " + out + " --max-influences 65",
          "convert " + rig + " " + out + " --max-influences 2.5", "convert " + rig + " " + out + " --max-influences",
          "info " + rig + " --max-influences 4"}) {
        const ProgramRun run = Tessaline(arguments);
        EXPECT_EQ(run.status, 2) << arguments;
        EXPECT_NE(run.err.find("--max-influences"), std::string::npos) << arguments << "\n" << run.err;
        EXPECT_FALSE(fs::exists(out)) << arguments;
    }
}

#endif  // TESSALINE_CLI_PATH
