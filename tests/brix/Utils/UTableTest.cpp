#include <gtest/gtest.h>

#include <string>

#include "Core/UTable.h"

using namespace brix;

TEST(UTable, AddFindAndDuplicateKeys) {
    UTable<UString, unsigned int> table;
    EXPECT_EQ(table.Find(UString("a")), nullptr);
    EXPECT_TRUE(table.Add(UString("joint1"), 1));
    EXPECT_TRUE(table.Add(UString("joint2"), 2));
    EXPECT_FALSE(table.Add(UString("joint1"), 99));
    ASSERT_NE(table.Find(UString("joint1")), nullptr);
    EXPECT_EQ(*table.Find(UString("joint1")), 1u);
    EXPECT_EQ(*table.Find(UString("joint2")), 2u);
    EXPECT_EQ(table.Find(UString("joint")), nullptr);
    EXPECT_EQ(table.Num(), 2);
    // A key without a text matches nothing.
    EXPECT_EQ(table.Find(UString()), nullptr);
}

TEST(UTable, HashFoldsBytesAsLittleEndianWords) {
    // "abcde": 'a' | 'b'<<8 | 'c'<<16 | 'd'<<24, then 'e' again at shift 0.
    const uint32_t expected = (0x61u | 0x62u << 8 | 0x63u << 16 | 0x64u << 24) ^ 0x65u;
    EXPECT_EQ((UTable<UString, int>::Hash(UString("abcde"))), expected);
    EXPECT_EQ((UTable<UString, int>::Hash(UString(""))), 0u);
}

// The bucket counts follow the table's documented growth rule (64, doubled when the
// nodes outnumber the buckets), which bounds its chains; what callers rely on is that
// every key is still found across each rebuild.
TEST(UTable, The65thNodeDoublesTheBuckets) {
    UTable<UString, int> table;
    for (int i = 0; i < 64; ++i) table.Add(UString(("key" + std::to_string(i)).c_str()), i);
    EXPECT_EQ(table.BucketCount(), 64u);
    table.Add(UString("key64"), 64);
    EXPECT_EQ(table.BucketCount(), 128u);
    // Every key is still found after the rebuild, with colliding hashes included.
    for (int i = 0; i <= 64; ++i) {
        const int* value = table.Find(UString(("key" + std::to_string(i)).c_str()));
        ASSERT_NE(value, nullptr) << i;
        EXPECT_EQ(*value, i);
    }
    for (int i = 65; i < 1000; ++i) table.Add(UString(("key" + std::to_string(i)).c_str()), i);
    EXPECT_EQ(table.BucketCount(), 1024u);
    EXPECT_EQ(*table.Find(UString("key999")), 999);
}
