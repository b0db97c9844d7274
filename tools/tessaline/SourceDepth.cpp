#include "SourceDepth.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "Session.h"

namespace tessaline {

namespace {

// More nodes than this, once instanced nodes are copied where they are used, is refused
// too: COLLADA nodes that instance the next level twice, thirty levels down, make a
// billion nodes out of a few kilobytes.
constexpr uint64_t kMaxExpandedNodes = 1000000;

struct NodeGraph {
    std::vector<std::string> names;
    std::vector<std::vector<size_t>> children;

    size_t Add(std::string name) {
        names.push_back(std::move(name));
        children.emplace_back();
        return names.size() - 1;
    }
};

// Depth (in nodes) and expanded size of every node's subtree, iteratively: false with the
// reason when a node is its own descendant, nests too deep or expands too far.
bool Measure(const NodeGraph& graph, std::string& error) {
    const size_t count = graph.names.size();
    enum : uint8_t { Unseen, Open, Done };
    std::vector<uint8_t> state(count, Unseen);
    std::vector<int> depth(count, 0);
    std::vector<uint64_t> size(count, 0);
    auto name = [&](size_t node) {
        return graph.names[node].empty() ? "number " + std::to_string(node) : "\"" + graph.names[node] + "\"";
    };
    for (size_t start = 0; start < count; ++start) {
        if (state[start] != Unseen) continue;
        // (node, next child to look at)
        std::vector<std::pair<size_t, size_t>> stack{{start, 0}};
        state[start] = Open;
        while (!stack.empty()) {
            auto& [node, next] = stack.back();
            if (next < graph.children[node].size()) {
                const size_t child = graph.children[node][next++];
                if (state[child] == Open) {
                    error = "its nodes form a cycle: node " + name(child) + " contains itself.";
                    return false;
                }
                if (state[child] == Unseen) {
                    state[child] = Open;
                    stack.emplace_back(child, 0);
                }
                continue;
            }
            int deepest = 0;
            uint64_t total = 1;
            for (size_t child : graph.children[node]) {
                deepest = std::max(deepest, depth[child]);
                total = std::min(kMaxExpandedNodes + 1, total + size[child]);
            }
            depth[node] = deepest + 1;
            size[node] = total;
            state[node] = Done;
            if (depth[node] > kMaxSourceDepth) {
                error = "its nodes nest more than " + std::to_string(kMaxSourceDepth) +
                        " deep, which no rig needs and which would exhaust the reader's stack.";
                return false;
            }
            if (total > kMaxExpandedNodes) {
                error = "its instanced nodes expand to more than " + std::to_string(kMaxExpandedNodes) +
                        " nodes (node " + name(node) + ").";
                return false;
            }
            stack.pop_back();
        }
    }
    return true;
}

// Gathers "nodes": [{"name": ..., "children": [...]}, ...] from the top-level object of a
// glTF document, keeping nothing else.
class GltfNodes : public nlohmann::json::json_sax_t {
public:
    explicit GltfNodes(NodeGraph& graph) : m_graph(graph) {}

    bool null() override { return Value(); }
    bool boolean(bool) override { return Value(); }
    bool number_integer(number_integer_t value) override { return Index(value); }
    bool number_unsigned(number_unsigned_t value) override {
        return Index(int64_t(std::min<uint64_t>(value, INT64_MAX)));
    }
    bool number_float(number_float_t, const string_t&) override { return Value(); }
    bool string(string_t& value) override {
        if (m_stack.size() == 3 && InNodes() && m_stack[2].key == "name" && m_stack[1].index < m_graph.names.size())
            m_graph.names[m_stack[1].index] = value;
        return Value();
    }
    bool binary(binary_t&) override { return Value(); }
    bool start_object(std::size_t) override { return Open(false); }
    bool end_object() override { return Close(); }
    bool start_array(std::size_t) override { return Open(true); }
    bool end_array() override { return Close(); }
    bool key(string_t& key) override {
        m_stack.back().key = key;
        return true;
    }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override { return false; }

    // Child indices as written, resolved once every node is known.
    std::vector<std::pair<size_t, int64_t>> edges;

private:
    struct Frame {
        bool array;
        size_t index = 0;  // of the element being read, in an array
        std::string key;   // of the member being read, in an object
    };

    // Inside the top-level "nodes" array, at depth 2 or below.
    bool InNodes() const { return m_stack.size() >= 2 && m_stack[0].key == "nodes" && m_stack[1].array; }

    bool Open(bool array) {
        if (m_stack.size() == 2 && InNodes() && !array)
            while (m_graph.names.size() <= m_stack[1].index) m_graph.Add("");
        m_stack.push_back(Frame{array, 0, {}});
        return true;
    }
    bool Close() {
        m_stack.pop_back();
        return Value();
    }
    bool Value() {
        if (!m_stack.empty() && m_stack.back().array) ++m_stack.back().index;
        return true;
    }
    bool Index(int64_t value) {
        if (m_stack.size() == 4 && InNodes() && m_stack[2].key == "children" && m_stack[3].array)
            edges.emplace_back(m_stack[1].index, value);
        return Value();
    }

    NodeGraph& m_graph;
    std::vector<Frame> m_stack;
};

bool MeasureGltf(const std::string& json, std::string& error) {
    NodeGraph graph;
    GltfNodes reader(graph);
    // A document that does not parse is left for Assimp to refuse in its own words.
    if (!nlohmann::json::sax_parse(json, &reader, nlohmann::json::input_format_t::json, false)) return true;
    for (const auto& [parent, child] : reader.edges)
        if (child >= 0 && size_t(child) < graph.names.size() && parent < graph.names.size())
            graph.children[parent].push_back(size_t(child));
    return Measure(graph, error);
}

// The JSON chunk of a binary glTF: a 12-byte header, then chunks of (length, type, bytes),
// the first of which is the JSON.
bool GlbJson(std::ifstream& file, std::string& json) {
    unsigned char header[20];
    if (!file.read(reinterpret_cast<char*>(header), sizeof header)) return false;
    auto u32 = [&](int at) {
        return uint32_t(header[at]) | uint32_t(header[at + 1]) << 8 | uint32_t(header[at + 2]) << 16 |
               uint32_t(header[at + 3]) << 24;
    };
    if (std::memcmp(header, "glTF", 4) != 0 || std::memcmp(header + 16, "JSON", 4) != 0) return false;
    json.resize(u32(12));
    return bool(file.read(json.data(), std::streamsize(json.size())));
}

// The value of attribute `name` in the tag text, or empty.
std::string Attribute(const std::string& text, size_t begin, size_t end, const char* name) {
    const size_t length = std::strlen(name);
    for (size_t at = begin; at + length + 2 < end; ++at) {
        if (text.compare(at, length, name) != 0 || !std::isspace(static_cast<unsigned char>(text[at - 1]))) continue;
        size_t value = at + length;
        while (value < end && std::isspace(static_cast<unsigned char>(text[value]))) ++value;
        if (value >= end || text[value] != '=') continue;
        ++value;
        while (value < end && std::isspace(static_cast<unsigned char>(text[value]))) ++value;
        if (value >= end || (text[value] != '"' && text[value] != '\'')) continue;
        const size_t close = text.find(text[value], value + 1);
        if (close == std::string::npos || close > end) return {};
        return text.substr(value + 1, close - value - 1);
    }
    return {};
}

// COLLADA nodes nest as <node> elements and point at library nodes by <instance_node
// url="#id">: both are edges of the graph.
bool MeasureCollada(const std::string& text, std::string& error) {
    NodeGraph graph;
    std::map<std::string, size_t> byId;
    std::vector<std::pair<size_t, std::string>> instances;
    std::vector<size_t> open;
    size_t at = 0;
    while ((at = text.find('<', at)) != std::string::npos) {
        auto skipTo = [&](const char* end) {
            const size_t found = text.find(end, at);
            at = found == std::string::npos ? text.size() : found + std::strlen(end);
        };
        if (text.compare(at, 4, "<!--") == 0) {
            skipTo("-->");
            continue;
        }
        if (text.compare(at, 9, "<![CDATA[") == 0) {
            skipTo("]]>");
            continue;
        }
        // The tag's end: the first ">" outside quotes.
        size_t end = at + 1;
        char quote = 0;
        for (; end < text.size(); ++end) {
            if (quote) {
                if (text[end] == quote) quote = 0;
            } else if (text[end] == '"' || text[end] == '\'') {
                quote = text[end];
            } else if (text[end] == '>') {
                break;
            }
        }
        const bool closing = at + 1 < text.size() && text[at + 1] == '/';
        size_t nameEnd = at + 1 + closing;
        while (nameEnd < end && !std::isspace(static_cast<unsigned char>(text[nameEnd])) && text[nameEnd] != '/' &&
               text[nameEnd] != '>')
            ++nameEnd;
        const std::string tag = text.substr(at + 1 + closing, nameEnd - at - 1 - closing);
        const bool selfClosing = end > at && text[end - 1] == '/';
        if (tag == "node") {
            if (closing) {
                if (!open.empty()) open.pop_back();
            } else {
                const size_t node = graph.Add(Attribute(text, nameEnd, end, "name"));
                const std::string id = Attribute(text, nameEnd, end, "id");
                if (!id.empty()) byId.emplace(id, node);
                if (!open.empty()) graph.children[open.back()].push_back(node);
                if (!selfClosing) open.push_back(node);
            }
        } else if (tag == "instance_node" && !closing && !open.empty()) {
            const std::string url = Attribute(text, nameEnd, end, "url");
            if (url.size() > 1 && url[0] == '#') instances.emplace_back(open.back(), url.substr(1));
        }
        at = end;
    }
    for (const auto& [node, id] : instances) {
        auto found = byId.find(id);
        if (found != byId.end()) graph.children[node].push_back(found->second);
    }
    return Measure(graph, error);
}

std::string LowerExtension(const std::string& path) {
    const size_t dot = path.find_last_of('.');
    const size_t slash = path.find_last_of("/\\");
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    std::string extension = path.substr(dot + 1);
    for (char& c : extension) c = char(std::tolower(static_cast<unsigned char>(c)));
    return extension;
}

}  // namespace

bool SourceDepthAcceptable(const std::string& path, std::string& error) {
    const std::string extension = LowerExtension(path);
    if (extension != "gltf" && extension != "glb" && extension != "dae") return true;
    std::string text;
    if (extension == "glb") {
        std::ifstream file(path, std::ios::binary);
        if (!file || !GlbJson(file, text)) return true;
        return MeasureGltf(text, error);
    }
    // A file that cannot be read is left to Assimp, which says why.
    if (!ReadWholeFile(path, text)) return true;
    return extension == "gltf" ? MeasureGltf(text, error) : MeasureCollada(text, error);
}

}  // namespace tessaline
