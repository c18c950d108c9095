// The desktop session's settings through real GSettings (keyfile backend,
// the machine's schemas), and the desktop backend over the simulated Windows
// driven by the installers as the program drives it.
#include "install/CodePage.h"
#include "install/uCursorInstaller.h"
#include "install/uFolders.h"
#include "install/uPubFunc.h"
#include "platform/SimulatedSystem.h"
#include "platform/desktop/DesktopSession.h"
#include "platform/desktop/DesktopSystem.h"
#include "platform/desktop/FolderIcon.h"
#include "tests/install/ZipFixture.h"
#include "tests/platform/DesktopFixture.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

namespace velmora::test {
namespace {

namespace fs = std::filesystem;
using namespace velmora::desktop;

constexpr const char* Background = "org.gnome.desktop.background";
constexpr const char* Interface = "org.gnome.desktop.interface";

std::string Uri(const fs::path& file) {
    return "file://" + fs::absolute(file).string();
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(DesktopSession, DesktopIsTakenFromTheFirstKnownNameOfTheList) {
    const struct {
        const char* Value;
        TDesktopKind Kind;
    } cases[] = {{"GNOME", TDesktopKind::dkGnome},
                 {"ubuntu:GNOME", TDesktopKind::dkGnome},
                 {"Budgie:GNOME", TDesktopKind::dkGnome},
                 {"Unity", TDesktopKind::dkGnome},
                 {"X-Cinnamon", TDesktopKind::dkCinnamon},
                 {"MATE", TDesktopKind::dkMate},
                 {"KDE", TDesktopKind::dkKde},
                 {"XFCE", TDesktopKind::dkXfce},
                 {"sway", TDesktopKind::dkUnknown},
                 {"", TDesktopKind::dkUnknown},
                 {"Hyprland:kde", TDesktopKind::dkKde}};
    for (const auto& c : cases)
        EXPECT_EQ(DetectDesktop(c.Value), c.Kind) << c.Value;
}

TEST(DesktopSession, GnomeWallpaperAndCursorThemeGoThroughGSettings) {
    TTempDir temp;
    const fs::path picture = temp / "sea.jpg";
    WriteFile(picture, MakeBmpBytes());
    TDesktopSession session("ubuntu:GNOME");
    EXPECT_EQ(session.CursorTheme(), "Adwaita"); // the schema's default

    const TSessionResult wallpaper = session.SetWallpaper(picture);
    EXPECT_TRUE(wallpaper.Ok) << wallpaper.Message;
    EXPECT_EQ(GSettingsString(Background, "picture-uri"), Uri(picture));
    ASSERT_TRUE(GSettingsHasKey(Background, "picture-uri-dark"));
    EXPECT_EQ(GSettingsString(Background, "picture-uri-dark"), Uri(picture));

    EXPECT_TRUE(session.SetCursorTheme("Sky").Ok);
    EXPECT_EQ(session.CursorTheme(), "Sky");
    // Written through to the keyfile, where another process reads it.
    const std::string keyfile =
        ReadFile(DesktopTestHome() / "config" / "glib-2.0" / "settings" / "keyfile");
    EXPECT_TRUE(Contains(keyfile, "cursor-theme='Sky'")) << keyfile;
    EXPECT_TRUE(Contains(keyfile, "picture-uri='" + Uri(picture) + "'")) << keyfile;
}

TEST(DesktopSession, MissingSchemasAndUnknownDesktopsAreMessagesNotAborts) {
    for (const auto& [desktop, schema] :
         {std::pair{"X-Cinnamon", "org.cinnamon.desktop.background"},
          std::pair{"MATE", "org.mate.background"}}) {
        if (GSettingsHasKey(schema, "picture-uri") || GSettingsHasKey(schema, "picture-filename"))
            continue; // that desktop is installed here: its schema works like GNOME's
        TDesktopSession session(desktop);
        const TSessionResult r = session.SetWallpaper("/tmp/x.png");
        EXPECT_FALSE(r.Ok);
        EXPECT_TRUE(Contains(r.Message, schema)) << r.Message;
        EXPECT_FALSE(session.SetCursorTheme("Sky").Ok);
    }
    TDesktopSession unknown("sway");
    const TSessionResult r = unknown.SetWallpaper("/tmp/x.png");
    EXPECT_FALSE(r.Ok);
    EXPECT_TRUE(Contains(r.Message, "XDG_CURRENT_DESKTOP=“sway”")) << r.Message;
    EXPECT_FALSE(unknown.CursorTheme());
}

TEST(DesktopSession, KdeCursorThemeGoesToItsConfiguration) {
    const char* writer = HaveTool("kwriteconfig6") ? "kwriteconfig6" : "kwriteconfig5";
    if (!HaveTool(writer))
        GTEST_SKIP() << "KDE's kwriteconfig5/kwriteconfig6 is not installed";
    if (HaveTool("plasma-apply-cursortheme"))
        GTEST_SKIP() << "plasma-apply-cursortheme would change the running session";
    TDesktopSession session("KDE");
    EXPECT_TRUE(session.SetCursorTheme("Sky").Ok);
    EXPECT_TRUE(Contains(ReadFile(DesktopTestHome() / "config" / "kcminputrc"), "cursorTheme=Sky"));
    EXPECT_EQ(session.CursorTheme(), "Sky");
}

TEST(DesktopSession, XfceSettingsNeedItsRunningSettingsService) {
    if (!HaveTool("xfconf-query"))
        GTEST_SKIP() << "XFCE's xfconf-query is not installed";
    GTEST_SKIP() << "xfconf-query talks to xfconfd on the session bus, which tests never reach";
}

// --- The backend over the simulated Windows ------------------------------

class DesktopBackend : public ::testing::Test {
protected:
    DesktopBackend() {
        auto sim = CreateSimulatedSystem(Temp / "root");
        Sim = sim.get();
        Sys = CreateDesktopSystem(std::move(sim), Options("GNOME"));
        Folders = MakeFolderFields(*Sys, Temp / "app");
    }

    TDesktopOptions Options(const std::string& desktop) {
        TDesktopOptions options;
        options.CurrentDesktop = desktop;
        options.DataHome = Temp / "data";
        options.Notice = [this](const std::string& text) { Notices.push_back(text); };
        return options;
    }

    fs::path Scheme(const std::string& name, const std::vector<TZipItem>& files,
                    const std::string& strings) {
        std::vector<TZipItem> items = files;
        items.push_back({"setup.inf", "[Version]\r\n[Strings]\r\n" + strings});
        const fs::path pkg = Temp / (name + ".zip");
        MakeZip(pkg, items);
        return pkg;
    }

    fs::path Icons() const { return Temp / "data" / "icons"; }

    TTempDir Temp;
    TRecordingMessages Messages;
    std::vector<std::string> Notices;
    TSimulatedSystem* Sim = nullptr;
    std::unique_ptr<ISystem> Sys;
    TFolderFields Folders;
};

TEST_F(DesktopBackend, CursorSchemesSwitchOnAndUninstallingGoesBackToThePreviousTheme) {
    const TCursorPicture arrow = Pattern(32, 32, 32, 0, 2, 3);
    GSettingsString(Interface, "cursor-theme"); // whatever the process set before
    ASSERT_TRUE(SetGSettingsString(Interface, "cursor-theme", "Adwaita").Ok);

    // "Hand.CUR" is registered lowered, as the installer reads setup.inf.
    const fs::path sky =
        Scheme("Sky Blue",
               {{"arrow.cur", MakeCursorFile({arrow})},
                {"busy.ani", MakeAnimatedCursor({MakeCurBytes()}, 6)},
                {"Hand.CUR", MakeCurBytes(4, 0)}},
               "pointer = \"arrow.cur\"\r\nbusy=\"busy.ani\"\r\nHand=\"Hand.CUR\"\r\n");
    ASSERT_TRUE(InstallCursorScheme(sky, Folders, *Sys));
    EXPECT_EQ(GSettingsString(Interface, "cursor-theme"), "Sky Blue");
    const fs::path cursors = Icons() / "Sky Blue" / "cursors";
    for (const char* name : {"left_ptr", "watch", "hand2"})
        EXPECT_TRUE(fs::is_regular_file(cursors / name)) << name;
    const auto loaded = LoadXcursor(cursors / "left_ptr");
    ASSERT_TRUE(loaded);
    EXPECT_EQ((*loaded)[0].Pixels, ExpectedPixels(arrow));
    EXPECT_EQ((*loaded)[0].HotX, 2);
    EXPECT_TRUE(Notices.empty()) << Notices.front();
    // The simulated Windows keeps its own record.
    EXPECT_FALSE(Sim->Journal().empty());

    const fs::path sea = Scheme("Sea", {{"a.cur", MakeCurBytes()}}, "pointer=\"a.cur\"\r\n");
    ASSERT_TRUE(InstallCursorScheme(sea, Folders, *Sys));
    // Switched on again: it still remembers the theme before it.
    ASSERT_TRUE(InstallCursorScheme(sea, Folders, *Sys));
    EXPECT_EQ(GSettingsString(Interface, "cursor-theme"), "Sea");

    bool installed = true;
    RemoveCursorScheme("Sea", installed, Folders, *Sys);
    EXPECT_FALSE(fs::exists(Icons() / "Sea"));
    EXPECT_EQ(GSettingsString(Interface, "cursor-theme"), "Sky Blue");
    RemoveCursorScheme("Sky Blue", installed, Folders, *Sys);
    EXPECT_FALSE(fs::exists(Icons() / "Sky Blue"));
    EXPECT_EQ(GSettingsString(Interface, "cursor-theme"), "Adwaita");
    EXPECT_TRUE(Notices.empty()) << Notices.front();
}

TEST_F(DesktopBackend, RemovingASchemeThatIsNotInUseLeavesTheThemeSetting) {
    const fs::path a = Scheme("A", {{"a.cur", MakeCurBytes()}}, "pointer=\"a.cur\"\r\n");
    const fs::path b = Scheme("B", {{"a.cur", MakeCurBytes()}}, "pointer=\"a.cur\"\r\n");
    ASSERT_TRUE(InstallCursorScheme(a, Folders, *Sys));
    ASSERT_TRUE(InstallCursorScheme(b, Folders, *Sys));
    bool installed = true;
    RemoveCursorScheme("A", installed, Folders, *Sys);
    EXPECT_EQ(GSettingsString(Interface, "cursor-theme"), "B");
    EXPECT_FALSE(fs::exists(Icons() / "A"));
}

TEST_F(DesktopBackend, SchemesWithoutUsableCursorsSayWhyAndSwitchNothing) {
    ASSERT_TRUE(SetGSettingsString(Interface, "cursor-theme", "Adwaita").Ok);
    const fs::path pkg =
        Scheme("Broken", {{"a.cur", "not a cursor"}}, "pointer=\"a.cur\"\r\nhelp=\"gone.cur\"\r\n");
    ASSERT_TRUE(InstallCursorScheme(pkg, Folders, *Sys));
    EXPECT_EQ(GSettingsString(Interface, "cursor-theme"), "Adwaita");
    ASSERT_EQ(Notices.size(), 1u);
    EXPECT_TRUE(Contains(Notices[0], "Broken")) << Notices[0];
    EXPECT_TRUE(Contains(Notices[0], "a.cur")) << Notices[0];
}

TEST_F(DesktopBackend, WallpaperIsCopiedUnderAFreshNameEachTime) {
    const fs::path picture = Folders.WinDir / "WallpaperTemp.bmp";
    WriteFile(picture, MakeBmpBytes(4, 3));
    SetWallpaper(*Sys, picture);
    const std::string first = GSettingsString(Background, "picture-uri").value_or("");
    ASSERT_TRUE(Contains(first, (Temp / "data" / "velmora" / "wallpapers").string())) << first;

    WriteFile(picture, MakeBmpBytes(5, 5)); // the search writes the same file again
    SetWallpaper(*Sys, picture);
    const std::string second = GSettingsString(Background, "picture-uri").value_or("");
    EXPECT_NE(second, first);
    const fs::path copy = second.substr(std::string("file://").size());
    EXPECT_EQ(ReadFile(copy), MakeBmpBytes(5, 5));
    EXPECT_FALSE(fs::exists(first.substr(std::string("file://").size())));
    EXPECT_EQ(GSettingsString(Background, "picture-uri-dark"), second);
    // The registry of the simulated Windows names the picture itself.
    auto key = Sys->OpenCurrentUserKey("Control Panel\\Desktop", false);
    EXPECT_EQ(key->ReadString("Wallpaper"), picture.string());
    EXPECT_TRUE(Notices.empty());
}

// One picture per screen: the composed picture spans the screens; a picture
// for all afterwards is shown on each screen again.
TEST_F(DesktopBackend, ScreenWallpapersSpanTheComposedPicture) {
    const fs::path own = Folders.WinDir / "WallpaperScreen_800x600+0+0.bmp";
    const fs::path composed = Folders.WinDir / "WallpaperScreens.bmp";
    WriteFile(own, MakeBmpBytes(4, 3));
    WriteFile(composed, MakeBmpBytes(8, 3));
    ASSERT_TRUE(Sys->SetScreenWallpaper({{{0, 0, 800, 600}, {800, 0, 640, 480}}, 0, own, composed}));
    const std::string uri = GSettingsString(Background, "picture-uri").value_or("");
    ASSERT_TRUE(Contains(uri, (Temp / "data" / "velmora" / "wallpapers").string())) << uri;
    EXPECT_EQ(ReadFile(uri.substr(std::string("file://").size())), MakeBmpBytes(8, 3));
    const std::string keyfile =
        ReadFile(DesktopTestHome() / "config" / "glib-2.0" / "settings" / "keyfile");
    EXPECT_TRUE(Contains(keyfile, "picture-options='spanned'")) << keyfile;
    auto key = Sys->OpenCurrentUserKey("Control Panel\\Desktop", false);
    EXPECT_EQ(key->ReadString("Wallpaper"), composed.string());
    EXPECT_EQ(key->ReadString("TileWallpaper"), "1");
    EXPECT_TRUE(Notices.empty());

    SetWallpaper(*Sys, own);
    EXPECT_EQ(GSettingsString(Background, "picture-options"), "zoom");
}

TEST_F(DesktopBackend, UnknownDesktopGetsTheSimulatedEffectAndAMessage) {
    auto sim = CreateSimulatedSystem(Temp / "root");
    auto other = CreateDesktopSystem(std::move(sim), Options("sway"));
    ASSERT_TRUE(SetGSettingsString(Background, "picture-uri", "file:///before.png").Ok);
    const fs::path picture = Temp / "p.bmp";
    WriteFile(picture, MakeBmpBytes());
    SetWallpaper(*other, picture);
    EXPECT_EQ(GSettingsString(Background, "picture-uri"), "file:///before.png");
    ASSERT_EQ(Notices.size(), 1u);
    EXPECT_TRUE(Contains(Notices[0], "sway")) << Notices[0];
    EXPECT_FALSE(fs::exists(Temp / "data" / "velmora" / "wallpapers" / "p.bmp"));
    auto key = other->OpenCurrentUserKey("Control Panel\\Desktop", false);
    EXPECT_EQ(key->ReadString("Wallpaper"), picture.string());
}

TEST_F(DesktopBackend, ScreenSaversSayTheyCannotRunAndChangeNothingOnTheDesktop) {
    ASSERT_TRUE(SetGSettingsString(Background, "picture-uri", "file:///before.png").Ok);
    const fs::path scr = Folders.SysDir / "Stars.scr";
    WriteFile(scr, "MZ");
    EXPECT_TRUE(SetScreenSaver(*Sys, scr, false));
    ASSERT_EQ(Notices.size(), 1u);
    EXPECT_TRUE(Contains(Notices[0], ".scr")) << Notices[0];
    EXPECT_EQ(GSettingsString(Background, "picture-uri"), "file:///before.png");
    // Cancelling starts nothing, so it says nothing.
    EXPECT_TRUE(SetScreenSaver(*Sys, {}, true));
    EXPECT_EQ(Notices.size(), 1u);
}

TEST_F(DesktopBackend, ThemesBringTheirWallpaperAndCursorsAndSayWhatStaysBehind) {
    ASSERT_TRUE(SetGSettingsString(Interface, "cursor-theme", "Adwaita").Ok);
    const fs::path dir = Folders.WinDir / "Resources" / "Themes" / "Ocean";
    const TCursorPicture arrow = Pattern(32, 32, 4, 2, 1, 1);
    WriteFile(dir / "sea.bmp", MakeBmpBytes(6, 4));
    WriteFile(dir / "arrow.cur", MakeCursorFile({arrow}));
    WriteFile(dir / "busy.ani", MakeAnimatedCursor({MakeCurBytes()}, 6));
    WriteFile(Folders.SysDir / "Bubbles.scr", "MZ");
    const fs::path theme = Folders.WinDir / "Resources" / "Themes" / "Ocean.theme";
    WriteFile(theme, "[Theme]\r\nDisplayName=Ocean\r\n"
                     "[Control Panel\\Desktop]\r\n"
                     "Wallpaper=%WinDir%\\Resources\\Themes\\Ocean\\sea.bmp\r\n"
                     "[Control Panel\\Cursors]\r\nDefaultValue=Ocean Cursors\r\n"
                     "Arrow=%WinDir%\\Resources\\Themes\\Ocean\\ARROW.cur\r\n"
                     "Wait=%WinDir%\\Resources\\Themes\\Ocean\\busy.ani\r\n"
                     "[boot]\r\nSCRNSAVE.EXE=%WinDir%\\System32\\Bubbles.scr\r\n"
                     "[AppEvents\\Schemes]\r\n.Default=x\r\n"
                     "[Control Panel\\Colors]\r\nBackground=0 0 0\r\n"
                     "[VisualStyles]\r\nPath=%ResourceDir%\\Themes\\Aero\\Aero.msstyles\r\n");
    ASSERT_GT(Sys->ShellOpen(theme.string()), 32);

    const std::string uri = GSettingsString(Background, "picture-uri").value_or("");
    ASSERT_TRUE(Contains(uri, "velmora/wallpapers")) << uri;
    EXPECT_EQ(ReadFile(uri.substr(std::string("file://").size())), MakeBmpBytes(6, 4));
    EXPECT_EQ(GSettingsString(Interface, "cursor-theme"), "Ocean Cursors");
    const auto loaded = LoadXcursor(Icons() / "Ocean Cursors" / "cursors" / "left_ptr");
    ASSERT_TRUE(loaded);
    EXPECT_EQ((*loaded)[0].Pixels, ExpectedPixels(arrow));
    EXPECT_TRUE(fs::exists(Icons() / "Ocean Cursors" / "cursors" / "watch"));
    ASSERT_EQ(Notices.size(), 1u);
    EXPECT_EQ(Notices[0], "主题“Ocean”中的屏幕保护程序、声音、颜色、视觉样式在 Linux "
                          "桌面上没有对应，没有应用。");
}

TEST_F(DesktopBackend, ThemePacksAreFollowedToTheThemeTheyUnpack) {
    const fs::path pack = Temp / "Dunes.themepack";
    WriteFile(pack, MakeCabBytes({{"Dunes.theme", "[Theme]\r\nDisplayName=Dunes\r\n"
                                                  "[Control Panel\\Desktop]\r\n"
                                                  "Wallpaper=sand.bmp\r\n"},
                                  {"sand.bmp", MakeBmpBytes(3, 3)}}));
    ASSERT_GT(Sys->ShellOpen(pack.string()), 32);
    const std::string uri = GSettingsString(Background, "picture-uri").value_or("");
    ASSERT_TRUE(Contains(uri, "velmora/wallpapers")) << uri;
    EXPECT_EQ(ReadFile(uri.substr(std::string("file://").size())), MakeBmpBytes(3, 3));
    EXPECT_TRUE(Notices.empty()) << Notices.front();
}

TEST_F(DesktopBackend, FolderIconsFollowDesktopIniAndRestoringRemovesThem) {
    // A library path with Chinese names, as desktop.ini holds it: code page 936.
    const fs::path icon = Temp / "app" / "cache" / "icons" / "动物" / "猫.ico";
    WriteFile(icon, MakeCursorFile({Pattern(16, 16, 24, 0)}, true));
    const fs::path folder = Temp / "photos";
    fs::create_directories(folder);
    WriteFile(folder / ".directory",
              "[Desktop Entry]\nIcon=old\n\n[Settings]\nHiddenFilesShown=true\n");
    WriteFile(folder / "desktop.ini", Utf8ToCp936("[.ShellClassInfo]\r\nIconFile=" + icon.string() +
                                                  "\r\nIconIndex=0\r\n"));
    ASSERT_TRUE(Sys->PathMakeSystemFolder(folder));
    Sys->ShChangeNotify(shcneUpdateImage, folder);
    Sys->ShChangeNotify(shcneUpdateItem, folder);

    EXPECT_EQ(ReadFile(folder / ".directory"),
              "[Desktop Entry]\nIcon=" + icon.string() + "\n\n[Settings]\nHiddenFilesShown=true\n");
    if (FolderMetadataIcon(folder)) {
        EXPECT_EQ(FolderMetadataIcon(folder), Uri(icon));
    } else {
        // No metadata service answers here: the notice says so, once.
        ASSERT_EQ(Notices.size(), 1u);
        EXPECT_TRUE(Contains(Notices[0], "GIO")) << Notices[0];
    }

    // Restoring deletes desktop.ini and announces it the same way.
    Notices.clear();
    fs::remove(folder / "desktop.ini");
    Sys->ShChangeNotify(shcneUpdateImage, folder);
    EXPECT_EQ(ReadFile(folder / ".directory"),
              "[Desktop Entry]\n\n[Settings]\nHiddenFilesShown=true\n");
    EXPECT_FALSE(FolderMetadataIcon(folder));
    EXPECT_TRUE(Notices.empty()) << Notices.front();
}

TEST(FolderIcon, DirectoryFileIsCreatedAndRemovedWhenItHoldsNothingElse) {
    TTempDir temp;
    const fs::path folder = temp / "f";
    fs::create_directories(folder);
    WriteFile(folder / "pics" / "b.ico", MakeCursorFile({Pattern(16, 16, 24, 0)}, true));
    const struct {
        const char* Ini;
        std::optional<std::string> Icon;
    } inis[] = {
        {"[.ShellClassInfo]\r\nIconFile=C:\\lib\\a.ico\r\n", std::nullopt},
        {"[.ShellClassInfo]\r\nIconResource=pics\\b.ico,0\r\n", (folder / "pics/b.ico").string()},
        {"[.ShellClassInfo]\r\nIconIndex=0\r\n", std::nullopt}};
    for (const auto& c : inis) {
        WriteFile(folder / "desktop.ini", c.Ini);
        const auto icon = DesktopIniIcon(folder);
        EXPECT_EQ(icon ? std::optional<std::string>(icon->string()) : std::nullopt, c.Icon)
            << c.Ini;
    }

    EXPECT_TRUE(SetLinuxFolderIcon(folder, temp / "x.ico").Directory);
    EXPECT_EQ(ReadFile(folder / ".directory"),
              "[Desktop Entry]\nIcon=" + (temp / "x.ico").string() + "\n");
    EXPECT_TRUE(ClearLinuxFolderIcon(folder).Directory);
    EXPECT_FALSE(fs::exists(folder / ".directory"));
    EXPECT_TRUE(ClearLinuxFolderIcon(folder).Directory); // nothing to remove is fine
}

} // namespace
} // namespace velmora::test

namespace velmora::test {
namespace {

// velmora-tool install, uninstall and wallpaper with --desktop, run as a
// program: its GSettings keyfile and icons are this test's (inherited).
TEST(DesktopTool, VerbsWithDesktopChangeTheSessionAndPrintNotices) {
    TTempDir temp;
    const fs::path pkg = temp / "Tool Sky.zip";
    MakeZip(pkg, {{"setup.inf", "[Strings]\r\npointer=\"a.cur\"\r\n"}, {"a.cur", MakeCurBytes()}});
    const std::string tool = std::string("XDG_CURRENT_DESKTOP=GNOME '") + VELMORA_TOOL + "' ";
    const std::string system = " --system '" + (temp / "root").string() + "'";
    const fs::path keyfile = DesktopTestHome() / "config" / "glib-2.0" / "settings" / "keyfile";
    ASSERT_TRUE(SetGSettingsString(Interface, "cursor-theme", "Before").Ok);

    TProgramRun run = RunProgram(
        tool + "install '" + pkg.string() + "' --kind cursor --desktop" + system, temp.Path());
    ASSERT_EQ(run.Exit, 0) << run.Out << run.Err;
    EXPECT_TRUE(fs::is_regular_file(DesktopTestHome() / "data" / "icons" / "Tool Sky" / "cursors" /
                                    "left_ptr"));
    EXPECT_TRUE(Contains(ReadFile(keyfile), "cursor-theme='Tool Sky'")) << ReadFile(keyfile);

    run = RunProgram(tool + "uninstall 'Tool Sky' --kind cursor --desktop" + system, temp.Path());
    ASSERT_EQ(run.Exit, 0) << run.Out << run.Err;
    EXPECT_FALSE(fs::exists(DesktopTestHome() / "data" / "icons" / "Tool Sky"));
    EXPECT_TRUE(Contains(ReadFile(keyfile), "cursor-theme='Before'")) << ReadFile(keyfile);

    WriteFile(temp / "w.bmp", MakeBmpBytes());
    run = RunProgram(tool + "wallpaper '" + (temp / "w.bmp").string() + "' --desktop" + system,
                     temp.Path());
    ASSERT_EQ(run.Exit, 0) << run.Out << run.Err;
    EXPECT_TRUE(Contains(ReadFile(keyfile),
                         "picture-uri='file://" +
                             (DesktopTestHome() / "data" / "velmora" / "wallpapers").string()))
        << ReadFile(keyfile);

    // The folder-icon page's set and restore.
    const fs::path icon = temp / "exe" / "cache" / "icons" / "Animals" / "cat.ico";
    WriteFile(icon, MakeCursorFile({Pattern(16, 16, 24, 0)}, true));
    fs::create_directories(temp / "photos");
    run = RunProgram(tool + "folder-icon set '" + (temp / "photos").string() +
                         "' --category Animals --icon cat.ico --exe-dir '" +
                         (temp / "exe").string() + "' --desktop" + system,
                     temp.Path());
    ASSERT_EQ(run.Exit, 0) << run.Out << run.Err;
    EXPECT_EQ(ReadFile(temp / "photos" / ".directory"),
              "[Desktop Entry]\nIcon=" + icon.string() + "\n");
    run = RunProgram(tool + "folder-icon restore '" + (temp / "photos").string() + "' --desktop" +
                         system,
                     temp.Path());
    ASSERT_EQ(run.Exit, 0) << run.Out << run.Err;
    EXPECT_FALSE(fs::exists(temp / "photos" / ".directory"));

    // Without a desktop it knows, the effect stays in the simulated Windows
    // and the notice is printed.
    run = RunProgram("XDG_CURRENT_DESKTOP=sway '" + std::string(VELMORA_TOOL) + "' wallpaper '" +
                         (temp / "w.bmp").string() + "' --desktop" + system,
                     temp.Path());
    EXPECT_EQ(run.Exit, 0) << run.Err;
    EXPECT_TRUE(Contains(run.Out, "XDG_CURRENT_DESKTOP=“sway”")) << run.Out;
}

} // namespace
} // namespace velmora::test
