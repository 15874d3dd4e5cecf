#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/Runtime.h"

namespace {

TEST(Bstr, KeepsItsLengthAndATerminatingZero) {
    BSTR s = SysAllocString(u"h\u00E9llo");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(SysStringLen(s), 5u);
    EXPECT_EQ(SysStringByteLen(s), 10u);
    EXPECT_EQ(s[5], 0);
    EXPECT_EQ(std::u16string(s), u"h\u00E9llo");
    SysFreeString(s);
}

TEST(Bstr, LengthCountsEmbeddedZeros) {
    BSTR s = SysAllocStringLen(u"a\0b", 3);
    EXPECT_EQ(SysStringLen(s), 3u);
    EXPECT_EQ(s[2], u'b');
    SysFreeString(s);
}

TEST(Bstr, NullIsAnEmptyString) {
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    SysFreeString(nullptr);
    BSTR zeros = SysAllocStringLen(nullptr, 4);
    EXPECT_EQ(SysStringLen(zeros), 4u);
    EXPECT_EQ(zeros[0], 0);
    SysFreeString(zeros);
}

TEST(Bstr, OddByteLengthIsKept) {
    BSTR s = SysAllocStringByteLen("abc", 3);
    EXPECT_EQ(SysStringByteLen(s), 3u);
    EXPECT_EQ(SysStringLen(s), 1u);
    EXPECT_EQ(std::memcmp(s, "abc", 3), 0);
    SysFreeString(s);
}

TEST(Memory, AnAllocationCanBeMadeToFail) {
    PlatformFailNthAllocation(2);
    BSTR first = SysAllocString(u"one");
    BSTR second = SysAllocString(u"two");
    BSTR third = SysAllocString(u"three");
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(second, nullptr);
    EXPECT_NE(third, nullptr);
    SysFreeString(first);
    SysFreeString(third);
}

}  // namespace
