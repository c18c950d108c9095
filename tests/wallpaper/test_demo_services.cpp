// The demo's search services: velmora-demo writes the answers, the static
// server answers the query addresses with them, and the search reads them as
// it reads the real services' pages; the pictures are real JPEG files.
#include "catalog/uWinHttp.h"
#include "tests/support/TestSupport.h"
#include "tools/StaticServer.h"
#include "wallpaper/uSearchEngines.h"
#include "wallpaper/uSearchManager.h"

#include <QImage>
#include <gtest/gtest.h>

#include <set>

namespace velmora {
namespace {

class TLastPager : public IPagerView {
public:
    void ClearPager() override { Fragment = "<cleared>"; }
    void ShowPager(const std::string& fragment) override { Fragment = fragment; }
    std::string Fragment;
};

class DemoServicesTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        Root = new test::TTempDir;
        Server = new TStaticServer(Root->Path());
        ASSERT_TRUE(Server->Start());
        // Written into the folder the server already serves, for its address.
        const test::TProgramRun run = test::RunProgram(std::string(VELMORA_DEMO_EXE) + " " +
                                                           (Root->Path() / "").string() +
                                                           " --base " + Server->BaseUrl(),
                                                       Root->Path());
        ASSERT_EQ(run.Exit, 0) << run.Err;
    }
    static void TearDownTestSuite() {
        delete Server;
        delete Root;
    }
    void SetUp() override { SetDesktopSize(1920, 1080); }

    std::vector<std::string> Pics() const {
        std::vector<std::string> v;
        for (const TPicInfo& r : results.Shown())
            v.push_back(r.PicUrl);
        return v;
    }

    static test::TTempDir* Root;
    static TStaticServer* Server;
    TSearchManager results;
    TLastPager pager;
    test::TRecordingMessages messages;
    TWallpaperSearch search{{Server->BaseUrl(), Server->BaseUrl(), Server->BaseUrl()},
                            results,
                            pager,
                            nullptr};
};

test::TTempDir* DemoServicesTest::Root = nullptr;
TStaticServer* DemoServicesTest::Server = nullptr;

TEST_F(DemoServicesTest, BaiduPagesThroughItsResults) {
    ASSERT_TRUE(search.StartSearch(skBaidu, "风景", 4));
    EXPECT_EQ(results.Shown().size(), 15u);
    EXPECT_EQ(search.State.FPageCount, 3);
    EXPECT_NE(pager.Fragment.find("<span class=\"current-page\"> 1 </span>"), std::string::npos);
    const std::vector<std::string> pics = Pics();
    const std::set<std::string> first(pics.begin(), pics.end());
    EXPECT_TRUE(search.NavigatePager("about:3"));
    EXPECT_EQ(results.Shown().size(), 10u);
    EXPECT_EQ(search.State.FCurPage, 3);
    for (const std::string& pic : Pics())
        EXPECT_FALSE(first.count(pic)) << pic;
    EXPECT_TRUE(messages.Shown.empty());
}

TEST_F(DemoServicesTest, SogouInBothLayoutsAndYoudaoWithTwoWords) {
    ASSERT_TRUE(search.StartSearch(skSogou, "风景", 0));
    EXPECT_EQ(results.Shown().size(), 15u);
    EXPECT_EQ(pager.Fragment.rfind("<span class=\"current-page\">1</span>", 0), 0u);
    // Page 2 comes in the other layout; its link is followed as the strip
    // reports it, lower-cased.
    const std::string link = "about:/pics?query=" + UrlEncode("风景", false) + "&mode=5&page=2";
    EXPECT_TRUE(search.NavigatePager(link));
    EXPECT_EQ(results.Shown().size(), 15u);
    EXPECT_NE(pager.Fragment.find("<span class=\"current-page\">2</span>"), std::string::npos);
    EXPECT_TRUE(search.NavigatePager("about:/pics?query=%b7%e7%be%b0&mode=5&page=3"));
    EXPECT_EQ(results.Shown().size(), 8u);

    ASSERT_TRUE(search.StartSearch(skYoudao, "城市 夜景", 0));
    EXPECT_EQ(results.Shown().size(), 15u);
    // The two words reach the server escaped as the browser escapes them.
    EXPECT_TRUE(search.NavigatePager("about:/search?q=城市%20夜景&start=15"));
    EXPECT_EQ(results.Shown().size(), 5u);
    EXPECT_TRUE(messages.Shown.empty());
}

TEST_F(DemoServicesTest, UnknownKeywordFindsNothing) {
    for (int kind : {skBaidu, skYoudao, skSogou}) {
        messages.Shown.clear();
        ASSERT_TRUE(search.StartSearch(kind, "no such thing", 0));
        EXPECT_EQ(messages.Texts(), std::vector<std::string>{"没有查找到壁纸"}) << kind;
    }
}

TEST_F(DemoServicesTest, PicturesAreJpegsOfSeveralSizes) {
    ASSERT_TRUE(search.StartSearch(skBaidu, "风景", 0));
    std::set<std::pair<int, int>> sizes;
    TWinHttp http;
    for (const TPicInfo& r : results.Shown()) {
        QImage thumb, full;
        const std::string t = http.GetString(r.ThumbUrl), f = http.GetString(r.PicUrl);
        ASSERT_TRUE(thumb.loadFromData(reinterpret_cast<const uchar*>(t.data()), int(t.size()), "JPEG"))
            << r.ThumbUrl;
        ASSERT_TRUE(full.loadFromData(reinterpret_cast<const uchar*>(f.data()), int(f.size()), "JPEG"))
            << r.PicUrl;
        EXPECT_LT(thumb.width(), full.width());
        sizes.insert({full.width(), full.height()});
    }
    EXPECT_GE(sizes.size(), 5u);
}

} // namespace
} // namespace velmora
