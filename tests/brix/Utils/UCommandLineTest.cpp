#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Utils/UCommandLine.h"

using namespace brix;

namespace {
// "name: p1 p2" per argument.
std::vector<std::string> Arguments(const UBaseCommandLine<unsigned char>& line) {
    std::vector<std::string> out;
    for (int32_t i = 0; i < line.GetNumArguments(); ++i) {
        UBaseCommandArgument<unsigned char> argument = line.GetArgument(i);
        std::string text = std::string(argument.GetName().c_str()) + ":";
        for (int32_t p = 0; p < argument.GetNumParameters(); ++p)
            text += std::string(" ") + argument.GetParameter(p).c_str();
        out.push_back(text);
    }
    return out;
}
using Strings = std::vector<std::string>;
}  // namespace

// Pinned byte for byte on purpose: the pattern defines how an option string is split,
// which hosts and scripts that pass option strings rely on.
TEST(UBaseCommandLine, DashPatternIsStoredAsWritten) {
    const char expected[] =
        "(?x)\t\t\t\t\t(?# case sensitive, single line, "
        "extended)\t\t\t\t\t\t\t(\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\"[^\"]*\"\t\t(?# match everything "
        "enclosed by quotes)\t\t\t\t\t\t\t)\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t|\t\t\t\t\t(?# "
        "or)\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t(?:\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t-\t\t\t\t(?# match "
        "dash)\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t(?:\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\\g<1>\t\t(?# match "
        "everything enclosed by quotes)\t\t\t\t\t\t\t\t\t|\t\t\t(?# or)\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t.\t\t\t(?# "
        "match any "
        "character)\t\t\t\t\t\t\t\t\t\t\t\t)*?\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t(?:"
        "\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t(?=\\s-)\t(?# if lookahead matches a whitespace and a "
        "dash)\t\t\t\t\t\t\t|\t\t\t(?# or)\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t$\t\t\t(?# match end of string - "
        "multiline)\t\t\t\t\t\t\t\t\t)\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t)"
        "\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t|\t\t\t\t\t(?# "
        "or)\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t[^\\s]+\t\t\t\t(?# match non-whitespace)\t\t\t\t\t\t\t\t\t\t";
    EXPECT_EQ(UBaseCommandArgument<unsigned char>::DashPattern().Length(), 714);
    EXPECT_STREQ(UBaseCommandArgument<unsigned char>::DashPattern().c_str(), expected);
}

TEST(UBaseCommandLine, SplitsNameAndDashArguments) {
    UBaseCommandLine<unsigned char> line(UString("tool -a \"x -y\" -b"));
    EXPECT_STREQ(line.GetName().c_str(), "tool");
    EXPECT_EQ(Arguments(line), (Strings{"a: \"x -y\"", "b:"}));
    UBaseCommandArgument<unsigned char> missing = line.GetArgument(5);
    EXPECT_STREQ(missing.GetName().c_str(), "");
    EXPECT_EQ(missing.GetNumParameters(), 0);
    UBaseCommandArgument<unsigned char> sized(UString("size 10 20"));  // the value of the token "-size 10 20"
    EXPECT_STREQ(sized.GetName().c_str(), "size");
    ASSERT_EQ(sized.GetNumParameters(), 2);
    EXPECT_STREQ(sized.GetParameter(1).c_str(), "20");
    line.Parse(UString(""));
    EXPECT_EQ(line.GetNumArguments(), 0);
    EXPECT_STREQ(line.GetName().c_str(), "");
}

TEST(TranslatorOptions, BecomeDashArgumentsOfTheModule) {
    struct Case {
        const char* options;
        Strings arguments;
    } cases[] = {
        {"a=1;b = 2", {"a: 1", "b: 2"}},
        {"flag", {"flag:"}},
        {"k=v=w", {"k: v w"}},
        {"k=-1", {"k:", "1:"}},
        {"a=1;;b=2", {"a: 1", "b: 2"}},
        {"a = 1", {"a: 1"}},
        {"name=x y", {"name: xy"}},
        {"", {}},
        {" ; \t", {}},
        {"a=1\r\nb=2", {"a: 1"}},
    };
    for (const Case& c : cases) {
        UBaseCommandLine<unsigned char> line;
        ParseTranslatorOptions("TessalineExporter", UString(c.options), line);
        EXPECT_STREQ(line.GetName().c_str(), "TessalineExporter") << c.options;
        EXPECT_EQ(Arguments(line), c.arguments) << c.options;
    }
    EXPECT_STREQ(TranslatorOptionsToCommandLineText("TessalineImporter", UString("a=1;b = 2")).c_str(),
                 "TessalineImporter -a 1 -b 2");
}
