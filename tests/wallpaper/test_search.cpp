// The wallpaper search core: sizes and query addresses, the three services'
// pages fetched from a local server, and the bounded patterns.
#include "install/CodePage.h"
#include "tests/support/TestSupport.h"
#include "tests/wallpaper/SearchPages.h"
#include "tools/StaticServer.h"
#include "wallpaper/uLenientJson.h"
#include "wallpaper/uPagePattern.h"
#include "wallpaper/uPager.h"
#include "wallpaper/uPicStore.h"
#include "wallpaper/uSearchEngines.h"
#include "wallpaper/uSearchManager.h"

#include <gtest/gtest.h>

namespace velmora::test {
namespace {

class TRecordingPager : public IPagerView {
public:
    void ClearPager() override { Shown.push_back("<cleared>"); }
    void ShowPager(const std::string& fragment) override { Shown.push_back(fragment); }
    std::vector<std::string> Shown;
};

class SearchTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.Start());
        const std::string base = server.BaseUrl();
        search = std::make_unique<TWallpaperSearch>(
            TServiceBases{base + "/baidu", base + "/youdao", base + "/sogou"}, results, pager,
            &store);
        SetDesktopSize(1920, 1080);
    }

    // Serves `page` as the answer of a service path ("baidu/i", "sogou/pics" …).
    void Serve(const std::string& path, const std::string& page) {
        test::WriteFile(root / path, page);
    }
    std::string LastTarget() const {
        auto r = server.Requests();
        return r.empty() ? std::string() : r.back().Target;
    }
    std::vector<std::string> Pics() const {
        std::vector<std::string> v;
        for (const auto& r : results.Shown())
            v.push_back(r.PicUrl);
        return v;
    }

    test::TTempDir root, app;
    TStaticServer server{root.Path()};
    TPicStore store{app.Path()};
    TSearchManager results;
    TRecordingPager pager;
    test::TRecordingMessages messages;
    std::unique_ptr<TWallpaperSearch> search;
};

int SizeIndex(const std::string& name) {
    for (int i = 0; i < WallpaperSizeCount; ++i)
        if (WallpaperSizes[i].Name == name)
            return i;
    ADD_FAILURE() << "no size " << name;
    return 0;
}

TEST_F(SearchTest, SizeCodesOfEachServiceReachTheQueryAddress) {
    EXPECT_EQ(WallpaperSizes.front().Name, "我的桌面尺寸");
    EXPECT_EQ(WallpaperSizes[1].Name, "640x480");
    EXPECT_EQ(WallpaperSizes.back().Name, "2560x1600");

    // The services' own codes by size; 0 where a service has none, and the
    // size then goes into the words (Baidu) or only as width and height.
    const struct {
        const char* Size;
        int Baidu, Sogou;
    } cases[] = {
        {"800x600", 4, 1},   {"1024x768", 5, 2}, {"1280x800", 0, 5},  {"1280x960", 6, 3},
        {"1280x1024", 7, 0}, {"1440x900", 0, 6}, {"1600x1200", 8, 4}, {"1920x1200", 0, 0},
    };
    const std::string words = "%B7%E7%BE%B0"; // 风景 in code page 936
    for (const auto& c : cases) {
        const int size = SizeIndex(c.Size);
        const std::string dims = c.Size;
        const std::string width = dims.substr(0, dims.find('x'));
        const std::string height = dims.substr(dims.find('x') + 1);

        ASSERT_TRUE(search->StartSearch(skBaidu, "风景", size));
        const std::string baidu = LastTarget();
        if (c.Baidu)
            EXPECT_TRUE(
                baidu.ends_with("&word=" + words + "&z=" + std::to_string(c.Baidu) + "&rn=15"))
                << c.Size << ": " << baidu;
        else
            EXPECT_TRUE(baidu.ends_with("&z=0&se=1&s=0&sme=0&rn=15&word=" + words + "+" + dims))
                << c.Size << ": " << baidu;

        ASSERT_TRUE(search->StartSearch(skSogou, "风景", size));
        EXPECT_TRUE(LastTarget().ends_with("&dheight=" + height + "&dwidth=" + width +
                                           "&page=1&mood=0&dm=4&di=" + std::to_string(c.Sogou)))
            << c.Size << ": " << LastTarget();

        ASSERT_TRUE(search->StartSearch(skYoudao, "风景", size));
        EXPECT_EQ(LastTarget(), "/youdao/search?q=" + words + "+" + dims);
    }
}

TEST_F(SearchTest, QueryAddressesOfTheThreeServices) {
    const std::string base = server.BaseUrl();
    struct Case {
        int kind, size;
        std::string target;
    } cases[] = {
        {skBaidu, 0,
         "/baidu/"
         "i?tn=baiduimage&ct=201326592&cl=2&lm=-1&fr=&pv=&ic=0&z=0&se=1&s=0&sme=0&rn=15&word="
         "%B7%E7%BE%B0+1920x1080"},
        {skBaidu, 4,
         "/baidu/"
         "i?tn=baiduimage&ct=201326592&cl=2&lm=-1&fr=&pv=&ic=0&se=1&s=1&sme=0&word=%B7%E7%BE%B0"
         "&z=5&rn=15"},
        {skYoudao, 0, "/youdao/search?q=%B7%E7%BE%B0+1920x1080"},
        {skYoudao, 4, "/youdao/search?q=%B7%E7%BE%B0+1024x768"},
        {skSogou, 0,
         "/sogou/pics?query=%B7%E7%BE%B0&mode=5&dheight=1080&dwidth=1920&page=1&mood=0&dm=4&di=0"},
        {skSogou, 17,
         "/sogou/pics?query=%B7%E7%BE%B0&mode=5&dheight=900&dwidth=1440&page=1&mood=0&dm=4&di=6"},
        {skSogou, 4,
         "/sogou/pics?query=%B7%E7%BE%B0&mode=5&dheight=768&dwidth=1024&page=1&mood=0&dm=4&di=2"},
    };
    const char* referers[] = {"/baidu/", "/youdao/", "/sogou/"};
    for (const auto& c : cases) {
        server.ClearRequests();
        EXPECT_TRUE(search->StartSearch(c.kind, " \t风景 \r\n", c.size));
        auto requests = server.Requests();
        ASSERT_EQ(requests.size(), 1u) << c.target;
        EXPECT_EQ(requests[0].Target, c.target);
        EXPECT_EQ(requests[0].Headers["referer"], base + referers[c.kind]) << c.target;
        EXPECT_EQ(search->State.FSearchKind, c.kind);
    }
    EXPECT_EQ(search->State.FBaiduQuery, base + cases[1].target);
    EXPECT_EQ(search->State.FYoudaoKeyword, "风景");
}

TEST_F(SearchTest, EmptyKeywordAsksForOneAndChangesNothing) {
    int started = 0;
    search->OnSearchStarted = [&](int) { ++started; };
    search->State.FSearchKind = skSogou;
    EXPECT_FALSE(search->StartSearch(skBaidu, " \t \r\n", 0));
    EXPECT_EQ(messages.Texts(), std::vector<std::string>{"请先输入关键字"});
    EXPECT_EQ(messages.Shown[0].Title, "提示");
    EXPECT_EQ(server.Requests().size(), 0u);
    EXPECT_EQ(started, 0);
    EXPECT_TRUE(pager.Shown.empty());
    EXPECT_EQ(search->State.FSearchKind, skSogou);
}

TEST_F(SearchTest, BaiduPageCountsAndPager) {
    struct Case {
        int listNum, pages;
    } cases[] = {{15, 1}, {30, 2}, {31, 3}, {1, 1}};
    for (const auto& c : cases) {
        Serve("baidu/i", test::BaiduPage(test::BaiduLiteral(c.listNum, 2)));
        pager.Shown.clear();
        ASSERT_TRUE(search->StartSearch(skBaidu, "风景", 0));
        EXPECT_EQ(search->State.FPageCount, c.pages) << c.listNum;
        EXPECT_EQ(search->State.FCurPage, 1);
        ASSERT_EQ(pager.Shown.size(), 2u);
        EXPECT_EQ(pager.Shown[0], "<cleared>");
        EXPECT_EQ(pager.Shown[1], BaiduPagerFragment(c.pages, 1));
    }
    EXPECT_EQ(BaiduPagerFragment(3, 1), "<span class=\"current-page\"> 1 </span><a href=\"2\">2</a>"
                                        "<a href=\"3\">3</a><a href=\"2\">下一页</a>");
    EXPECT_TRUE(messages.Shown.empty());
}

TEST_F(SearchTest, BaiduTakesFifteenCompleteElements) {
    struct Case {
        std::vector<int> lacking;
        std::vector<int> expected;
    } cases[] = {
        {{}, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14}},
        {{3, 7}, {0, 1, 2, 4, 5, 6, 8, 9, 10, 11, 12, 13, 14}},
    };
    for (const auto& c : cases) {
        Serve("baidu/i", test::BaiduPage(test::BaiduLiteral(300, 20, c.lacking)));
        ASSERT_TRUE(search->StartSearch(skBaidu, "风景", 0));
        std::vector<std::string> want;
        for (int i : c.expected)
            want.push_back(PicUrl(i));
        EXPECT_EQ(Pics(), want);
        EXPECT_EQ(results.Shown()[0].ThumbUrl, ThumbUrl(0));
        EXPECT_TRUE(results.Shown()[0].Title.empty());
    }
}

TEST_F(SearchTest, BaiduAcceptsPlainJson) {
    Serve("baidu/i",
          test::BaiduPage(
              R"({"listNum": "16", "data": [{"thumbURL": "t\u00e9", "objURL": "o/p"}]})"));
    ASSERT_TRUE(search->StartSearch(skBaidu, "a", 0));
    EXPECT_EQ(search->State.FPageCount, 2);
    ASSERT_EQ(results.Shown().size(), 1u);
    EXPECT_EQ(results.Shown()[0].ThumbUrl, "té");
    EXPECT_EQ(results.Shown()[0].PicUrl, "o/p");
}

TEST_F(SearchTest, BaiduFailuresKeepWhatWasShown) {
    Serve("baidu/i", test::BaiduPage(test::BaiduLiteral(45, 3)));
    ASSERT_TRUE(search->StartSearch(skBaidu, "风景", 0));
    ASSERT_EQ(results.Shown().size(), 3u);
    const std::string good = search->State.FBaiduQuery;

    // Each of these stops before the grid: rows, page count and page stay.
    for (const std::string& literal :
         {std::string("{listNum:0, data:[{thumbURL:'a', objURL:'b'}]}"), std::string("{listNum:9}"),
          std::string("{listNum:-4, data:[]}"), std::string("[1, 2]"), std::string("{listNum:'x"),
          std::string("{listNum:9, data:[] /* open")}) {
        Serve("baidu/i", test::BaiduPage(literal));
        messages.Shown.clear();
        ASSERT_TRUE(search->StartSearch(skBaidu, "风景", 0));
        EXPECT_EQ(messages.Texts(), std::vector<std::string>{"没有查找到壁纸"}) << literal;
        EXPECT_EQ(results.Shown().size(), 3u) << literal;
        EXPECT_EQ(search->State.FPageCount, 3) << literal;
        EXPECT_EQ(search->State.FCurPage, 1) << literal;
    }
    // A failed request is a text that does not parse.
    server.AddStatus("/baidu/i", 500);
    messages.Shown.clear();
    search->FetchBaidu(good, true);
    EXPECT_EQ(messages.Texts(), std::vector<std::string>{"没有查找到壁纸"});
    EXPECT_EQ(results.Shown().size(), 3u);
}

TEST_F(SearchTest, BaiduDataThatIsNoArrayEmptiesTheGrid) {
    Serve("baidu/i", test::BaiduPage(test::BaiduLiteral(45, 3)));
    ASSERT_TRUE(search->StartSearch(skBaidu, "风景", 0));
    Serve("baidu/i", test::BaiduPage("{listNum:45, data:'none'}"));
    ASSERT_TRUE(search->StartSearch(skBaidu, "风景", 0));
    EXPECT_TRUE(results.Shown().empty());
    EXPECT_EQ(search->State.FCurPage, 0);
    EXPECT_EQ(messages.Texts(), std::vector<std::string>{"没有查找到壁纸"});
}

TEST_F(SearchTest, BaiduPageLinkFetchesTheOffsetAndKeepsThePage) {
    Serve("baidu/i", test::BaiduPage(test::BaiduLiteral(300, 4)));
    ASSERT_TRUE(search->StartSearch(skBaidu, "风景", 0));
    const std::string query = search->State.FBaiduQuery;
    for (const auto& [target, page] : std::vector<std::pair<std::string, int>>{
             {"about:blank7", 7}, {"about:7", 7}, {"ABOUT:BLANKx", 1}, {"about:", 1}}) {
        server.ClearRequests();
        pager.Shown.clear();
        EXPECT_TRUE(search->NavigatePager(target));
        EXPECT_EQ(search->State.FCurPage, page) << target;
        EXPECT_EQ(server.BaseUrl() + LastTarget(), query + "&pn=" + std::to_string((page - 1) * 15))
            << target;
        ASSERT_EQ(pager.Shown.size(), 1u);
        EXPECT_EQ(pager.Shown[0], BaiduPagerFragment(20, page)) << target;
    }
    EXPECT_EQ(search->State.FPageCount, 20);
    // The blank document the strip loads first goes through, unfetched.
    server.ClearRequests();
    EXPECT_FALSE(search->NavigatePager("About:Blank"));
    EXPECT_EQ(server.Requests().size(), 0u);
}

TEST(PagerTarget, ByService) {
    const TServiceBases bases{"http://b.test", "http://y.test", "http://s.test"};
    TSearchState state;
    state.FBaiduQuery = "http://b.test/i?word=x";
    state.FYoudaoKeyword = "风景";
    struct Case {
        int kind;
        std::string target;
        TPagerFetch::TAction action;
        std::string url;
        int page;
    } cases[] = {
        {skBaidu, "about:blank7", TPagerFetch::paBaidu, "http://b.test/i?word=x&pn=90", 7},
        {skBaidu, "about:7", TPagerFetch::paBaidu, "http://b.test/i?word=x&pn=90", 7},
        {skBaidu, "about:blankx", TPagerFetch::paBaidu, "http://b.test/i?word=x&pn=0", 1},
        {skBaidu, "about:-3", TPagerFetch::paBaidu, "http://b.test/i?word=x&pn=0", 1},
        {skBaidu, "about:99999999999", TPagerFetch::paBaidu, "http://b.test/i?word=x&pn=0", 1},
        {skBaidu, "about:blank", TPagerFetch::paLetThrough, "", 0},
        {skYoudao, "about:/search?q=风景+1920X1080&Start=24", TPagerFetch::paYoudao,
         "http://y.test/search?q=%B7%E7%BE%B0+1920x1080&start=24", 0},
        {skSogou, "about:blank/pics?Query=%B7%E7&Page=2", TPagerFetch::paSogou,
         "http://s.test/pics?query=%b7%e7&page=2", 0},
        {skNone, "about:3", TPagerFetch::paNothing, "", 0},
        {skNone, "about:blank", TPagerFetch::paLetThrough, "", 0},
    };
    for (const auto& c : cases) {
        state.FSearchKind = c.kind;
        TPagerFetch f = PagerTargetFetch(c.target, state, bases);
        EXPECT_EQ(f.Action, c.action) << c.target;
        EXPECT_EQ(f.Url, c.url) << c.target;
        EXPECT_EQ(f.Page, c.page) << c.target;
    }
}

TEST(BaiduPager, PageWindows) {
    struct Case {
        int total, current;
        int first, last;
        bool prev, next;
    } cases[] = {
        {10, 1, 1, 10, false, true},    {100, 7, 2, 11, true, true},
        {100, 90, 85, 94, true, true},  {100, 91, 91, 100, true, true},
        {100, 95, 91, 100, true, true}, {100, 100, 91, 100, true, false},
        {3, 2, 1, 3, true, true},       {1, 1, 1, 1, false, false},
    };
    for (const auto& c : cases) {
        std::string want;
        if (c.prev)
            want += "<a href=\"" + std::to_string(c.current - 1) + "\">上一页</a>";
        for (int p = c.first; p <= c.last; ++p)
            want += p == c.current
                        ? "<span class=\"current-page\"> " + std::to_string(p) + " </span>"
                        : "<a href=\"" + std::to_string(p) + "\">" + std::to_string(p) + "</a>";
        if (c.next)
            want += "<a href=\"" + std::to_string(c.current + 1) + "\">下一页</a>";
        EXPECT_EQ(BaiduPagerFragment(c.total, c.current), want) << c.total << "/" << c.current;
    }
}

TEST(StripPage, WrapPageByteForByte) {
    const std::string want =
        std::string("<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Transitional//EN\" "
                    "\"http://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd\">"
                    "<html xmlns=\"http://www.w3.org/1999/xhtml\"><head>"
                    "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\" />"
                    "<meta http-equiv=\"X-UA-Compatible\" content=\"IE=EmulateIE7\" />"
                    "<title>无标题文档</title><style type=\"text/css\" media=\"screen\">") +
        "body" + std::string(29, ' ') + "{font-family:\"宋体\";margin:0;padding:0;font-size:12px}" +
        ".pagination" + std::string(11, '\t') +
        "{padding:0 3px 0 0;margin-left:3px;margin-top:5px;}" + ".pagination a " +
        std::string(10, '\t') + "{text-decoration: none;border: solid 1px #CCC;color: #000;}" +
        ".pagination a, .pagination span \t{display: block;float: left;padding: 0.3em 0.6em;"
        "margin-right: 3px;margin-bottom: 4px;}" +
        ".pagination a:hover" + std::string(7, '\t') +
        "{border-color:#fd6d01;color:#000;text-decoration:none;}" + ".pagination .current-page" +
        std::string(4, '\t') + "{background: #efefef;color: #000;border: solid 1px #CCC;}" +
        ".pagination .current.prev, .pagination .current.next\t"
        "{color:#000;border-color:#CCC;background:#efefef;}" +
        "</style></head><body><div class=\"pagination\"><b>x</b></div></body></html>";
    EXPECT_EQ(PagerPage("<b>x</b>"), want);
    EXPECT_EQ(WrapPage(""), want.substr(0, want.find("<div")) + "</body></html>");
}

TEST(SogouBar, MarkCurrentPage) {
    struct Case {
        std::string bar, want;
    } cases[] = {
        {"<a href=\"?p=1\">1</a> 2 <a href=\"?p=3\">3</a>",
         "<a href=\"?p=1\">1</a> <span class=\"current-page\">2</span> <a href=\"?p=3\">3</a>"},
        {"1 <a href=\"?p=2\">2</a>",
         "<span class=\"current-page\">1</span> <a href=\"?p=2\">2</a>"},
        {"12<a href=\"?p=13\">13</a>",
         "<span class=\"current-page\">12</span><a href=\"?p=13\">13</a>"},
        {"<a href=\"?p=1\">1</a><A HREF=\"?p=2\">2</A>",
         "<a href=\"?p=1\">1</a><A HREF=\"?p=2\">2</A>"},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MarkCurrentPage(c.bar), c.want) << c.bar;
}

TEST_F(SearchTest, SogouLayoutA) {
    const std::string bar = "<a href=\"/pics?query=%B7%E7%BE%B0&page=1\">[1]</a> 2 "
                            "<a href=\"/pics?query=%B7%E7%BE%B0&page=3\">[3]</a>"
                            "<a href=\"/pics?query=%B7%E7%BE%B0&page=3\">[下一页]</a>";
    auto blocks = test::SogouItems(3);
    blocks.insert(blocks.begin() + 1, "<li><p>广告</p></li>\n");
    Serve("sogou/pics", test::SogouPageA(bar, blocks));
    ASSERT_TRUE(search->StartSearch(skSogou, "风景", 0));
    EXPECT_EQ(pager.Shown.back(), "<a href=\"/pics?query=%B7%E7%BE%B0&page=1\">1</a> "
                                  "<span class=\"current-page\">2</span> "
                                  "<a href=\"/pics?query=%B7%E7%BE%B0&page=3\">3</a>"
                                  "<a href=\"/pics?query=%B7%E7%BE%B0&page=3\">下一页</a>");
    // A block the item pattern does not match still takes a cell, empty.
    EXPECT_EQ(Pics(), (std::vector<std::string>{PicUrl(0), "", PicUrl(1), PicUrl(2)}));
    EXPECT_EQ(results.Shown()[3].ThumbUrl, ThumbUrl(2));
    EXPECT_EQ(results.Shown()[1].ThumbUrl, "");
    EXPECT_TRUE(messages.Shown.empty());
}

TEST_F(SearchTest, SogouLayoutBAndTheSixteenthBlock) {
    const std::string bar = "\t<a href=\"/pics?page=1\">1</a>&nbsp;<strong>2</strong>&nbsp;"
                            "<a href=\"/pics?page=3\">3</a>\r\n";
    Serve("sogou/pics", test::SogouPageB(bar, test::SogouItems(17)));
    ASSERT_TRUE(search->StartSearch(skSogou, "风景", 0));
    EXPECT_EQ(pager.Shown.back(), "<a href=\"/pics?page=1\">1</a><span class=\"current-page\">2"
                                  "</span><a href=\"/pics?page=3\">3</a>");
    ASSERT_EQ(results.Shown().size(), 15u);
    EXPECT_EQ(results.Shown()[14].PicUrl, PicUrl(14));
    EXPECT_EQ(results.Shown()[14].ThumbUrl, ThumbUrl(14));
}

TEST_F(SearchTest, SogouAndYoudaoKeepTheBaiduPageState) {
    Serve("baidu/i", test::BaiduPage(test::BaiduLiteral(31, 2)));
    ASSERT_TRUE(search->StartSearch(skBaidu, "风景", 0));
    Serve("sogou/pics", test::SogouPageB("", {}));
    ASSERT_TRUE(search->StartSearch(skSogou, "风景", 0));
    EXPECT_EQ(messages.Texts(), std::vector<std::string>{"没有查找到壁纸"});
    EXPECT_TRUE(results.Shown().empty());
    Serve("youdao/search", test::YoudaoPage("", test::YoudaoItems(1)));
    ASSERT_TRUE(search->StartSearch(skYoudao, "风景", 0));
    EXPECT_EQ(results.Shown().size(), 1u);
    EXPECT_EQ(search->State.FPageCount, 3);
    EXPECT_EQ(search->State.FCurPage, 1);
}

TEST_F(SearchTest, YoudaoPageDecodedFromUtf8) {
    const std::string bar = "<a href=\"/search?q=风景+1920x1080&start=24\">下一页</a>";
    auto blocks = test::YoudaoItems(16);
    blocks[2] = "<tbody><tr><td>无图</td></tr></tbody>\n";
    // An address with a character code page 936 lacks keeps a "?" in its place.
    blocks[3] = "<tbody><center><a href=\"x\" onclick=\"logci('img','http://img.example/한.jpg')\">"
                "<img src=\"http://img.example/t.jpg\" width=\"150\"/></a></center></tbody>\n";
    Serve("youdao/search", test::YoudaoPage(bar, blocks));
    ASSERT_TRUE(search->StartSearch(skYoudao, "风景", 0));
    EXPECT_EQ(pager.Shown.back(), bar);
    ASSERT_EQ(results.Shown().size(), 15u);
    EXPECT_EQ(results.Shown()[0].PicUrl, PicUrl(0));
    EXPECT_EQ(results.Shown()[0].ThumbUrl, ThumbUrl(0));
    EXPECT_EQ(results.Shown()[2].PicUrl, "");
    EXPECT_EQ(results.Shown()[3].PicUrl, "http://img.example/?.jpg");
    EXPECT_EQ(results.Shown()[3].ThumbUrl, "http://img.example/t.jpg");
    EXPECT_EQ(results.Shown()[14].PicUrl, PicUrl(14));

    // A page link puts the escaped keyword back and lower-cases the rest.
    server.ClearRequests();
    EXPECT_TRUE(search->NavigatePager("about:/search?q=风景+1920x1080&Start=24"));
    EXPECT_EQ(LastTarget(), "/youdao/search?q=%B7%E7%BE%B0+1920x1080&start=24");
}

TEST_F(SearchTest, FailedRequestShowsNothingFound) {
    for (int kind : {skSogou, skYoudao}) {
        messages.Shown.clear();
        ASSERT_TRUE(search->StartSearch(kind, "风景", 0));
        EXPECT_EQ(messages.Texts(), std::vector<std::string>{"没有查找到壁纸"});
        EXPECT_EQ(pager.Shown.back(), "");
        EXPECT_TRUE(results.Shown().empty());
    }
}

TEST_F(SearchTest, DownloadedFlagFromTheStore) {
    test::WriteFile(app.Path() / "favorites" / PictureFileName(PicUrl(1)), "BM");
    test::WriteFile(app.Path() / "temp" / PictureFileName(PicUrl(2)), "BM");
    Serve("sogou/pics", test::SogouPageA("1", test::SogouItems(4)));
    ASSERT_TRUE(search->StartSearch(skSogou, "风景", 0));
    ASSERT_EQ(results.Shown().size(), 4u);
    EXPECT_FALSE(results.Shown()[0].Downloaded);
    EXPECT_TRUE(results.Shown()[1].Downloaded);
    EXPECT_TRUE(results.Shown()[2].Downloaded);
    EXPECT_FALSE(results.Shown()[3].Downloaded);
}

TEST(SearchManager, RowsAndShortTexts) {
    TSearchManager m;
    EXPECT_EQ(m.LoadInto(), 0);
    const std::string longUrl = "http://x/" + std::string(300, 'a');
    const std::string chinese = std::string(254, 'b') + "风";
    for (int i = 0; i < 7; ++i)
        m.AddResult("", i == 0 ? longUrl : "t", i == 1 ? chinese : "p", false);
    EXPECT_EQ(m.LoadInto(), 2);
    EXPECT_TRUE(m.Pending().empty());
    EXPECT_EQ(m.Shown()[0].ThumbUrl, longUrl.substr(0, 255));
    // Never half a character: 254 bytes and the two-byte character do not fit.
    EXPECT_EQ(m.Shown()[1].PicUrl, std::string(254, 'b'));
}

TEST(LenientJson, ObjectLiteralForms) {
    struct Case {
        const char* text;
        const char* json; // "" when it must not parse
    } cases[] = {
        {"{a:1, 'b':'x\"y', \"c\":[1,2,],}", R"({"a":1,"b":"x\"y","c":[1,2]})"},
        {"// head\n{ /* c */ $k_1 : 'it\\'s', t:true, n:null, u:undefined }",
         R"({"$k_1":"it's","n":null,"t":true,"u":null})"},
        {"{s:'\\x41\\u0042\\/'}", R"({"s":"AB/"})"},
        {"{\"url\":\"http://a/b//c\"}", R"({"url":"http://a/b//c"})"},
        {"{a:'unterminated}", ""},
        {"{a:1", ""},
        {"{a:1} trailing", ""},
        {"", ""},
    };
    for (const auto& c : cases) {
        nlohmann::json j = ParseLenientJson(c.text);
        if (*c.json == 0)
            EXPECT_TRUE(j.is_discarded()) << c.text;
        else
            EXPECT_EQ(j, nlohmann::json::parse(c.json)) << c.text;
    }
    // Deep nesting is no stack hazard for the front end or the parser.
    EXPECT_FALSE(ParseLenientJson(std::string(200000, '[')).is_object());
}

// Pages made to keep the item patterns backtracking: every such match gives up
// at its bound, its block counts as unmatched and extraction goes on.
std::string CraftedYoudaoBlock(std::size_t size) {
    std::string block = "<tbody><center>";
    while (block.size() < size)
        block += "<a href=\"x\"logci('a','b','c' src=\"q\" ";
    return block + "</tbody>";
}

// Without JIT the match limit holds per start position; a page with many
// start positions is then stopped by the time budget of the call, whatever
// branch of the pattern does the work and whatever settings lead it.
TEST(BoundedPatterns, InterpreterMatchesTheSameAndKeepsItsBudget) {
    TPatternLimits interpreted;
    interpreted.UseJit = false;
    std::string many;
    while (many.size() < 200000)
        many += "<li>abc</Li";
    for (const char* pattern : {R"re(<li>(.*?)</li>)re", R"re(zz|<li>(.*?)</li>)re",
                                R"re((*CRLF)zz|<li>(.*?)</li>)re",
                                R"re((?x)<li>(.*?)</li> # item)re", R"re(<li>(.*?)</li>\Q)re"}) {
        const TPagePattern jit(pattern, true);
        const TPagePattern slow(pattern, true, interpreted);
        EXPECT_FALSE(slow.UsesJit());
        for (const std::string subject :
             {"<LI>a</li><li>b</li>", "x<li>\r</li><li>c</li>", "<li></li>"}) {
            TPatternMatch a = jit.Match(subject), b = slow.Match(subject);
            EXPECT_EQ(a.Matched, b.Matched) << pattern << " " << subject;
            EXPECT_EQ(a.Group(1), b.Group(1)) << pattern << " " << subject;
            EXPECT_EQ(a.Start, b.Start) << pattern << " " << subject;
        }
        TPatternMatch m = slow.Match(many);
        EXPECT_FALSE(m.Matched) << pattern;
        EXPECT_TRUE(m.HitLimit) << pattern;
    }
}

TEST(BoundedPatterns, CraftedPagesStopAtTheBound) {
    const TPagePattern item(
        R"re(<center>.*<a href=".*"logci\('.*','(.*)'\)">.*src="(.*)" width=)re", true);
    TPatternMatch m = item.Match(CraftedYoudaoBlock(1 << 18));
    EXPECT_FALSE(m.Matched);
    EXPECT_TRUE(m.HitLimit);

    TServicePage r =
        ExtractYoudaoPage(test::YoudaoPage("", {CraftedYoudaoBlock(1 << 18), test::YoudaoItem(1)}));
    ASSERT_EQ(r.Results.size(), 2u);
    EXPECT_EQ(r.Results[0].Pic, "");
    EXPECT_EQ(r.Results[1].Pic, PicUrl(1));

    // A megabyte of such blocks: fifteen empty results, then the scan ends.
    std::vector<std::string> blocks(16, CraftedYoudaoBlock(1 << 16));
    r = ExtractYoudaoPage(test::YoudaoPage("", blocks));
    ASSERT_EQ(r.Results.size(), 15u);
    EXPECT_EQ(r.Results[14].Thumb, "");

    std::string sogou = "<li><a href=";
    while (sogou.size() < (1u << 18))
        sogou += " onclick=\"phb('x' <!--thumb_beg--><img src=\"";
    TServicePage s = ExtractSogouPage(test::SogouPageA("1", {sogou + "</li>", test::SogouItem(5)}));
    ASSERT_EQ(s.Results.size(), 2u);
    EXPECT_EQ(s.Results[0].Pic, "");
    EXPECT_EQ(s.Results[1].Pic, PicUrl(5));
}

} // namespace
} // namespace velmora::test
