// velmora-tool install, uninstall, wallpaper and desktop, run as a program
// against a simulated Windows of the test's own.
#include "platform/SimulatedSystem.h"
#include "tests/install/ZipFixture.h"
#include "tests/support/PictureFiles.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#ifdef VELMORA_TOOL_PICTURES
#include <QImage>
#endif

namespace velmora::test {
namespace {
namespace fs = std::filesystem;
using nlohmann::json;

class ToolDesktopTest : public ::testing::Test {
protected:
    test::TProgramRun Tool(const std::string& args) {
        // The screens of a display the test may run under are not the test's.
        return test::RunProgram("env -u DISPLAY -u WAYLAND_DISPLAY " + std::string(VELMORA_TOOL) +
                                    " " + args + " --system '" + Sys().string() + "'",
                                Dir.Path());
    }
    json Desktop(const std::string& extra = "") {
        const auto r = Tool("desktop" + extra);
        EXPECT_EQ(r.Exit, 0) << r.Err;
        return json::parse(r.Out, nullptr, false);
    }
    fs::path Sys() const { return Dir / "sys"; }
    fs::path Win() const { return Sys() / "Windows"; }
    std::string Quoted(const fs::path& p) const { return "'" + p.string() + "'"; }

    test::TTempDir Dir;
};

// A theme as theme editors write it, naming its files in another case than
// the package stores them.
std::string ThemeText(const std::string& wallpaper, const std::string& arrow,
                      const std::string& saver) {
    return "[Theme]\r\nDisplayName=Blue Hour\r\n[Control Panel\\Desktop]\r\nWallpaper=" +
           wallpaper +
           "\r\nWallpaperStyle=0\r\nTileWallpaper=0\r\n[Control Panel\\Cursors]\r\n"
           "DefaultValue=Blue arrows\r\nArrow=" +
           arrow + "\r\n[boot]\r\nSCRNSAVE.EXE=" + saver + "\r\n";
}

TEST_F(ToolDesktopTest, ZipThemeInstallShowsOnTheDesktopAndInItsPicture) {
    // The saver the theme names is installed first, from a mixed-case package.
    test::MakeZip(Dir / "Waves.zip", {{"WAVES.Scr", "MZ"}});
    auto r = Tool("install " + Quoted(Dir / "Waves.zip") + " --kind screensave");
    ASSERT_EQ(r.Exit, 0) << r.Out << r.Err;

    const std::string wall = test::MakeBmpBytes(1280, 800);
    test::MakeZip(
        Dir / "pkg.zip",
        {{"Blue Hour.theme", ThemeText("%WinDir%\\Resources\\Themes\\blue hour\\WALL.bmp",
                                       "%SystemRoot%\\Resources\\Themes\\Blue Hour\\arrow.cur",
                                       "%SystemRoot%\\System32\\waves.scr")},
         {"Blue Hour/Wall.BMP", wall},
         {"Blue Hour/Arrow.CUR", test::MakeCurBytes(3, 2)}});
    r = Tool("install " + Quoted(Dir / "pkg.zip") + " --kind theme --name 'Blue Hour'");
    ASSERT_EQ(r.Exit, 0) << r.Out << r.Err;

    const fs::path own = Win() / "Resources" / "Themes" / "Blue Hour";
    const json d = Desktop();
    EXPECT_EQ(d["wallpaper"]["file"], (own / "Wall.BMP").string());
    EXPECT_EQ(d["wallpaper"]["exists"], true);
    EXPECT_EQ(d["wallpaper"]["style"], "0");
    EXPECT_EQ(d["theme"]["name"], "Blue Hour");
    EXPECT_EQ(d["cursors"]["scheme"], "Blue arrows");
    EXPECT_EQ(d["cursors"]["roles"].size(), 15u);
    EXPECT_EQ(d["cursors"]["roles"]["Arrow"], (own / "Arrow.CUR").string());
    EXPECT_EQ(d["screensaver"]["file"], (Win() / "System32" / "WAVES.Scr").string());
    EXPECT_EQ(d["screensaver"]["name"], "WAVES");

#ifdef VELMORA_TOOL_PICTURES
    const fs::path png = Dir / "desktop.png";
    r = Tool("desktop --png " + Quoted(png));
    ASSERT_EQ(r.Exit, 0) << r.Err;
    QImage shot(QString::fromStdString(png.string()));
    const QImage wallpaper = QImage::fromData(reinterpret_cast<const uchar*>(wall.data()),
                                              static_cast<int>(wall.size()), "BMP");
    ASSERT_EQ(shot.size(), QSize(1280, 800));
    ASSERT_EQ(wallpaper.size(), QSize(1280, 800));
    // The wallpaper shows unchanged everywhere but under the caption band at
    // the bottom and the cursor, drawn twice its size with its hot spot
    // (3, 2) at the centre.
    const QRect cursor(640 - 6, 400 - 4, 64, 64);
    int compared = 0, cursorPixels = 0;
    for (int y = 0; y < 800; y += 3)
        for (int x = 0; x < 1280; x += 3) {
            if (cursor.contains(x, y)) {
                cursorPixels += shot.pixel(x, y) != wallpaper.pixel(x, y);
                continue;
            }
            if (y >= 800 - 48)
                continue;
            ASSERT_EQ(shot.pixel(x, y), wallpaper.pixel(x, y)) << x << "," << y;
            ++compared;
        }
    EXPECT_GT(compared, 100000);
    EXPECT_GT(cursorPixels, 50) << "the arrow is drawn";
    EXPECT_NE(shot.pixel(5, 790), wallpaper.pixel(5, 790)) << "the caption band is drawn";
#else
    r = Tool("desktop --png " + Quoted(Dir / "desktop.png"));
    EXPECT_EQ(r.Exit, 2);
    EXPECT_NE(r.Err.find("--png"), std::string::npos) << r.Err;
#endif

    r = Tool("uninstall 'Blue Hour' --kind theme");
    EXPECT_EQ(r.Exit, 0) << r.Out << r.Err;
    EXPECT_FALSE(fs::exists(own));
    r = Tool("uninstall 'Blue Hour' --kind theme");
    EXPECT_EQ(r.Exit, 2) << "no longer installed";
}

TEST_F(ToolDesktopTest, ThemePackInstallSetsItsWallpaper) {
    test::WriteFile(
        Dir / "Dune.themepack",
        test::MakeCabBytes({{"Dune.theme", ThemeText("DesktopBackground\\dune.bmp", "", "")},
                            {"DesktopBackground\\Dune.BMP", test::MakeBmpBytes()}}));
    const auto r = Tool("install " + Quoted(Dir / "Dune.themepack") + " --kind theme");
    ASSERT_EQ(r.Exit, 0) << r.Out << r.Err;
    const json d = Desktop();
    EXPECT_EQ(d["wallpaper"]["file"],
              (Sys() / "AppData/Local/Microsoft/Windows/Themes/Dune/DesktopBackground/Dune.BMP")
                  .string());
    EXPECT_EQ(d["theme"]["name"], "Blue Hour");
    EXPECT_EQ(Tool("uninstall Dune --kind theme").Exit, 0);
    EXPECT_FALSE(fs::exists(Sys() / "AppData/Local/Microsoft/Windows/Themes/Dune"));
}

TEST_F(ToolDesktopTest, CursorSchemeAndScreenSaverInstallAndUninstall) {
    test::MakeZip(Dir / "c.zip", {{"Setup.INF", "[Strings]\r\npointer=\"Arrow.CUR\"\r\n"},
                                  {"Arrow.CUR", test::MakeCurBytes()}});
    auto r = Tool("install " + Quoted(Dir / "c.zip") + " --kind cursor --name Neon");
    ASSERT_EQ(r.Exit, 0) << r.Out << r.Err;
    json d = Desktop();
    EXPECT_EQ(d["cursors"]["scheme"], "Neon");
    EXPECT_EQ(d["cursors"]["roles"]["Arrow"], (Win() / "Cursors/Neon/arrow.cur").string());
    EXPECT_EQ(Tool("uninstall neon --kind cursor").Exit, 0) << "names match in any case";
    EXPECT_FALSE(fs::exists(Win() / "Cursors/Neon"));

    // A screen saver package without its .scr says so and installs nothing.
    test::MakeZip(Dir / "Lost.zip", {{"Other.scr", "MZ"}});
    r = Tool("install " + Quoted(Dir / "Lost.zip") + " --kind screensave");
    EXPECT_EQ(r.Exit, 2);
    EXPECT_NE(r.Out.find("没有找到屏保文件"), std::string::npos) << r.Out;
    EXPECT_EQ(Tool("uninstall Lost --kind screensave").Exit, 2);
}

TEST_F(ToolDesktopTest, UnsafeAndReachingOutPackagesAreRefused) {
    test::MakeZip(Dir / "Evil.zip", {{"Evil.theme", "[Theme]"}, {"../../escaped.txt", "x"}});
    auto r = Tool("install " + Quoted(Dir / "Evil.zip") + " --kind theme");
    EXPECT_EQ(r.Exit, 2);
    EXPECT_FALSE(fs::exists(Win() / "Resources" / "Themes" / "Evil.theme"));

    test::MakeZip(Dir / "Far.zip",
                  {{"Far.theme", ThemeText("\\\\attacker\\share\\a.bmp", "", "")}});
    r = Tool("install " + Quoted(Dir / "Far.zip") + " --kind theme");
    EXPECT_EQ(r.Exit, 2);
    EXPECT_NE(r.Out.find("\\\\attacker\\share\\a.bmp"), std::string::npos) << r.Out;
    EXPECT_FALSE(fs::exists(Win() / "Resources" / "Themes" / "Far.theme"));
    EXPECT_EQ(Desktop()["theme"]["file"], "");

    EXPECT_EQ(Tool("install " + Quoted(Dir / "missing.zip") + " --kind theme").Exit, 2);
    EXPECT_EQ(Tool("install " + Quoted(Dir / "Far.zip") + " --kind skin").Exit, 2);
    EXPECT_EQ(Tool("install " + Quoted(Dir / "Far.zip") + " --kind theme --name ..").Exit, 2);
}

TEST_F(ToolDesktopTest, FoldersMarkedWithAnIconAreListed) {
    const fs::path withIcon = Dir / "Photos";
    const fs::path iconGone = Dir / "Music";
    test::WriteFile(withIcon / "Desktop.INI",
                    "[.ShellClassInfo]\r\nIconResource=C:\\icons\\photo.ico,0\r\n");
    test::WriteFile(iconGone / "desktop.ini", "[.ShellClassInfo]\r\n");
    {
        auto sys = CreateSimulatedSystem(Sys());
        ASSERT_TRUE(sys->PathMakeSystemFolder(withIcon));
        ASSERT_TRUE(sys->PathMakeSystemFolder(iconGone));
        ASSERT_TRUE(sys->PathMakeSystemFolder(withIcon));
    }
    const json icons = Desktop()["folder_icons"];
    ASSERT_EQ(icons.size(), 1u) << icons.dump();
    EXPECT_EQ(icons[0]["folder"], withIcon.string());
    EXPECT_EQ(icons[0]["icon"], "C:\\icons\\photo.ico,0");
}

TEST_F(ToolDesktopTest, WallpaperGoesThroughTheCopyInTheWindowsFolder) {
    const std::string bmp = test::MakeBmpBytes(8, 6);
    test::WriteFile(Dir / "pic.bmp", bmp);
    auto r = Tool("wallpaper " + Quoted(Dir / "pic.bmp"));
    ASSERT_EQ(r.Exit, 0) << r.Err;
    EXPECT_NE(r.Out.find("设置桌面壁纸成功"), std::string::npos) << r.Out;
    EXPECT_EQ(test::ReadFile(Win() / "WallpaperTemp.bmp"), bmp);
    EXPECT_EQ(Desktop()["wallpaper"]["file"], (Win() / "WallpaperTemp.bmp").string());

    test::WriteFile(Dir / "page.html", "<html>");
    EXPECT_EQ(Tool("wallpaper " + Quoted(Dir / "page.html")).Exit, 2);
    EXPECT_EQ(test::ReadFile(Win() / "WallpaperTemp.bmp"), bmp) << "unchanged";
#ifdef VELMORA_TOOL_PICTURES
    QImage red(16, 10, QImage::Format_RGB32);
    red.fill(QColor(200, 10, 10));
    ASSERT_TRUE(red.save(QString::fromStdString((Dir / "red.jpg").string()), "JPEG"));
    r = Tool("wallpaper " + Quoted(Dir / "red.jpg"));
    ASSERT_EQ(r.Exit, 0) << r.Err;
    const QImage copy(QString::fromStdString((Win() / "WallpaperTemp.bmp").string()), "BMP");
    ASSERT_EQ(copy.size(), QSize(16, 10));
    EXPECT_GT(qRed(copy.pixel(8, 5)), 150);
#endif
}

#ifdef VELMORA_TOOL_PICTURES
// Two screens of different sizes, each with its own picture: the composed
// wallpaper and the desktop's picture, checked at both screens' centres and
// edges.
TEST_F(ToolDesktopTest, EachScreenGetsItsOwnWallpaper) {
    for (const auto& [name, colour] :
         {std::pair{"red.bmp", QColor(Qt::red)}, std::pair{"blue.bmp", QColor(Qt::blue)}}) {
        QImage picture(30, 20, QImage::Format_RGB32);
        picture.fill(colour);
        ASSERT_TRUE(picture.save(QString::fromStdString((Dir / name).string()), "BMP"));
    }
    const std::string screens = " --screens 800x600+0+0,640x480+800+0";
    auto r = Tool("wallpaper " + Quoted(Dir / "red.bmp") + " --screen 2" + screens);
    ASSERT_EQ(r.Exit, 0) << r.Err;
    r = Tool("wallpaper " + Quoted(Dir / "blue.bmp") + " --screen 1" + screens);
    ASSERT_EQ(r.Exit, 0) << r.Err;
    EXPECT_EQ(Desktop()["wallpaper"]["file"], (Win() / "WallpaperScreens.bmp").string());

    const fs::path png = Dir / "desktop.png";
    r = Tool("desktop --png " + Quoted(png) + screens);
    ASSERT_EQ(r.Exit, 0) << r.Err;
    const QImage shot(QString::fromStdString(png.string()));
    ASSERT_EQ(shot.size(), QSize(1440, 600));
    struct Case {
        int x, y;
        QColor colour;
    } cases[] = {
        // Screen 1 (its centre holds the cursor, its bottom the caption).
        {200, 150, Qt::blue},
        {0, 0, Qt::blue},
        {799, 0, Qt::blue},
        {0, 540, Qt::blue},
        // Screen 2, centre and corners; nothing below it.
        {1120, 240, Qt::red},
        {800, 0, Qt::red},
        {1439, 479, Qt::red},
        {800, 479, Qt::red},
        {1120, 540, Qt::black},
    };
    for (const Case& c : cases)
        EXPECT_EQ(shot.pixelColor(c.x, c.y), c.colour) << c.x << "," << c.y;

    for (const char* bad : {" --screen 3", " --screen x", " --screen 1 --screens 800x600",
                            " --screen 1 --screens 800x600+0+0,"})
        EXPECT_EQ(Tool("wallpaper " + Quoted(Dir / "red.bmp") + bad +
                       (std::string(bad).find("--screens") == std::string::npos ? screens : ""))
                      .Exit,
                  2)
            << bad;
    // Without a display, the screens must be given.
    r = Tool("wallpaper " + Quoted(Dir / "red.bmp") + " --screen 1");
    EXPECT_EQ(r.Exit, 2);
    EXPECT_NE(r.Err.find("--screens"), std::string::npos) << r.Err;
}
#endif

// history lists the change record newest first; restore goes back before an
// entry, and refuses (exit 3) when someone else changed the thing since.
TEST_F(ToolDesktopTest, HistoryAndRestoreWorkOnTheChangeRecord) {
    WriteFile(Dir / "a.bmp", MakeBmpBytes(2, 2));
    WriteFile(Dir / "b.bmp", MakeBmpBytes(3, 3));
    const std::string before = Desktop()["wallpaper"].dump();
    for (const char* picture : {"a.bmp", "b.bmp"})
        ASSERT_EQ(Tool("wallpaper " + Quoted(Dir / picture)).Exit, 0);
    auto r = Tool("history");
    ASSERT_EQ(r.Exit, 0) << r.Err;
    const json history = json::parse(r.Out, nullptr, false);
    ASSERT_EQ(history.size(), 2u) << r.Out;
    EXPECT_EQ(history[0]["text"], "设置壁纸");
    EXPECT_GT(history[0]["id"], history[1]["id"]);
    EXPECT_EQ(history[0]["finished"], true);

    const std::string oldest = history[1]["id"].dump();
    r = Tool("restore " + oldest);
    ASSERT_EQ(r.Exit, 0) << r.Err << r.Out;
    EXPECT_EQ(Desktop()["wallpaper"].dump(), before);
    EXPECT_EQ(Tool("restore 999").Exit, 2);

    // Undo the restore, then change the wallpaper behind the program's back.
    const json after = json::parse(Tool("history").Out, nullptr, false);
    ASSERT_EQ(after.size(), 3u);
    EXPECT_EQ(after[0]["restores"].dump(), oldest);
    ASSERT_EQ(Tool("restore " + after[0]["id"].dump()).Exit, 0);
    auto sim = CreateSimulatedSystem(Sys());
    sim->OpenCurrentUserKey("Control Panel\\Desktop", false)->WriteString("Wallpaper", "x.bmp");
    r = Tool("restore " + oldest);
    EXPECT_EQ(r.Exit, 3);
    EXPECT_NE(r.Out.find("Control Panel\\Desktop\\Wallpaper"), std::string::npos) << r.Out;
    EXPECT_EQ(Tool("restore " + oldest + " --force yes").Exit, 0);
    EXPECT_EQ(Desktop()["wallpaper"].dump(), before);
}

} // namespace
} // namespace velmora::test
