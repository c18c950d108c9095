// velmora-tool search and md5name, run as a separate program.
#include "tests/support/TestSupport.h"
#include "tests/wallpaper/SearchPages.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>


namespace velmora::test {
namespace {
using nlohmann::json;

using TRun = test::TProgramRun;

class ToolSearchTest : public ::testing::Test {
protected:
    TRun Run(const std::string& args) { return test::RunProgram(std::string(VELMORA_TOOL) + " " + args, dir.Path()); }
    json Extract(const std::string& service, const std::string& page) {
        test::WriteFile(dir / "page.html", page);
        TRun r = Run("search extract --service " + service + " " + (dir / "page.html").string());
        EXPECT_EQ(r.Exit, 0) << r.Err;
        return json::parse(r.Out);
    }
    test::TTempDir dir;
};

TEST_F(ToolSearchTest, QueryAddresses) {
    struct Case {
        std::string args, out;
    } cases[] = {
        {"--service baidu --keyword 风景 --size 0 --screen 1920x1080",
         VELMORA_BAIDU_BASE "/i?tn=baiduimage&ct=201326592&cl=2&lm=-1&fr=&pv=&ic=0&z=0&se=1&s=0"
         "&sme=0&rn=15&word=%B7%E7%BE%B0+1920x1080\n"},
        {"--service baidu --keyword '风景 ' --size 4",
         VELMORA_BAIDU_BASE "/i?tn=baiduimage&ct=201326592&cl=2&lm=-1&fr=&pv=&ic=0&se=1&s=1"
         "&sme=0&word=%B7%E7%BE%B0&z=5&rn=15\n"},
        {"--service youdao --keyword 风景 --size 0 --screen 1920x1080",
         VELMORA_YOUDAO_BASE "/search?q=%B7%E7%BE%B0+1920x1080\n"},
        {"--service sogou --keyword 'a b' --size 17",
         VELMORA_SOGOU_BASE "/pics?query=a%20b&mode=5&dheight=900&dwidth=1440&page=1&mood=0&dm=4"
         "&di=6\n"},
    };
    for (const auto& c : cases) {
        TRun r = Run("search url " + c.args);
        EXPECT_EQ(r.Exit, 0) << r.Err;
        EXPECT_EQ(r.Out, c.out) << c.args;
    }
    EXPECT_EQ(Run("search url --service bing --keyword x --size 0").Exit, 2);
    EXPECT_EQ(Run("search url --service baidu --keyword x --size 35").Exit, 2);
    TRun blank = Run("search url --service baidu --keyword '  ' --size 1");
    EXPECT_EQ(blank.Exit, 1);
    EXPECT_EQ(blank.Err, "请先输入关键字\n");
}

TEST_F(ToolSearchTest, ExtractsAllThreeServices) {
    json baidu = Extract("baidu", test::BaiduPage(test::BaiduLiteral(31, 20, {3, 7})));
    ASSERT_EQ(baidu["results"].size(), 13u);
    EXPECT_EQ(baidu["results"][3], json({{"thumb", ThumbUrl(4)}, {"pic", PicUrl(4)}}));
    EXPECT_EQ(baidu["list_num"], 31);
    EXPECT_EQ(baidu["pager"], "<span class=\"current-page\"> 1 </span><a href=\"2\">2</a>"
                              "<a href=\"3\">3</a><a href=\"2\">下一页</a>");

    json sogou =
        Extract("sogou", test::SogouPageA("<a href=\"/pics?p=1\">[1]</a> 2 ", test::SogouItems(2)));
    ASSERT_EQ(sogou["results"].size(), 2u);
    EXPECT_EQ(sogou["results"][1], json({{"thumb", ThumbUrl(1)}, {"pic", PicUrl(1)}}));
    EXPECT_EQ(sogou["pager"], "<a href=\"/pics?p=1\">1</a> <span class=\"current-page\">2</span> ");
    EXPECT_FALSE(sogou.contains("list_num"));

    json youdao = Extract("youdao", test::YoudaoPage("<a href=\"/search?q=风景&start=24\">2</a>",
                                                     test::YoudaoItems(3)));
    ASSERT_EQ(youdao["results"].size(), 3u);
    EXPECT_EQ(youdao["results"][2], json({{"thumb", ThumbUrl(2)}, {"pic", PicUrl(2)}}));
    EXPECT_EQ(youdao["pager"], "<a href=\"/search?q=风景&start=24\">2</a>");
}

TEST_F(ToolSearchTest, PagesWithNothingPrintEmptyResults) {
    for (const char* service : {"baidu", "youdao", "sogou"}) {
        test::WriteFile(dir / "page.html", "<html>nothing here</html>");
        TRun r = Run(std::string("search extract --service ") + service + " " +
                     (dir / "page.html").string());
        EXPECT_EQ(r.Exit, 0) << service;
        json j = json::parse(r.Out);
        EXPECT_EQ(j["results"], json::array()) << service;
        EXPECT_EQ(j["pager"], "") << service;
        EXPECT_EQ(r.Err, "没有查找到壁纸\n") << service;
    }
    EXPECT_EQ(Run("search extract --service baidu " + (dir / "missing.html").string()).Exit, 2);
}

TEST_F(ToolSearchTest, PagerAndMd5Name) {
    TRun r = Run("search pager --pages 100 --current 100");
    EXPECT_EQ(r.Out.substr(0, r.Out.find("<a href=\"91\">")), "<a href=\"99\">上一页</a>");
    EXPECT_NE(r.Out.find("<span class=\"current-page\"> 100 </span>\n"), std::string::npos);
    EXPECT_EQ(Run("md5name abc").Out, "900150983cd24fb0d6963f7d28e17f72.bmp\n");
    EXPECT_EQ(Run("md5name ''").Out, "d41d8cd98f00b204e9800998ecf8427e.bmp\n");
    // The address's own bytes are hashed, as given (here UTF-8).
    EXPECT_EQ(Run("md5name 风景").Out, "fc30335a7324986b679960f50609cbd4.bmp\n");
}

} // namespace
} // namespace velmora::test
