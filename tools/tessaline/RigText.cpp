#include "RigText.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace tessaline {

namespace {

// The text's tokens, read in order. The first refusal is kept and ends the reading: from
// then on every read gives an empty or zero value, AtEnd and PeekClose say true so that
// every loop over a list ends, and later refusals are ignored. Readers check Refused()
// before acting on a count or keeping a record.
class Tokens {
public:
    explicit Tokens(const std::string& text) : m_text(text) {}

    // Keeps reason unless a refusal is kept already.
    void Refuse(const std::string& reason) {
        if (!m_refused) m_reason = reason;
        m_refused = true;
    }
    bool Refused() const { return m_refused; }
    const std::string& Reason() const { return m_reason; }

    bool AtEnd() {
        SkipSpace();
        return m_refused || m_at >= m_text.size();
    }

    // Bare words and braces; a quoted string only where Quoted asks for one.
    std::string Word() {
        if (m_refused) return {};
        SkipSpace();
        if (m_at >= m_text.size()) {
            Refuse("the text ends early");
            return {};
        }
        const char c = m_text[m_at];
        if (c == '{' || c == '}') {
            ++m_at;
            return std::string(1, c);
        }
        if (c == '"') {
            Refuse("a quoted string where a word belongs");
            return {};
        }
        const size_t start = m_at;
        while (m_at < m_text.size() && !IsSpace(m_text[m_at]) && m_text[m_at] != '{' && m_text[m_at] != '}' &&
               m_text[m_at] != '"')
            ++m_at;
        return m_text.substr(start, m_at - start);
    }

    void Expect(const std::string& word) {
        const std::string got = Word();
        if (got != word) Refuse("\"" + word + "\" expected, \"" + got + "\" found");
    }

    bool PeekClose() {
        SkipSpace();
        return m_refused || (m_at < m_text.size() && m_text[m_at] == '}');
    }

    std::string Quoted() {
        if (m_refused) return {};
        SkipSpace();
        if (m_at >= m_text.size() || m_text[m_at] != '"') {
            Refuse("a quoted name expected");
            return {};
        }
        const size_t end = m_text.find('"', m_at + 1);
        if (end == std::string::npos) {
            Refuse("a quoted name is never closed");
            return {};
        }
        std::string value = m_text.substr(m_at + 1, end - m_at - 1);
        m_at = end + 1;
        return value;
    }

    unsigned long Unsigned() {
        const std::string word = Word();
        if (m_refused) return 0;
        if (word.empty() || word.find_first_not_of("0123456789") != std::string::npos || word.size() > 10) {
            Refuse("\"" + word + "\" is not an unsigned integer");
            return 0;
        }
        return std::stoul(word);
    }

    double Real() {
        const std::string word = Word();
        if (m_refused) return 0;
        char* end = nullptr;
        errno = 0;
        const double value = std::strtod(word.c_str(), &end);
        if (word.empty() || *end || errno || !std::isfinite(value)) {
            Refuse("\"" + word + "\" is not a real");
            return 0;
        }
        return value;
    }

private:
    static bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
    void SkipSpace() {
        while (m_at < m_text.size() && IsSpace(m_text[m_at])) ++m_at;
    }

    const std::string& m_text;
    size_t m_at = 0;
    bool m_refused = false;
    std::string m_reason;
};

template <size_t N>
std::vector<std::array<double, N>> RealTuples(Tokens& tokens) {
    std::vector<std::array<double, N>> list;
    tokens.Expect("{");
    while (!tokens.PeekClose()) {
        std::array<double, N> tuple;
        for (double& value : tuple) value = tokens.Real();
        list.push_back(tuple);
    }
    tokens.Expect("}");
    return list;
}

std::vector<unsigned long> Integers(Tokens& tokens) {
    std::vector<unsigned long> list;
    tokens.Expect("{");
    while (!tokens.PeekClose()) list.push_back(tokens.Unsigned());
    tokens.Expect("}");
    return list;
}

// "{ set 0 { ... } set 1 { ... } }", each set read by readSet.
template <typename Read>
void Sets(Tokens& tokens, Read readSet) {
    tokens.Expect("{");
    for (unsigned long k = 0; !tokens.PeekClose(); ++k) {
        tokens.Expect("set");
        if (tokens.Unsigned() != k) tokens.Refuse("UV sets out of order");
        readSet();
    }
    tokens.Expect("}");
}

RigTextBone ReadBone(Tokens& tokens) {
    RigTextBone bone;
    tokens.Expect("{");
    tokens.Expect("name");
    bone.name = tokens.Quoted();
    tokens.Expect("parent");
    bone.parent = tokens.Quoted();
    tokens.Expect("invBaseMatrix");
    for (double& value : bone.inverseBind) value = tokens.Real();
    tokens.Expect("}");
    return bone;
}

RigTextMesh ReadMesh(Tokens& tokens) {
    RigTextMesh mesh;
    tokens.Expect("{");
    tokens.Expect("name");
    mesh.name = tokens.Quoted();
    tokens.Expect("vertices");
    mesh.vertices = RealTuples<3>(tokens);
    tokens.Expect("normals");
    mesh.normals = RealTuples<3>(tokens);
    tokens.Expect("textureCoordinates");
    Sets(tokens, [&] {
        std::vector<std::array<double, 2>> set;
        for (const auto& uv : RealTuples<2>(tokens)) set.push_back(uv);
        mesh.uvSets.push_back(set);
    });
    tokens.Expect("materialNames");
    tokens.Expect("{");
    while (!tokens.PeekClose()) mesh.materials.push_back(tokens.Quoted());
    tokens.Expect("}");
    tokens.Expect("polygonVertexCounts");
    mesh.counts = Integers(tokens);
    tokens.Expect("polygonVertexIndices");
    mesh.vertexIndices = Integers(tokens);
    tokens.Expect("polygonNormalIndices");
    mesh.normalIndices = Integers(tokens);
    tokens.Expect("polygonTexCoordIndices");
    Sets(tokens, [&] { mesh.uvIndices.push_back(Integers(tokens)); });
    tokens.Expect("polygonMaterialIndices");
    mesh.materialIndices = Integers(tokens);
    if (!tokens.PeekClose()) {
        tokens.Expect("vertexWeightCounts");
        mesh.weightCounts = Integers(tokens);
        tokens.Expect("weights");
        tokens.Expect("{");
        while (!tokens.PeekClose()) {
            const unsigned long bone = tokens.Unsigned();
            mesh.weights.emplace_back(bone, tokens.Real());
        }
        tokens.Expect("}");
    }
    tokens.Expect("}");
    return mesh;
}

bool CheckIndices(const std::vector<unsigned long>& indices, size_t size, const std::string& what, std::string& error) {
    for (unsigned long index : indices)
        if (index >= size) {
            error = what + " index " + std::to_string(index) + " past its list";
            return false;
        }
    return true;
}

// False with the reason when the mesh's lists do not fit together.
bool CheckMesh(const RigTextMesh& mesh, size_t numBones, std::string& error) {
    const std::string where = "mesh \"" + mesh.name + "\": ";
    const auto refuse = [&](const std::string& reason) {
        error = where + reason;
        return false;
    };
    unsigned long corners = 0;
    for (unsigned long count : mesh.counts) corners += count;
    if (mesh.vertexIndices.size() != corners || mesh.normalIndices.size() != corners)
        return refuse("corner lists do not match the polygon counts");
    if (mesh.materialIndices.size() != mesh.counts.size()) return refuse("material indices do not match the polygons");
    if (!CheckIndices(mesh.vertexIndices, mesh.vertices.size(), where + "vertex", error) ||
        !CheckIndices(mesh.normalIndices, mesh.normals.size(), where + "normal", error) ||
        !CheckIndices(mesh.materialIndices, mesh.materials.size(), where + "material", error))
        return false;
    if (mesh.uvIndices.size() != mesh.uvSets.size()) return refuse("UV sets and their indices differ");
    for (size_t set = 0; set < mesh.uvSets.size(); ++set) {
        // A set without UVs has no indices, or index 0 at every corner.
        if (mesh.uvSets[set].empty() && mesh.uvIndices[set].empty()) continue;
        if (mesh.uvIndices[set].size() != corners) return refuse("UV indices do not match the corners");
        if (!mesh.uvSets[set].empty() &&
            !CheckIndices(mesh.uvIndices[set], mesh.uvSets[set].size(), where + "UV", error))
            return false;
    }
    if (mesh.weightCounts.empty()) return true;
    if (mesh.weightCounts.size() != mesh.vertices.size()) return refuse("weight counts do not match the vertices");
    unsigned long weights = 0;
    for (unsigned long count : mesh.weightCounts) weights += count;
    if (weights != mesh.weights.size()) return refuse("weight counts do not match the weights");
    for (const auto& weight : mesh.weights)
        if (weight.first >= numBones) return refuse("a weight names bone " + std::to_string(weight.first));
    return true;
}

}  // namespace

bool ParseRigText(const std::string& text, RigText& rig, std::string& error) {
    Tokens tokens(text);
    tokens.Expect("version");
    tokens.Expect("1");
    tokens.Expect("numBones");
    const unsigned long numBones = tokens.Unsigned();
    for (unsigned long i = 0; i < numBones && !tokens.Refused(); ++i) {
        tokens.Expect("bone");
        if (tokens.Unsigned() != i) tokens.Refuse("bones out of order");
        rig.bones.push_back(ReadBone(tokens));
    }
    tokens.Expect("numMeshes");
    const unsigned long numMeshes = tokens.Unsigned();
    for (unsigned long i = 0; i < numMeshes && !tokens.Refused(); ++i) {
        tokens.Expect("mesh");
        if (tokens.Unsigned() != i) tokens.Refuse("meshes out of order");
        rig.meshes.push_back(ReadMesh(tokens));
        std::string fault;
        if (!tokens.Refused() && !CheckMesh(rig.meshes.back(), rig.bones.size(), fault)) tokens.Refuse(fault);
    }
    if (!tokens.AtEnd()) tokens.Refuse("text after the last mesh");
    if (tokens.Refused()) {
        error = tokens.Reason();
        return false;
    }
    return true;
}

}  // namespace tessaline
