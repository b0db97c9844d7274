#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>

#include "Core/ErrorDescription.h"

using namespace brix;

TEST(ErrorDescription, FieldsAreFilledAndCut) {
    ErrorDescription e("C:\\src\\file.cpp", "brix::Foo::Bar", "went wrong", 42);
    EXPECT_EQ(e.m_type, 0);
    EXPECT_EQ(e.m_line, 42);
    EXPECT_STREQ(e.m_message, "went wrong");
    EXPECT_STREQ(e.m_file, "\\src\\file.cpp");  // the drive is dropped
    EXPECT_STREQ(e.m_history, "brix::Foo::Bar()");

    ErrorDescription absent(nullptr, nullptr, nullptr, 0);
    EXPECT_STREQ(absent.m_message, "");
    EXPECT_STREQ(absent.m_file, "");
    EXPECT_STREQ(absent.m_history, "");

    const std::string longMessage(2000, 'm'), longFile(300, 'f');
    ErrorDescription cut(longFile.c_str(), "f", longMessage.c_str(), 1);
    EXPECT_EQ(strlen(cut.m_message), 1023u);
    EXPECT_EQ(strlen(cut.m_file), 259u);

    // A function name too long for "()" is kept as far as it fits, without it.
    const std::string name4093(4093, 'n'), name4094(4094, 'n'), name5000(5000, 'n');
    EXPECT_EQ(std::string(ErrorDescription(nullptr, name4093.c_str(), nullptr, 0).m_history), name4093 + "()");
    EXPECT_EQ(std::string(ErrorDescription(nullptr, name4094.c_str(), nullptr, 0).m_history), name4094);
    EXPECT_EQ(strlen(ErrorDescription(nullptr, name5000.c_str(), nullptr, 0).m_history), 4095u);
}

TEST(ErrorDescription, HistoryExtension) {
    ErrorDescription noName("f.cpp", nullptr, "m", 1);
    EXPECT_STREQ(noName.m_history, "");
    ErrorDescription named(noName, "brix::Outer");
    EXPECT_STREQ(named.m_history, "brix::Outer()");
    ErrorDescription unknown(named, nullptr);
    EXPECT_STREQ(unknown.m_history, "brix::Outer() <- (unknown)");
    ErrorDescription emptyName(unknown, "");
    EXPECT_STREQ(emptyName.m_history, "brix::Outer() <- (unknown) <- (unknown)");
    // Everything but the history is carried unchanged, the type included.
    named.m_type = 1;
    ErrorDescription copy(named, "next");
    EXPECT_EQ(copy.m_type, 1);
    EXPECT_STREQ(copy.m_message, "m");
    EXPECT_EQ(copy.m_line, 1);

    // A history near its limit keeps exactly 4095 characters.
    const std::string longName(4080, 'a');
    ErrorDescription nearFull(nullptr, longName.c_str(), nullptr, 0);
    ErrorDescription extended(nearFull, "brix::SomeGuardedFunction");
    EXPECT_EQ(strlen(extended.m_history), 4095u);
    EXPECT_EQ(std::string(extended.m_history), (longName + "() <- brix::SomeGuardedFunction()").substr(0, 4095));
}

TEST(ErrorDescription, FormatRendersThreeSections) {
    ErrorDescription e("f.cpp", "brix::UArray<float>::~UArray", "'assure' failed: m_arrayNum>=0", 3);
    ErrorDescription passed(e, "brix::UCoreServices<...>::Init");
    EXPECT_STREQ(passed.Format(),
                 "Type:\r\nUNKNOWN\r\n\r\nMessage:\r\n'assure' failed: m_arrayNum>=0\r\n\r\nHistory:\r\n"
                 "brix::UArray<float>::~UArray() <- brix::UCoreServices<...>::Init()");
    ErrorDescription empty(nullptr, nullptr, nullptr, 0);
    empty.m_type = ErrorDescription::TYPE_BAD_ALLOC;
    EXPECT_STREQ(empty.Format(), "Type:\r\nBAD_ALLOC\r\n\r\nMessage:\r\n(n/a)\r\n\r\nHistory:\r\n(n/a)");
    // The longest record renders without being cut.
    const std::string m(2000, 'm'), h(5000, 'h');
    ErrorDescription full(nullptr, h.c_str(), m.c_str(), 0);
    EXPECT_EQ(strlen(full.Format()), strlen("Type:\r\nUNKNOWN\r\n\r\nMessage:\r\n\r\n\r\nHistory:\r\n") + 1023 + 4095);
}

TEST(QualifiedFunctionName, FillsTemplateArgumentsAndDropsSignature) {
    struct Case {
        const char* signature;
        const char* name;
    } cases[] = {
        {"brix::UArray<T>::~UArray() [with T = float]", "brix::UArray<float>::~UArray"},
        {"brix::ICoreServices* brix::CreateCoreServices_Default(int32_t)", "brix::CreateCoreServices_Default"},
        {"brix::URegex<T>::URegex(const char*) [with T = unsigned char]", "brix::URegex<unsigned char>::URegex"},
        {"bool brix::UCoreServices<Allocator, Pool, FileSystem>::Init(int32_t) [with Allocator = brix::A; Pool = "
         "brix::P<int, char>; FileSystem = brix::F]",
         "brix::UCoreServices<brix::A, brix::P<int, char>, brix::F>::Init"},
        {"virtual uint64_t brix::Stream::Serialize(void*, uint64_t) const", "brix::Stream::Serialize"},
        {"void f()", "f"},
    };
    for (const Case& c : cases) {
        char out[256];
        EXPECT_STREQ(QualifiedFunctionName(c.signature, out, sizeof out), c.name);
    }
    char tiny[5];
    EXPECT_STREQ(QualifiedFunctionName("void brix::Long::Name()", tiny, sizeof tiny), "brix");
}

namespace brix_guard_test {
int Inner(bool assureFails) {
    BRIX_GUARD_BEGIN
    assure(!assureFails);
    throw 7;  // anything that is not a record
    BRIX_GUARD_END
}
int Outer(bool assureFails) {
    BRIX_GUARD_BEGIN
    return Inner(assureFails);
    BRIX_GUARD_END
}
}  // namespace brix_guard_test

TEST(StandardGuard, ExtendsHistoryAndWrapsForeignExceptions) {
    try {
        brix_guard_test::Outer(true);
        FAIL();
    } catch (const ErrorDescription& e) {
        EXPECT_STREQ(e.m_message, "'assure' failed: !assureFails");
        EXPECT_STREQ(e.m_history, "brix_guard_test::Inner() <- brix_guard_test::Inner() <- brix_guard_test::Outer()");
    }
    try {
        brix_guard_test::Outer(false);
        FAIL();
    } catch (const ErrorDescription& e) {
        EXPECT_STREQ(e.m_message, "unknown error");
        EXPECT_STREQ(e.m_history, "brix_guard_test::Inner() <- brix_guard_test::Outer()");
        EXPECT_STREQ(e.m_file, "tests/brix/Core/ErrorDescriptionTest.cpp");
    }
}

TEST(ErrorDescription, ThreadsFormatTheirOwnErrors) {
    // The formatted text lived in one buffer for the whole process: two threads
    // formatting at once could each get the other's text.
    auto formatMany = [](const char* message, bool* allRight) {
        const ErrorDescription error(nullptr, "brix::Worker", message, 1);
        const std::string expected =
            std::string("Type:\r\nUNKNOWN\r\n\r\nMessage:\r\n") + message + "\r\n\r\nHistory:\r\nbrix::Worker()";
        for (int i = 0; i < 20000; ++i)
            if (expected != error.Format()) *allRight = false;
    };
    bool firstRight = true, secondRight = true;
    std::thread first(formatMany, "first thread's error", &firstRight);
    std::thread second(formatMany, "the second thread's error, longer", &secondRight);
    first.join();
    second.join();
    EXPECT_TRUE(firstRight);
    EXPECT_TRUE(secondRight);
}
