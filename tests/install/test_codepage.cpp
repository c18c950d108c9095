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

// The same table passes on Linux (iconv) and on Windows (the system's own
// conversions): both sides give the same bytes for the same text.
TEST(CodePage, BothSystemsConvertAlike) {
    struct Case {
        const char* Label;
        std::string Utf8;
        std::string Cp936;
    } cases[] = {
        {"ASCII", "Theme 1.zip", "Theme 1.zip"},
        {"GB2312", "桌面主题", "\xD7\xC0\xC3\xE6\xD6\xF7\xCC\xE2"},
        {"GBK extension", "丂亖", "\x81\x40\x81\x81"},
        {"full-width punctuation", "（１）", "\xA3\xA8\xA3\xB1\xA3\xA9"},
        {"Latin letters the code page has", "é", "\xA8\xA6"},
        {"the middle dot", "·", "\xA1\xA4"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Label);
        EXPECT_EQ(Utf8ToCp936(c.Utf8), c.Cp936);
        EXPECT_EQ(Cp936ToUtf8(c.Cp936), c.Utf8);
    }
    // Text the code page lacks, and bytes that are no text.
    struct OneWay {
        const char* Label;
        std::string In, Out;
        bool ToCp936;
    } oneWay[] = {
        {"a Latin letter the code page lacks", "ő", "?", true},
        {"a character beyond the first plane", "\xF0\xA0\x80\x80", "?", true},
        {"a lone continuation byte",
         "a\x80"
         "b",
         "a?b", true},
        {"a byte no character starts with", "\xFF\xFF", "??", false},
        {"a lead byte before a byte no trail can be", "\x81\x7F", "?\x7F", false},
    };
    for (const auto& c : oneWay) {
        SCOPED_TRACE(c.Label);
        EXPECT_EQ(c.ToCp936 ? Utf8ToCp936(c.In) : Cp936ToUtf8(c.In), c.Out);
    }
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
