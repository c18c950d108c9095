// A desktop of two screens of different sizes: the viewer's "设为此显示器壁纸"
// on each screen, and the composed wallpaper checked pixel by pixel at both
// screens' centres and edges.
#include "app/uApplication.h"
#include "app/uQtDispatcher.h"
#include "controls/ImgButton.h"
#include "platform/SimulatedSystem.h"
#include "tests/support/TestSupport.h"
#include "app/wallpaper/uFrmView.h"
#include "app/wallpaper/uFrmWallpaper.h"

#include <QGuiApplication>
#include <QImage>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <string>

namespace velmora::test {
namespace {
namespace fs = std::filesystem;

constexpr QSize FirstScreen(1024, 768), SecondScreen(800, 600);

// Qt's offscreen platform with two screens side by side, the second one
// smaller: the layout of a real two-screen desktop. (Xvfb with Xinerama
// shows Qt one screen: Qt 6 takes its screens from RandR, which Xvfb gives
// one output, and Xvfb puts every Xinerama head at 0, 0.)
void UseTwoScreens(const fs::path& config) {
    auto screen = [](const char* name, int x, QSize size) {
        return std::string("{\"name\": \"") + name + "\", \"x\": " + std::to_string(x) +
               ", \"y\": 0, \"width\": " + std::to_string(size.width()) +
               ", \"height\": " + std::to_string(size.height()) +
               ", \"logicalDpi\": 96, \"logicalBaseDpi\": 96, \"dpr\": 1}";
    };
    test::WriteFile(config, "{\"screens\": [" + screen("first", 0, FirstScreen) + ", " +
                                screen("second", FirstScreen.width(), SecondScreen) + "]}");
    qputenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + config.string()).c_str());
}

class TwoScreens : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(QGuiApplication::screens().size(), 2);
        system = CreateSimulatedSystem(root.Path());
        dispatcher = std::make_shared<TQtDispatcher>();
        TWallpaperSetup setup;
        setup.ExePath = exe.Path();
        setup.System = system.get();
        setup.Dispatcher = dispatcher;
        window = std::make_unique<TFrmWallpaper>(setup);
    }
    void TearDown() override {
        window.reset();
        if (dispatcher)
            dispatcher->Shutdown();
    }

    // Shows the picture in the viewer on the screen and clicks
    // "设为此显示器壁纸" there.
    void SetForScreen(QScreen* screen, QColor colour) {
        const fs::path picture = exe.Path() / "temp" / "picture.bmp";
        QImage image(64, 48, QImage::Format_RGB32);
        image.fill(colour);
        fs::create_directories(picture.parent_path());
        ASSERT_TRUE(image.save(QString::fromStdString(picture.string()), "BMP"));
        window->setScreen(screen);
        bool clicked = false;
        QTimer::singleShot(0, [&] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* view = qobject_cast<TFrmView*>(w); view && view->isVisible()) {
                    EXPECT_EQ(view->screen(), screen);
                    EXPECT_TRUE(view->btnScreenWallpaper->isVisible());
                    EXPECT_EQ(view->btnScreenWallpaper->Caption(),
                              QString::fromUtf8("设为此显示器壁纸"));
                    QTest::mouseClick(view->btnScreenWallpaper, Qt::LeftButton);
                    clicked = true;
                }
        });
        window->ShowViewer(picture);
        EXPECT_TRUE(clicked);
    }

    test::TTempDir exe, root;
    test::TRecordingMessages messages;
    std::unique_ptr<TSimulatedSystem> system;
    std::shared_ptr<TQtDispatcher> dispatcher;
    std::unique_ptr<TFrmWallpaper> window;
};

TEST_F(TwoScreens, EachScreenGetsItsOwnPictureFromTheViewer) {
    const QList<QScreen*> screens = QGuiApplication::screens();
    const std::vector<TScreenRect> rects = DesktopScreens();
    ASSERT_EQ(rects.size(), 2u);
    EXPECT_EQ(QSize(rects[0].Width, rects[0].Height), FirstScreen);
    EXPECT_EQ(QSize(rects[1].Width, rects[1].Height), SecondScreen);

    SetForScreen(screens[1], Qt::blue);
    SetForScreen(screens[0], Qt::red); // keeps the second screen's
    EXPECT_EQ(messages.Texts(), std::vector<std::string>(2, "设置桌面壁纸成功"));

    const fs::path composed = window->WinDir() / "WallpaperScreens.bmp";
    auto key = system->OpenCurrentUserKey("Control Panel\\Desktop", false);
    EXPECT_EQ(key->ReadString("Wallpaper"), composed.string());
    EXPECT_EQ(key->ReadString("TileWallpaper"), "1");
    QImage desktop;
    ASSERT_TRUE(desktop.load(QString::fromStdString(composed.string())));
    QRect box;
    for (const TScreenRect& r : rects)
        box |= QRect(r.X, r.Y, r.Width, r.Height);
    ASSERT_EQ(desktop.size(), box.size());
    // Each screen's centre and corners; below the smaller screen, nothing.
    for (std::size_t i = 0; i < rects.size(); ++i) {
        const QRect r(rects[i].X - box.x(), rects[i].Y - box.y(), rects[i].Width, rects[i].Height);
        QRect later;
        for (std::size_t j = i + 1; j < rects.size(); ++j)
            later |=
                QRect(rects[j].X - box.x(), rects[j].Y - box.y(), rects[j].Width, rects[j].Height);
        for (const QPoint at : {r.center(), r.bottomRight(), r.topRight(), r.bottomLeft()}) {
            if (later.contains(at))
                continue;
            EXPECT_EQ(desktop.pixelColor(at), i == 0 ? QColor(Qt::red) : QColor(Qt::blue))
                << "screen " << i << " at " << at.x() << "," << at.y();
        }
    }
    EXPECT_EQ(desktop.pixelColor(box.width() - 1, box.height() - 1), QColor(Qt::black));
}

} // namespace
} // namespace velmora::test

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    velmora::test::TTempDir config;
    velmora::test::UseTwoScreens(config / "screens.json");
    velmora::TVelmoraApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
