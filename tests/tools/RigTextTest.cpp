// The command-line host's own strict reader of rig text: a rig as the exporter writes it
// is read whole, and each way a text can be refused gives its reason, the first one met.
#include <gtest/gtest.h>

#include <string>

#ifdef TESSALINE_CLI_PATH

#include "RigText.h"

namespace {

using tessaline::ParseRigText;
using tessaline::RigText;

// One bone, one triangle with one UV set, two materials and weights.
const std::string kRig =
    "version 1\r\n\r\nnumBones 1\r\nbone 0 {\r\n\tname \"hips\"\r\n\tparent \"\"\r\n"
    "\tinvBaseMatrix 1 0 0 0 0 1 0 0 0 0 1 0 0 -1 0 1\r\n}\r\n\r\n"
    "numMeshes 1\r\nmesh 0 {\r\n\tname \"body\"\r\n"
    "\tvertices {\r\n\t\t0 0 0\r\n\t\t1 0 0\r\n\t\t0 1 0\r\n\t}\r\n"
    "\tnormals {\r\n\t\t0 0 1\r\n\t}\r\n"
    "\ttextureCoordinates {\r\n\t\tset 0 {\r\n\t\t\t0 0\r\n\t\t\t1 0\r\n\t\t\t0 1\r\n\t\t}\r\n\t}\r\n"
    "\tmaterialNames {\r\n\t\t \"skin\"\r\n\t\t \"cloth\"\r\n\t}\r\n"
    "\tpolygonVertexCounts {\r\n\t\t3\r\n\t}\r\n"
    "\tpolygonVertexIndices {\r\n\t\t0 1 2\r\n\t}\r\n"
    "\tpolygonNormalIndices {\r\n\t\t0 0 0\r\n\t}\r\n"
    "\tpolygonTexCoordIndices {\r\n\t\tset 0 {\r\n\t\t\t0 1 2\r\n\t\t}\r\n\t}\r\n"
    "\tpolygonMaterialIndices {\r\n\t\t1\r\n\t}\r\n"
    "\tvertexWeightCounts {\r\n\t\t1\r\n\t\t1\r\n\t\t1\r\n\t}\r\n"
    "\tweights {\r\n\t\t0 1.0000\r\n\t\t0 1.0000\r\n\t\t0 0.5000\r\n\t}\r\n}\r\n";

// kRig with its first "from" replaced by "to".
std::string Changed(const std::string& from, const std::string& to) {
    std::string text = kRig;
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

TEST(RigTextReader, ReadsARigAsTheExporterWritesIt) {
    RigText rig;
    std::string error;
    ASSERT_TRUE(ParseRigText(kRig, rig, error)) << error;
    ASSERT_EQ(rig.bones.size(), 1u);
    EXPECT_EQ(rig.bones[0].name, "hips");
    EXPECT_EQ(rig.bones[0].inverseBind[13], -1.0);
    ASSERT_EQ(rig.meshes.size(), 1u);
    const auto& mesh = rig.meshes[0];
    EXPECT_EQ(mesh.vertices.size(), 3u);
    EXPECT_EQ(mesh.uvSets.size(), 1u);
    EXPECT_EQ(mesh.materials.size(), 2u);
    EXPECT_EQ(mesh.materialIndices, std::vector<unsigned long>{1});
    ASSERT_EQ(mesh.weights.size(), 3u);
    EXPECT_EQ(mesh.weights[2].second, 0.5);
}

TEST(RigTextReader, RefusesEachFaultWithItsReason) {
    const struct {
        std::string text, reason;
    } cases[] = {
        {kRig.substr(0, kRig.find("\tweights")), "the text ends early"},
        {Changed("version 1", "version 2"), "\"1\" expected, \"2\" found"},
        {Changed("name \"hips\"", "name hips"), "a quoted name expected"},
        {kRig.substr(0, kRig.find("parent") + 8), "a quoted name is never closed"},
        {Changed("numBones 1", "numBones \"1\""), "a quoted string where a word belongs"},
        {Changed("numBones 1", "numBones -1"), "\"-1\" is not an unsigned integer"},
        {Changed("\t\t1 0 0\r\n", "\t\t1 x 0\r\n"), "\"x\" is not a real"},
        {Changed("bone 0", "bone 1"), "bones out of order"},
        {Changed("mesh 0", "mesh 3"), "meshes out of order"},
        {Changed("set 0 {\r\n\t\t\t0 0", "set 1 {\r\n\t\t\t0 0"), "UV sets out of order"},
        {kRig + "extra", "text after the last mesh"},
        {Changed("\t\t0 1 2\r\n\t}", "\t\t0 1\r\n\t}"), "mesh \"body\": corner lists do not match the polygon counts"},
        {Changed("\t\t1\r\n\t}\r\n\tvertexWeightCounts", "\t\t1\r\n\t\t0\r\n\t}\r\n\tvertexWeightCounts"),
         "mesh \"body\": material indices do not match the polygons"},
        {Changed("\t\t0 1 2\r\n\t}", "\t\t0 1 3\r\n\t}"), "mesh \"body\": vertex index 3 past its list"},
        {Changed("\t\t0 0 0\r\n\t}", "\t\t0 1 0\r\n\t}"), "mesh \"body\": normal index 1 past its list"},
        {Changed("\t\t1\r\n\t}\r\n\tvertexWeightCounts", "\t\t2\r\n\t}\r\n\tvertexWeightCounts"),
         "mesh \"body\": material index 2 past its list"},
        {Changed("\t\t\t0 1 2\r\n", "\t\t\t0 1 3\r\n"), "mesh \"body\": UV index 3 past its list"},
        {Changed("\t\t\t0 1 2\r\n", "\t\t\t0 1\r\n"), "mesh \"body\": UV indices do not match the corners"},
        {Changed("\t\t1\r\n\t\t1\r\n\t\t1\r\n", "\t\t1\r\n\t\t2\r\n"),
         "mesh \"body\": weight counts do not match the vertices"},
        {Changed("\t\t1\r\n\t\t1\r\n\t\t1\r\n", "\t\t1\r\n\t\t1\r\n\t\t2\r\n"),
         "mesh \"body\": weight counts do not match the weights"},
        {Changed("\t\t0 0.5000", "\t\t4 0.5000"), "mesh \"body\": a weight names bone 4"},
    };
    for (const auto& c : cases) {
        RigText rig;
        std::string error;
        EXPECT_FALSE(ParseRigText(c.text, rig, error)) << c.reason;
        EXPECT_EQ(error, c.reason);
    }
}

// A refused count is never acted on: a huge bone count whose first bone is damaged is
// refused at once rather than read on.
TEST(RigTextReader, StopsAtTheFirstRefusal) {
    RigText rig;
    std::string error;
    EXPECT_FALSE(ParseRigText(Changed("numBones 1\r\nbone 0 {", "numBones 4000000000\r\nbone 0 {{"), rig, error));
    EXPECT_EQ(error, "\"name\" expected, \"{\" found");
}

}  // namespace

#endif
