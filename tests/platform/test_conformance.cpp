// One table of behaviours run against every backend of the build: the
// simulated Windows natively, the Win32 backend under Wine. What holds on the
// simulation must hold on the real calls.
#include "platform/ThemeFile.h"
#include "tests/platform/Conformance.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>

namespace velmora::test {
namespace {

namespace fs = std::filesystem;

class Conformance : public ::testing::TestWithParam<TBackendCase> {
protected:
    void SetUp() override {
        Sys = GetParam().Make(Scratch.Path());
        ASSERT_NE(Sys, nullptr);
        Files = Scratch.Path() / "files";
        fs::create_directories(Files);
    }
    // A key of its own per test, so that cases never see each other's values.
    std::string TestKey() const {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = info->name();
        std::replace(name.begin(), name.end(), '/', '_');
        return "Software\\VelmoraConformance\\" + name + "_" +
               std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
    }

    TScratchDir Scratch;
    fs::path Files;
    std::unique_ptr<ISystem> Sys;
};

TEST_P(Conformance, FoldersExistAndSpecialFolder28Resolves) {
    const fs::path win = Sys->WindowsDirectory();
    const fs::path sys = Sys->SystemDirectory();
    EXPECT_TRUE(fs::is_directory(win)) << win;
    EXPECT_TRUE(fs::is_directory(sys)) << sys;
    EXPECT_TRUE(fs::equivalent(sys.parent_path(), win)) << sys;
    const fs::path local = Sys->SpecialFolder(csidlLocalAppData);
    EXPECT_TRUE(fs::is_directory(local)) << local;
    EXPECT_TRUE(Sys->SpecialFolder(0x7E).empty()) << "an unknown number resolves to nothing";
}

TEST_P(Conformance, RegistryOpenCreateWriteReadDelete) {
    const std::string key = TestKey();
    long err = 0;
    EXPECT_EQ(Sys->OpenCurrentUserKey(key, false, &err), nullptr);
    EXPECT_EQ(err, errFileNotFound);

    auto k = Sys->OpenCurrentUserKey(key + "\\Child", true, &err);
    ASSERT_NE(k, nullptr);
    EXPECT_EQ(err, errSuccess);
    EXPECT_TRUE(k->WriteString("Wallpaper", "C:\\pictures\\a b.bmp"));
    EXPECT_TRUE(k->WriteString("Name", "主题 ✓ \"quoted\" back\\slash"));
    EXPECT_TRUE(k->WriteString("Empty", ""));
    EXPECT_TRUE(k->WriteString("Lines", "one\r\ntwo"));
    EXPECT_TRUE(k->WriteString("wallpaper", "replaced")); // names ignore case
    k.reset();

    // The parent was created on the way; the child reopens without creating.
    EXPECT_NE(Sys->OpenCurrentUserKey(key, false), nullptr);
    auto again = Sys->OpenCurrentUserKey(key + "\\child", false);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->ReadString("WALLPAPER"), "replaced");
    EXPECT_EQ(again->ReadString("Name"), "主题 ✓ \"quoted\" back\\slash");
    EXPECT_EQ(again->ReadString("Empty"), "");
    EXPECT_EQ(again->ReadString("Lines"), "one\r\ntwo");
    EXPECT_EQ(again->ReadString("Missing"), std::nullopt);
    auto names = again->ValueNames();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"Empty", "Lines", "Name", "Wallpaper"}));

    EXPECT_TRUE(again->DeleteValue("name"));
    EXPECT_FALSE(again->DeleteValue("Name")) << "already gone";
    EXPECT_EQ(again->ReadString("Name"), std::nullopt);
    again->Close();
    EXPECT_FALSE(again->WriteString("After", "close"));
}

TEST_P(Conformance, CursorFilesLoadOnlyWhenValid) {
    struct {
        const char* file;
        std::string bytes;
        bool loads;
    } cases[] = {
        {"arrow.cur", MakeCurBytes(), true},
        {"busy.ani", MakeAniBytes(), true},
        {"garbage.cur", "this is not a cursor at all, only some text", false},
        {"truncated.cur", MakeCurBytes().substr(0, 100), false},
        {"empty.cur", "", false},
        {"bad-riff.ani", "RIFF\x04\0\0\0ACON", false},
    };
    for (const auto& c : cases) {
        WriteBytes(Files / c.file, c.bytes);
        const TCursorHandle h = Sys->LoadCursorFromFile(Files / c.file);
        EXPECT_EQ(h != 0, c.loads) << c.file;
        Sys->DestroyCursor(h);
    }
    EXPECT_EQ(Sys->LoadCursorFromFile(Files / "missing.cur"), 0u);

    const TCursorHandle arrow = Sys->LoadCursorFromFile(Files / "arrow.cur");
    ASSERT_NE(arrow, 0u);
    EXPECT_TRUE(Sys->SetSystemCursor(arrow, ocrNormal));
}

TEST_P(Conformance, ShortNamesHaveThe83ShapeAndResolveToTheSameFile) {
    const fs::path folder = Files / "Long Folder Name";
    const fs::path file = folder / "My Screen Saver.scr";
    const fs::path twin = folder / "My Screen Saver two.scr";
    WriteBytes(file, "MZ");
    WriteBytes(twin, "MZ");

    const fs::path shortFile = Sys->ShortPathName(file);
    const fs::path shortTwin = Sys->ShortPathName(twin);
    ASSERT_FALSE(shortFile.empty());
    EXPECT_EQ(shortFile.string().find(' '), std::string::npos) << shortFile;
    EXPECT_TRUE(IsShortShape(shortFile.filename().string())) << shortFile;
    EXPECT_TRUE(IsShortShape(shortFile.parent_path().filename().string())) << shortFile;
    EXPECT_NE(shortFile.filename(), shortTwin.filename()) << "names in one folder stay apart";
    std::string ext = shortFile.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return std::toupper(c); });
    EXPECT_EQ(ext, ".SCR");

    const fs::path back = Sys->LongPathName(shortFile);
    ASSERT_FALSE(back.empty());
    EXPECT_TRUE(fs::equivalent(back, file));
    EXPECT_EQ(back.filename(), file.filename());
    EXPECT_EQ(back.parent_path().filename(), folder.filename());
    EXPECT_EQ(Sys->ShortPathName(file), shortFile) << "stable between calls";
    EXPECT_TRUE(Sys->ShortPathName(Files / "missing file.txt").empty());
}

TEST_P(Conformance, AttributesReadOnlyHiddenSystem) {
    const fs::path file = Files / "desktop.ini";
    WriteBytes(file, "[.ShellClassInfo]\r\n");
    const std::uint32_t fresh = Sys->GetFileAttributes(file);
    ASSERT_NE(fresh, faInvalid);
    EXPECT_EQ(fresh & (faDirectory | faHidden | faSysFile | faReadOnly), 0u);
    EXPECT_NE(Sys->GetFileAttributes(Files) & faDirectory, 0u);
    EXPECT_EQ(Sys->GetFileAttributes(Files / "missing"), faInvalid);
    EXPECT_FALSE(Sys->SetFileAttributes(Files / "missing", faHidden));

    ASSERT_TRUE(Sys->SetFileAttributes(file, faHidden | faSysFile));
    EXPECT_EQ(Sys->GetFileAttributes(file) & (faHidden | faSysFile | faReadOnly),
              faHidden | faSysFile);
    ASSERT_TRUE(Sys->SetFileAttributes(file, faHidden)); // replaces, not adds
    EXPECT_EQ(Sys->GetFileAttributes(file) & (faHidden | faSysFile), faHidden);

    ASSERT_TRUE(Sys->SetFileAttributes(file, faReadOnly));
    EXPECT_NE(Sys->GetFileAttributes(file) & faReadOnly, 0u);
    EXPECT_FALSE(Sys->DeleteFile(file)) << "a read-only file is refused";
    EXPECT_TRUE(fs::exists(file));
    ASSERT_TRUE(Sys->SetFileAttributes(file, faNormal));
    EXPECT_TRUE(Sys->DeleteFile(file));
    EXPECT_FALSE(fs::exists(file));
    EXPECT_FALSE(Sys->DeleteFile(file));
}

TEST_P(Conformance, RemoveDirectoryOnlyWhenEmpty) {
    const fs::path dir = Files / "dir";
    WriteBytes(dir / "inner.txt", "x");
    EXPECT_FALSE(Sys->RemoveDirectory(dir));
    EXPECT_FALSE(Sys->DeleteFile(dir)) << "DeleteFile does not remove folders";
    EXPECT_TRUE(Sys->DeleteFile(dir / "inner.txt"));
    EXPECT_TRUE(Sys->RemoveDirectory(dir));
    EXPECT_FALSE(fs::exists(dir));
}

TEST_P(Conformance, LinksAreRemovedNotFollowed) {
    const fs::path outside = Files / "outside";
    WriteBytes(outside / "keep.txt", "precious");
    const fs::path link = Files / "folder" / "link";
    fs::create_directories(link.parent_path());
    const std::string why = MakeFolderLink(outside, link);
    if (!why.empty())
        GTEST_SKIP() << "folder links unavailable here: " << why;
    const std::uint32_t attr = Sys->GetFileAttributes(link);
    ASSERT_NE(attr, faInvalid);
    EXPECT_EQ(attr & (faReparsePoint | faDirectory), faReparsePoint | faDirectory);
    EXPECT_TRUE(Sys->RemoveDirectory(link));
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
    EXPECT_TRUE(fs::exists(outside / "keep.txt"));
}

TEST_P(Conformance, SystemFolderMarking) {
    const fs::path dir = Files / "icons here";
    fs::create_directories(dir);
    ASSERT_TRUE(Sys->PathMakeSystemFolder(dir));
    // Windows marks it system or read-only depending on policy.
    EXPECT_NE(Sys->GetFileAttributes(dir) & (faSysFile | faReadOnly), 0u);
    EXPECT_FALSE(Sys->PathMakeSystemFolder(Files / "missing"));
    Sys->ShChangeNotify(shcneUpdateImage, dir);
    Sys->CallShlwapiOrdinal633(47); // present or not, it returns
}

TEST_P(Conformance, DesktopParametersAndShell) {
    const fs::path bmp = Files / "wall paper.bmp";
    WriteBytes(bmp, MakeBmpBytes());
    EXPECT_TRUE(Sys->SystemParametersInfo(spiSetDeskWallpaper, 0, bmp.string(), spifUpdateIniFile));
    EXPECT_TRUE(
        Sys->SystemParametersInfo(spiSetScreenSaveActive, 1, std::nullopt, spifSendWinIniChange));
    // Reloading the cursors: Wine does not implement it (false), Windows does;
    // the program ignores the result, so only the call is checked.
    Sys->SystemParametersInfo(spiSetCursors, 0, std::nullopt, 0);
    EXPECT_LE(Sys->ShellOpen((Files / "no such file.theme").string()), 32);
    EXPECT_TRUE(Sys->PostScreenSaveCommand());
}

// A screen no monitor of the system stands at (the simulation has none):
// the composed picture of the desktop becomes the wallpaper, tiled.
TEST_P(Conformance, ScreenWallpaperOfAnUnknownScreenIsTheComposedPictureTiled) {
    const fs::path own = Files / "screen.bmp", composed = Files / "screens.bmp";
    WriteBytes(own, MakeBmpBytes(4, 3));
    WriteBytes(composed, MakeBmpBytes(8, 3));
    const std::vector<TScreenRect> screens = {{-30000, -30000, 4, 3}, {-29996, -30000, 4, 3}};
    EXPECT_FALSE(Sys->SetScreenWallpaper({screens, 2, own, composed})); // no such screen
    ASSERT_TRUE(Sys->SetScreenWallpaper({screens, 1, own, composed}));
    auto key = Sys->OpenCurrentUserKey("Control Panel\\Desktop", false);
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(key->ReadString("TileWallpaper"), "1");
    EXPECT_EQ(key->ReadString("WallpaperStyle"), "0");
    const std::string wallpaper = key->ReadString("Wallpaper").value_or("");
    EXPECT_NE(wallpaper.find("screens.bmp"), std::string::npos) << wallpaper;
}

TEST_P(Conformance, NamesMatchWithoutRegardToCaseAndKeepTheirCase) {
    WriteBytes(Files / "Mixed Case" / "Arrow.CUR", MakeCurBytes());
    WriteBytes(Files / "Mixed Case" / "Wall.Bmp", MakeBmpBytes());
    const fs::path folder = Files / "mixed CASE";
    const fs::path cursor = folder / "arrow.cur";

    EXPECT_TRUE(fs::is_regular_file(Sys->ResolvePath(cursor))) << Sys->ResolvePath(cursor);
    const TCursorHandle h = Sys->LoadCursorFromFile(cursor);
    EXPECT_NE(h, 0u);
    Sys->DestroyCursor(h);
    EXPECT_NE(Sys->GetFileAttributes(cursor), faInvalid);
    EXPECT_TRUE(Sys->SetFileAttributes(cursor, faHidden));
    EXPECT_NE(Sys->GetFileAttributes(Files / "Mixed Case" / "Arrow.CUR") & faHidden, 0u);
    EXPECT_TRUE(Sys->SystemParametersInfo(spiSetDeskWallpaper, 0, (folder / "WALL.BMP").string(),
                                          spifUpdateIniFile));

    // The short name leads back to the long name with its case on disk.
    const fs::path shortPath = Sys->ShortPathName(cursor);
    ASSERT_FALSE(shortPath.empty());
    const fs::path longPath = Sys->LongPathName(shortPath);
    EXPECT_EQ(longPath.filename().string(), "Arrow.CUR") << longPath;

    EXPECT_TRUE(Sys->DeleteFile(folder / "ARROW.cur"));
    EXPECT_TRUE(Sys->DeleteFile(folder / "wall.bmp"));
    EXPECT_FALSE(Sys->DeleteFile(cursor)) << "gone";
    EXPECT_TRUE(Sys->PathMakeSystemFolder(folder));
    EXPECT_TRUE(Sys->SetFileAttributes(folder, faNormal));
    EXPECT_TRUE(Sys->RemoveDirectory(folder));
    EXPECT_FALSE(fs::exists(Files / "Mixed Case"));
    // A name that matches nothing is kept as given.
    EXPECT_EQ(Sys->ResolvePath(Files / "none" / "x.Y").filename().string(), "x.Y");
}

TEST_P(Conformance, ThemesThatReachOutsideAreFoundAndPacksAreRead) {
    const fs::path themeDir = Files / "Theme Folder";
    fs::create_directories(themeDir);
    const TThemeFolders folders{Sys->WindowsDirectory(), themeDir,
                                Sys->SpecialFolder(csidlLocalAppData)};
    const std::string inside = (Sys->WindowsDirectory() / "Web" / "x.jpg").string();
    const std::string outside = (Scratch.Path() / "elsewhere.jpg").string();
    struct {
        std::string Section, Line;
        bool Refused;
    } cases[] = {
        {"Control Panel\\Desktop", "Wallpaper=%WinDir%\\Web\\Wallpaper\\img0.jpg", false},
        {"Control Panel\\Desktop", "Wallpaper=%windir%\\RESOURCES\\themes\\x.jpg", false},
        {"Control Panel\\Desktop", "Wallpaper=DesktopBackground\\img1.jpg", false},
        {"Control Panel\\Desktop", "Wallpaper=" + inside, false},
        {"Control Panel\\Desktop", "Wallpaper=", false},
        {"VisualStyles", "Path=%ResourceDir%\\Themes\\Aero\\Aero.msstyles", false},
        {"Theme", "DisplayName=@%SystemRoot%\\System32\\themeui.dll,-2013", false},
        {"Theme", "DisplayName=Note: blue waves", false},
        {"Control Panel\\Cursors", "DefaultValue=Windows Aero", false},
        {"Control Panel\\Cursors", "Arrow=%SystemRoot%\\Cursors\\aero_arrow.cur", false},
        {"Sounds", "SchemeName=@mmres.dll,-800", false},
        {"CLSID\\{20D04FE0-3AEA-1069-A2D8-08002B30309D}\\DefaultIcon",
         "DefaultValue=%SystemRoot%\\System32\\imageres.dll,-109", false},
        {"VisualStyles", "Path=\\\\attacker\\share\\x.msstyles", true},
        {"Control Panel\\Desktop", "Wallpaper=//attacker/share/a.jpg", true},
        {"Control Panel\\Desktop", "Wallpaper=http://attacker.invalid/a.jpg", true},
        {"Control Panel\\Cursors", "Arrow=file://attacker/share/a.cur", true},
        {"Theme", "BrandImage=search-ms:query=x", true},
        {"Theme", "DisplayName=@\\\\attacker\\s\\x.dll,-1", true},
        {"Slideshow", "RssFeed=https://attacker.invalid/feed", true},
        {"MasterThemeSelector", "Anything=\\\\attacker\\share", true},
        {"boot", "SCRNSAVE.EXE=..\\..\\..\\..\\evil.scr", true},
        {"Control Panel\\Desktop", "Wallpaper=%UserProfile%\\a.jpg", true},
        {"Control Panel\\Desktop", "Wallpaper=" + outside, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Line);
        const TThemeFile theme =
            TThemeFile::Parse("[Theme]\r\n[" + c.Section + "]\r\n" + c.Line + "\r\n");
        const std::string problem = ThemeReachProblem(theme, folders, *Sys);
        EXPECT_EQ(!problem.empty(), c.Refused) << problem;
        if (c.Refused) {
            EXPECT_NE(problem.find(c.Line.substr(c.Line.find('=') + 1)), std::string::npos);
        }
    }

    // The theme file of a pack is read without installing it: the first by
    // name at the top of the cabinet.
    const fs::path pack = Files / "Sea Pack.themepack";
    WriteBytes(pack, MakeCabBytes({{"sub\\A.theme", "[Theme]\r\nDisplayName=deep\r\n"},
                                   {"Zed.theme", "[Theme]\r\nDisplayName=zed\r\n"},
                                   {"Sea.Theme", "[Theme]\r\nDisplayName=sea\r\n"},
                                   {"DesktopBackground\\a.bmp", MakeBmpBytes()}}));
    const auto bytes = Sys->ReadThemeFromPack(pack);
    ASSERT_TRUE(bytes.has_value());
    EXPECT_EQ(TThemeFile::Parse(*bytes).Value("theme", "displayname"), "sea");
    WriteBytes(Files / "not a pack.themepack", "<html>404</html>");
    EXPECT_FALSE(Sys->ReadThemeFromPack(Files / "not a pack.themepack").has_value());
    EXPECT_FALSE(Sys->ReadThemeFromPack(Files / "missing.themepack").has_value());
}

INSTANTIATE_TEST_SUITE_P(Backends, Conformance, ::testing::ValuesIn(ConformanceBackends()),
                         [](const auto& info) { return info.param.Name; });

} // namespace
} // namespace velmora::test
