// The installers against every system backend of the build: the simulated
// Windows natively, the real Win32 calls under Wine. Only what any system
// shows is checked (registry values, files, attributes); the simulated
// system's journal is test_installers' business. On Win32 each case works on
// items of its own name in the real Windows folder and registry, and puts back
// every value and removes every file it touched when it ends.
#include "install/CodePage.h"
#include "install/uCursorInstaller.h"
#include "install/uFolderIcon.h"
#include "install/uInstallers.h"
#include "install/uScreenSaverInstaller.h"
#include "install/uThemeInstaller.h"
#include "install/uZip.h"
#include "platform/util/Ascii.h"
#include "tests/install/ZipFixture.h"
#include "tests/platform/Conformance.h"
#include "tests/support/PictureFiles.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <random>

namespace velmora::test {
namespace {
namespace fs = std::filesystem;

const char* const DesktopKey = "Control Panel\\Desktop";
const char* const ThemesKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Themes";

class SystemInstall : public ::testing::TestWithParam<TBackendCase> {
protected:
    TTempDir Tmp;
    std::unique_ptr<ISystem> Sys;
    TFolderFields Folders;
    TRecordingMessages Messages;
    // The items' name: short enough to be its own 8.3 name, unique per case.
    std::string Name = "Vt" + std::to_string(std::random_device{}() % 100000);

    void SetUp() override {
        Sys = GetParam().Make(Tmp.Path());
        ASSERT_NE(Sys, nullptr);
        Folders = MakeFolderFields(*Sys, Tmp / "exe");
        ASSERT_TRUE(Folders.WinDir.is_absolute() && Folders.SysDir.is_absolute());
        Sys->OpenCurrentUserKey(DesktopKey, true); // a fresh simulated registry has none
        for (const char* value : {"Wallpaper", "WallpaperStyle", "TileWallpaper", "SCRNSAVE.EXE"})
            Keep(DesktopKey, value);
        Keep(CursorsKey, "");
        for (const auto& role : CursorRoles)
            Keep(CursorsKey, role.ValueName);
        Keep(CursorSchemesKey, Name);
        Keep(ThemesKey, "CurrentTheme");
        Keep(ThemesKey, "DisplayName");
        const fs::path themes = SystemThemesFolder(Folders);
        for (const fs::path& p : {themes / Name, themes / (Name + ".theme"), themes / "Bad",
                                  themes / "Bad.theme", Folders.WinDir / "Cursors" / Name,
                                  Folders.SysDir / (Name + ".scr"), Folders.UserThemesDir / Name})
            Remove.push_back(p);
    }

    // Puts back what the case changed: values, files, the system's cursors
    // and wallpaper.
    void TearDown() override {
        if (!Sys)
            return;
        for (const auto& [key, name, value] : Kept) {
            auto k = Sys->OpenCurrentUserKey(key, value.has_value());
            if (k && value)
                k->WriteString(name, *value);
            else if (k)
                k->DeleteValue(name);
        }
        std::error_code ec;
        for (const fs::path& p : Remove) {
            Sys->SetFileAttributes(p, 0);
            fs::remove_all(p, ec);
        }
        Sys->SystemParametersInfo(spiSetCursors, 0, std::nullopt, 0);
        for (const auto& [key, name, value] : Kept)
            if (name == std::string("Wallpaper"))
                Sys->SystemParametersInfo(spiSetDeskWallpaper, 0, value.value_or(""), 0);
    }

    void Keep(const std::string& key, const std::string& name) {
        Kept.push_back({key, name, Reg(key, name)});
    }
    std::optional<std::string> Reg(const std::string& key, const std::string& name) {
        auto k = Sys->OpenCurrentUserKey(key, false);
        return k ? k->ReadString(name) : std::nullopt;
    }
    void SetReg(const std::string& key, const std::string& name, const std::string& value) {
        Sys->OpenCurrentUserKey(key, true)->WriteString(name, value);
    }
    // True when the value names the file, as the system finds it.
    ::testing::AssertionResult Names(const std::optional<std::string>& value,
                                     const fs::path& file) {
        if (!value)
            return ::testing::AssertionFailure() << "no value, expected " << file;
        std::error_code ec;
        if (!fs::equivalent(Sys->ResolvePath(fs::path(*value)), file, ec))
            return ::testing::AssertionFailure() << *value << " is not " << file;
        return ::testing::AssertionSuccess();
    }
    fs::path Package(const std::string& category, const std::string& file) {
        fs::path p = Folders.ExePath / "cache" / category / file;
        fs::create_directories(p.parent_path());
        return p;
    }

    struct TKept {
        std::string Key, Name;
        std::optional<std::string> Value;
    };
    std::vector<TKept> Kept;
    std::vector<fs::path> Remove;
};

// A theme naming its wallpaper relative to itself, a cursor and a screen
// saver through the folder variables, as Windows' own themes do.
std::string ThemeText(const std::string& name, const std::string& saver) {
    return "[Theme]\r\nDisplayName=海之蓝\r\n"
           "[Control Panel\\Desktop]\r\nWallpaper=" +
           name + "\\Wall.BMP\r\nTileWallpaper=0\r\nWallpaperStyle=10\r\n" +
           "[Control Panel\\Cursors]\r\nDefaultValue=Sea cursors\r\n"
           "Arrow=%WinDir%\\Resources\\Themes\\" +
           name + "\\Arrow.cur\r\n[boot]\r\nSCRNSAVE.EXE=%SystemRoot%\\System32\\" + saver +
           "\r\n[Sounds]\r\nSchemeName=@mmres.dll,-800\r\n";
}

TEST_P(SystemInstall, ThemeZipAppliesItsWallpaperCursorAndScreenSaverAndIsRemoved) {
    const fs::path saver = Folders.SysDir / (Name + ".scr");
    WriteFile(saver, "MZ");
    fs::path pkg = Package("theme", Name + ".zip");
    MakeZip(pkg, {{Name + "/Wall.BMP", MakeBmpBytes()},
                  {Name + "/Arrow.cur", MakeCurBytes()},
                  {Name + ".theme", Utf8ToCp936(ThemeText(Name, Name + ".scr"))}});
    bool installed = false;
    ApplyThemeRow(true, pkg, installed, Folders, *Sys);
    ASSERT_TRUE(installed);
    EXPECT_TRUE(Messages.Shown.empty());

    const fs::path themes = SystemThemesFolder(Folders);
    EXPECT_TRUE(Names(Reg(DesktopKey, "Wallpaper"), themes / Name / "Wall.BMP"));
    EXPECT_EQ(Reg(DesktopKey, "WallpaperStyle"), "10");
    EXPECT_EQ(Reg(DesktopKey, "TileWallpaper"), "0");
    EXPECT_TRUE(Names(Reg(CursorsKey, "Arrow"), themes / Name / "Arrow.cur"));
    EXPECT_EQ(Reg(CursorsKey, ""), "Sea cursors");
    EXPECT_TRUE(Names(Reg(DesktopKey, "SCRNSAVE.EXE"), saver));
    EXPECT_TRUE(Names(Reg(ThemesKey, "CurrentTheme"), themes / (Name + ".theme")));
    EXPECT_EQ(Reg(ThemesKey, "DisplayName"), "海之蓝");

    RemoveTheme(Name, true, installed, Folders, *Sys);
    EXPECT_FALSE(installed);
    EXPECT_FALSE(fs::exists(themes / Name));
    EXPECT_FALSE(fs::exists(themes / (Name + ".theme")));
    EXPECT_TRUE(fs::exists(pkg)); // the cached package stays
}

TEST_P(SystemInstall, ThemePackIsUnpackedIntoTheUserFolderAndApplied) {
    fs::path pkg = Package("theme", Name + ".themepack");
    WriteFile(pkg, MakeCabBytes({{Name + ".theme",
                                  "[Theme]\r\nDisplayName=Pack\r\n[Control Panel\\Desktop]\r\n"
                                  "Wallpaper=DesktopBackground\\wall.bmp\r\nWallpaperStyle=6\r\n"},
                                 {"DesktopBackground\\Wall.BMP", MakeBmpBytes()}}));
    bool installed = false;
    ApplyThemeRow(false, pkg, installed, Folders, *Sys);
    EXPECT_TRUE(installed);
    const fs::path dest = Folders.UserThemesDir / Name;
    EXPECT_TRUE(fs::is_regular_file(dest / (Name + ".theme")));
    EXPECT_TRUE(Names(Reg(DesktopKey, "Wallpaper"), dest / "DesktopBackground" / "Wall.BMP"));
    EXPECT_EQ(Reg(DesktopKey, "WallpaperStyle"), "6");
    EXPECT_EQ(Reg(ThemesKey, "DisplayName"), "Pack");
    RemoveTheme(Name, false, installed, Folders, *Sys);
    EXPECT_FALSE(installed);
    EXPECT_FALSE(fs::exists(dest));

    // A pack with a name that leaves its folder unpacks nothing and applies
    // nothing.
    Remove.push_back(Folders.UserThemesDir / "evil.txt");
    WriteFile(pkg, MakeCabBytes({{Name + ".theme", "[Theme]\r\nDisplayName=Evil\r\n"},
                                 {"..\\evil.txt", "x"}}));
    ApplyThemeRow(false, pkg, installed, Folders, *Sys);
    EXPECT_FALSE(fs::exists(dest));
    EXPECT_FALSE(fs::exists(Folders.UserThemesDir / "evil.txt"));
    EXPECT_EQ(Reg(ThemesKey, "DisplayName"), "Pack");
}

TEST_P(SystemInstall, ThemesThatReachOutAreRefusedBeforeAnythingIsUnpacked) {
    const fs::path themes = SystemThemesFolder(Folders);
    const std::string wallpaper = Reg(DesktopKey, "Wallpaper").value_or("");
    for (const std::string& theme :
         {ThemeText("\\\\attacker\\share", ""), ThemeText("..\\..\\..\\..\\outside", ""),
          std::string(
              "[Theme]\r\n[Control Panel\\Cursors]\r\nArrow=https://attacker.invalid/a\r\n")}) {
        SCOPED_TRACE(theme);
        Messages.Shown.clear();
        fs::path zip = Package("theme", "Bad.zip");
        MakeZip(zip, {{"Bad/", "", TZipItem::Folder}, {"Bad.theme", theme}});
        bool installed = false;
        ApplyThemeRow(true, zip, installed, Folders, *Sys);
        EXPECT_FALSE(installed);
        EXPECT_FALSE(fs::exists(themes / "Bad.theme"));
        EXPECT_FALSE(fs::exists(themes / "Bad"));
        ASSERT_EQ(Messages.Shown.size(), 1u);
        EXPECT_EQ(Messages.Shown[0].Text.rfind(MsgThemeReachesOut, 0), 0u)
            << Messages.Shown[0].Text;
    }
    EXPECT_EQ(Reg(DesktopKey, "Wallpaper").value_or(""), wallpaper);
}

TEST_P(SystemInstall, CursorSchemeWithOtherLetterCaseIsRegisteredAndRemoved) {
    fs::path pkg = Package("cursor", Name + ".zip");
    MakeZip(pkg, {{"Setup.INF", "[Strings]\r\npointer = \"Arrow.CUR\"\r\nhelp = \"Help.Cur\"\r\n"
                                "busy = \"Busy.ANI\"\r\nhand = \"Gone.cur\"\r\n"},
                  {"Arrow.CUR", MakeCurBytes()},
                  {"Help.Cur", MakeCurBytes()},
                  {"Busy.ANI", MakeAniBytes()}});
    SetReg(CursorsKey, "IBeam", "an old cursor");
    ASSERT_TRUE(InstallCursorScheme(pkg, Folders, *Sys));
    EXPECT_TRUE(Messages.Shown.empty());

    const fs::path folder = Folders.WinDir / "Cursors" / Name;
    EXPECT_TRUE(Names(Reg(CursorsKey, "Arrow"), folder / "Arrow.CUR"));
    EXPECT_TRUE(Names(Reg(CursorsKey, "Help"), folder / "Help.Cur"));
    EXPECT_TRUE(Names(Reg(CursorsKey, "Wait"), folder / "Busy.ANI"));
    EXPECT_EQ(Reg(CursorsKey, "IBeam"), "") << "a role the scheme leaves out is emptied";
    EXPECT_EQ(Reg(CursorsKey, ""), Name);
    // The scheme lists the fifteen roles in their order; the file it names
    // for a role is kept even when the package lacks it.
    const std::string scheme = Reg(CursorSchemesKey, Name).value_or("");
    std::vector<std::string> files;
    for (std::size_t from = 0, comma;; from = comma + 1) {
        comma = std::min(scheme.find(',', from), scheme.size());
        files.push_back(scheme.substr(from, comma - from));
        if (comma == scheme.size())
            break;
    }
    ASSERT_EQ(files.size(), CursorRoleCount) << scheme;
    EXPECT_TRUE(Names(files[0], folder / "Arrow.CUR"));
    EXPECT_TRUE(Names(files[1], folder / "Help.Cur"));
    EXPECT_TRUE(Names(files[3], folder / "Busy.ANI"));
    EXPECT_NE(LowerAscii(files[6]).find("gone.cur"), std::string::npos) << files[6];
    EXPECT_EQ(files[2], "");

    bool installed = true;
    RemoveCursorScheme(Name, installed, Folders, *Sys);
    EXPECT_FALSE(installed);
    EXPECT_FALSE(fs::exists(folder));
    EXPECT_FALSE(Reg(CursorSchemesKey, Name).has_value());
}

TEST_P(SystemInstall, ScreenSaverWithOtherLetterCaseIsSetByItsShortNameAndRemoved) {
    fs::path pkg = Package("screensave", Name + ".zip");
    const std::string file = "VT" + Name.substr(2) + ".Scr";
    MakeZip(pkg, {{file, "MZ"}});
    ASSERT_TRUE(InstallScreenSaver(pkg, Folders, *Sys));
    EXPECT_TRUE(Messages.Shown.empty());
    const auto value = Reg(DesktopKey, "SCRNSAVE.EXE");
    EXPECT_EQ(value, Sys->ShortPathName(Folders.SysDir / file).string());
    EXPECT_TRUE(
        Names(Sys->LongPathName(fs::path(value.value_or(""))).string(), Folders.SysDir / file));

    bool installed = true;
    RemoveScreenSaver(Name, installed, Folders, *Sys);
    EXPECT_FALSE(installed);
    EXPECT_FALSE(fs::exists(Folders.SysDir / file));
    EXPECT_EQ(Reg(DesktopKey, "SCRNSAVE.EXE"), "");

    // A package without its saver keeps the current one.
    SetReg(DesktopKey, "SCRNSAVE.EXE", "C:\\old.scr");
    MakeZip(pkg, {{"Other" + Name + ".scr", "MZ"}});
    Remove.push_back(Folders.SysDir / ("Other" + Name + ".scr"));
    EXPECT_FALSE(InstallScreenSaver(pkg, Folders, *Sys));
    EXPECT_EQ(Messages.Texts(), std::vector<std::string>{"没有找到屏保文件"});
    EXPECT_EQ(Reg(DesktopKey, "SCRNSAVE.EXE"), "C:\\old.scr");
}

TEST_P(SystemInstall, FolderIconIsSetHiddenAndMarkedThenRestored) {
    const fs::path exe = Tmp / "程序";
    const fs::path target = Tmp / "我的 文件夹";
    WriteFile(IconLibraryFile(exe, "动物", "Cat.ico"), "icon");
    fs::create_directories(target);
    ASSERT_EQ(SetFolderIcon(*Sys, target.string(), exe, "动物", "Cat.ico"),
              TFolderIconResult::Done);
    const fs::path ini = target / "desktop.ini";
    EXPECT_EQ(ReadFile(ini), DesktopIniBytes(IconLibraryFile(exe, "动物", "Cat.ico")));
    EXPECT_NE(ReadFile(ini).find("\xB6\xAF\xCE\xEF"), std::string::npos) << "动物 in code page 936";
    EXPECT_EQ(Sys->GetFileAttributes(ini) & (faHidden | faSysFile | faReadOnly), faHidden);
    EXPECT_EQ(Sys->GetFileAttributes(target) & (faSysFile | faDirectory), faSysFile | faDirectory);

    // A read-only desktop.ini of the user's is an error, and stays as it is.
    ASSERT_EQ(RestoreFolderIcon(*Sys, target.string()), TFolderIconResult::Done);
    EXPECT_FALSE(fs::exists(ini));
    EXPECT_TRUE(Sys->GetFileAttributes(target) & faSysFile) << "still a system folder";
    WriteFile(ini, "theirs");
    ASSERT_TRUE(Sys->SetFileAttributes(ini, faReadOnly));
    EXPECT_THROW(SetFolderIcon(*Sys, target.string(), exe, "动物", "Cat.ico"), std::runtime_error);
    EXPECT_EQ(ReadFile(ini), "theirs");
    Sys->SetFileAttributes(ini, 0);
    EXPECT_EQ(Messages.Texts(), (std::vector<std::string>{MsgSetIconDone, MsgRestoreIconDone}));
}

// Names the uninstall command is given become folder and file names below
// the system's folders: on Windows a backslash, a drive or a server name
// would reach elsewhere (here: the kept scheme folder and saver).
TEST_P(SystemInstall, UninstallNamesThatReachOutsideTheirFolderRemoveNothing) {
    const fs::path themes = SystemThemesFolder(Folders);
    const std::vector<fs::path> kept = {themes / (Name + ".keep"), Folders.SysDir / (Name + ".scr"),
                                        Folders.WinDir / "Cursors" / Name / "keep.cur"};
    for (const fs::path& file : kept)
        WriteFile(file, "x");
    Remove.push_back(kept[0]);
    const std::string sys = Folders.SysDir.filename().string();
    const std::vector<std::string> names = {"",
                                            "..",
                                            ". .",
                                            "..\\System32",
                                            "a\\..\\..",
                                            "C:",
                                            "C:\\Windows",
                                            "..\\Cursors\\" + Name,
                                            "../Cursors/" + Name,
                                            "..\\" + sys + "\\" + Name,
                                            "\\\\127.0.0.1\\c$",
                                            "/"};
    for (int tag : {0, 2, 3})
        for (const std::string& name : names) {
            SCOPED_TRACE(name);
            bool installed = true;
            UninstallItem(tag, name, true, installed, Folders, *Sys);
            UninstallItem(tag, name, false, installed, Folders, *Sys);
        }
    for (const fs::path& file : kept)
        EXPECT_TRUE(fs::exists(file)) << file;
    EXPECT_TRUE(fs::is_directory(Folders.SysDir));
    EXPECT_TRUE(fs::is_directory(Folders.WinDir / "Cursors"));
}

INSTANTIATE_TEST_SUITE_P(Backends, SystemInstall, ::testing::ValuesIn(ConformanceBackends()),
                         [](const auto& info) { return info.param.Name; });

} // namespace
} // namespace velmora::test
