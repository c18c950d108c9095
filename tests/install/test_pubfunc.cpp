#include "install/uPubFunc.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

namespace velmora::test {
namespace {

TEST(ShowMessageBox, TitleAndStyleComeFromTheKind) {
    test::TRecordingMessages messages;
    messages.AnswerNext(IDYES);
    EXPECT_EQ(ShowMessageBox("继续吗", "", mkQuestion), IDYES);
    EXPECT_EQ(ShowMessageBox("x", "", mkQuestion), IDNO);
    EXPECT_EQ(ShowMessageBox("x", "自定义", mkError), IDOK);
    ShowMessageBox("i", "", mkInformation);
    ShowMessageBox("w", "", mkWarning);

    ASSERT_EQ(messages.Shown.size(), 5u);
    EXPECT_EQ(messages.Shown[0].Title, "询问");
    EXPECT_EQ(messages.Shown[0].Style, 0x24u);
    EXPECT_EQ(messages.Shown[0].Text, "继续吗");
    EXPECT_EQ(messages.Shown[2].Title, "自定义");
    EXPECT_EQ(messages.Shown[2].Style, 0x10u);
    EXPECT_EQ(messages.Shown[3].Title, "提示");
    EXPECT_EQ(messages.Shown[3].Style, 0x40u);
    EXPECT_EQ(messages.Shown[4].Title, "警告");
    EXPECT_EQ(messages.Shown[4].Style, 0x30u);
}

TEST(ExtractBetween, FindsMarkersWithoutRegardToCaseAndKeepsTheSourceCase) {
    const std::string inf = "[Version]\r\nx=1\r\n[STRINGS]\r\nPointer=A.cur\r\n[Other]\r\n";
    EXPECT_EQ(ExtractBetween(inf, "[Strings]\r\n", "\r\n[", 0, true, true), "Pointer=A.cur");
}

TEST(ExtractBetween, Cases) {
    struct Case {
        const char* source;
        const char* start;
        const char* end;
        unsigned pos;
        bool ignoreCase;
        bool allowMissingEnd;
        const char* expected;
    } cases[] = {
        {"aXbYc", "X", "Y", 0, true, true, "b"},
        {"aXbc", "X", "Y", 0, true, true, "bc"},      // missing end allowed: to the end
        {"aXbc", "X", "Y", 0, true, false, ""},       // missing end not allowed
        {"abc", "X", "c", 0, true, true, ""},         // no start marker
        {"", "", "", 0, true, true, ""},              // empty source
        {"abc", "", "c", 0, true, true, "ab"},        // empty start marker: from the cursor
        {"abc", "a", "", 0, true, true, "bc"},        // empty end marker: to the end
        {"aXbX", "x", "", 3, true, true, ""},         // start position past the first marker
        {"XaXb", "X", "", 2, true, true, "b"},        // start position counts from 1
        {"abc", "", "", 9, true, true, ""},           // start beyond the end
        {"aXb", "x", "", 0, false, true, ""},         // case respected without ignoreCase
        {"主题[a]名", "[", "]", 0, true, true, "a"},  // characters, not bytes
        {"主题名称", "", "", 3, true, true, "名称"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ExtractBetween(c.source, c.start, c.end, c.pos, c.ignoreCase, c.allowMissingEnd), c.expected)
            << c.source << " / " << c.start << " / " << c.end << " @" << c.pos;
}

TEST(UrlEncode, Cases) {
    struct Case {
        const char* text;
        const char* utf8;
        const char* ansi;
    } cases[] = {
        {"ab-c.txt", "ab%2Dc.txt", "ab%2Dc.txt"},
        {"中", "%E4%B8%AD", "%D6%D0"},
        {" ", "%20", "%20"},
        {"a~b_c", "a%7Eb_c", "a%7Eb_c"},
        {"风景", "%E9%A3%8E%E6%99%AF", "%B7%E7%BE%B0"},
        {"€", "%80", "%80"},                 // a single byte in the code page
        {"\xF0\x9F\x98\x80", "%3F%3F", "%3F%3F"}, // beyond the code page: two "?"
        {"", "", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(UrlEncode(c.text, true), c.utf8) << c.text;
        EXPECT_EQ(UrlEncode(c.text, false), c.ansi) << c.text;
    }
}

TEST(UrlDecode, DecodesEscapesAndPlus) {
    EXPECT_EQ(UrlDecode("a+b%41%62"), "a bAb");
    EXPECT_EQ(UrlDecode("%e4%B8%ad"), "中");
    EXPECT_EQ(UrlDecode("x%00y"), std::string("x\0y", 3));
    EXPECT_EQ(UrlDecode(""), "");
}

TEST(EscapeUrlForRequest, EscapesOnlyWhatARequestLineCannotHold) {
    struct Case {
        std::string url, expected;
    } cases[] = {
        {"http://h/a b.jpg", "http://h/a%20b.jpg"},
        {"http://h/p?q=a+b&x=%41%e4#f", "http://h/p?q=a+b&x=%41%e4#f"}, // already fine
        {"http://h/\xB7\xE7.jpg", "http://h/%B7%E7.jpg"},
        {"http://h/风", "http://h/%E9%A3%8E"},
        {"/100%.jpg", "/100%25.jpg"},
        {"/%4", "/%254"},
        {"/%zz", "/%25zz"},
        {"/\"<>\\^`{|}", "/%22%3C%3E%5C%5E%60%7B%7C%7D"},
        {std::string("/a\r\nb\0\x7F", 7), "/a%0D%0Ab%00%7F"},
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(EscapeUrlForRequest(c.url), c.expected) << c.url;
}

TEST(UrlDecode, BadEscapesRaise) {
    for (const char* bad : {"abc%", "abc%4", "%zz", "a%4g", "%"}) {
        try {
            UrlDecode(bad);
            ADD_FAILURE() << bad << " decoded";
        } catch (const EConvertError& e) {
            EXPECT_STREQ(e.what(), "Invalid hex digit in URL") << bad;
        }
    }
}

} // namespace
} // namespace velmora::test
