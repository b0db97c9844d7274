// Scene files converted to rigs, judged against the source: real models of the corpus,
// and small glTF rigs written here whose expected rig is worked out by hand.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "support/CliRun.h"

#ifdef TESSALINE_CLI_PATH

namespace {

const std::string kModels = "/usr/share/assimp/models/";

using testsupport::ProgramRun;
using testsupport::ReadFile;
using testsupport::Tessaline;

std::string Temp(const std::string& name) { return testsupport::TempPath("source", name); }

// The reals of every line inside the named block of a rig text, "x y z" per entry.
std::vector<std::vector<double>> BlockLines(const std::string& rig, const std::string& key) {
    std::vector<std::vector<double>> lines;
    const size_t start = rig.find("\t" + key + " {");
    if (start == std::string::npos) return lines;
    const size_t end = rig.find("\r\n\t}", start);
    std::istringstream block(rig.substr(rig.find('\n', start) + 1, end - rig.find('\n', start) - 1));
    for (std::string line; std::getline(block, line);) {
        std::istringstream values(line);
        std::vector<double> numbers;
        for (double value; values >> value;) numbers.push_back(value);
        lines.push_back(numbers);
    }
    return lines;
}

// Rewrites every vertex line of a rig text: the three reals go through change.
std::string ChangeVertices(const std::string& rig, const std::function<void(double*)>& change) {
    std::string out;
    bool inside = false;
    std::istringstream lines(rig);
    for (std::string line; std::getline(lines, line);) {
        if (line.find("\tvertices {") != std::string::npos)
            inside = true;
        else if (inside && line.find('}') != std::string::npos)
            inside = false;
        else if (inside) {
            double xyz[3];
            std::sscanf(line.c_str(), "%lf %lf %lf", &xyz[0], &xyz[1], &xyz[2]);
            change(xyz);
            char text[128];
            std::snprintf(text, sizeof text, "\t\t%.4f %.4f %.4f\r", xyz[0], xyz[1], xyz[2]);
            line = text;
        }
        out += line + "\n";
    }
    return out;
}

TEST(SourceConversion, RealModelsConvertFaithfully) {
    struct Case {
        const char* model;
        const char* infoLine;  // what the imported rig must hold
    };
    const Case cases[] = {
        {"OBJ/box.obj", ": 8 vertices, 6 polygons"},                   // welded, not one vertex per corner
        {"Collada/duck.dae", "LOD3sp: 2108 vertices, 2144 polygons"},  // normals of a scaled node
        {"FBX/huesitos.fbx", "Cylinder: 62 vertices, 68 polygons"},    // a skin under a scaled node
    };
    for (const Case& c : cases) {
        const std::string rig = Temp("model.tsl");
        const ProgramRun convert = Tessaline("convert " + kModels + c.model + " " + rig);
        ASSERT_EQ(convert.status, 0) << c.model << convert.err;
        const ProgramRun check = Tessaline("check " + kModels + c.model + " " + rig);
        EXPECT_EQ(check.status, 0) << c.model << check.out << check.err;
        const ProgramRun info = Tessaline("info " + rig);
        EXPECT_NE(info.out.find(c.infoLine), std::string::npos) << c.model << info.out;
        for (const auto& normal : BlockLines(ReadFile(rig), "normals")) {
            ASSERT_EQ(normal.size(), 3u);
            EXPECT_NEAR(std::sqrt(normal[0] * normal[0] + normal[1] * normal[1] + normal[2] * normal[2]), 1.0, 0.0005)
                << c.model;
        }
        std::remove(rig.c_str());
    }
}

TEST(SourceConversion, RoundTripTakesAWeightWrittenAsZeroForNoWeight) {
    // Holds weights below 0.00005, which the file keeps as 0.0000 and the import drops.
    const ProgramRun run = Tessaline("roundtrip " + kModels + "FBX/animation_with_skeleton.fbx");
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_EQ(run.out.find("MISMATCH"), std::string::npos) << run.out;
}

TEST(SourceConversion, CheckFindsAMovedRescaledOrReweightedRig) {
    const std::string model = kModels + "FBX/huesitos.fbx", rig = Temp("huesitos.tsl"), changed = Temp("changed.tsl");
    ASSERT_EQ(Tessaline("convert " + model + " " + rig).status, 0);
    const std::string text = ReadFile(rig);
    // The mesh sits on its bones: its vertices span the same height as the bind matrices.
    const auto vertices = BlockLines(text, "vertices");
    ASSERT_FALSE(vertices.empty());

    std::string weightChanged = text;
    const size_t weights = weightChanged.find("\tweights {");
    ASSERT_NE(weights, std::string::npos);
    const size_t line = weightChanged.find("\r\n\t\t", weights) + 4;
    const size_t value = weightChanged.find(' ', line) + 1;
    weightChanged.replace(value, weightChanged.find('\r', value) - value, "0.1234");

    // The first bone's head moved: its inverse bind matrix's translation row changed.
    std::string boneMoved = text;
    const size_t matrix = boneMoved.find("invBaseMatrix ");
    ASSERT_NE(matrix, std::string::npos);
    size_t entry = matrix + 14;
    for (int k = 0; k < 12; ++k) entry = boneMoved.find(' ', entry) + 1;
    boneMoved.replace(entry, boneMoved.find(' ', entry) - entry, "12.5000");

    const struct {
        const char* what;
        std::string text;
    } cases[] = {
        {"moved", ChangeVertices(text, [](double* p) { p[0] += 0.01; })},
        {"bone moved", boneMoved},
        {"rescaled", ChangeVertices(text,
                                    [](double* p) {
                                        for (int i = 0; i < 3; ++i) p[i] *= 1.01;
                                    })},
        {"one weight changed", weightChanged},
    };
    for (const auto& c : cases) {
        std::ofstream(changed, std::ios::binary) << c.text;
        const ProgramRun check = Tessaline("check " + model + " " + changed);
        EXPECT_EQ(check.status, 1) << c.what << check.out;
        EXPECT_NE(check.out.find("MISMATCH"), std::string::npos) << c.what;
    }
    const ProgramRun same = Tessaline("check " + model + " " + rig);
    EXPECT_EQ(same.status, 0) << same.out;
    std::remove(rig.c_str());
    std::remove(changed.c_str());
}

// ---- glTF rigs written here

std::string Base64(const std::string& bytes) {
    static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        unsigned n = (unsigned char)bytes[i] << 16;
        if (i + 1 < bytes.size()) n |= (unsigned char)bytes[i + 1] << 8;
        if (i + 2 < bytes.size()) n |= (unsigned char)bytes[i + 2];
        out += digits[(n >> 18) & 63];
        out += digits[(n >> 12) & 63];
        out += i + 1 < bytes.size() ? digits[(n >> 6) & 63] : '=';
        out += i + 2 < bytes.size() ? digits[n & 63] : '=';
    }
    return out;
}

// One buffer of the accessors' data, each aligned to 4 bytes.
class Buffer {
public:
    // Returns the accessor's index.
    int Add(const void* data, size_t bytes, int componentType, int count, const char* type) {
        const size_t offset = m_bytes.size();
        m_bytes.append(static_cast<const char*>(data), bytes);
        while (m_bytes.size() % 4) m_bytes += '\0';
        std::ostringstream view;
        view << "{\"buffer\":0,\"byteOffset\":" << offset << ",\"byteLength\":" << bytes << "}";
        m_views.push_back(view.str());
        std::ostringstream accessor;
        accessor << "{\"bufferView\":" << m_views.size() - 1 << ",\"componentType\":" << componentType
                 << ",\"count\":" << count << ",\"type\":\"" << type << "\"}";
        m_accessors.push_back(accessor.str());
        return int(m_accessors.size() - 1);
    }
    std::string Json() const {
        std::string json = "\"buffers\":[{\"byteLength\":" + std::to_string(m_bytes.size()) +
                           ",\"uri\":\"data:application/octet-stream;base64," + Base64(m_bytes) + "\"}],";
        json += "\"bufferViews\":[" + Join(m_views) + "],\"accessors\":[" + Join(m_accessors) + "]";
        return json;
    }

private:
    static std::string Join(const std::vector<std::string>& parts) {
        std::string out;
        for (const std::string& part : parts) out += (out.empty() ? "" : ",") + part;
        return out;
    }
    std::string m_bytes;
    std::vector<std::string> m_views, m_accessors;
};

// A skinned triangle (vertices (1,0,0) (0,1,0) (0,0,1)) as mesh 0 and skin 0 of the
// given nodes, over the given joints with their inverse bind matrices (column-major).
std::string SkinnedTriangle(const std::string& nodes, const std::string& joints, const std::vector<float>& inverseBinds,
                            const unsigned char jointOfVertex[3][2], const float weightOfVertex[3][2]) {
    Buffer buffer;
    const float positions[] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    const float s = 1 / std::sqrt(3.0f);
    const float normals[] = {s, s, s, s, s, s, s, s, s};
    const unsigned short indices[] = {0, 1, 2};
    unsigned char jointIds[3][4] = {};
    float weights[3][4] = {};
    for (int v = 0; v < 3; ++v)
        for (int k = 0; k < 2; ++k) jointIds[v][k] = jointOfVertex[v][k], weights[v][k] = weightOfVertex[v][k];
    const int position = buffer.Add(positions, sizeof positions, 5126, 3, "VEC3");
    const int normal = buffer.Add(normals, sizeof normals, 5126, 3, "VEC3");
    const int index = buffer.Add(indices, sizeof indices, 5123, 3, "SCALAR");
    const int joint = buffer.Add(jointIds, sizeof jointIds, 5121, 3, "VEC4");
    const int weight = buffer.Add(weights, sizeof weights, 5126, 3, "VEC4");
    const int binds = buffer.Add(inverseBinds.data(), inverseBinds.size() * sizeof(float), 5126,
                                 int(inverseBinds.size() / 16), "MAT4");
    std::ostringstream json;
    json << "{\"asset\":{\"version\":\"2.0\"},\"scene\":0,\"scenes\":[{\"nodes\":[0]}],\"nodes\":[" << nodes
         << "],\"meshes\":[{\"name\":\"triangle\",\"primitives\":[{\"attributes\":{\"POSITION\":" << position
         << ",\"NORMAL\":" << normal << ",\"JOINTS_0\":" << joint << ",\"WEIGHTS_0\":" << weight
         << "},\"indices\":" << index << "}]}],\"skins\":[{\"joints\":[" << joints
         << "],\"inverseBindMatrices\":" << binds << "}]," << buffer.Json() << "}";
    return json.str();
}

// Converts a glTF text; returns the rig text and checks it against the source.
std::string ConvertAndCheck(const std::string& gltf, const char* name) {
    const std::string source = Temp(std::string(name) + ".gltf"), rig = Temp(std::string(name) + ".tsl");
    std::ofstream(source, std::ios::binary) << gltf;
    const ProgramRun convert = Tessaline("convert " + source + " " + rig);
    EXPECT_EQ(convert.status, 0) << convert.err;
    const ProgramRun check = Tessaline("check " + source + " " + rig);
    EXPECT_EQ(check.status, 0) << check.out << check.err;
    const std::string text = ReadFile(rig);
    std::remove(source.c_str());
    std::remove(rig.c_str());
    return text;
}

void ExpectRows(const std::vector<std::vector<double>>& actual, const std::vector<std::vector<double>>& expected,
                const char* what) {
    ASSERT_EQ(actual.size(), expected.size()) << what;
    for (size_t i = 0; i < expected.size(); ++i) {
        ASSERT_EQ(actual[i].size(), expected[i].size()) << what << " " << i;
        for (size_t k = 0; k < expected[i].size(); ++k)
            EXPECT_NEAR(actual[i][k], expected[i][k], 1e-4) << what << " " << i;
    }
}

// The inverse bind matrices of a rig text, 16 reals each.
std::vector<std::vector<double>> InverseBinds(const std::string& rig) {
    std::vector<std::vector<double>> matrices;
    for (size_t at = rig.find("invBaseMatrix"); at != std::string::npos; at = rig.find("invBaseMatrix", at + 1)) {
        std::istringstream values(rig.substr(at + 13, rig.find('\r', at) - at - 13));
        std::vector<double> numbers;
        for (double value; values >> value;) numbers.push_back(value);
        matrices.push_back(numbers);
    }
    return matrices;
}

TEST(SourceConversion, GltfSkinIgnoresTheTransformsAboveItsMesh) {
    // glTF binds a skinned mesh in the scene's root frame: its vertices are used as stored
    // and each joint stood at inverse(inverseBindMatrix), whatever transforms lie above
    // the mesh node. Here "top" scales by 0.01 and "body" (the skinned mesh) moves,
    // turns and scales; joint "root" sits 1000 units along x in "top", at (10, 0, 0) in
    // the scene, where its inverse bind matrix (a move by -10 in x) puts it too.
    const std::string nodes =
        "{\"name\":\"top\",\"scale\":[0.01,0.01,0.01],\"children\":[1,2]},"
        "{\"name\":\"body\",\"mesh\":0,\"skin\":0,\"translation\":[10,0,0],"
        "\"rotation\":[0,0.70710678,0,0.70710678],\"scale\":[2,2,2]},"
        "{\"name\":\"root\",\"translation\":[1000,0,0]}";
    const std::vector<float> inverseBind = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, -10, 0, 0, 1};
    const unsigned char joints[3][2] = {{0, 0}, {0, 0}, {0, 0}};
    const float weights[3][2] = {{1, 0}, {1, 0}, {1, 0}};
    const std::string rig = ConvertAndCheck(SkinnedTriangle(nodes, "2", inverseBind, joints, weights), "own");
    // The file is Z-up: the Y-up scene's (x, y, z) is written (x, -z, y).
    ExpectRows(BlockLines(rig, "vertices"), {{1, 0, 0}, {0, 0, 1}, {0, -1, 0}}, "vertices");
    const double third = 1 / std::sqrt(3.0);
    ExpectRows(BlockLines(rig, "normals"), {{third, -third, third}}, "normals");
    // root at (10, 0, 0): the inverse moves by -10 in x; rows 1 and 2 turned to Z-up.
    ExpectRows(InverseBinds(rig), {{1, 0, 0, 0, 0, 0, -1, 0, 0, 1, 0, 0, -10, 0, 0, 1}}, "bind matrix");
}

TEST(SourceConversion, BoneNamesThatCommandTextWouldSplitKeepTheirWeights) {
    // Each name once broke the command that binds the skin ("no object matches name"),
    // and every weight of the mesh was lost with exit 0.
    const struct {
        const char* json;     // the name as JSON text
        const char* written;  // as the rig file writes it (a quote becomes '_')
    } names[] = {{"with space", "with space"},
                 {"semi;colon", "semi;colon"},
                 {"a\\\"quote", "a_quote"},
                 {"back\\\\slash", "back\\slash"}};
    for (const auto& name : names) {
        const std::string nodes =
            std::string("{\"name\":\"top\",\"children\":[1,2]},{\"name\":\"body\",\"mesh\":0,\"skin\":0},") +
            "{\"name\":\"" + name.json + "\"}";
        const std::vector<float> identity = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
        const unsigned char joints[3][2] = {{0, 0}, {0, 0}, {0, 0}};
        const float weights[3][2] = {{1, 0}, {0.5f, 0}, {0.25f, 0}};
        const std::string rig = ConvertAndCheck(SkinnedTriangle(nodes, "2", identity, joints, weights), "names");
        EXPECT_NE(rig.find(std::string("name \"") + name.written + "\""), std::string::npos) << name.json << rig;
        ExpectRows(BlockLines(rig, "weights"), {{0, 1}, {0, 0.5}, {0, 0.25}}, name.json);
    }
}

TEST(SourceConversion, ASourceWithNothingARigCanCarryIsRefused) {
    // Its only node has no mesh; before, it converted to an empty rig with exit 0.
    const std::string source = Temp("empty.gltf"), rig = Temp("empty.tsl");
    std::ofstream(source) << "{\"asset\":{\"version\":\"2.0\"},\"scene\":0,\"scenes\":[{\"nodes\":[0]}],"
                             "\"nodes\":[{\"name\":\"alone\"}]}";
    const ProgramRun run = Tessaline("convert " + source + " " + rig);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("it holds no polygon mesh and no joint that a rig can carry."), std::string::npos)
        << run.err;
    EXPECT_FALSE(std::ifstream(rig).good());
    std::remove(source.c_str());
}

// A glTF whose node i has node i + 1 as its child, the last holding one triangle; extra
// JSON for node n (0-based) comes from more(n).
std::string NodeChainGltf(
    int depth, const std::function<std::string(int)>& more = [](int) { return std::string(); }) {
    std::string nodes;
    for (int i = 0; i < depth; ++i) {
        nodes += (i ? "," : "") + std::string("{\"name\":\"n") + std::to_string(i) + "\"";
        if (i + 1 < depth)
            nodes += ",\"children\":[" + std::to_string(i + 1) + "]";
        else
            nodes += ",\"mesh\":0";
        nodes += more(i) + "}";
    }
    // One triangle: (0,0,0), (1,0,0), (0,1,0) as little-endian floats in base64.
    return "{\"asset\":{\"version\":\"2.0\"},\"scene\":0,\"scenes\":[{\"nodes\":[0]}],\"nodes\":[" + nodes +
           "],\"meshes\":[{\"primitives\":[{\"attributes\":{\"POSITION\":0}}]}],"
           "\"accessors\":[{\"bufferView\":0,\"componentType\":5126,\"count\":3,\"type\":\"VEC3\","
           "\"min\":[0,0,0],\"max\":[1,1,0]}],\"bufferViews\":[{\"buffer\":0,\"byteLength\":36}],"
           "\"buffers\":[{\"byteLength\":36,\"uri\":\"data:application/octet-stream;base64,"
           "AAAAAAAAAAAAAAAAAACAPwAAAAAAAAAAAAAAAAAAgD8AAAAA\"}]}";
}

// The same document as a binary glTF: header, then the JSON chunk padded with spaces.
std::string AsGlb(std::string json) {
    while (json.size() % 4) json += ' ';
    auto u32 = [](uint32_t value) {
        std::string bytes(4, '\0');
        for (int i = 0; i < 4; ++i) bytes[size_t(i)] = char(value >> (8 * i) & 0xff);
        return bytes;
    };
    return "glTF" + u32(2) + u32(uint32_t(20 + json.size())) + u32(uint32_t(json.size())) + "JSON" + json;
}

std::string Collada(const std::string& libraryNodes, const std::string& sceneNodes) {
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
           "<COLLADA xmlns=\"http://www.collada.org/2005/11/COLLADASchema\" version=\"1.4.1\">\n"
           "<asset><unit name=\"meter\" meter=\"1\"/><up_axis>Y_UP</up_axis></asset>\n"
           "<library_nodes>" +
           libraryNodes +
           "</library_nodes>\n"
           "<library_visual_scenes><visual_scene id=\"scene\">" +
           sceneNodes +
           "</visual_scene></library_visual_scenes>\n"
           "<scene><instance_visual_scene url=\"#scene\"/></scene>\n</COLLADA>\n";
}

TEST(SourceConversion, DeepCyclicOrExplodingNodeTreesAreRefusedBeforeAssimpReadsThem) {
    // Each of these overflowed the stack inside Assimp's readers (or would have made a
    // billion nodes) before the node graph was measured first.
    std::string nestedNodes, doubling;
    for (int i = 0; i < 3000; ++i) nestedNodes += "<node id=\"d" + std::to_string(i) + "\">";
    for (int i = 0; i < 3000; ++i) nestedNodes += "</node>";
    for (int i = 0; i < 30; ++i)
        doubling += "<node id=\"x" + std::to_string(i) + "\"><instance_node url=\"#x" + std::to_string(i + 1) +
                    "\"/><instance_node url=\"#x" + std::to_string(i + 1) + "\"/></node>";
    doubling += "<node id=\"x30\"/>";
    struct Case {
        const char* name;
        std::string text;
        const char* reason;
    } cases[] = {
        {"chain.gltf", NodeChainGltf(20000), "its nodes nest more than 1000 deep"},
        {"chain.glb", AsGlb(NodeChainGltf(1001)), "its nodes nest more than 1000 deep"},
        {"cycle.gltf",
         NodeChainGltf(3, [](int n) { return n == 1 ? std::string(",\"children\":[0]") : std::string(); }),
         "its nodes form a cycle"},
        {"cycle.dae",
         Collada("<node id=\"a\" name=\"a\"><instance_node url=\"#b\"/></node>"
                 "<node id=\"b\" name=\"b\"><instance_node url=\"#a\"/></node>",
                 "<node id=\"root\"><instance_node url=\"#a\"/></node>"),
         "its nodes form a cycle: node \"a\" contains itself."},
        {"nested.dae", Collada("", nestedNodes), "its nodes nest more than 1000 deep"},
        {"doubling.dae", Collada(doubling, "<node id=\"root\"><instance_node url=\"#x0\"/></node>"),
         "its instanced nodes expand to more than 1000000 nodes"},
    };
    for (const Case& c : cases) {
        const std::string source = Temp(c.name), rig = Temp(std::string(c.name) + ".tsl");
        std::ofstream(source, std::ios::binary) << c.text;
        const std::string someRig = std::string(TESSALINE_TEST_DATA) + "/rig/skinned.tsl";
        for (const std::string& command : {"convert " + source + " " + rig, "check " + source + " " + someRig}) {
            const ProgramRun run = Tessaline(command);
            EXPECT_EQ(run.status, 1) << c.name << ": " << command;
            EXPECT_NE(run.err.find(c.reason), std::string::npos) << c.name << ": " << run.err;
        }
        EXPECT_FALSE(std::ifstream(rig).good()) << c.name;
        std::remove(source.c_str());
    }
}

TEST(SourceConversion, ATreeJustInsideTheDepthLimitConverts) {
    const std::string source = Temp("deep.gltf"), rig = Temp("deep.tsl");
    std::ofstream(source) << NodeChainGltf(1000);
    const ProgramRun run = Tessaline("convert " + source + " " + rig);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(ReadFile(rig).find("vertices {"), std::string::npos);
    std::remove(source.c_str());
    std::remove(rig.c_str());
}

TEST(SourceConversion, RigUnderAGroupScaledToCentimetres) {
    // "armature" scales by 0.01; "hip" sits 100 units up in it (1 m), "knee" 50 below
    // hip (0.5 m). The mesh node has no transform, so each inverse bind matrix is the
    // inverse of the joint's world matrix: scale 100, and -100 (hip) or -50 (knee) in y.
    const std::string nodes =
        "{\"name\":\"top\",\"children\":[1,2]},"
        "{\"name\":\"leg\",\"mesh\":0,\"skin\":0},"
        "{\"name\":\"armature\",\"scale\":[0.01,0.01,0.01],\"children\":[3]},"
        "{\"name\":\"hip\",\"translation\":[0,100,0],\"children\":[4]},"
        "{\"name\":\"knee\",\"translation\":[0,-50,0]}";
    const std::vector<float> inverseBinds = {100, 0, 0, 0, 0, 100, 0, 0, 0, 0, 100, 0, 0, -100, 0, 1,
                                             100, 0, 0, 0, 0, 100, 0, 0, 0, 0, 100, 0, 0, -50,  0, 1};
    const unsigned char joints[3][2] = {{0, 0}, {1, 0}, {0, 1}};
    const float weights[3][2] = {{1, 0}, {1, 0}, {0.5f, 0.5f}};
    const std::string rig = ConvertAndCheck(SkinnedTriangle(nodes, "3,4", inverseBinds, joints, weights), "cm");
    const auto binds = InverseBinds(rig);
    ASSERT_EQ(binds.size(), 2u);
    // Rows 1 and 2 turned to Z-up (row 1 the negated old row 2, row 2 the old row 1);
    // the translation row, in the bone's own space, stays.
    ExpectRows(binds,
               {{100, 0, 0, 0, 0, 0, -100, 0, 0, 100, 0, 0, 0, -100, 0, 1},
                {100, 0, 0, 0, 0, 0, -100, 0, 0, 100, 0, 0, 0, -50, 0, 1}},
               "bind matrices");
    ExpectRows(BlockLines(rig, "weights"), {{0, 1}, {1, 1}, {0, 0.5}, {1, 0.5}}, "weights");
}

}  // namespace

#endif
