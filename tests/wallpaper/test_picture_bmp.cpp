// Full pictures fetched into the picture store: real pictures from a local
// server, decoded by Qt and stored as BMP files.
#include "catalog/uWinHttp.h"
#include "install/uPubFunc.h"
#include "platform/SimulatedSystem.h"
#include "tests/support/PictureFiles.h"
#include "tests/support/TestSupport.h"
#include "tools/StaticServer.h"
#include "controls/uPictureBmp.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QImage>

#include <gtest/gtest.h>

namespace velmora::test {
namespace {
namespace fs = std::filesystem;

std::string Encode(const QImage& image, const char* format) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(image.save(&buffer, format)) << format;
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

class PictureStoreTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "test_wallpaper_picture";
        static char* argv[] = {name, nullptr};
        // Test discovery runs the executable without the test's environment.
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        static QGuiApplication app(argc, argv);
    }
    void SetUp() override { ASSERT_TRUE(server.Start()); }

    std::string Url(const std::string& file) const { return server.BaseUrl() + "/" + file; }
    fs::path Fetch(const std::string& address) {
        TWinHttp http;
        http.Timeout = 4000;
        return store.FetchFullPicture(http, address, converter);
    }

    test::TTempDir root, app;
    TStaticServer server{root.Path()};
    TPicStore store{app.Path()};
    TQtPictureConverter converter;
    test::TRecordingMessages messages;
};

TEST_F(PictureStoreTest, JpegPngAndGifAreStoredAsBmp) {
    QImage picture(40, 30, QImage::Format_ARGB32);
    picture.fill(QColor(200, 40, 40));
    picture.setPixelColor(0, 0, QColor(0, 0, 255, 0)); // transparent: stored black
    struct Case {
        std::string file, bytes;
        QSize size;
        QColor colour; // of the middle pixel
        bool exact;
    } cases[] = {
        {"pic.png", Encode(picture, "PNG"), {40, 30}, QColor(200, 40, 40), true},
        {"pic.jpg", Encode(picture, "JPG"), {40, 30}, QColor(200, 40, 40), false},
        {"pic.gif", RedGifBytes(), {1, 1}, QColor(255, 0, 0), true},
    };
    for (const auto& c : cases) {
        test::WriteFile(root / c.file, c.bytes);
        const fs::path stored = Fetch(Url(c.file));
        ASSERT_EQ(stored, app.Path() / "temp" / PictureFileName(Url(c.file))) << c.file;
        const std::string bytes = test::ReadFile(stored);
        ASSERT_EQ(bytes.substr(0, 2), "BM") << c.file;
        QImage back;
        ASSERT_TRUE(back.loadFromData(QByteArray::fromStdString(bytes), "BMP")) << c.file;
        ASSERT_EQ(back.size(), c.size) << c.file;
        const QColor mid = back.pixelColor(c.size.width() / 2, c.size.height() / 2);
        EXPECT_NEAR(mid.red(), c.colour.red(), c.exact ? 0 : 12) << c.file;
        EXPECT_NEAR(mid.green(), c.colour.green(), c.exact ? 0 : 12) << c.file;
        EXPECT_NEAR(mid.blue(), c.colour.blue(), c.exact ? 0 : 12) << c.file;
    }
    QImage png;
    ASSERT_TRUE(png.load(
        QString::fromStdString((app.Path() / "temp" / PictureFileName(Url("pic.png"))).string())));
    EXPECT_EQ(png.pixelColor(0, 0), QColor(0, 0, 0));
    EXPECT_TRUE(messages.Shown.empty());

    // Found again without a request; ClearTempPictures then removes them.
    server.ClearRequests();
    EXPECT_FALSE(Fetch(Url("pic.png")).empty());
    EXPECT_EQ(server.Requests().size(), 0u);
    test::TTempDir root;
    store.ClearTempPictures(*CreateSimulatedSystem(root.Path()));
    EXPECT_TRUE(fs::is_empty(app.Path() / "temp"));
}

TEST_F(PictureStoreTest, FavoritesAreUsedWithoutARequest) {
    const std::string address = Url("fav.png");
    test::WriteFile(app / ("favorites/" + PictureFileName(address)), "BM");
    test::WriteFile(app / ("temp/" + PictureFileName(address)), "BM");
    EXPECT_EQ(Fetch(address), app.Path() / "favorites" / PictureFileName(address));
    EXPECT_EQ(server.Requests().size(), 0u);
}

// A clicked address goes through UrlDecode: "+" and "%20" leave a raw space,
// which still reaches the server.
TEST_F(PictureStoreTest, AddressesWithSpacesAreDownloaded) {
    QImage picture(4, 4, QImage::Format_RGB32);
    picture.fill(Qt::green);
    test::WriteFile(root / "my pic.png", Encode(picture, "PNG"));
    for (const char* file : {"my+pic.png", "my%20pic.png"}) {
        const std::string address = UrlDecode(Url(file));
        EXPECT_EQ(Fetch(address), app.Path() / "temp" / PictureFileName(address)) << file;
    }
    EXPECT_TRUE(messages.Shown.empty());
}

// A full picture has a size bound: the store's own, or the client's lower one.
TEST_F(PictureStoreTest, APictureOverTheBoundIsAFailedDownload) {
    test::WriteFile(root / "big.bin", std::string(5000, 'x'));
    TWinHttp http;
    std::uint64_t boundDuringRequest = 0;
    http.OnProgress = [&](TWinHttp& sender, const std::string&, std::int64_t, std::int64_t) {
        boundDuringRequest = sender.MaxBodyBytes;
    };
    EXPECT_TRUE(store.FetchFullPicture(http, Url("big.bin"), converter).empty());
    EXPECT_EQ(boundDuringRequest, TPicStore::MaxPictureBytes);

    http.MaxBodyBytes = 4096;
    EXPECT_TRUE(store.FetchFullPicture(http, Url("big.bin"), converter).empty());
    ASSERT_EQ(messages.Shown.size(), 2u);
    EXPECT_EQ(messages.Shown[1].Text, "无法下载指定地址\"" + Url("big.bin") + "\"的图片");
}

TEST_F(PictureStoreTest, FailuresNameTheAddressAndStoreNothing) {
    test::WriteFile(root / "notes.txt", "not a picture at all");
    test::WriteFile(root / "empty.png", "");
    struct Case {
        std::string address, text;
    } cases[] = {
        {Url("missing.jpg"), "无法下载指定地址\"" + Url("missing.jpg") + "\"的图片"},
        {Url("empty.png"), "无法下载指定地址\"" + Url("empty.png") + "\"的图片"},
        {"", "无法下载指定地址\"\"的图片"},
        {Url("notes.txt"), "无法加载指定地址\"" + Url("notes.txt") + "\"的图片"},
    };
    for (const auto& c : cases) {
        messages.Shown.clear();
        EXPECT_TRUE(Fetch(c.address).empty()) << c.address;
        ASSERT_EQ(messages.Shown.size(), 1u) << c.address;
        EXPECT_EQ(messages.Shown[0].Text, c.text);
        EXPECT_EQ(messages.Shown[0].Title, "错误");
        EXPECT_EQ(messages.Shown[0].Style, 0x10u);
    }
    EXPECT_FALSE(fs::exists(app.Path() / "temp"));
}

// One picture per screen on the simulated Windows (no wallpaper per monitor):
// a picture of the virtual desktop, tiled, each screen's picture in its
// rectangle; setting one screen keeps the others'.
TEST_F(PictureStoreTest, EachScreenGetsItsOwnPictureInTheComposedWallpaper) {
    test::TTempDir sysRoot;
    auto sys = CreateSimulatedSystem(sysRoot.Path());
    const fs::path winDir = sys->WindowsDirectory();
    auto picture = [&](const char* name, QColor colour) {
        const fs::path file = app.Path() / "temp" / name;
        QImage solid(50, 40, QImage::Format_RGB32);
        solid.fill(colour);
        test::WriteFile(file, Encode(solid, "BMP"));
        return file;
    };
    auto composedAt = [&](int x, int y) {
        QImage composed;
        EXPECT_TRUE(composed.load(QString::fromStdString((winDir / "WallpaperScreens.bmp").string())));
        return composed.pixelColor(x, y);
    };
    // The primary screen, and a smaller one right of it.
    const std::vector<TScreenRect> screens = {{0, 0, 800, 600}, {800, 0, 640, 480}};
    // What was set for all shows on a screen without a picture of its own.
    ASSERT_TRUE(SetDesktopWallpaper(*sys, winDir, picture("all.bmp", Qt::green)));
    ASSERT_TRUE(SetScreenDesktopWallpaper(*sys, winDir, screens, 1, picture("red.bmp", Qt::red),
                                          converter));
    ASSERT_TRUE(SetScreenDesktopWallpaper(*sys, winDir, screens, 0,
                                          picture("blue.bmp", Qt::blue), converter));
    struct Case {
        int x, y;
        QColor colour;
    } cases[] = {
        {400, 300, Qt::blue}, {0, 0, Qt::blue},    {799, 599, Qt::blue}, // screen 0: centre, edges
        {1120, 240, Qt::red}, {800, 0, Qt::red},   {1439, 479, Qt::red}, // screen 1
        {1120, 540, Qt::black},                                          // below screen 1: none
    };
    for (const Case& c : cases)
        EXPECT_EQ(composedAt(c.x, c.y), c.colour) << c.x << "," << c.y;
    auto desktop = sys->OpenCurrentUserKey("Control Panel\\Desktop", false);
    ASSERT_TRUE(desktop);
    EXPECT_EQ(desktop->ReadString("Wallpaper"), (winDir / "WallpaperScreens.bmp").string());
    EXPECT_EQ(desktop->ReadString("TileWallpaper"), "1");
    EXPECT_EQ(desktop->ReadString("WallpaperStyle"), "0");
    EXPECT_EQ(sys->Journal()[sys->Journal().size() - 2],
              "SetScreenWallpaper screen=0 rect=800x600+0+0 picture=" +
                  (winDir / "WallpaperScreen_800x600+0+0.bmp").string());
    EXPECT_EQ(messages.Texts(), std::vector<std::string>(3, "设置桌面壁纸成功"));

    // A screen left of the primary one wraps around: tiles start at (0, 0).
    const std::vector<TScreenRect> left = {{0, 0, 800, 600}, {-400, 100, 400, 300}};
    ASSERT_TRUE(SetScreenDesktopWallpaper(*sys, winDir, left, 1, picture("red.bmp", Qt::red),
                                          converter));
    EXPECT_EQ(composedAt(1000, 250), QColor(Qt::red));  // (-200, 150) + the 1200 x 600 tile
    EXPECT_EQ(composedAt(400, 300), QColor(Qt::blue));  // the primary keeps its own
    EXPECT_EQ(composedAt(1000, 50), QColor(Qt::black)); // above the left screen

    // A screen that is not one of them, or a picture that is not there: nothing.
    const std::size_t journal = sys->Journal().size();
    EXPECT_FALSE(SetScreenDesktopWallpaper(*sys, winDir, screens, 2, picture("x.bmp", Qt::red),
                                           converter));
    EXPECT_FALSE(SetScreenDesktopWallpaper(*sys, winDir, screens, 0, app.Path() / "missing.bmp",
                                           converter));
    EXPECT_EQ(sys->Journal().size(), journal);
}

TEST(ScreenRectText, ReadsAndWritesTheToolsForm) {
    struct Case {
        const char* text;
        std::optional<TScreenRect> rect;
    } cases[] = {
        {"1920x1080+0+0", TScreenRect{0, 0, 1920, 1080}},
        {"1280x1024-1280+-0", std::nullopt}, // one sign only
        {"1280x1024-1280+56", TScreenRect{-1280, 56, 1280, 1024}},
        {"0x10+0+0", std::nullopt},
        {"10x10+0", std::nullopt},
        {"10x10+0+0junk", std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ParseScreenRect(c.text), c.rect) << c.text;
        if (c.rect) {
            EXPECT_EQ(ScreenRectText(*c.rect), c.text);
        }
    }
}

} // namespace
} // namespace velmora::test
