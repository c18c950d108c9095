// Result pages fetched on workers: the answer comes back on the main thread
// through the dispatcher, and a newer fetch drops the answer of an older one.
#include "tests/support/TestSupport.h"
#include "tests/wallpaper/SearchPages.h"
#include "tools/StaticServer.h"
#include "wallpaper/uSearchEngines.h"
#include "wallpaper/uSearchFetch.h"
#include "wallpaper/uSearchManager.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace velmora {
namespace {

using namespace std::chrono_literals;

// A server that sends its answers a few bytes at a time, slowly.
TServerFaults Slow() {
    TServerFaults f;
    f.SlowDelayMs = 200;
    f.SlowChunk = 64;
    return f;
}

class PageFetchTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.Start());
        ASSERT_TRUE(slow.Start());
        slow.SetFaults(Slow());
        test::WriteFile(root / "a.html", std::string(4000, 'a'));
        test::WriteFile(root / "b.html", "page b");
    }
    void TearDown() override {
        // Every worker ends, whatever happened to its answer.
        EXPECT_TRUE(TWorkerPageSource::WaitForWorkers(30s));
    }

    // Runs the steps that arrive until every worker has ended.
    bool Drain() {
        const auto deadline = std::chrono::steady_clock::now() + 30s;
        while (std::chrono::steady_clock::now() < deadline) {
            dispatcher->RunPending();
            if (TWorkerPageSource::WaitForWorkers(20ms))
                return dispatcher->RunPending(), true;
        }
        return false;
    }

    test::TTempDir root;
    TStaticServer server{root.Path()}, slow{root.Path()};
    std::shared_ptr<TLoopDispatcher> dispatcher = std::make_shared<TLoopDispatcher>();
};

TEST_F(PageFetchTest, PageArrivesOnTheMainThread) {
    TWorkerPageSource source(dispatcher);
    std::vector<bool> busy;
    source.OnBusyChanged = [&](bool b) { busy.push_back(b); };
    std::string body;
    std::thread::id ranOn;
    bool arrived = false;
    source.Fetch(server.BaseUrl() + "/b.html", "http://ref.test/", [&](const std::string& page) {
        body = page;
        ranOn = std::this_thread::get_id();
        arrived = true;
        EXPECT_FALSE(source.Busy()); // no longer busy once the page is being shown
    });
    EXPECT_TRUE(source.Busy());
    EXPECT_FALSE(arrived);
    ASSERT_TRUE(dispatcher->RunUntil([&] { return arrived; }, 30s));
    EXPECT_EQ(body, "page b");
    EXPECT_EQ(ranOn, std::this_thread::get_id());
    EXPECT_EQ(busy, (std::vector<bool>{true, false}));
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(server.Requests()[0].Headers["referer"], "http://ref.test/");

    // A failed request hands over an empty body.
    arrived = false;
    body = "x";
    source.Fetch(server.BaseUrl() + "/missing.html", "", [&](const std::string& page) {
        body = page;
        arrived = true;
    });
    ASSERT_TRUE(dispatcher->RunUntil([&] { return arrived; }, 30s));
    EXPECT_EQ(body, "");
}

TEST_F(PageFetchTest, NewerFetchDropsTheOlderAnswer) {
    TWorkerPageSource source(dispatcher);
    std::vector<std::string> shown;
    auto record = [&](const std::string& page) { shown.push_back(page.substr(0, 6)); };
    source.Fetch(slow.BaseUrl() + "/a.html", "", record);
    const std::uint64_t first = source.Generation();
    source.Fetch(server.BaseUrl() + "/b.html", "", record);
    EXPECT_GT(source.Generation(), first);
    ASSERT_TRUE(dispatcher->RunUntil([&] { return !shown.empty(); }, 30s));
    EXPECT_FALSE(source.Busy());
    // The slow answer gives up at its next bytes and never shows.
    ASSERT_TRUE(Drain());
    EXPECT_EQ(shown, std::vector<std::string>{"page b"});

    // Cancel drops a fetch as well, and the source is idle again at once.
    source.Fetch(server.BaseUrl() + "/b.html", "", record);
    source.Cancel();
    EXPECT_FALSE(source.Busy());
    ASSERT_TRUE(Drain());
    EXPECT_EQ(shown.size(), 1u);
}

TEST_F(PageFetchTest, AnswersForAGoneSourceAreDropped) {
    bool called = false;
    {
        TWorkerPageSource source(dispatcher);
        source.Fetch(slow.BaseUrl() + "/a.html", "", [&](const std::string&) { called = true; });
        source.Fetch(server.BaseUrl() + "/b.html", "", [&](const std::string&) { called = true; });
        // Most likely the quick answer now waits in the dispatcher; either way
        // it must not show once the source has gone.
        std::this_thread::sleep_for(300ms);
    }
    ASSERT_TRUE(Drain());
    EXPECT_FALSE(called);

    // A dispatcher that has shut down releases a worker at once.
    auto closing = std::make_shared<TLoopDispatcher>();
    TWorkerPageSource source(closing);
    source.Fetch(server.BaseUrl() + "/b.html", "", [&](const std::string&) { called = true; });
    closing->Shutdown();
    EXPECT_TRUE(TWorkerPageSource::WaitForWorkers(30s));
    EXPECT_FALSE(called);
}

class TRecordingPager : public IPagerView {
public:
    void ClearPager() override { Shown.push_back("<cleared>"); }
    void ShowPager(const std::string& fragment) override { Shown.push_back(fragment); }
    std::vector<std::string> Shown;
};

// The search itself on workers: nothing shows until the page is back, and a
// newer search on another service wins over a slow one.
TEST_F(PageFetchTest, SearchShowsItsPageWhenItArrives) {
    test::WriteFile(root / "i", test::BaiduPage(test::BaiduLiteral(40, 15)));
    test::WriteFile(root / "pics",
                    test::SogouPageA("1 <a href=\"/p2\">2</a>", test::SogouItems(3)));
    TSearchManager results;
    TRecordingPager pager;
    test::TRecordingMessages messages;
    TWallpaperSearch search({slow.BaseUrl(), server.BaseUrl(), server.BaseUrl()}, results, pager,
                            nullptr, std::make_unique<TWorkerPageSource>(dispatcher));
    auto& source = static_cast<TWorkerPageSource&>(search.Source());
    ASSERT_TRUE(search.StartSearch(skBaidu, "风景", 0));
    EXPECT_EQ(pager.Shown, std::vector<std::string>{"<cleared>"});
    EXPECT_TRUE(source.Busy());
    ASSERT_TRUE(search.StartSearch(skSogou, "风景", 0));
    ASSERT_TRUE(dispatcher->RunUntil([&] { return !source.Busy(); }, 30s));
    ASSERT_TRUE(Drain());
    EXPECT_EQ(results.Shown().size(), 3u);
    EXPECT_EQ(results.Shown()[0].PicUrl, test::PicUrl(0));
    ASSERT_EQ(pager.Shown.size(), 3u);
    EXPECT_EQ(pager.Shown[2], "<span class=\"current-page\">1</span> <a href=\"/p2\">2</a>");
    EXPECT_EQ(search.State.FPageCount, 0); // the Baidu answer never counted
    EXPECT_TRUE(messages.Shown.empty());
}

} // namespace
} // namespace velmora
