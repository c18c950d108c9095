#include "install/CodePage.h"

#include <gtest/gtest.h>

namespace velmora::test {
namespace {

TEST(CodePage, RoundTripsChineseText) {
    const std::string utf8 = "主题名称 abc";
    const std::string cp936 = Utf8ToCp936(utf8);
    EXPECT_EQ(cp936, "\xD6\xF7\xCC\xE2\xC3\xFB\xB3\xC6 abc");
    EXPECT_EQ(Cp936ToUtf8(cp936), utf8);
}

TEST(CodePage, UnmappableAndBrokenInputBecomesQuestionMarks) {
    EXPECT_EQ(Utf8ToCp936("a\xF0\x9F\x98\x80" "b"), "a?b");  // no such character in the code page
    EXPECT_EQ(Utf8ToCp936("a\xFF" "b"), "a?b");              // not UTF-8
    EXPECT_EQ(Cp936ToUtf8("a\xFF" "b"), "a?b");               // no such byte
    EXPECT_EQ(Cp936ToUtf8("ab\xD6"), "ab?");                  // lead byte without its trail
    EXPECT_EQ(Cp936ToUtf8("\x81\x20x"), "? x");               // a trail byte that cannot be one
}

TEST(CodePage, TrailBytesInTheAsciiRangeStayWithTheirLead) {
    // 0x40 and 0x5C are "@" and "\" alone, but trail bytes after a lead byte.
    EXPECT_EQ(Cp936ToUtf8("\x81\x40@\x95\x5C\\"), "丂@昞\\");
    EXPECT_EQ(Utf8ToCp936("丂@昞\\"), "\x81\x40@\x95\x5C\\");
}

TEST(CodePage, CutsByCodePageBytesWithoutSplittingCharacters) {
    EXPECT_EQ(CutToCp936Bytes("abc", 2), "ab");
    EXPECT_EQ(CutToCp936Bytes("a中文", 4), "a中");  // "文" would need bytes 4 and 5
    EXPECT_EQ(CutToCp936Bytes("a中文", 5), "a中文");
    EXPECT_EQ(CutToCp936Bytes(std::string(300, 'x'), 255).size(), 255u);
}

TEST(CodePage, RecognisesUtf8) {
    EXPECT_TRUE(IsValidUtf8("abc 主题"));
    EXPECT_FALSE(IsValidUtf8("\xD6\xF7"));
    EXPECT_FALSE(IsValidUtf8("\xC0\x80"));
}

} // namespace
} // namespace velmora::test
