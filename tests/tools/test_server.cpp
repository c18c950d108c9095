#include "catalog/uWinHttp.h"
#include "tests/support/TestSupport.h"
#include "tools/SearchRoutes.h"
#include "tools/StaticServer.h"

#include <map>

#include <gtest/gtest.h>

namespace velmora::test {
namespace {
namespace fs = std::filesystem;

TEST(StaticServer, ServesOnlyRegularFilesInsideItsFolder) {
    test::TTempDir dir;
    const fs::path root = dir / "root";
    test::WriteFile(root / "a/中 文.txt", "x");
    test::WriteFile(dir / "secret.txt", "s");
    // Where no links can be made, the names are missing and refused as well.
    test::MakeLink(dir.Path(), root / "up");
    test::MakeLink(dir / "secret.txt", root / "link.txt");

    struct Case {
        const char* path;
        bool served;
    } cases[] = {
        {"/a/中 文.txt", true},
        {"/a//./中 文.txt", true},
        {"/a/../a/中 文.txt", false},
        {"/../secret.txt", false},
        {"/a/..", false},
        {"/up/secret.txt", false},
        {"/link.txt", false},
        {"/a", false},
        {"/", false},
        {"", false},
        {"/a\\..\\x", false},
        {"a/中 文.txt", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(!ResolveServedFile(root, c.path).empty(), c.served) << c.path;
}

TEST(StaticServer, DecodesPathsAndAnnouncesTheLength) {
    test::TTempDir dir;
    test::WriteFile(dir / "res/主题 1.zip", std::string(5000, 'z'));
    TStaticServer server(dir.Path());
    ASSERT_TRUE(server.Start());
    TWinHttp http;
    std::int64_t total = -1;
    http.OnProgress = [&](TWinHttp&, const std::string&, std::int64_t, std::int64_t t) {
        total = t;
    };
    EXPECT_EQ(http.GetString(server.BaseUrl() + "/res/%E4%B8%BB%E9%A2%98%201.zip").size(), 5000u);
    EXPECT_EQ(total, 5000);
    EXPECT_EQ(http.GetString(server.BaseUrl() + "/res/missing.zip"), "");
    EXPECT_EQ(server.RequestCount("/res/主题 1.zip"), 1u);
}

// The demo's search services: each query address gets the page of its
// keyword and page, an unknown one the service's empty page.
TEST(StaticServer, AnswersSearchQueriesByKeywordAndPage) {
    test::TTempDir dir;
    const std::map<std::string, std::string> pages = {
        {"search/baidu/风景/1.html", "b1"},
        {"search/baidu/风景/2.html", "b2"},
        {"search/baidu/empty.html", "b-"},
        {"search/sogou/a b/2.html", "s2"},
        {"search/sogou/empty.html", "s-"},
        {"search/youdao/风景/2.html", "y2"},
        {"search/youdao/城市 夜景/1.html", "yc"},
        {"search/youdao/empty.html", "y-"},
        {"i", "a file"},
    };
    for (const auto& [path, body] : pages)
        test::WriteFile(dir / path, body);
    TStaticServer server(dir.Path());
    ASSERT_TRUE(server.Start());
    const std::string gbk = UrlEncode("风景", false), city = UrlEncode("城市 夜景", false);
    struct Case {
        std::string target, body;
    } cases[] = {
        {"/i?tn=baiduimage&z=0&se=1&s=0&sme=0&rn=15&word=" + gbk + "+1920x1080", "b1"},
        {"/i?tn=baiduimage&se=1&s=1&sme=0&word=" + gbk + "&z=5&rn=15&pn=15", "b2"},
        {"/i?word=" + gbk + "+1920x1080&pn=29", "b2"},
        {"/i?word=" + gbk + "+1920x1080&pn=45", "b-"},
        {"/i?word=" + UrlEncode("风景", true) + "&pn=15", "b2"},
        {"/i?word=%E9%A3%8E%E6%99%AF+640x480&pn=-15", "b-"},
        {"/i?word=other+1920x1080", "b-"},
        {"/i?word=%ZZ", "b-"},
        {"/i?word=..%2F..%2Fi", "b-"},
        {"/i", "b-"},
        {"/pics?query=a%20b&mode=5&dheight=1080&dwidth=1920&page=2&mood=0&dm=4&di=0", "s2"},
        {"/pics?query=a%20b&page=x", "s-"},
        {"/search?q=" + gbk + "+1024x768&start=15", "y2"},
        {"/search?q=" + city + "+1920x1080", "yc"},
        {"/search?q=" + UrlEncode("城市 夜景", true), "yc"},
        {"/searchx?q=" + gbk, ""},
    };
    TWinHttp http;
    for (const auto& c : cases)
        EXPECT_EQ(http.GetString(server.BaseUrl() + c.target), c.body) << c.target;
    // Baidu and Sogou pages are code page 936, and say so.
    EXPECT_EQ(RouteSearchQuery(dir.Path(), "/i", "word=x")->ContentType,
              std::string("text/html; charset=gbk"));
    // Without pages for a service its query path is a file like any other.
    fs::remove_all(dir / "search/baidu");
    EXPECT_EQ(http.GetString(server.BaseUrl() + "/i?word=" + gbk), "a file");
}

} // namespace
} // namespace velmora::test
