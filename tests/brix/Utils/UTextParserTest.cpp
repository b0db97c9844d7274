#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Utils/UTextParser.h"

using namespace brix;

namespace {
std::vector<std::string> Values(const char* text) {
    UString subject(text);
    UTextParser parser(subject);
    std::vector<std::string> values;
    while (parser.HasMoreTokens()) {
        UString value;
        parser >> value;
        values.push_back(value.c_str());
    }
    return values;
}
using Strings = std::vector<std::string>;

// Every token record, read off the cursor.
std::vector<UTextParser::Token> Tokens(UTextParser& parser) {
    std::vector<UTextParser::Token> tokens;
    for (UTextParser::Token token; parser.PeekToken(token); parser.Skip()) tokens.push_back(token);
    return tokens;
}
}  // namespace

// Pinned byte for byte on purpose: these patterns are the tokenizer's definition of a
// rig file's tokens, and the documented reading rules are stated against them, so any
// edit to them is a change of the file format, not a refactoring.
TEST(UTextParser, PatternsAreStoredAsWritten) {
    const char expected[] =
        "(?mx)\t\t\t\t\t(?# case sensitive, multiline, "
        "extended)\t\t\t\t\t\t\t(\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\"[^\"]*\"\t\t(?# match everything "
        "enclosed by quotes)\t\t\t\t\t\t\t)\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t|\t\t\t\t\t(?# "
        "or)\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t(\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\\{\t\t\t\t(?# match curly "
        "brace)\t\t\t\t\t\t\t\t\t\t\t\t\t(?:\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\\g<1>\t\t(?# match "
        "everything enclosed by quotes)\t\t\t\t\t\t\t\t\t|\t\t\t(?# "
        "or)\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t[^\\{\\}]\t(?# match everything anything except curly "
        "braces)\t\t\t\t\t\t\t|\t\t\t(?# or)\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\\g<2>\t\t(?# match block "
        "recursively)\t\t\t\t\t\t\t\t\t\t\t)*\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\\}\t\t\t\t(?# match curly "
        "brace)\t\t\t\t\t\t\t\t\t\t\t\t)\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t|\t\t\t\t\t(?# "
        "or)\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t[^\\s\"\\{\\}]+\t\t(?# match non-whitespace/quotes/curly braces)\t\t\t\t\t";
    EXPECT_EQ(UTextParser::BlockPattern().Length(), 684);
    EXPECT_STREQ(UTextParser::BlockPattern().c_str(), expected);
    EXPECT_STREQ(UTextParser::BlockValuePattern().c_str(),
                 "(?m)(?<=\\A\\{).*(?=\\}\\Z)|(?<=\\A\").*(?=\"\\Z)|\\A[^\\{\"].*");
}

TEST(UTextParser, CutsQuotedStringsBlocksAndWords) {
    struct Case {
        const char* text;
        Strings values;
    } cases[] = {
        {"name \"a b\" list { 1 { 2 } \"}\" } x", {"name", "a b", "list", " 1 { 2 } \"}\" ", "x"}},
        {"\"\"", {""}},
        {"{}", {""}},
        {"abc\"def\"", {"abc", "def"}},
        {"a{b}", {"a", "b"}},
        {"}", {}},
        {"\"unclosed", {"unclosed"}},
        {"{ 1 2", {"1", "2"}},
        {"\"multi\nline\" {\n a\n}", {"multi\nline", "\n a\n"}},
        {"", {}},
        {" \t\r\n ", {}},
    };
    for (const Case& c : cases) EXPECT_EQ(Values(c.text), c.values) << c.text;
}

TEST(UTextParser, TokenRecordsHoldMatchAndValueRanges) {
    UString text("ab \"cd\" {e}");
    UTextParser parser(text);
    const std::vector<UTextParser::Token> expected = {{0, 2, 0, 2}, {3, 4, 4, 2}, {8, 3, 9, 1}};
    EXPECT_EQ(Tokens(parser), expected);
    // A range counts its offsets from the start of the whole text.
    UTextParser range(text, 3, 8);
    const std::vector<UTextParser::Token> inRange = {{3, 4, 4, 2}, {8, 3, 9, 1}};
    EXPECT_EQ(Tokens(range), inRange);
}

// A block's value read in place gives the tokens and engine error that a copy of it
// gives, offsets counted from the whole text, whether its nesting is checked again or
// taken from the whole text's check.
TEST(UTextParser, ABlockReadInPlaceReadsAsACopyOfItsValue) {
    const std::vector<std::string> texts = {
        "list { 1 { 2 } \"}\" x } tail",
        "a { b \"c { d\" { e { f } } g } { } {a}{b}",
        "{ \"\" {} \"{\" \"}\" \"\"\"\" }",
        "{ a a a a a a a a a a a a a a a a a a a a a a a a a a a a a a a a a a a a a a a a }",
        std::string("{ a\0b \"c\0d\" {\0} }", 17),
        "{ 1.5 -2 3e1 \"4\" {5} 6x }",
        "{\r\n\tset 0 {\r\n\t\t0.0000 0.5000\r\n\t}\r\n}",
        // Blocks that close only when a quoted string is read as bytes, and quotes whose
        // partner lies outside the block.
        "{ { \"}\" } ",
        "x { \"} \" { } ",
        "{ a \" } b \"",
    };
    for (const std::string& bytes : texts) {
        const UString text(reinterpret_cast<const unsigned char*>(bytes.data()), int32_t(bytes.size()));
        UTextParser whole(text);
        for (UTextParser::Token block; whole.PeekToken(block);) {
            int32_t start, length;
            whole.ReadValueRange(start, length);
            if (bytes[size_t(block.matchStart)] != '{') continue;
            const UString copy(reinterpret_cast<const unsigned char*>(bytes.data()) + start, length);
            UTextParser fromCopy(copy);
            std::vector<UTextParser::Token> expected = Tokens(fromCopy);
            for (UTextParser::Token& token : expected) token.matchStart += start, token.valueStart += start;
            for (UTextParser::Nesting nesting :
                 {UTextParser::Nesting::Check, UTextParser::Nesting::CheckedWithWholeText}) {
                UTextParser inPlace(text, start, length, nesting);
                EXPECT_EQ(Tokens(inPlace), expected) << bytes << " at " << start;
                EXPECT_EQ(inPlace.GetEngineError(), fromCopy.GetEngineError()) << bytes << " at " << start;
            }
        }
    }
}

// A value is read as a C string sees it: up to its first zero byte, short or long.
TEST(UTextParser, ValuesEndAtTheirFirstZeroByte) {
    const std::string longer = "0123456789abcdefghij";
    const std::string bytes =
        std::string("\"ab\0cd\" ", 8) + "\"" + longer + std::string("\0z\" ", 4) + "\"" + longer + "\"";
    const UString text(reinterpret_cast<const unsigned char*>(bytes.data()), int32_t(bytes.size()));
    UTextParser parser(text);
    UString first, second;
    parser >> first >> second;
    EXPECT_STREQ(first.c_str(), "ab");
    EXPECT_EQ(first.Length(), 2);
    EXPECT_STREQ(second.c_str(), longer.c_str());
    int32_t start = 0, length = 0;
    parser.ReadValueRange(start, length);
    EXPECT_EQ(length, int32_t(longer.size()));
    UTextParser again(text);
    again.ReadValueRange(start, length);
    EXPECT_EQ(std::make_pair(start, length), std::make_pair(1, 2));
}

TEST(UTextParser, BlockValueReadsAsAFreshText) {
    UString text("{}");
    UTextParser outer(text);
    UString inner;
    outer >> inner;
    UTextParser parser(inner);
    EXPECT_FALSE(parser.HasMoreTokens());
    UTextParser::Token token{};
    EXPECT_FALSE(parser.PeekToken(token));
}

TEST(UTextParser, NumbersReadFromTheMatchStart) {
    UString text("\"7\" 7x -12 3.5e1 {4} 1.25 2 3 4 5 6 7 8 9");
    UTextParser parser(text);
    int32_t quoted = -1, suffixed = -1, negative = 0, braced = -1;
    float real = 0;
    parser >> quoted >> suffixed >> negative >> real >> braced;
    EXPECT_EQ(quoted, 0);
    EXPECT_EQ(suffixed, 7);
    EXPECT_EQ(negative, -12);
    EXPECT_FLOAT_EQ(real, 35.0f);
    EXPECT_EQ(braced, 0);
    TVector2<float> uv;
    TVector3<float> point;
    float row[4];
    parser >> uv >> point >> row;
    EXPECT_EQ(uv, (TVector2<float>{1.25f, 2}));
    EXPECT_EQ(point, (TVector3<float>{3, 4, 5}));
    EXPECT_EQ(row[3], 9.0f);
    EXPECT_FALSE(parser.HasMoreTokens());
}

TEST(UTextParser, ReadsPastTheEndYieldEmptyAndZero) {
    UString text("only");
    UTextParser parser(text);
    UString word, after("x");
    int32_t number = 5;
    float real = 5;
    parser >> word >> after >> number >> real;
    EXPECT_STREQ(word.c_str(), "only");
    EXPECT_STREQ(after.c_str(), "");
    EXPECT_EQ(number, 0);
    EXPECT_EQ(real, 0.0f);
    EXPECT_FALSE(parser.HasMoreTokens());
}

TEST(UTextParser, LargeBlocksTokenizeCompletely) {
    // One block of more than 10 MB: the engine's default step budget gives up on it.
    std::string big = "mesh {";
    while (big.size() < 10500000) big += " 1.0000 2.0000 3.0000\r\n";
    big += "} tail";
    UString text(big.c_str());
    UTextParser parser(text);
    EXPECT_EQ(parser.GetEngineError(), 0);
    UString mesh, block, tail;
    parser >> mesh >> block >> tail;
    EXPECT_EQ(block.Length(), int32_t(big.size()) - 12);
    EXPECT_STREQ(tail.c_str(), "tail");
    EXPECT_FALSE(parser.HasMoreTokens());
}

TEST(UTextParser, DeepNestingMatchesOrIsReportedNeverWrong) {
    for (int depth : {21, 300, 1000}) {
        std::string text = std::string(size_t(depth), '{') + "\"q\" x" + std::string(size_t(depth), '}') + " after";
        UString subject(text.c_str());
        UTextParser parser(subject);
        EXPECT_EQ(parser.GetEngineError(), 0) << depth;
        const std::vector<UTextParser::Token> tokens = Tokens(parser);
        ASSERT_EQ(tokens.size(), 2u) << depth;
        EXPECT_EQ(tokens[0].matchLength, int(text.size()) - 6) << depth;  // the block's
    }
    std::string tooDeep = std::string(1001, '{') + std::string(1001, '}');
    UString subject(tooDeep.c_str());
    UTextParser parser(subject);
    EXPECT_EQ(parser.GetEngineError(), UTextParser::kErrorNestingTooDeep);
}

// Quoted braces are bytes of a string: they neither nest nor close, with either engine.
// Only where a block never closes may the engine read them as plain bytes, so there
// every brace counts towards the limit.
TEST(UTextParser, QuotedBracesDoNotCountTowardsTheNestingLimit) {
    const std::string quoted = "\"" + std::string(1001, '{') + "\"";
    for (const std::string& text : {"name " + quoted, "{ " + quoted + " }", "{ " + quoted + " \"}}\" }"}) {
        for (UTextParser::Engine engine : {UTextParser::Engine::Scanner, UTextParser::Engine::RegexOnly}) {
            UString subject(text.c_str());
            UTextParser parser(subject, engine);
            EXPECT_EQ(parser.GetEngineError(), 0) << text;
            EXPECT_FALSE(parser.IsOpenEnded()) << text;
            EXPECT_EQ(Tokens(parser).size(), text[0] == '{' ? 1u : 2u) << text;
        }
    }
    const std::string unclosed = "{ " + quoted;
    UString subject(unclosed.c_str());
    UTextParser parser(subject);
    EXPECT_EQ(parser.GetEngineError(), UTextParser::kErrorNestingTooDeep);
}

// A text is open-ended when it ends inside a block or a quoted string; a stray closing
// brace outside every block is passed over and leaves it whole.
TEST(UTextParser, TellsTextsThatEndInsideAConstruct) {
    struct Case {
        const char* text;
        bool openEnded;
    } cases[] = {
        {"", false},       {"a { b { c } } \"d\"", false},
        {"a } b", false},  {"{ \"}\" }", false},
        {"{ a", true},     {"{ { a }", true},
        {"a \"b", true},   {"{ \"a\" } \"", true},
        {"{ \"}\"", true}, {"\"{\" {", true},
    };
    for (const Case& c : cases) {
        for (UTextParser::Engine engine : {UTextParser::Engine::Scanner, UTextParser::Engine::RegexOnly}) {
            UString subject(c.text);
            EXPECT_EQ(UTextParser(subject, engine).IsOpenEnded(), c.openEnded) << c.text;
        }
    }
}

namespace {
// A minimal input stream over a string, standing in for a file.
class StringStream : public IInputStream {
public:
    explicit StringStream(std::string data) : m_data(std::move(data)) {}
    uint64_t Serialize(void* buffer, uint64_t size) override {
        const uint64_t n = std::min<uint64_t>(size, m_data.size() - m_position);
        memcpy(buffer, m_data.data() + m_position, n);
        m_position += n;
        return n;
    }
    void Close() override {}
    bool IsOpen() const override { return true; }
    UString GetName() const override { return UString("string"); }
    uint64_t GetSize() override { return m_data.size(); }
    uint64_t Tell() override { return m_position; }
    void SeekToStart() override { m_position = 0; }
    void SeekToEnd() override { m_position = m_data.size(); }
    IInputStream& SeekForward(int32_t d) override {
        m_position += uint64_t(d);
        return *this;
    }
    IInputStream& SeekBackward(int32_t d) override {
        m_position -= uint64_t(d);
        return *this;
    }
    bool IsEnd() override { return m_position >= m_data.size(); }
    uint64_t m_position = 0;

private:
    std::string m_data;
};
}  // namespace

TEST(TextParserPolicy_ParseStream, ReadsTheRestOfTheStreamAndPutsItBack) {
    StringStream stream("skip version 1 { a }");
    stream.m_position = 5;
    TextParserPolicy_ParseStream<unsigned char> parser(&stream);
    EXPECT_EQ(stream.Tell(), 5u);
    UString key, block;
    int32_t version = 0;
    parser >> key >> version >> block;
    EXPECT_STREQ(key.c_str(), "version");
    EXPECT_EQ(version, 1);
    EXPECT_STREQ(block.c_str(), " a ");

    StringStream empty("");
    TextParserPolicy_ParseStream<unsigned char> none(&empty);
    EXPECT_FALSE(none.HasMoreTokens());
    EXPECT_STREQ(none.Parser().GetText(), "");
}

TEST(TextParserPolicy_ParseStream, MissingStreamIsABrokenPrecondition) {
    try {
        TextParserPolicy_ParseStream<unsigned char> parser(nullptr);
        FAIL() << "no exception";
    } catch (const ErrorDescription& error) {
        EXPECT_STREQ(error.m_message, "'assure' failed: text");
        EXPECT_STREQ(error.m_file, "Utils/UTextParser");
        EXPECT_EQ(error.m_line, 369);
        EXPECT_STREQ(error.m_history,
                     "brix::TextParserPolicy_ParseStream<unsigned char>::TextParserPolicy_ParseStream()");
    }
}
