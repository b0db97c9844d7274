#include <gtest/gtest.h>

#include <cstring>

#include "Utils/URegex.h"

using namespace brix;

namespace {
int SearchAll(URegex<unsigned char>& regex, const char* subject, int from = 0) {
    const unsigned char* s = reinterpret_cast<const unsigned char*>(subject);
    const unsigned char* end = s + strlen(subject);
    return regex.Search(s, end, s + from, end);
}
}  // namespace

TEST(URegex, SearchReportsOffsetsFromTheSubjectStart) {
    URegex<unsigned char> regex(UString("b+"));
    EXPECT_EQ(SearchAll(regex, "aabbbc"), 2);
    EXPECT_EQ(regex.MatchBegin(), 2);
    EXPECT_EQ(regex.MatchLength(), 3);
    EXPECT_EQ(SearchAll(regex, "abab", 2), 3);
    EXPECT_EQ(SearchAll(regex, "aaaa"), URegex<unsigned char>::kNoMatch);
    EXPECT_EQ(SearchAll(regex, "ab", 2), URegex<unsigned char>::kNoMatch);  // from the subject end
}

TEST(URegex, MultilineModeLetsDotCrossNewlines) {
    URegex<unsigned char> multiline(UString("(?m)a.*z"));
    URegex<unsigned char> single(UString("a.*"));
    EXPECT_EQ(SearchAll(multiline, "a\nz"), 0);
    EXPECT_EQ(multiline.MatchLength(), 3);
    EXPECT_EQ(SearchAll(single, "ab\ncd"), 0);
    EXPECT_EQ(single.MatchLength(), 2);
}

TEST(URegex, RejectedPatternRaisesTheEngineMessage) {
    try {
        URegex<unsigned char> broken(UString("(ab"));
        FAIL() << "no exception";
    } catch (const ErrorDescription& error) {
        EXPECT_STREQ(error.m_message, "end pattern with unmatched parenthesis");
        EXPECT_STREQ(error.m_file, "Utils/URegex");
        EXPECT_EQ(error.m_line, 145);
        EXPECT_STREQ(error.m_history,
                     "brix::URegex<unsigned char>::CreateOnigRegex() <- brix::URegex<unsigned char>::URegex()");
    }
}

TEST(URegex, SurvivesBytewiseRelocationInAnArray) {
    UArray<URegex<unsigned char>> regexes;
    for (int i = 0; i < 70; ++i) regexes.Emplace(UString(i % 2 ? "x+" : "y+"));  // grows past 64
    EXPECT_EQ(SearchAll(regexes[69], "aaxx"), 2);
    EXPECT_EQ(SearchAll(regexes[0], "aayy"), 2);
}
