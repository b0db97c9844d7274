#include <gtest/gtest.h>

#include <cstring>
#include <utility>

#include "Core/UArray.h"
#include "Core/UBaseString.h"
#include "CoreServices/Implementations/UCoreServices.h"

using namespace brix;

TEST(UArray, GrowsInStepsOf64AndAtLeastDoubles) {
    UArray<int> array;
    EXPECT_EQ(array.Max(), 0);
    EXPECT_EQ(array.Data(), nullptr);
    array.Add();
    EXPECT_EQ(array.Max(), 64);
    for (int i = 1; i < 64; ++i) array.Add();
    EXPECT_EQ(array.Max(), 64);
    array.Add();  // the 65th
    EXPECT_EQ(array.Max(), 128);
    for (int i = 65; i < 200; ++i) array[array.Add()] = i;
    EXPECT_EQ(array.Num(), 200);
    EXPECT_EQ(array.Max(), 256);
    // A big request takes exactly what it needs, rounded up.
    UArray<int> big;
    big.Add(1000);
    EXPECT_EQ(big.Max(), 1024);
}

TEST(UArray, RemoveClosesTheGapAndShrinks) {
    UArray<int> array;
    for (int i = 0; i < 200; ++i) array[array.Add()] = i;
    array.Remove(5, 190);
    EXPECT_EQ(array.Num(), 10);
    EXPECT_EQ(array.Max(), 64);
    const int expected[] = {0, 1, 2, 3, 4, 195, 196, 197, 198, 199};
    for (int i = 0; i < 10; ++i) EXPECT_EQ(array[i], expected[i]);
    // Out-of-range removals change nothing; an over-long count stops at the end.
    array.Remove(10, 1);
    array.Remove(-1, 1);
    EXPECT_EQ(array.Num(), 10);
    array.Remove(8, 100);
    EXPECT_EQ(array.Num(), 8);
}

TEST(UArray, SetNumUsesTheGrowthCapacityEvenWhenShrinking) {
    UArray<int> array;
    array.SetNum(100);
    EXPECT_EQ(array.Max(), 128);
    array.SetNum(10);  // larger of 2 * 100 and 10, rounded up
    EXPECT_EQ(array.Num(), 10);
    EXPECT_EQ(array.Max(), 256);
    array.Empty(0);
    EXPECT_EQ(array.Num(), 0);
    EXPECT_EQ(array.Max(), 0);
    EXPECT_EQ(array.Data(), nullptr);
    UArray<int> sized(5);
    EXPECT_EQ(sized.Num(), 5);
    EXPECT_EQ(sized.Max(), 64);
    UArray<int> none(-3);
    EXPECT_EQ(none.Max(), 0);
}

TEST(UArray, CopyTakesTheCountRoundedUp) {
    UArray<int> source;
    for (int i = 0; i < 70; ++i) source[source.Add()] = i;
    source.SetNum(70);
    UArray<int> copy(source);
    EXPECT_EQ(copy.Num(), 70);
    EXPECT_EQ(copy.Max(), 128);
    EXPECT_EQ(copy[69], 69);
    UArray<int> empty;
    UArray<int> emptyCopy(empty);
    EXPECT_EQ(emptyCopy.Max(), 0);
}

// A move hands the block over: same data pointer, the source left without block; a
// string moved or copied keeps bytes after an inner NUL.
TEST(UArray, MovesHandTheBlockOverAndCopiesKeepEveryByte) {
    UArray<UString> strings;
    strings.Append(UString("one"));
    strings.Append(UString("two"));
    const UString* block = strings.Data();
    UArray<UString> moved(std::move(strings));
    EXPECT_EQ(moved.Data(), block);
    EXPECT_EQ(moved.Num(), 2);
    EXPECT_EQ(strings.Num(), 0);
    EXPECT_EQ(strings.Data(), nullptr);
    UArray<UString> target;
    target.Append(UString("old"));
    target = std::move(moved);
    EXPECT_EQ(target.Data(), block);
    EXPECT_STREQ(target[1].c_str(), "two");
    EXPECT_EQ(moved.Num(), 0);

    const unsigned char bytes[] = {'a', 0, 'b', 'c'};
    const UString withNul(bytes, 4);
    UString assigned("something longer");
    assigned = withNul;
    const UString constructed(withNul);
    for (const UString* s : {static_cast<const UString*>(&assigned), &constructed}) {
        ASSERT_EQ(s->Length(), 4);
        EXPECT_EQ(memcmp(s->Data(), bytes, 4), 0);
    }
    UString taken(std::move(assigned));
    EXPECT_EQ(taken.Length(), 4);
    EXPECT_EQ(assigned.Num(), 0);
    UString empty;
    taken = empty;
    EXPECT_EQ(taken.Num(), 0);
}

TEST(UArray, HoldsStringsAndReleasesThem) {
    UArray<UString> strings;
    for (int i = 0; i < 100; ++i) {
        UString s("name ");
        s.AppendNumber(uint32_t(i));
        strings.Append(s);
    }
    strings.Remove(0, 90);
    EXPECT_STREQ(strings[0].c_str(), "name 90");
    UArray<UString> copy(strings);
    EXPECT_STREQ(copy[9].c_str(), "name 99");
    // The sanitizer build reports any string block that is not released.
}

namespace {
struct BrokenArray : UArray<float> {
    void Break(int32_t num, int32_t max) {
        m_arrayNum = num;
        m_arrayMax = max;
    }
};

ErrorDescription DestroyBroken(int32_t num, int32_t max) {
    try {
        BrokenArray array;
        array.Add(3);
        array.Break(num, max);
    } catch (const ErrorDescription& error) {
        return error;
    }
    ADD_FAILURE() << "no exception";
    return ErrorDescription(nullptr, nullptr, nullptr, 0);
}
}  // namespace

TEST(UArray, DestructorChecksItsInvariants) {
    ErrorDescription negative = DestroyBroken(-1, 64);
    EXPECT_STREQ(negative.m_message, "'assure' failed: m_arrayNum>=0");
    EXPECT_STREQ(negative.m_history, "brix::UArray<float>::~UArray()");
    EXPECT_STREQ(negative.m_file, "brix/Core/UArray.h");
    ErrorDescription overfull = DestroyBroken(65, 64);
    EXPECT_STREQ(overfull.m_message, "'assure' failed: m_arrayMax>=m_arrayNum");
}

namespace {
// A pool that refuses blocks above a size, to exercise allocation failure.
class RefusingPool : public UMemoryPool {
public:
    void* Allocate(uint32_t size, const char* location) override {
        return size > kLimit ? nullptr : UMemoryPool::Allocate(size, location);
    }
    static constexpr uint32_t kLimit = 1 << 20;
};
using RefusingServices = UCoreServices<UMemoryAllocator_ANSI, RefusingPool, UFileSystem_ANSI>;
RefusingServices* g_refusing = nullptr;
ICoreServices* GetRefusingServices() { return g_refusing; }
}  // namespace

TEST(UArray, AllocationFailureRaisesInsteadOfWritingThroughNothing) {
    RefusingServices services;
    g_refusing = &services;
    UArray<int> array;
    array.Add(10);
    array[0] = 42;
    CoreServicesAccessor previous = ExchangeCoreServicesAccessor(GetRefusingServices);
    bool thrown = false;
    try {
        array.Add(RefusingPool::kLimit);  // 4 MB: refused
    } catch (const ErrorDescription& error) {
        thrown = true;
        ExchangeCoreServicesAccessor(previous);
        EXPECT_STREQ(error.m_message, "out of memory while growing an array");
    }
    ExchangeCoreServicesAccessor(previous);
    EXPECT_TRUE(thrown);
    // The array is unchanged and still usable.
    EXPECT_EQ(array.Num(), 10);
    EXPECT_EQ(array[0], 42);
}

TEST(UBaseString, CountIncludesTheTerminatingNul) {
    UString none;
    EXPECT_EQ(none.Num(), 0);
    EXPECT_EQ(none.Max(), 0);
    EXPECT_STREQ(none.c_str(), "");
    UString nothing(static_cast<const char*>(nullptr));
    EXPECT_EQ(nothing.Num(), 0);
    UString empty("");
    EXPECT_EQ(empty.Num(), 1);
    UString one("a");
    one.Append("bcd");
    EXPECT_STREQ(one.c_str(), "abcd");
    EXPECT_EQ(one.Num(), 5);
    one.Append(static_cast<const char*>(nullptr));
    EXPECT_EQ(one.Num(), 5);
}

TEST(UBaseString, AssignAdjustsTheCountAndSurvivesAliasing) {
    UString s("a long text here");
    s = "short";
    EXPECT_STREQ(s.c_str(), "short");
    EXPECT_EQ(s.Num(), 6);
    s = s.c_str();  // its own data: skipped
    EXPECT_STREQ(s.c_str(), "short");
    s = s.c_str() + 2;  // inside its own data
    EXPECT_STREQ(s.c_str(), "ort");
    for (int i = 0; i < 5; ++i) s.Append(s.c_str());  // grows past its block while reading itself
    EXPECT_EQ(s.Length(), 3 * 32);
    UString copy(s);
    EXPECT_TRUE(copy == s);
}

TEST(UBaseString, AppendsNumbersInDecimal) {
    UString s("n=");
    s.AppendNumber(uint32_t(4294967295u)).Append(" ");
    s.AppendNumber(int64_t(-9223372036854775807LL - 1)).Append(" ");
    s.AppendNumber(uint64_t(18446744073709551615ULL)).Append(" ");
    s.AppendNumber(-0.00004).Append(" ");
    s.AppendNumber(2.5);
    EXPECT_STREQ(s.c_str(), "n=4294967295 -9223372036854775808 18446744073709551615 -0.0000 2.5000");
    UString huge;
    huge.AppendNumber(1e300);
    EXPECT_EQ(huge.Length(), 301 + 5);  // every digit, no truncation
}
