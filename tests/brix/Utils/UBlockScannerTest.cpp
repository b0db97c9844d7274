// The block tokenizer's scanner against the regex engine alone: both must give the same
// token records and the same engine error for every text, whether the error is asked
// before the tokens are read or after.

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "Utils/UTextParser.h"

using namespace brix;

namespace {

struct Tokenized {
    std::vector<UTextParser::Token> records;
    int error;         // once every token was read
    int errorUpFront;  // asked before any token was read
};

Tokenized Tokenize(const std::string& bytes, UTextParser::Engine engine) {
    UString text(reinterpret_cast<const unsigned char*>(bytes.data()), int32_t(bytes.size()));
    Tokenized out{{}, 0, UTextParser(text, engine).GetEngineError()};
    UTextParser parser(text, engine);
    for (UTextParser::Token token; parser.PeekToken(token); parser.Skip()) out.records.push_back(token);
    out.error = parser.GetEngineError();
    return out;
}

std::string Printable(const std::string& bytes) {
    std::string out;
    for (unsigned char c : bytes) {
        if (c >= 0x20 && c < 0x7f)
            out += char(c);
        else {
            char hex[8];
            snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        }
    }
    return out;
}

void ExpectSameTokens(const std::string& bytes) {
    const Tokenized scanned = Tokenize(bytes, UTextParser::Engine::Scanner);
    const Tokenized matched = Tokenize(bytes, UTextParser::Engine::RegexOnly);
    EXPECT_EQ(scanned.error, matched.error) << Printable(bytes);
    EXPECT_EQ(scanned.errorUpFront, scanned.error) << Printable(bytes);
    EXPECT_EQ(matched.errorUpFront, matched.error) << Printable(bytes);
    EXPECT_EQ(scanned.records, matched.records) << Printable(bytes);
}

// A small rig text as the writer lays it out, with a skinned mesh and two UV sets.
std::string SampleRig() {
    return "version 1\r\n\r\nnumBones 2\r\nbone 0 {\r\n\tname \"root\"\r\n\tparent \"\"\r\n\tinvBaseMatrix"
           " 1.0000 0.0000 0.0000 0.0000 0.0000 1.0000 0.0000 0.0000 0.0000 0.0000 1.0000 0.0000 -0.5000 0.0000"
           " 0.0000 1.0000\r\n}\r\n\r\nbone 1 {\r\n\tname \"a {b}\"\r\n\tparent \"root\"\r\n\tinvBaseMatrix 1.0000"
           "\r\n}\r\n\r\nnumMeshes 1\r\nmesh 0 {\r\n\tname \"m\"\r\n\r\n\tvertices {\r\n\t\t0.0000 1.0000 2.0000"
           "\r\n\t\t-3.2500 4.0000 5.0000\r\n\t}\r\n\r\n\tnormals {\r\n\t\t0.0000 0.0000 1.0000\r\n\t}\r\n\r\n"
           "\ttextureCoordinates {\r\n\t\tset 0 {\r\n\t\t\t0.0000 0.5000\r\n\t\t}\r\n\r\n\t\tset 1 {\r\n\t\t\t1.0000"
           " 1.0000\r\n\t\t}\r\n\t}\r\n\r\n\tmaterialNames {\r\n\t\t \"lambert\"\r\n\t}\r\n\r\n\tpolygonVertexCounts"
           " {\r\n\t\t3\r\n\t}\r\n\r\n\tpolygonVertexIndices {\r\n\t\t0 1 0\r\n\t}\r\n\r\n\tweights {\r\n\t\t0 0.5000"
           "\r\n\t\t1 0.5000\r\n\t}\r\n}\r\n";
}

}  // namespace

TEST(UBlockScanner, GivesTheEngineTokensOnTrickyTexts) {
    const std::vector<std::string> cases = {
        "",
        " \t\n\v\f\r",
        "name \"a b\" list { 1 { 2 } \"}\" } x",
        "\"\"",
        "{}",
        "{{}}",
        "abc\"def\"",
        "a{b}c",
        "}",
        "}}{",
        "\"unclosed",
        "{ 1 2",
        "{ 1 { 2 } 3",
        // A quote inside a block whose partner lies outside it, or nowhere.
        "{\"}\"",
        "{ \"} }",
        "{ a \" } b",
        "{ \" } \" } \"",
        "{ \"x\" \" }",
        "x \"{\" }",
        // A block that closes only when a quoted string inside is read as plain bytes.
        "{ \"} \" { } ",
        "{ { \"}\" } ",
        "{\"{\"}\"}",
        "{ 1 \"2 } 3",
        "{{{ a }}",
        "{{{ a } b } \"",
        "\"a\" \"b",
        "{\"a\"\"b\"}",
        "a\"b\"c\"d",
        "x\x85y \xa0z \x1c\x1d\x1e\x1f w",
        std::string("a\0b {\0} \"\0\"", 11),
        "\xff{\xfe}\xfd\"\xfc\"",
        "word{",
        "{word",
        "}{",
        "{\n}\n\"\n\"",
        std::string(300, '{') + "\"q\" x" + std::string(300, '}') + " after",
        std::string(1000, '{') + std::string(1000, '}'),
        std::string(1001, '{') + std::string(1001, '}'),
        std::string(999, '{') + "\"" + std::string(999, '}'),
        "{ " + std::string(200, '"') + " }",
        // A block that never closes, whose quotes the engine may read as strings or as
        // bytes: it gives up, which stops the tokens there.
        "a { b" +
            [] {
                std::string pairs;
                for (int i = 0; i < 40; ++i) pairs += "\"\" ";
                return pairs;
            }() +
            "c",
        SampleRig(),
    };
    for (const std::string& text : cases) ExpectSameTokens(text);
}

TEST(UBlockScanner, GivesTheEngineTokensOnRandomTexts) {
    std::mt19937 random(20261209);
    // Bytes drawn mostly from the ones that steer the pattern.
    const std::string steering = "{{{}}}\"\" \t\n\r\v\fab1.-";
    for (int round = 0; round < 3000; ++round) {
        std::string text(random() % 48, '\0');
        for (char& c : text) {
            const unsigned pick = random() % 8;
            c = pick == 0 ? char(random() % 256) : steering[random() % steering.size()];
        }
        ExpectSameTokens(text);
    }
    // Long runs of plain bytes with a brace or quote now and then, so that each of them
    // falls at every place within the blocks of bytes the scanner looks at together.
    for (int round = 0; round < 1500; ++round) {
        std::string text(64 + random() % 400, '1');
        for (char& c : text)
            if (random() % 40 == 0) c = "{}\" \n"[random() % 5];
        ExpectSameTokens(text);
    }
}

TEST(UBlockScanner, GivesTheEngineTokensOnMutatedRigTexts) {
    std::mt19937 random(11);
    const std::string rig = SampleRig();
    const char inserted[] = {'{', '}', '"', ' ', '\0', '\n', 'x'};
    for (int round = 0; round < 800; ++round) {
        std::string text = rig;
        for (int edits = 1 + int(random() % 4); edits > 0; --edits) {
            const size_t at = random() % (text.size() + 1);
            switch (random() % 5) {
            case 0: text.insert(at, 1, inserted[random() % sizeof inserted]); break;
            case 1:
                if (at < text.size()) text.erase(at, 1 + random() % 8);
                break;
            case 2:
                if (at < text.size()) text[at] = char(random() % 256);
                break;
            case 3: text = text.substr(0, at); break;
            default: text.insert(at, text.substr(random() % text.size(), random() % 40)); break;
            }
        }
        ExpectSameTokens(text);
    }
}
