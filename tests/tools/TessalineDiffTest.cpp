// tessaline diff, run as the program, on pairs of rigs built by hand whose differences are
// known: a moved bone, a reweighted vertex, a renamed mesh, a reordered vertex list, a
// bone added; and on a rig against its own conversion, which must come out the same.

#include <gtest/gtest.h>

#include <unistd.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "support/CliRun.h"

#ifdef TESSALINE_CLI_PATH

namespace fs = std::filesystem;
using nlohmann::json;
using testsupport::ProgramRun;
using testsupport::TempPath;
using testsupport::Tessaline;

namespace {

// A skinned cube of corners (±1, ±1, ±1), vertex i at x = bit 0, y = bit 1, z = bit 2,
// on a chain of bones standing on the Z axis, written as the exporter writes a rig.
struct Cube {
    std::string mesh = "body";
    std::vector<std::string> bones{"hips", "spine"};
    std::vector<std::string> parents{"", "hips"};
    std::vector<double> heights{0.5, 1.5};           // each bone's head at (0, 0, height)
    std::vector<int> order{0, 1, 2, 3, 4, 5, 6, 7};  // the corner written at each place
    // Per corner, (bone, weight): the bottom mostly on the first bone, the top on the second.
    std::vector<std::vector<std::pair<int, double>>> weights = [] {
        std::vector<std::vector<std::pair<int, double>>> w(8);
        for (int v = 0; v < 8; ++v)
            w[size_t(v)] = (v & 4) ? std::vector<std::pair<int, double>>{{0, 0.25}, {1, 0.75}}
                                   : std::vector<std::pair<int, double>>{{0, 0.75}, {1, 0.25}};
        return w;
    }();

    double scale = 1;  // of the positions

    std::array<double, 3> Corner(int v) const {
        return {v & 1 ? scale : -scale, v & 2 ? scale : -scale, v & 4 ? scale : -scale};
    }

    std::string Text() const {
        char line[256];
        std::string t = "version 1\n\nnumBones " + std::to_string(bones.size()) + "\n";
        for (size_t b = 0; b < bones.size(); ++b) {
            snprintf(line, sizeof line,
                     "bone %zu {\n\tname \"%s\"\n\tparent \"%s\"\n\tinvBaseMatrix 1.0000 0.0000 0.0000 0.0000 0.0000 "
                     "1.0000 0.0000 0.0000 0.0000 0.0000 1.0000 0.0000 0.0000 0.0000 %.4f 1.0000\n}\n\n",
                     b, bones[b].c_str(), parents[b].c_str(), -heights[b]);
            t += line;
        }
        std::vector<int> place(8);
        for (int k = 0; k < 8; ++k) place[size_t(order[size_t(k)])] = k;
        t += "numMeshes 1\nmesh 0 {\n\tname \"" + mesh + "\"\n\n\tvertices {\n";
        for (int k = 0; k < 8; ++k) {
            const auto p = Corner(order[size_t(k)]);
            snprintf(line, sizeof line, "\t\t%.4f %.4f %.4f\n", p[0], p[1], p[2]);
            t += line;
        }
        // One normal and one UV per corner, listed by the corner's own number.
        t += "\t}\n\n\tnormals {\n";
        for (int v = 0; v < 8; ++v) {
            const auto p = Corner(v);
            snprintf(line, sizeof line, "\t\t%.4f %.4f %.4f\n", p[0] / scale * 0.5774, p[1] / scale * 0.5774,
                     p[2] / scale * 0.5774);
            t += line;
        }
        t += "\t}\n\n\ttextureCoordinates {\n\t\tset 0 {\n";
        for (int v = 0; v < 8; ++v) {
            snprintf(line, sizeof line, "\t\t\t%.4f %.4f\n", v / 8.0, 1 - v / 8.0);
            t += line;
        }
        t += "\t\t}\n\t}\n\n\tmaterialNames {\n\t}\n\n\tpolygonVertexCounts {\n";
        const int faces[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
        for (int f = 0; f < 6; ++f) t += "\t\t4\n";
        auto corners = [&](bool placed) {
            std::string list;
            for (const auto& face : faces)
                list += "\t\t" + std::to_string(placed ? place[size_t(face[0])] : face[0]) + " " +
                        std::to_string(placed ? place[size_t(face[1])] : face[1]) + " " +
                        std::to_string(placed ? place[size_t(face[2])] : face[2]) + " " +
                        std::to_string(placed ? place[size_t(face[3])] : face[3]) + "\n";
            return list;
        };
        t += "\t}\n\n\tpolygonVertexIndices {\n" + corners(true) + "\t}\n\n\tpolygonNormalIndices {\n" +
             corners(false) + "\t}\n\n\tpolygonTexCoordIndices {\n\t\tset 0 {\n" + corners(false) +
             "\t\t}\n\t}\n\n\tpolygonMaterialIndices {\n\t}\n\n\tvertexWeightCounts {\n";
        for (int k = 0; k < 8; ++k) t += "\t\t" + std::to_string(weights[size_t(order[size_t(k)])].size()) + "\n";
        t += "\t}\n\n\tweights {\n";
        for (int k = 0; k < 8; ++k)
            for (const auto& [bone, weight] : weights[size_t(order[size_t(k)])]) {
                snprintf(line, sizeof line, "\t\t%d %.4f\n", bone, weight);
                t += line;
            }
        return t + "\t}\n}\n";
    }

    std::string Write(const std::string& name) const {
        const std::string path = TempPath("diff", name + ".tsl");
        std::ofstream(path, std::ios::binary) << Text();
        return path;
    }
};

// diff --json of the two cubes; the document and the exit status.
json Diff(const Cube& a, const Cube& b, int expectedStatus, const std::string& options = "") {
    const ProgramRun run = Tessaline("diff " + a.Write("a") + " " + b.Write("b") + " --json " + options);
    EXPECT_EQ(run.status, expectedStatus) << run.out << run.err;
    json document = json::parse(run.out, nullptr, false);
    EXPECT_FALSE(document.is_discarded()) << run.out << run.err;
    return document.is_discarded() ? json::object() : document;
}

const json& OnlyMesh(const json& document) {
    static const json none = json::object();
    if (!document.contains("meshes") || document["meshes"]["matched"].size() != 1) {
        ADD_FAILURE() << "not one matched mesh: " << document.dump(1);
        return none;
    }
    return document["meshes"]["matched"][0];
}

TEST(TessalineDiff, ARigAgainstItselfIsTheSame) {
    const Cube cube;
    const json document = Diff(cube, cube, 0);
    EXPECT_EQ(document["same"], true);
    EXPECT_EQ(document["over"], json::array());
    const json& mesh = OnlyMesh(document);
    EXPECT_EQ(mesh["vertices"]["matchedBy"], "order");
    for (const char* key : {"position", "normal", "uv", "weight"}) EXPECT_EQ(mesh[key]["change"], 0) << key;
    EXPECT_EQ(document["skinned"]["change"], 0);
    // The size the tolerance is taken from: the box of the corners and the bone heads
    // (spine's stands above the top, at z = 1.5).
    EXPECT_NEAR(document["size"].get<double>(), std::sqrt(2 * 2 + 2 * 2 + 2.5 * 2.5), 1e-5);
}

TEST(TessalineDiff, AMovedBoneIsFoundByItsHeadAndByTheSkinItMoves) {
    const Cube a;
    Cube b;
    b.heights[1] = 2.0;
    const json document = Diff(a, b, 1);
    EXPECT_EQ(document["same"], false);
    EXPECT_NEAR(document["bones"]["head"]["change"].get<double>(), 0.5, 1e-4);
    EXPECT_EQ(document["bones"]["head"]["bone"], "spine");
    EXPECT_EQ(document["bones"]["axes"]["change"], 0);
    EXPECT_EQ(OnlyMesh(document)["position"]["change"], 0);
    // Turning spine about heads 0.5 apart moves its vertices apart by 0.5 * 2 sin(15°),
    // times the share of the offset across the turn's axis (sqrt(2/3)), times the weight.
    const json& skinned = document["skinned"];
    EXPECT_EQ(skinned["bone"], "spine");
    EXPECT_NEAR(skinned["change"].get<double>(), 0.75 * 0.5 * 2 * std::sin(M_PI / 12) * std::sqrt(2.0 / 3), 2e-4)
        << skinned;
    EXPECT_GE(skinned["vertex"].get<int>(), 4) << "a top vertex, three quarters on spine: " << skinned;
    // The same pair passes with a tolerance above the change.
    EXPECT_EQ(Diff(a, b, 0, "--tolerance 0.6 --absolute")["same"], true);
}

TEST(TessalineDiff, AReweightedVertexIsNamedWithItsBones) {
    const Cube a;
    Cube b;
    b.weights[5] = {{0, 0.5}, {1, 0.5}};  // a quarter moved from spine to hips
    const json document = Diff(a, b, 1);
    const json& weight = OnlyMesh(document)["weight"];
    EXPECT_NEAR(weight["change"].get<double>(), 0.25, 1e-4);
    EXPECT_EQ(weight["vertex"], 5);
    EXPECT_EQ(weight["bone"], "spine");
    EXPECT_NEAR(weight["delta"].get<double>(), -0.25, 1e-4);
    EXPECT_EQ(weight["otherBone"], "hips");
    EXPECT_EQ(document["skinned"]["vertex"], 5);
    EXPECT_EQ(document["skinned"]["mesh"], "body");
    EXPECT_EQ(document["bones"]["head"]["change"], 0);
    EXPECT_EQ(OnlyMesh(document)["position"]["change"], 0);
    // The text report names them too, and marks what is over the tolerance.
    const ProgramRun text = Tessaline("diff " + a.Write("ta") + " " + b.Write("tb"));
    EXPECT_EQ(text.status, 1);
    EXPECT_NE(text.out.find("0.25  vertex 5, bone \"spine\" -0.25, bone \"hips\" +0.25  OVER"), std::string::npos)
        << text.out;
    EXPECT_NE(text.out.find("different: mesh \"body\": weights; skinned positions"), std::string::npos) << text.out;
}

TEST(TessalineDiff, ARenamedMeshIsMatchedByItsVertices) {
    const Cube a;
    Cube b;
    b.mesh = "torso";
    const json document = Diff(a, b, 1);
    EXPECT_EQ(document["meshes"]["added"], json::array());
    EXPECT_EQ(document["meshes"]["removed"], json::array());
    const json& mesh = OnlyMesh(document);
    EXPECT_EQ(mesh["name"], "body");
    EXPECT_EQ(mesh["nameB"], "torso");
    EXPECT_EQ(document["over"], json::array({"mesh \"body\" renamed \"torso\""}));
    // A mesh of another name and other vertices is one removed and one added.
    Cube bigger = b;
    bigger.mesh = "legs";
    bigger.scale = 2;
    const json replaced = Diff(a, bigger, 1);
    EXPECT_EQ(replaced["meshes"]["added"], json::array({"legs"}));
    EXPECT_EQ(replaced["meshes"]["removed"], json::array({"body"}));
    EXPECT_EQ(replaced["meshes"]["matched"], json::array());
}

TEST(TessalineDiff, AReorderedVertexListIsMatchedByPosition) {
    const Cube a;
    Cube b;
    b.order = {3, 7, 1, 0, 6, 2, 5, 4};
    json document = Diff(a, b, 0);
    const json& mesh = OnlyMesh(document);
    EXPECT_EQ(mesh["vertices"]["matchedBy"], "position");
    EXPECT_EQ(mesh["vertices"]["added"], 0);
    EXPECT_EQ(mesh["polygons"]["added"], 0);
    for (const char* key : {"position", "normal", "uv", "weight"}) EXPECT_EQ(mesh[key]["change"], 0) << key;
    // A reweighted vertex in the reordered list is named by its place on each side.
    b.weights[5] = {{0, 0.5}, {1, 0.5}};
    document = Diff(a, b, 1);
    const json& weight = OnlyMesh(document)["weight"];
    EXPECT_EQ(weight["vertex"], 5);
    EXPECT_EQ(weight["vertexB"], 6);
}

TEST(TessalineDiff, BonesAddedRemovedAndReparented) {
    const Cube a;
    Cube b;
    b.bones.push_back("tail");
    b.parents.push_back("hips");
    b.heights.push_back(0.0);
    b.parents[1] = "";  // spine re-parented to the root
    const json document = Diff(a, b, 1);
    EXPECT_EQ(document["bones"]["added"], json::array({"tail"}));
    EXPECT_EQ(document["bones"]["removed"], json::array());
    EXPECT_EQ(document["bones"]["reparented"], json::array({{{"bone", "spine"}, {"from", "hips"}, {"to", ""}}}));
    // Swapped sides: removed instead of added.
    const json back = Diff(b, a, 1);
    EXPECT_EQ(back["bones"]["removed"], json::array({"tail"}));
}

TEST(TessalineDiff, ARigAgainstItsOwnConversionIsTheSame) {
    // A source scene against the rig convert made of it, and a rig exported and imported.
    const std::string model = "/usr/share/assimp/models/glTF2/simple_skin/simple_skin.gltf";
    const std::string rig = TempPath("diff", "simple_skin.tsl");
    if (fs::exists(model)) {
        ASSERT_EQ(Tessaline("convert " + model + " " + rig).status, 0);
        const ProgramRun run = Tessaline("diff " + model + " " + rig);
        EXPECT_EQ(run.status, 0) << run.out << run.err;
        EXPECT_NE(run.out.find("same within the tolerance"), std::string::npos) << run.out;
    }
    const Cube cube;
    const std::string copy = TempPath("diff", "copy.tsl");
    ASSERT_EQ(Tessaline("convert " + cube.Write("source") + " " + copy).status, 0);
    const ProgramRun run = Tessaline("diff " + cube.Write("source") + " " + copy + " --json");
    EXPECT_EQ(run.status, 0) << run.out << run.err;
}

TEST(TessalineDiff, FailuresAndUsage) {
    const Cube cube;
    const std::string good = cube.Write("good");
    const std::string damaged = TempPath("diff", "damaged.tsl");
    std::ofstream(damaged) << "version 1\nnumBones 1\n";
    const ProgramRun unreadable = Tessaline("diff " + good + " " + damaged + " --json");
    EXPECT_EQ(unreadable.status, 1);
    EXPECT_NE(unreadable.err.find("ERROR: "), std::string::npos) << unreadable.err;
    const json document = json::parse(unreadable.out, nullptr, false);
    ASSERT_FALSE(document.is_discarded()) << unreadable.out;
    EXPECT_TRUE(document.contains("error"));
    for (const std::string& arguments : {"diff " + good, "diff " + good + " " + good + " --tolerance x",
                                         "convert " + good + " x.tsl --tolerance 0.1", std::string("diff a b c")})
        EXPECT_EQ(Tessaline(arguments).status, 2) << arguments;
}

}  // namespace

#endif
