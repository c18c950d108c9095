// The result side of the wallpaper window, driven offscreen through the real
// widgets: thumbnails from an in-process server, pixels of the grid, the
// click zones, the full-picture download, the viewer and the wallpaper in the
// simulated Windows.
#include "app/uQtDispatcher.h"
#include "controls/Image.h"
#include "controls/ImgButton.h"
#include "controls/PaintPanel.h"
#include "platform/SimulatedSystem.h"
#include "tests/support/PictureFiles.h"
#include "tests/support/TestSupport.h"
#include "tools/StaticServer.h"
#include "app/wallpaper/uFrmView.h"
#include "app/wallpaper/uFrmWallpaper.h"
#include "wallpaper/uWallpaperSizes.h"

#include <QApplication>
#include <QBuffer>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>

namespace velmora::test {
namespace {
namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string Encode(const QImage& image, const char* format) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(image.save(&buffer, format)) << format;
    return std::string(bytes.constData(), std::size_t(bytes.size()));
}

QImage Solid(int w, int h, QColor colour) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

// Runs `act` on the viewer as soon as one is shown (the viewer is modal, so
// the test acts from the event loop that its exec() runs).
void OnNextViewer(std::function<void(TFrmView&)> act) {
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* view = qobject_cast<TFrmView*>(w); view && view->isVisible()) {
                timer->stop();
                timer->deleteLater();
                act(*view);
                return;
            }
    });
    timer->start();
}

class WallpaperWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.Start());
        system = CreateSimulatedSystem(root.Path());
        dispatcher = std::make_shared<TQtDispatcher>();
        TWallpaperSetup setup;
        setup.ExePath = exe.Path();
        setup.System = system.get();
        setup.Dispatcher = dispatcher;
        window = std::make_unique<TFrmWallpaper>(setup);
        // The results are put in directly; the advertisement goes as at the
        // first search.
        window->pnlAD2->hide();
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        // The pointer starts above the grid, whatever an earlier case left hot.
        QTest::mouseMove(window.get(), QPoint(1, 1));
    }
    void TearDown() override {
        window.reset();
        dispatcher->Shutdown();
        // Old loaders may still be inside a download; none may outlive the test.
        EXPECT_TRUE(TDownPicThread::WaitForAll(10s));
        EXPECT_TRUE(TPictureFetcher::WaitForWorkers(10s));
    }

    std::string Url(const std::string& file) const { return server.BaseUrl() + "/" + file; }
    void Serve(const std::string& file, const std::string& bytes) {
        test::WriteFile(site.Path() / file, bytes);
    }
    // Thumbnail tN.png in the colour given, full picture pN.png.
    void AddResult(int n, QColor colour, bool downloaded = false) {
        Serve("t" + std::to_string(n) + ".png", Encode(Solid(200, 150, colour), "PNG"));
        window->SearchManager().AddResult("", Url("t" + std::to_string(n) + ".png"),
                                          Url("p" + std::to_string(n) + ".png"), downloaded);
    }
    // Shows the pending results and waits until their loader has ended.
    void LoadAndWait() {
        window->SearchManager().LoadInto();
        const auto loader = window->GridManager().Loader();
        ASSERT_TRUE(QTest::qWaitFor([&] { return loader->Finished(); }, 10000));
        QApplication::processEvents();
    }
    TResultGrid& Grid() { return *window->vstResult; }
    // The full picture as the window gets it, waiting for the worker.
    fs::path Fetch(const std::string& address) {
        bool done = false;
        fs::path path;
        EXPECT_TRUE(window->FetchFullPicture(address, [&](const fs::path& p) {
            path = p;
            done = true;
        }));
        EXPECT_TRUE(QTest::qWaitFor([&] { return done; }, 10000)) << address;
        return path;
    }
    // Waits until the download a click started has ended.
    void WaitFetched() {
        ASSERT_TRUE(QTest::qWaitFor([&] { return !window->Fetching(); }, 10000));
        QApplication::processEvents();
    }
    QImage Shot() { return Grid().viewport()->grab().toImage(); }
    // A click at dx from the cell's left and dy above its bottom edge.
    void Click(int row, int column, int dx, int dyAboveBottom) {
        const QRect cell = Grid().CellRect(row, column);
        QTest::mouseClick(Grid().viewport(), Qt::LeftButton, {},
                          QPoint(cell.left() + dx, cell.bottom() + 1 - dyAboveBottom));
    }
    std::string Wallpaper() {
        auto key = system->OpenCurrentUserKey("Control Panel\\Desktop", false);
        return key ? key->ReadString("Wallpaper").value_or("") : "";
    }
    fs::path Stored(const std::string& file) const {
        return exe.Path() / "temp" / PictureFileName(Url(file));
    }

    test::TTempDir site, exe, root;
    TStaticServer server{site.Path()};
    std::unique_ptr<TSimulatedSystem> system;
    std::shared_ptr<TQtDispatcher> dispatcher;
    test::TRecordingMessages messages;
    std::unique_ptr<TFrmWallpaper> window;
};

TEST(NodeInfos, CenterCopyIsOneToOneAndIndexesAreChecked) {
    // A picture whose every pixel tells where it came from.
    auto numbered = [](int w, int h) {
        QImage image(w, h, QImage::Format_RGB32);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                image.setPixel(x, y, qRgb(x, y, 77));
        return image;
    };
    struct Case {
        int W, H;
        QRect Source; // of the picture
        QPoint Target;
    } cases[] = {{200, 150, QRect(35, 35, 130, 80), QPoint(0, 0)},
                 {100, 60, QRect(0, 0, 100, 60), QPoint(15, 10)},
                 {131, 81, QRect(0, 0, 130, 80), QPoint(0, 0)},
                 {130, 80, QRect(0, 0, 130, 80), QPoint(0, 0)}};
    for (const Case& c : cases) {
        const QImage picture = numbered(c.W, c.H);
        QImage bitmap = BlankThumbnail();
        bitmap.fill(qRgb(1, 2, 3)); // what the bitmap held before
        CenterCopy(picture, bitmap);
        for (int y = 0; y < ThumbHeight; ++y)
            for (int x = 0; x < ThumbWidth; ++x) {
                const QPoint inSource = QPoint(x, y) - c.Target + c.Source.topLeft();
                const bool covered = QRect(c.Target, c.Source.size()).contains(x, y);
                const QRgb want = covered ? picture.pixel(inSource) : qRgb(1, 2, 3);
                ASSERT_EQ(bitmap.pixel(x, y), want) << c.W << "x" << c.H << " at " << x << "," << y;
            }
    }
    QImage untouched = BlankThumbnail();
    CenterCopy(QImage(), untouched);
    EXPECT_EQ(untouched, BlankThumbnail());

    TNodeInfos node;
    EXPECT_EQ(node.Bitmaps(4).size(), QSize(ThumbWidth, ThumbHeight));
    for (int bad : {-1, 5}) {
        EXPECT_THROW(node.Bitmaps(bad), ERangeError);
        EXPECT_THROW(node.GetInfo(bad), ERangeError);
        EXPECT_THROW(node.SetInfo(bad, {}), ERangeError);
    }
    try {
        node.GetInfo(5);
    } catch (const std::exception& e) {
        EXPECT_STREQ(e.what(), "索引超出范围");
    }
}

// "我的桌面尺寸" asks for the screen's size in device pixels. CTest runs this
// case once more at a device pixel ratio of 2 (QT_SCALE_FACTOR), telling it so.
TEST_F(WallpaperWindowTest, DesktopSizeIsInDevicePixels) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    ASSERT_NE(screen, nullptr);
    const double ratio = qEnvironmentVariableIsSet("VELMORA_TEST_RATIO")
                             ? qEnvironmentVariable("VELMORA_TEST_RATIO").toDouble()
                             : 1.0;
    ASSERT_EQ(screen->devicePixelRatio(), ratio);
    EXPECT_EQ(WallpaperSizes[0].Width, qRound(screen->geometry().width() * ratio));
    EXPECT_EQ(WallpaperSizes[0].Height, qRound(screen->geometry().height() * ratio));
}

TEST_F(WallpaperWindowTest, SevenResultsShowTheirThumbnailsFramesStripAndMark) {
    for (int n = 0; n < 7; ++n)
        AddResult(n, QColor(20 + n * 30, 120, 200 - n * 20), n == 1);
    LoadAndWait();
    ASSERT_EQ(Grid().RowCount(), 2);
    EXPECT_EQ(server.Requests().size(), 7u); // the empty slots start no download
    for (const TLoggedRequest& r : server.Requests()) {
        EXPECT_EQ(r.Headers.at("referer"), server.BaseUrl() + r.Target);
        EXPECT_EQ(r.Headers.at("accept"), "*.*");
    }

    QImage shot = Shot();
    const QColor grey(0xDE, 0xDE, 0xDE), blue(0, 0, 255);
    for (int n = 0; n < 7; ++n) {
        const QRect cell = Grid().CellRect(n / 5, n % 5);
        const QColor colour(20 + n * 30, 120, 200 - n * 20);
        // Thumbnail 4 pixels in (the middle of the 200 x 150 picture), the
        // frame two pixels around it, the cell's background between.
        EXPECT_EQ(shot.pixelColor(cell.left() + 60, cell.top() + 40), colour) << n;
        EXPECT_EQ(shot.pixelColor(cell.left() + 2, cell.top() + 40), grey) << n;
        EXPECT_EQ(shot.pixelColor(cell.left() + 135, cell.top() + 40), grey) << n;
        EXPECT_EQ(shot.pixelColor(cell.left() + 60, cell.top() + 85), grey) << n;
        EXPECT_EQ(shot.pixelColor(cell.left() + 3, cell.top() + 40), QColor(Qt::white)) << n;
        EXPECT_EQ(shot.pixelColor(cell.left() + 136, cell.top() + 40), QColor(Qt::white)) << n;
        // The downloaded mark (orange) only on the result that has a stored copy.
        const QColor mark = shot.pixelColor(cell.left() + 3 + 4, cell.top() + 3 + 12);
        if (n == 1)
            EXPECT_TRUE(mark.red() > 200 && mark.blue() < 100) << mark.name().toStdString();
        else
            EXPECT_EQ(mark, colour) << n;
    }
    // Empty slots paint nothing.
    for (int column = 2; column < 5; ++column) {
        const QRect cell = Grid().CellRect(1, column);
        for (QPoint p : {cell.topLeft() + QPoint(2, 2), cell.center(), cell.bottomRight()})
            EXPECT_EQ(shot.pixelColor(p), QColor(Qt::white)) << column;
    }

    // The cell under the mouse is hot: blue frame and the action strip at
    // (x, bottom - 20); no other cell has either.
    const QRect hot = Grid().CellRect(0, 2);
    QTest::mouseMove(Grid().viewport(), hot.center());
    ASSERT_TRUE(QTest::qWaitFor([&] { return Grid().IsHot(0, 2); }, 2000));
    QApplication::processEvents();
    shot = Shot();
    EXPECT_EQ(shot.pixelColor(hot.left() + 2, hot.top() + 40), blue);
    const QImage strip = window->imgBtn().Graphic()->ToImage();
    for (QPoint p : {QPoint(0, 0), QPoint(20, 8), QPoint(100, 15), QPoint(129, 3)})
        EXPECT_EQ(shot.pixel(hot.left() + 4 + p.x(), hot.top() + 68 + p.y()),
                  strip.pixel(p) | 0xFF000000u)
            << p.x() << "," << p.y();
    const QRect other = Grid().CellRect(0, 3);
    EXPECT_EQ(shot.pixelColor(other.left() + 2, other.top() + 40), grey);
    EXPECT_EQ(shot.pixelColor(other.left() + 24, other.top() + 76), QColor(20 + 3 * 30, 120, 140));
}

TEST_F(WallpaperWindowTest, ZeroResultsLeaveTheGridEmpty) {
    AddResult(0, Qt::red);
    LoadAndWait();
    ASSERT_EQ(Grid().RowCount(), 1);
    LoadAndWait(); // nothing pending
    EXPECT_EQ(Grid().RowCount(), 0);
    EXPECT_TRUE(window->GridManager().Loader()->Finished());
}

TEST_F(WallpaperWindowTest, StripZonesPreviewOrSetTheWallpaper) {
    for (int n = 0; n < 15; ++n)
        AddResult(n, QColor(10 * n, 100, 100));
    for (int n = 0; n < 15; ++n)
        Serve("p" + std::to_string(n) + ".png",
              Encode(Solid(64, 48, QColor(10 * n, 200, 0)), "PNG"));
    LoadAndWait();
    ASSERT_EQ(Grid().RowCount(), 3);
    QImage shot = Shot();
    EXPECT_EQ(shot.pixelColor(Grid().CellRect(2, 4).center()), QColor(140, 100, 100));

    // 20 pixels above the bottom: outside both zones, nothing happens.
    server.ClearRequests();
    Click(1, 1, 10, 20);
    EXPECT_EQ(server.Requests().size(), 0u);
    EXPECT_TRUE(messages.Shown.empty());

    // 10 pixels in, 5 above the bottom: the preview.
    fs::path shown;
    OnNextViewer([&](TFrmView& view) {
        shown = view.PicturePath();
        QTest::keyClick(&view, Qt::Key_Escape);
    });
    Click(1, 1, 10, 5);
    WaitFetched();
    EXPECT_EQ(shown, Stored("p6.png"));
    EXPECT_TRUE(Grid().Node(1)->GetInfo(1).Downloaded);
    EXPECT_TRUE(messages.Shown.empty());
    EXPECT_EQ(Wallpaper(), "");
    // The mark shows from now on.
    QApplication::processEvents();
    const QColor mark = Shot().pixelColor(Grid().CellRect(1, 1).topLeft() + QPoint(7, 15));
    EXPECT_TRUE(mark.red() > 200 && mark.blue() < 100) << mark.name().toStdString();

    // 70 pixels in: the wallpaper, through a copy in the Windows folder.
    Click(2, 3, 70, 5);
    WaitFetched();
    const fs::path copy = window->WinDir() / "WallpaperTemp.bmp";
    EXPECT_EQ(Wallpaper(), copy.string());
    ASSERT_EQ(messages.Texts(), std::vector<std::string>{"设置桌面壁纸成功"});
    EXPECT_EQ(messages.Shown[0].Style, 0x40u);
    const std::vector<std::string> journal = system->Journal();
    ASSERT_FALSE(journal.empty());
    EXPECT_NE(journal.back().find("WallpaperTemp.bmp"), std::string::npos) << journal.back();
    QImage wallpaper;
    ASSERT_TRUE(wallpaper.load(QString::fromStdString(copy.string())));
    EXPECT_EQ(wallpaper.pixelColor(5, 5), QColor(130, 200, 0));

    // The copy outlives the window; the stored pictures of temp\ do not.
    window.reset();
    EXPECT_TRUE(fs::exists(copy));
    EXPECT_FALSE(fs::exists(Stored("p6.png")));
    EXPECT_FALSE(fs::exists(Stored("p13.png")));
}

TEST_F(WallpaperWindowTest, EmptySlotAndBadEscapeInTheStrip) {
    for (int n = 0; n < 7; ++n)
        AddResult(n, Qt::gray);
    LoadAndWait();
    // An empty slot tries the empty address.
    Click(1, 3, 10, 5);
    WaitFetched();
    ASSERT_EQ(messages.Shown.size(), 1u);
    EXPECT_EQ(messages.Shown[0].Text, "无法下载指定地址\"\"的图片");
    EXPECT_EQ(messages.Shown[0].Title, "错误");
    EXPECT_EQ(messages.Shown[0].Style, 0x10u);
    EXPECT_FALSE(window->pnlProgress->isVisible());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    // A bad escape in the address reaches the default error box.
    window->SearchManager().AddResult("", Url("t0.png"), "http://x/%zz.jpg", false);
    LoadAndWait();
    messages.Shown.clear();
    Click(0, 0, 70, 5);
    EXPECT_EQ(messages.Texts(), std::vector<std::string>{"Invalid hex digit in URL"});
}

TEST_F(WallpaperWindowTest, FullPicturesAreStoredAsBmpUntilTheWindowGoes) {
    QImage picture = Solid(40, 30, QColor(200, 40, 40));
    Serve("a.jpg", Encode(picture, "JPEG"));
    Serve("a.png", Encode(picture, "PNG"));
    Serve("a.gif", RedGifBytes());
    Serve("bad.png", "not a picture");
    for (const char* name : {"a.jpg", "a.png", "a.gif"}) {
        const fs::path path = Fetch(Url(name));
        EXPECT_EQ(path, Stored(name));
        QImage stored;
        ASSERT_TRUE(stored.load(QString::fromStdString(path.string()), "BMP")) << name;
        EXPECT_GT(stored.pixelColor(0, 0).red(), 180) << name;
    }
    EXPECT_TRUE(Fetch(Url("bad.png")).empty());
    EXPECT_EQ(messages.Texts(),
              std::vector<std::string>{"无法加载指定地址\"" + Url("bad.png") + "\"的图片"});

    // favorites\ comes first, without a request.
    const std::string fav = Url("fav.png");
    test::WriteFile(exe.Path() / "favorites" / PictureFileName(fav), "user's own");
    test::WriteFile(exe.Path() / "temp" / PictureFileName(fav), "older");
    server.ClearRequests();
    EXPECT_EQ(Fetch(fav), exe.Path() / "favorites" / PictureFileName(fav));
    EXPECT_EQ(server.Requests().size(), 0u);

    window.reset();
    for (const char* name : {"a.jpg", "a.png", "a.gif", "fav.png"})
        EXPECT_FALSE(fs::exists(Stored(name))) << name;
    EXPECT_TRUE(fs::exists(exe.Path() / "favorites" / PictureFileName(fav)));
}

TEST_F(WallpaperWindowTest, ProgressBoxDuringADownloadWithoutLength) {
    // The box, hidden until a download, with its pictures as drawn for the program.
    EXPECT_FALSE(window->pnlProgress->isVisible());
    EXPECT_EQ(window->pnlProgress->geometry(), QRect(203, 128, 294, 85));
    EXPECT_EQ(window->pnlProgress->Picture().Width(), 36);
    EXPECT_EQ(window->pnlProgress->Picture().Height(), 42);
    EXPECT_EQ(window->imgProgress->geometry(), QRect(28, 28, 32, 32));
    auto* gif = dynamic_cast<TGIFImage*>(window->imgProgress->Picture().Graphic());
    ASSERT_NE(gif, nullptr);
    EXPECT_EQ(QSize(gif->Width(), gif->Height()), QSize(32, 32));
    EXPECT_GT(gif->FrameCount(), 1);
    EXPECT_EQ(gif->AnimationSpeed(), 500);
    EXPECT_TRUE(gif->Animate());
    EXPECT_EQ(window->lblCaption->text(), QString::fromUtf8("正在下载图片，请稍候......"));
    EXPECT_EQ(window->pbMain->geometry(), QRect(78, 52, 197, 13));
    EXPECT_EQ(QSize(window->imgBtn().Width(), window->imgBtn().Height()), QSize(130, 16));
    EXPECT_EQ(QSize(window->imgDowned().Width(), window->imgDowned().Height()), QSize(24, 24));

    Serve("big.png", Encode(Solid(300, 300, Qt::blue), "BMP"));
    server.SetFaults({.NoContentLength = true, .SlowDelayMs = 5, .SlowChunk = 8192});
    bool seenBox = false, seenHourglass = false;
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        seenBox |= window->pnlProgress->isVisible();
        seenHourglass |= QApplication::overrideCursor() &&
                         QApplication::overrideCursor()->shape() == Qt::WaitCursor;
    });
    probe.start(1);
    EXPECT_FALSE(Fetch(Url("big.png")).empty());
    EXPECT_TRUE(seenBox);
    EXPECT_TRUE(seenHourglass);
    EXPECT_EQ(window->pbMain->maximum(), 0);
    EXPECT_FALSE(window->pnlProgress->isVisible());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(WallpaperWindowTest, ANewSearchDuringTheDownloadDropsTheFlag) {
    AddResult(0, Qt::red);
    AddResult(1, Qt::green);
    LoadAndWait();
    Serve("p0.png", Encode(Solid(300, 300, Qt::blue), "BMP"));
    server.Hold("/p0.png");
    // While the picture is on its way: a second click is refused, then a new
    // search replaces the rows.
    Click(0, 0, 70, 5);
    ASSERT_TRUE(window->Fetching());
    Click(0, 1, 70, 5);
    AddResult(5, Qt::yellow);
    window->SearchManager().LoadInto();
    server.Release();
    WaitFetched();
    EXPECT_EQ(messages.Texts(), std::vector<std::string>{"设置桌面壁纸成功"});
    EXPECT_EQ(Wallpaper(), (window->WinDir() / "WallpaperTemp.bmp").string());
    EXPECT_FALSE(Grid().Node(0)->GetInfo(0).Downloaded);
    EXPECT_EQ(server.RequestCount("/p1.png"), 0u);
    EXPECT_FALSE(window->pnlProgress->isVisible());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

// A server that never answers holds nothing but the progress box: the window
// goes on handling events, and Esc or the box's close button ends the wait
// with nothing stored and nothing said.
TEST_F(WallpaperWindowTest, ASilentServerHoldsOnlyTheProgressBox) {
    AddResult(0, Qt::red);
    LoadAndWait();
    Serve("p0.png", Encode(Solid(8, 8, Qt::blue), "PNG"));
    server.Hold("/p0.png");
    const std::vector<std::pair<const char*, std::function<void()>>> cancels = {
        {"escape", [&] { QTest::keyClick(Grid().viewport(), Qt::Key_Escape); }},
        {"close button", [&] { QTest::mouseClick(window->btnCancelDownload, Qt::LeftButton); }},
    };
    for (const auto& [name, cancel] : cancels) {
        // The click comes back while the server still says nothing.
        Click(0, 0, 70, 5);
        ASSERT_TRUE(window->Fetching()) << name;
        EXPECT_TRUE(window->pnlProgress->isVisible()) << name;
        ASSERT_NE(QApplication::overrideCursor(), nullptr) << name;
        EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor) << name;
        bool ticked = false;
        QTimer::singleShot(10, [&] { ticked = true; });
        EXPECT_TRUE(QTest::qWaitFor([&] { return ticked; }, 2000)) << name;
        cancel();
        EXPECT_FALSE(window->Fetching()) << name;
        EXPECT_FALSE(window->pnlProgress->isVisible()) << name;
        EXPECT_EQ(QApplication::overrideCursor(), nullptr) << name;
    }
    server.Release();
    EXPECT_TRUE(TPictureFetcher::WaitForWorkers(10s));
    QApplication::processEvents();
    EXPECT_TRUE(messages.Shown.empty());
    EXPECT_EQ(Wallpaper(), "");
    EXPECT_FALSE(fs::exists(Stored("p0.png")));
    EXPECT_FALSE(Grid().Node(0)->GetInfo(0).Downloaded);
}

// The window goes while its download still waits: nothing arrives for it, and
// nothing is left in temp\.
TEST_F(WallpaperWindowTest, TheWindowGoesDuringADownload) {
    AddResult(0, Qt::red);
    LoadAndWait();
    Serve("p0.png", Encode(Solid(8, 8, Qt::blue), "PNG"));
    server.SetFaults({.SlowDelayMs = 20, .SlowChunk = 16});
    Click(0, 0, 10, 5);
    ASSERT_TRUE(window->Fetching());
    window.reset();
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(TPictureFetcher::WaitForWorkers(10s));
    QApplication::processEvents();
    EXPECT_TRUE(messages.Shown.empty());
    EXPECT_FALSE(fs::exists(Stored("p0.png")));
}

// Threads: a new search while the old loader is still bringing thumbnails
// from a slow server. The old thumbnails never reach the new rows.
TEST_F(WallpaperWindowTest, NewSearchWhileThumbnailsArrive) {
    for (int n = 0; n < 15; ++n)
        AddResult(n, Qt::red);
    server.SetFaults({.SlowDelayMs = 15, .SlowChunk = 64});
    window->SearchManager().LoadInto();
    const auto old = window->GridManager().Loader();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return Grid().Node(0)->Bitmaps(0).pixelColor(60, 40) == QColor(Qt::red); }, 10000));

    // The new results: every second one without a thumbnail, so a bitmap that
    // the old loader wrote would stay.
    for (int n = 20; n < 35; ++n) {
        Serve("t" + std::to_string(n) + ".png", Encode(Solid(200, 150, Qt::green), "PNG"));
        window->SearchManager().AddResult("", n % 2 ? "" : Url("t" + std::to_string(n) + ".png"),
                                          Url("p.png"), false);
    }
    const auto start = std::chrono::steady_clock::now();
    window->SearchManager().LoadInto();
    EXPECT_GE(std::chrono::steady_clock::now() - start, 100ms); // one wait for the old loader
    EXPECT_TRUE(old->Terminated());
    const auto loader = window->GridManager().Loader();
    ASSERT_TRUE(QTest::qWaitFor([&] { return loader->Finished() && old->Finished(); }, 20000));
    QApplication::processEvents();

    ASSERT_EQ(Grid().RowCount(), 3);
    for (int k = 0; k < 15; ++k) {
        const QColor want = k % 2 ? QColor(Qt::black) : QColor(Qt::green);
        EXPECT_EQ(Grid().Node(k / 5)->Bitmaps(k % 5).pixelColor(60, 40), want) << k;
    }
    // A thumbnail that an old loader hands over late is dropped.
    EXPECT_FALSE(Grid().SetThumbnail(Grid().Generation() - 1, 0, 1, Solid(130, 80, Qt::red)));
    const QImage shot = Shot();
    for (int y = 0; y < shot.height(); y += 3)
        for (int x = 0; x < shot.width(); x += 3)
            ASSERT_NE(shot.pixelColor(x, y), QColor(Qt::red)) << x << "," << y;
}

class ViewerTest : public WallpaperWindowTest {
protected:
    fs::path StoredPicture() {
        Serve("v.jpg", Encode(Solid(64, 48, QColor(30, 60, 200)), "JPEG"));
        return Fetch(Url("v.jpg"));
    }
};

TEST_F(ViewerTest, EscapeDoubleClickAndCloseEndTheViewer) {
    const fs::path path = StoredPicture();
    ASSERT_FALSE(path.empty());
    const std::vector<std::pair<const char*, std::function<void(TFrmView&)>>> ways = {
        {"escape", [](TFrmView& v) { QTest::keyClick(&v, Qt::Key_Escape); }},
        {"double-click", [](TFrmView& v) { QTest::mouseDClick(v.ImgMain, Qt::LeftButton); }},
        {"close", [](TFrmView& v) { QTest::mouseClick(v.btnClose, Qt::LeftButton); }},
    };
    for (const auto& [name, act] : ways) {
        bool looked = false;
        OnNextViewer([&, act = act](TFrmView& view) {
            looked = true;
            EXPECT_TRUE(view.windowFlags() & Qt::FramelessWindowHint);
            EXPECT_TRUE(view.windowFlags() & Qt::WindowStaysOnTopHint);
            EXPECT_TRUE(view.windowState() & Qt::WindowMaximized);
            EXPECT_EQ(view.ImgMain->geometry(), view.rect());
            EXPECT_EQ(view.ImgButton1->geometry(), QRect(8, 8, 49, 45));
            EXPECT_EQ(view.btnClose->geometry(), QRect(63, 8, 28, 45));
            EXPECT_EQ(view.ImgButton1->Caption(), QString::fromUtf8("设置壁纸"));
            EXPECT_EQ(view.btnClose->Caption(), QString::fromUtf8("关闭"));
            // The picture fills the window, stretched.
            const QImage shot = view.ImgMain->grab().toImage();
            EXPECT_EQ(shot.pixelColor(view.width() - 3, view.height() - 3).blue() > 150, true);
            act(view);
        });
        window->ShowViewer(path); // returns once the viewer has closed
        EXPECT_TRUE(looked) << name;
    }
    EXPECT_EQ(Wallpaper(), "");
    EXPECT_TRUE(messages.Shown.empty());
}

TEST_F(ViewerTest, SetWallpaperMakesTheStoredFileTheWallpaper) {
    const fs::path path = StoredPicture();
    OnNextViewer([](TFrmView& view) { QTest::mouseClick(view.ImgButton1, Qt::LeftButton); });
    window->ShowViewer(path);
    EXPECT_EQ(Wallpaper(), path.string());
    ASSERT_EQ(messages.Texts(), std::vector<std::string>{"设置桌面壁纸成功"});
    EXPECT_EQ(messages.Shown[0].Title, "提示");
    EXPECT_EQ(messages.Shown[0].Style, 0x40u);
    QImage again;
    ASSERT_TRUE(again.load(QString::fromStdString(path.string()), "BMP"));
    EXPECT_EQ(again.size(), QSize(64, 48));
    // In temp\, it goes with the window.
    window.reset();
    EXPECT_FALSE(fs::exists(path));
}

TEST_F(ViewerTest, APictureThatDoesNotLoadShowsNoViewer) {
    const fs::path broken = exe.Path() / "temp" / "broken.bmp";
    test::WriteFile(broken, "BM but nothing more");
    window->ShowViewer(broken);
    EXPECT_EQ(messages.Texts(), std::vector<std::string>{"图片加载失败"});
    for (QWidget* w : QApplication::topLevelWidgets())
        EXPECT_EQ(qobject_cast<TFrmView*>(w), nullptr);
}

} // namespace
} // namespace velmora::test
