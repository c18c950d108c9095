// The whole wallpaper search window, offscreen, with its real browser panes,
// against the demo's search services on an in-process server: the search bar,
// the advertisement pane, the pagination strip clicked in the browser, the
// worker that fetches pages, and the end of the window.
#include "app/uQtDispatcher.h"
#include "app/wallpaper/uFrmWallpaper.h"
#include "controls/ButtonEdit.h"
#include "controls/PaintPanel.h"
#include "controls/WebBrowseEx.h"
#include "platform/SimulatedSystem.h"
#include "tests/support/TestSupport.h"
#include "tools/StaticServer.h"
#include "wallpaper/uPicStore.h"
#include "wallpaper/uSearchFetch.h"

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <memory>
#include <optional>

namespace velmora {
namespace {
namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Pages and browser start-up can be slow on a loaded machine.
constexpr int WaitMs = 60000;

class SearchWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        Site = new test::TTempDir;
        Server = new TStaticServer(Site->Path());
        ASSERT_TRUE(Server->Start());
        const test::TProgramRun run =
            test::RunProgram(std::string(VELMORA_DEMO_EXE) + " " + (Site->Path() / "").string() +
                                 " --base " + Server->BaseUrl(),
                             Site->Path());
        ASSERT_EQ(run.Exit, 0) << run.Err;
    }
    static void TearDownTestSuite() {
        delete Server;
        delete Site;
    }

    void SetUp() override {
        Server->SetFaults({});
        Server->ClearRequests();
        system = CreateSimulatedSystem(root.Path());
        dispatcher = std::make_shared<TQtDispatcher>();
        Open();
    }
    void TearDown() override {
        window.reset();
        dispatcher->Shutdown();
        EXPECT_TRUE(TWorkerPageSource::WaitForWorkers(10s));
        EXPECT_TRUE(TDownPicThread::WaitForAll(10s));
        EXPECT_TRUE(TPictureFetcher::WaitForWorkers(10s));
    }

    void Open() {
        TWallpaperSetup setup;
        setup.ExePath = exe.Path();
        setup.System = system.get();
        setup.Dispatcher = dispatcher;
        setup.ServerBase = Server->BaseUrl();
        setup.Services = {Server->BaseUrl(), Server->BaseUrl(), Server->BaseUrl()};
        setup.Browsers = std::make_shared<TWebBrowserPanes>();
        window = std::make_unique<TFrmWallpaper>(setup);
        // Whether the strip is between the start and the end of a load.
        QObject::connect(&Pager(), &QWebEngineView::loadStarted, [this] { ++pagerLoads; });
        QObject::connect(&Pager(), &QWebEngineView::loadFinished, [this] { --pagerLoads; });
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }

    // Clicks a service button and waits until its page is shown.
    void Search(QPushButton* button, const QString& keyword) {
        window->edtKey->setText(keyword);
        QTest::mouseClick(button, Qt::LeftButton);
        ASSERT_TRUE(WaitIdle());
    }
    bool WaitIdle() {
        return QTest::qWaitFor([&] { return !window->Searching(); }, WaitMs);
    }
    TWebBrowseEx& Pager() { return *static_cast<TWebBrowseEx*>(window->wbPageNum); }
    QString PagerHtml() { return Pager().WrittenHtml(); }
    // The last request for a query path ("/i", "/pics", "/search").
    std::string LastQuery(const std::string& path) {
        std::string target;
        for (const TLoggedRequest& r : Server->Requests())
            if (r.Path == path)
                target = r.Target;
        return target;
    }
    std::vector<std::string> Pics() {
        std::vector<std::string> v;
        for (int row = 0; row < window->vstResult->RowCount(); ++row)
            for (int i = 0; i < ResultsPerRow; ++i)
                if (std::string pic = window->vstResult->Node(row)->GetInfo(i).PicUrl; !pic.empty())
                    v.push_back(pic);
        return v;
    }
    // Clicks the strip's link with this text in the browser, once the
    // written page has loaded; true when there was such a link.
    bool ClickPagerLink(const QString& text) {
        // A click while a written page still loads goes nowhere.
        if (!QTest::qWaitFor([&] { return pagerLoads <= 0; }, WaitMs))
            return false;
        const QString script =
            QString("(function(){for (const a of document.querySelectorAll('a'))"
                    " if (a.textContent.trim() === '%1') { a.click(); return true; }"
                    " return false; })()")
                .arg(text);
        for (int attempt = 0; attempt < 200; ++attempt) {
            auto answer = std::make_shared<std::optional<bool>>();
            Pager().page()->runJavaScript(script,
                                          [answer](const QVariant& v) { *answer = v.toBool(); });
            if (!QTest::qWaitFor([&] { return answer->has_value(); }, 5000))
                return false;
            if (**answer)
                return true;
            QTest::qWait(100);
        }
        return false;
    }

    static test::TTempDir* Site;
    static TStaticServer* Server;
    test::TTempDir exe, root;
    test::TRecordingMessages messages;
    std::unique_ptr<TSimulatedSystem> system;
    std::shared_ptr<TQtDispatcher> dispatcher;
    std::unique_ptr<TFrmWallpaper> window;
    int pagerLoads = 0;
};

test::TTempDir* SearchWindowTest::Site = nullptr;
TStaticServer* SearchWindowTest::Server = nullptr;

TEST_F(SearchWindowTest, OpensWithTheAdvertisementAndTheSizeList) {
    EXPECT_EQ(window->size(), QSize(699, 340));
    EXPECT_EQ(window->font().pixelSize(), 12);
    EXPECT_TRUE(window->pnlAD2->isVisible());
    EXPECT_EQ(window->pnlAD2->geometry(), window->vstResult->geometry());
    EXPECT_EQ(window->pnlPage->geometry(), QRect(0, 310, 699, 30));
    EXPECT_FALSE(window->wbPageNum->isVisible()); // blank until a search writes it
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return Server->RequestCount("/ad/201081153_2.html") > 0; }, WaitMs));
    EXPECT_EQ(window->SearchState().FSearchKind, skNone);
    EXPECT_EQ(window->edtKey->text(), QString::fromUtf8("风景"));
    ASSERT_EQ(window->cbSize->count(), 35);
    EXPECT_EQ(window->cbSize->currentIndex(), 0);
    EXPECT_EQ(window->cbSize->itemText(0), QString::fromUtf8("我的桌面尺寸"));
    EXPECT_EQ(window->cbSize->maxVisibleItems(), 18);
    const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
    EXPECT_EQ(WallpaperSizes[0].Width, screen.width());
    EXPECT_EQ(WallpaperSizes[0].Height, screen.height());
    int tag = 0;
    for (QPushButton* b : {window->btnBaiDu, window->btnYouDao, window->btnSouGou})
        EXPECT_EQ(b->property("Tag").toInt(), tag++);
    // Neither pane opens a context menu.
    for (QWidget* pane : {window->wbMain, window->wbPageNum}) {
        std::int32_t result = E_NOTIMPL_Result;
        static_cast<TWebBrowseEx*>(pane)->OnShowContextMenu(nullptr, 0, {}, result);
        EXPECT_EQ(result, S_OK_Result);
    }

    // A keyword of blanks asks for one and leaves everything as it was.
    window->edtKey->setText("  \t");
    QTest::mouseClick(window->btnYouDao, Qt::LeftButton);
    EXPECT_EQ(messages.Texts(), std::vector<std::string>{"请先输入关键字"});
    EXPECT_TRUE(window->pnlAD2->isVisible());
    EXPECT_TRUE(window->edtKey->hasFocus());
    EXPECT_FALSE(window->Searching());
    EXPECT_EQ(window->SearchState().FSearchKind, skNone);
    EXPECT_EQ(LastQuery("/search"), "");
}

TEST_F(SearchWindowTest, EachServiceFillsTheGridAndThePager) {
    struct Case {
        QPushButton* Button;
        const char* Path;
        const char* Current; // the current page in the strip
    } cases[] = {{window->btnBaiDu, "/i", "<span class=\"current-page\"> 1 </span>"},
                 {window->btnYouDao, "/search", "<span class=\"current-page\">1</span>"},
                 {window->btnSouGou, "/pics", "<span class=\"current-page\">1</span>"}};
    for (const Case& c : cases) {
        window->edtKey->setText(QString::fromUtf8(" 风景 "));
        QTest::mouseClick(c.Button, Qt::LeftButton);
        // The page comes on a worker: the buttons wait, the cursor is busy.
        EXPECT_TRUE(window->Searching());
        EXPECT_FALSE(window->btnYouDao->isEnabled());
        ASSERT_NE(QApplication::overrideCursor(), nullptr);
        EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
        ASSERT_TRUE(WaitIdle()) << c.Path;
        EXPECT_TRUE(window->btnYouDao->isEnabled());
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);

        EXPECT_FALSE(window->pnlAD2->isVisible());
        EXPECT_EQ(window->vstResult->RowCount(), 3) << c.Path;
        EXPECT_EQ(Pics().size(), 15u) << c.Path;
        EXPECT_TRUE(PagerHtml().contains(QString::fromUtf8(c.Current))) << c.Path;
        EXPECT_TRUE(window->wbPageNum->isVisible());
        EXPECT_TRUE(c.Button->font().bold());
        EXPECT_NE(LastQuery(c.Path).find(UrlEncode("风景", false)), std::string::npos);
    }
    EXPECT_FALSE(window->btnBaiDu->font().bold());
    EXPECT_TRUE(messages.Shown.empty());
    // The thumbnails arrive in the grid.
    const auto loader = window->GridManager().Loader();
    ASSERT_TRUE(QTest::qWaitFor([&] { return loader->Finished(); }, WaitMs));
    EXPECT_FALSE(window->vstResult->Node(0)->Bitmaps(0).isNull());
}

TEST_F(SearchWindowTest, EnterSearchesBaiduWhateverWasUsedLast) {
    Search(window->btnSouGou, QString::fromUtf8("风景"));
    ASSERT_EQ(window->SearchState().FSearchKind, skSogou);
    window->edtKey->setFocus();
    QTest::keyClick(window->edtKey, Qt::Key_Return);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(window->SearchState().FSearchKind, skBaidu);
    EXPECT_EQ(window->SearchState().FPageCount, 3);
    EXPECT_NE(LastQuery("/i"), "");
    EXPECT_EQ(window->edtKey->text(), QString::fromUtf8("风景")); // no line break
}

TEST_F(SearchWindowTest, BaiduPageLinksFetchTheirOffsetAndKeepThePage) {
    window->cbSize->setCurrentIndex(4); // 1024x768: Baidu's own size code
    Search(window->btnBaiDu, QString::fromUtf8("风景"));
    const std::string query = window->SearchState().FBaiduQuery;
    EXPECT_NE(query.find("&z=5&rn=15"), std::string::npos);
    ASSERT_TRUE(ClickPagerLink("3"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->SearchState().FCurPage == 3; }, WaitMs));
    ASSERT_TRUE(WaitIdle());
    ASSERT_TRUE(QTest::qWaitFor([&] { return Pics().size() == 10; }, WaitMs));
    EXPECT_EQ(Server->BaseUrl() + LastQuery("/i"), query + "&pn=30");
    EXPECT_EQ(window->SearchState().FPageCount, 3);
    EXPECT_TRUE(PagerHtml().contains("<span class=\"current-page\"> 3 </span>"));
    EXPECT_FALSE(PagerHtml().contains(QString::fromUtf8("下一页")));

    ASSERT_TRUE(ClickPagerLink(QString::fromUtf8("上一页")));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return Pics().size() == 15 && !window->Searching(); }, WaitMs));
    EXPECT_EQ(Server->BaseUrl() + LastQuery("/i"), query + "&pn=15");
    EXPECT_EQ(window->SearchState().FCurPage, 2);
    EXPECT_TRUE(PagerHtml().contains("<span class=\"current-page\"> 2 </span>"));
    EXPECT_TRUE(messages.Shown.empty());
}

// The two words reach the strip's links with a space ("%20" in Sogou's own
// links, a raw space in Youdao's); both are fetched as the link says.
TEST_F(SearchWindowTest, SogouAndYoudaoLinksWithATwoWordKeyword) {
    Search(window->btnSouGou, QString::fromUtf8("城市 夜景"));
    ASSERT_EQ(Pics().size(), 15u);
    ASSERT_TRUE(ClickPagerLink("2"));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return Pics().size() == 5 && !window->Searching(); }, WaitMs));
    // The link as the strip reports it: lower case, the space still "%20".
    std::string link = "/pics?query=" + UrlEncode("城市 夜景", false) + "&mode=5&page=2";
    for (char& c : link)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(LastQuery("/pics"), link);

    Search(window->btnYouDao, QString::fromUtf8("城市 夜景"));
    ASSERT_EQ(Pics().size(), 15u);
    ASSERT_TRUE(ClickPagerLink("2"));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return Pics().size() == 5 && !window->Searching(); }, WaitMs));
    EXPECT_NE(LastQuery("/search").find("start=15"), std::string::npos);
    EXPECT_TRUE(messages.Shown.empty());
}

TEST_F(SearchWindowTest, ANewSearchWhileThumbnailsLoadDropsTheOldOnes) {
    TServerFaults slow;
    slow.SlowDelayMs = 40;
    slow.SlowChunk = 2048;
    Server->SetFaults(slow);
    Search(window->btnBaiDu, QString::fromUtf8("风景"));
    const auto first = window->GridManager().Loader();
    ASSERT_TRUE(first);
    const std::uint64_t generation = window->vstResult->Generation();
    Search(window->btnBaiDu, QString::fromUtf8("城市 夜景"));
    EXPECT_TRUE(first->Terminated());
    EXPECT_GT(window->vstResult->Generation(), generation);
    const auto second = window->GridManager().Loader();
    ASSERT_TRUE(QTest::qWaitFor([&] { return second->Finished(); }, WaitMs));
    QApplication::processEvents();
    for (const std::string& pic : Pics())
        EXPECT_NE(pic.find("/city-"), std::string::npos) << pic;
    for (int row = 0; row < window->vstResult->RowCount(); ++row)
        EXPECT_FALSE(window->vstResult->Node(row)->Bitmaps(0).isNull());
}

TEST_F(SearchWindowTest, StaysResponsiveWhileASlowServerAnswers) {
    TServerFaults slow;
    slow.SlowDelayMs = 100;
    slow.SlowChunk = 256;
    Server->SetFaults(slow);
    int turns = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++turns; });
    ticker.start(10);
    window->edtKey->setText(QString::fromUtf8("风景"));
    QTest::mouseClick(window->btnSouGou, Qt::LeftButton);
    EXPECT_TRUE(window->Searching());
    EXPECT_EQ(turns, 0);
    ASSERT_TRUE(WaitIdle());
    // The page took seconds; the event loop kept turning all along.
    EXPECT_GT(turns, 20);
    EXPECT_EQ(Pics().size(), 15u);
}

TEST_F(SearchWindowTest, TheEndClearsTempAndKeepsFavoritesAndTheWallpaper) {
    Search(window->btnBaiDu, QString::fromUtf8("风景"));
    const std::vector<std::string> pics = Pics();
    ASSERT_GE(pics.size(), 2u);
    fs::path stored;
    bool done = false;
    ASSERT_TRUE(window->FetchFullPicture(pics[0], [&](const fs::path& p) {
        stored = p;
        done = true;
    }));
    ASSERT_TRUE(QTest::qWaitFor([&] { return done; }, WaitMs));
    ASSERT_FALSE(stored.empty());
    EXPECT_EQ(stored.parent_path(), exe.Path() / "temp");
    ASSERT_TRUE(window->SetDesktopWallpaper(stored));
    const fs::path favorite = exe.Path() / "favorites" / PictureFileName(pics[1]);
    test::WriteFile(favorite, test::ReadFile(stored));
    window.reset();
    EXPECT_FALSE(fs::exists(stored));
    EXPECT_TRUE(fs::exists(favorite));
    EXPECT_TRUE(fs::exists(system->WindowsDirectory() / "WallpaperTemp.bmp"));
}

} // namespace
} // namespace velmora
