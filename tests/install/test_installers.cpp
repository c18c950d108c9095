// The three installers end to end against the simulated Windows: files,
// registry values and journal lines; and the uninstall command's frame.
#include "install/CodePage.h"
#include "install/PackageCheck.h"
#include "install/uCursorInstaller.h"
#include "install/uInstallers.h"
#include "install/uScreenSaverInstaller.h"
#include "install/uThemeInstaller.h"
#include "install/uZip.h"
#include "platform/SimulatedSystem.h"
#include "platform/util/Ascii.h"
#include "tests/install/ZipFixture.h"
#include "tests/support/PictureFiles.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <system_error>

namespace velmora::test {
namespace {
namespace fs = std::filesystem;

// A simulated Windows of its own, with the main window's folder fields.
class TInstallTest : public ::testing::Test {
protected:
    test::TTempDir Tmp;
    std::unique_ptr<TSimulatedSystem> Sys = CreateSimulatedSystem(Tmp / "root");
    TFolderFields Folders = MakeFolderFields(*Sys, Tmp / "exe");
    test::TRecordingMessages Messages;

    // Every Windows has the desktop key; a fresh simulated registry starts empty.
    void SetUp() override { Sys->OpenCurrentUserKey("Control Panel\\Desktop", true); }

    fs::path Package(const std::string& category, const std::string& file) {
        fs::path p = Folders.ExePath / "cache" / category / file;
        fs::create_directories(p.parent_path());
        return p;
    }
    std::optional<std::string> Reg(const std::string& key, const std::string& name) {
        auto k = Sys->OpenCurrentUserKey(key, false);
        return k ? k->ReadString(name) : std::nullopt;
    }
    void SetReg(const std::string& key, const std::string& name, const std::string& value) {
        Sys->OpenCurrentUserKey(key, true)->WriteString(name, value);
    }
    std::string RegistryText() {
        std::error_code ec;
        return fs::exists(Sys->RegistryFile(), ec) ? ReadFile(Sys->RegistryFile()) : std::string();
    }
    std::vector<std::string> JournalWith(const std::string& prefix) {
        std::vector<std::string> out;
        for (const auto& line : Sys->Journal())
            if (line.rfind(prefix, 0) == 0)
                out.push_back(line);
        return out;
    }
};

// --- Themes ---------------------------------------------------------------

using ThemeInstaller = TInstallTest;

TEST_F(ThemeInstaller, ZipPackageIsUnpackedAndItsRootThemeOpened) {
    fs::path pkg = Package("theme", "Autumn.zip");
    MakeZip(pkg, {{"Autumn/", "", TZipItem::Folder},
                  {"Autumn/wall 1.jpg", "jpg"},
                  {"Autumn.theme", "[Theme]\r\n"}});
    bool installed = false;
    ApplyThemeRow(true, pkg, installed, Folders, *Sys);
    const fs::path themes = Folders.WinDir / "Resources" / "Themes";
    EXPECT_TRUE(installed);
    EXPECT_EQ(ReadFile(themes / "Autumn/wall 1.jpg"), "jpg");
    EXPECT_EQ(JournalWith("ShellOpen"),
              std::vector<std::string>{"ShellOpen " + (themes / "Autumn.theme").string()});
    EXPECT_EQ(JournalWith("ThemeApplied").size(), 1u);
    EXPECT_TRUE(Messages.Shown.empty());
    EXPECT_TRUE(fs::exists(pkg)); // the cached package stays

    // Applying again overwrites nothing and opens the theme once more.
    WriteFile(themes / "Autumn/wall 1.jpg", "changed by the user");
    installed = false;
    ApplyThemeRow(true, pkg, installed, Folders, *Sys);
    EXPECT_TRUE(installed);
    EXPECT_EQ(ReadFile(themes / "Autumn/wall 1.jpg"), "changed by the user");
    EXPECT_EQ(JournalWith("ShellOpen").size(), 2u);

    RemoveTheme("Autumn", true, installed, Folders, *Sys);
    EXPECT_FALSE(installed);
    EXPECT_TRUE(TreeOf(themes).empty());
    EXPECT_TRUE(fs::exists(pkg));
}

TEST_F(ThemeInstaller, RemovalLeavesReadOnlyFilesSilently) {
    fs::path pkg = Package("theme", "Locked.zip");
    MakeZip(pkg, {{"Locked.theme", "x"}, {"Locked/a.jpg", "a"}, {"Locked/b.jpg", "b"}});
    bool installed = false;
    ApplyThemeRow(true, pkg, installed, Folders, *Sys);
    const fs::path themes = Folders.WinDir / "Resources" / "Themes";
    fs::permissions(themes / "Locked/a.jpg", fs::perms::owner_read | fs::perms::group_read);
    fs::permissions(themes / "Locked.theme", fs::perms::owner_read);
    RemoveTheme("Locked", true, installed, Folders, *Sys);
    EXPECT_FALSE(installed);
    EXPECT_EQ(TreeOf(themes), (std::vector<std::string>{"Locked", "Locked.theme", "Locked/a.jpg"}));
    EXPECT_TRUE(Messages.Shown.empty());
}

TEST_F(ThemeInstaller, TheFirstRootThemeFileInArchiveOrderIsOpened) {
    struct {
        const char* Label;
        std::vector<TZipItem> Items;
        std::string Opened; // empty: none, "应用主题失败"
    } cases[] = {
        {"theme pack before theme",
         {{"sub/a.theme", "x"},
          {"B.themepack", test::MakeCabBytes({{"B.theme", "[Theme]\r\n"}})},
          {"A.theme", "x"}},
         "B.themepack"},
        {"extension in capitals", {{"readme.txt", "x"}, {"Blue.THEME", "x"}}, "Blue.THEME"},
        {"only in a folder", {{"Blue/", "", TZipItem::Folder}, {"Blue/Blue.theme", "x"}}, ""},
        {"no theme at all", {{"a.txt", "x"}}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Label);
        fs::remove_all(Folders.WinDir / "Resources" / "Themes");
        Messages.Shown.clear();
        fs::path pkg = Package("theme", "t.zip");
        MakeZip(pkg, c.Items);
        EXPECT_EQ(FindRootThemeFile(TZipFile(pkg).Entries()), c.Opened);
        bool installed = false;
        ApplyThemeRow(true, pkg, installed, Folders, *Sys);
        EXPECT_EQ(installed, !c.Opened.empty());
        EXPECT_EQ(Messages.Texts(), c.Opened.empty() ? std::vector<std::string>{"应用主题失败"}
                                                     : std::vector<std::string>{});
        // Every entry is extracted in any case.
        for (const auto& item : c.Items)
            EXPECT_TRUE(fs::exists(Folders.WinDir / "Resources" / "Themes" / item.Name))
                << item.Name;
    }
}

TEST_F(ThemeInstaller, ThemePackIsOpenedWithTheShellAndRemovedFromTheUserFolder) {
    if (std::system("command -v gcab >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "gcab is not installed";
    fs::path src = Tmp / "src";
    WriteFile(src / "Sea.theme", "[Theme]\r\nDisplayName=Sea\r\n");
    fs::path pkg = Package("theme", "Sea.themepack");
    std::string cmd = "cd '" + src.string() + "' && gcab -c '" + pkg.string() + "' Sea.theme";
    ASSERT_EQ(std::system(cmd.c_str()), 0);

    bool installed = false;
    ApplyThemeRow(false, pkg, installed, Folders, *Sys);
    EXPECT_TRUE(installed);
    EXPECT_EQ(JournalWith("ShellOpen"), std::vector<std::string>{"ShellOpen " + pkg.string()});
    EXPECT_TRUE(fs::is_regular_file(Folders.UserThemesDir / "Sea" / "Sea.theme"));

    WriteFile(Folders.UserThemesDir / "Other" / "Other.theme", "x");
    RemoveTheme("Sea", false, installed, Folders, *Sys);
    EXPECT_FALSE(installed);
    EXPECT_FALSE(fs::exists(Folders.UserThemesDir / "Sea"));
    EXPECT_TRUE(fs::exists(Folders.UserThemesDir / "Other" / "Other.theme"));
    EXPECT_TRUE(fs::exists(pkg));

    // Applied again at once from the cache.
    ApplyThemeRow(false, pkg, installed, Folders, *Sys);
    EXPECT_TRUE(installed);
}

TEST_F(ThemeInstaller, VanishedThemePackOrBrokenZipPackageChangesNothing) {
    bool installed = false;
    ApplyThemeRow(false, Package("theme", "Gone.themepack"), installed, Folders, *Sys);
    EXPECT_FALSE(installed);
    EXPECT_EQ(Messages.Texts(), std::vector<std::string>{"应用主题失败"});

    fs::path pkg = Package("theme", "Bad.zip");
    WriteFile(pkg, "<html>404</html>");
    EXPECT_THROW(ApplyThemeRow(true, pkg, installed, Folders, *Sys), EZipError);
    EXPECT_FALSE(installed);
    EXPECT_TRUE(JournalWith("ShellOpen").empty());
}

TEST_F(ThemeInstaller, UnsafePackageWritesNothingAnywhere) {
    fs::path pkg = Package("theme", "Evil.zip");
    MakeZip(pkg, {{"Evil.theme", "x"}, {"..\\..\\System32\\evil.dll", "x"}});
    bool installed = false;
    EXPECT_THROW(ApplyThemeRow(true, pkg, installed, Folders, *Sys), EZipError);
    EXPECT_FALSE(installed);
    EXPECT_FALSE(fs::exists(Folders.WinDir / "Resources" / "Themes" / "Evil.theme"));
    EXPECT_FALSE(fs::exists(Folders.SysDir / "evil.dll"));
    EXPECT_TRUE(JournalWith("ShellOpen").empty());
}

// --- Cursor schemes -------------------------------------------------------

using CursorInstaller = TInstallTest;

std::string Joined(const std::vector<std::string>& parts) {
    std::string s;
    for (std::size_t i = 0; i < parts.size(); ++i)
        s += (i ? "," : "") + parts[i];
    return s;
}

TEST_F(CursorInstaller, AllFifteenRolesAreRegisteredAndSwitchedOn) {
    std::string inf = "[Version]\r\nsignature=\"$CHICAGO$\"\r\n[Strings]\r\n";
    std::vector<TZipItem> items;
    for (const auto& role : CursorRoles) {
        const std::string file = LowerAscii(std::string(role.ValueName) + ".cur");
        inf += std::string(role.Key) + " = \"" + file + "\"\r\n";
        items.push_back({file, MakeCurBytes()});
    }
    items.push_back({"setup.inf", inf});
    fs::path pkg = Package("cursor", "Neon Blue.zip");
    MakeZip(pkg, items);

    EXPECT_TRUE(InstallCursorScheme(pkg, Folders, *Sys));
    const std::string folder = (Folders.WinDir / "Cursors" / "Neon Blue").string() + "/";
    std::vector<std::string> paths, cursors;
    for (const auto& role : CursorRoles) {
        const std::string file = LowerAscii(std::string(role.ValueName) + ".cur");
        paths.push_back(folder + file);
        EXPECT_EQ(Reg(CursorsKey, role.ValueName), folder + file);
        cursors.push_back("SetSystemCursor id=" + std::to_string(role.CursorId) +
                          " file=" + folder + file);
    }
    // The "NWPen" role's id is no documented system cursor: the system may
    // refuse it (its value is written all the same).
    auto journal = JournalWith("SetSystemCursor");
    if (journal.size() == CursorRoleCount - 1)
        cursors.erase(cursors.begin() + 13);
    EXPECT_EQ(Reg(CursorsKey, ""), "Neon Blue");
    EXPECT_EQ(Reg(CursorSchemesKey, "Neon Blue"), Joined(paths));
    EXPECT_EQ(journal, cursors);
    EXPECT_EQ(
        JournalWith("SystemParametersInfo"),
        std::vector<std::string>{"SystemParametersInfo action=87 uiParam=0 winIni=0 pvParam=null"});
    EXPECT_TRUE(Messages.Shown.empty());
}

TEST_F(CursorInstaller, MissingRolesAreWrittenEmptyAndBadCursorsChangeNothing) {
    fs::path pkg = Package("cursor", "Two.zip");
    MakeZip(pkg, {{"setup.inf", "[Strings]\r\npointer=\"arrow.cur\"\r\nhelp=\"Help.cur\"\r\n"},
                  {"arrow.cur", MakeCurBytes()},
                  {"help.cur", "not a cursor"}});
    SetReg(CursorsKey, "Wait", "old wait");
    EXPECT_TRUE(InstallCursorScheme(pkg, Folders, *Sys));
    const std::string folder = (Folders.WinDir / "Cursors" / "Two").string() + "/";
    EXPECT_EQ(Reg(CursorSchemesKey, "Two"),
              folder + "arrow.cur," + folder + "help.cur" + std::string(13, ','));
    EXPECT_EQ(Reg(CursorsKey, "Arrow"), folder + "arrow.cur");
    EXPECT_EQ(Reg(CursorsKey, "Help"), folder + "help.cur");
    EXPECT_EQ(Reg(CursorsKey, "Wait"), "");
    EXPECT_EQ(Reg(CursorsKey, "UpArrow"), "");
    EXPECT_EQ(JournalWith("SetSystemCursor"),
              std::vector<std::string>{"SetSystemCursor id=32512 file=" + folder + "arrow.cur"});
}

TEST_F(CursorInstaller, NoStringsSectionWritesAnEmptySchemeAndSucceeds) {
    fs::path pkg = Package("cursor", "Empty.zip");
    MakeZip(pkg, {{"setup.inf", "[strings]   \r\npointer=\"arrow.cur\"\r\n"},
                  {"arrow.cur", MakeCurBytes()}});
    EXPECT_TRUE(InstallCursorScheme(pkg, Folders, *Sys));
    EXPECT_EQ(Reg(CursorSchemesKey, "Empty"), std::string(14, ','));
    EXPECT_EQ(Reg(CursorsKey, ""), "Empty");
    EXPECT_EQ(Reg(CursorsKey, "Arrow"), "");
    EXPECT_TRUE(JournalWith("SetSystemCursor").empty());
    EXPECT_EQ(JournalWith("SystemParametersInfo").size(), 1u);
}

TEST_F(CursorInstaller, FileNamesWithCapitalsAreRegisteredLowered) {
    fs::path pkg = Package("cursor", "MyScheme.zip");
    MakeZip(pkg, {{"setup.inf", "[Strings]\r\nPointer=\"Big Arrow.CUR\"\r\n"},
                  {"Big Arrow.CUR", MakeCurBytes()}});
    EXPECT_TRUE(InstallCursorScheme(pkg, Folders, *Sys));
    EXPECT_EQ(Reg(CursorsKey, "Arrow"),
              (Folders.WinDir / "Cursors" / "MyScheme").string() + "/big arrow.cur");
}

TEST_F(CursorInstaller, NoSetupInfFailsNamingTheFileAndKeepsTheFiles) {
    const std::string registry = RegistryText();
    fs::path pkg = Package("cursor", "NoInf.zip");
    MakeZip(pkg, {{"arrow.cur", MakeCurBytes()}, {"sub/SETUP.INF", "[Strings]\r\n"}});
    try {
        InstallCursorScheme(pkg, Folders, *Sys);
        FAIL() << "installed";
    } catch (const std::system_error& e) {
        EXPECT_NE(std::string(e.what()).find("setup.inf"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("No such file"), std::string::npos) << e.what();
    }
    EXPECT_TRUE(fs::exists(Folders.WinDir / "Cursors" / "NoInf" / "arrow.cur"));
    EXPECT_EQ(RegistryText(), registry);
    EXPECT_TRUE(Sys->Journal().empty());
}

TEST_F(CursorInstaller, DeniedCursorKeyReturnsFalseAndChangesNothing) {
    fs::path pkg = Package("cursor", "Denied.zip");
    MakeZip(pkg, {{"setup.inf", "[Strings]\r\npointer=\"arrow.cur\"\r\n"},
                  {"arrow.cur", MakeCurBytes()}});
    Sys->SetKeyDenied(CursorsKey, true);
    const std::string registry = RegistryText();
    EXPECT_FALSE(InstallCursorScheme(pkg, Folders, *Sys));
    EXPECT_EQ(RegistryText(), registry);
    EXPECT_TRUE(Sys->Journal().empty());
    EXPECT_TRUE(Messages.Shown.empty());
}

TEST_F(CursorInstaller, ReinstallReplacesFilesAndBrokenPackagesWriteNothing) {
    fs::path pkg = Package("cursor", "Re.zip");
    MakeZip(pkg, {{"setup.inf", "[Strings]\r\npointer=\"arrow.cur\"\r\n"},
                  {"arrow.cur", MakeCurBytes()}});
    fs::path arrow = Folders.WinDir / "Cursors" / "Re" / "arrow.cur";
    WriteFile(arrow, "stale");
    EXPECT_TRUE(InstallCursorScheme(pkg, Folders, *Sys));
    EXPECT_EQ(ReadFile(arrow), MakeCurBytes());

    fs::path bad = Package("cursor", "Bad.zip");
    WriteFile(bad, "PK but not really a package");
    EXPECT_THROW(InstallCursorScheme(bad, Folders, *Sys), EZipError);
    EXPECT_FALSE(Reg(CursorSchemesKey, "Bad").has_value());
    EXPECT_FALSE(fs::exists(Folders.WinDir / "Cursors" / "Bad"));
}

TEST_F(CursorInstaller, NamesThatAreNoFolderAreRefused) {
    // "...zip" would make the scheme folder the Windows folder itself.
    for (const char* file : {"...zip", "..zip", ".zip"}) {
        SCOPED_TRACE(file);
        fs::path pkg = Package("cursor", file);
        MakeZip(pkg, {{"setup.inf", "[Strings]\r\n"}});
        EXPECT_THROW(InstallCursorScheme(pkg, Folders, *Sys), EInstallError);
        EXPECT_FALSE(fs::exists(Folders.WinDir / "setup.inf"));
        EXPECT_FALSE(fs::exists(Folders.WinDir / "Cursors" / "setup.inf"));
    }
}

TEST_F(CursorInstaller, RemovalDeletesFolderAndSchemeButLeavesCursorValues) {
    fs::path pkg = Package("cursor", "Gone.zip");
    MakeZip(pkg, {{"setup.inf", "[Strings]\r\npointer=\"arrow.cur\"\r\n"},
                  {"arrow.cur", MakeCurBytes()},
                  {"extra/readme.txt", "x"}});
    ASSERT_TRUE(InstallCursorScheme(pkg, Folders, *Sys));
    SetReg(CursorSchemesKey, "Other", "keep");
    const auto before = Reg(CursorsKey, "Arrow");

    bool installed = true;
    RemoveCursorScheme("Gone", installed, Folders, *Sys);
    EXPECT_FALSE(installed);
    EXPECT_FALSE(fs::exists(Folders.WinDir / "Cursors" / "Gone"));
    EXPECT_FALSE(Reg(CursorSchemesKey, "Gone").has_value());
    EXPECT_EQ(Reg(CursorSchemesKey, "Other"), "keep");
    EXPECT_EQ(Reg(CursorsKey, "Arrow"), before);
    EXPECT_EQ(Reg(CursorsKey, ""), "Gone");
    EXPECT_TRUE(fs::exists(pkg));

    // Removing again: the missing value is ignored.
    installed = true;
    RemoveCursorScheme("Gone", installed, Folders, *Sys);
    EXPECT_FALSE(installed);
}

// --- Screen savers --------------------------------------------------------

using ScreenSaverInstaller = TInstallTest;

TEST_F(ScreenSaverInstaller, InstallRegistersTheShortPathAndStartsIt) {
    SetReg("Control Panel\\Desktop", "SCRNSAVE.EXE", "");
    fs::path pkg = Package("screensave", "Starry Night Sky.zip");
    MakeZip(pkg, {{"Starry Night Sky.scr", "MZ scr"}, {"starry/data.bin", "d"}});
    EXPECT_TRUE(InstallScreenSaver(pkg, Folders, *Sys));
    const fs::path scr = Folders.SysDir / "Starry Night Sky.scr";
    EXPECT_EQ(ReadFile(scr), "MZ scr");
    EXPECT_TRUE(fs::exists(Folders.SysDir / "starry" / "data.bin"));
    const std::string shortPath = Sys->ShortPathName(scr).string();
    EXPECT_NE(shortPath, scr.string());
    EXPECT_EQ(Reg("Control Panel\\Desktop", "SCRNSAVE.EXE"), shortPath);
    EXPECT_EQ(Reg("Control Panel\\Desktop", "ScreenSaverIsSecure"), "1");
    EXPECT_EQ(JournalWith("ScreenSaverStarted"),
              std::vector<std::string>{"ScreenSaverStarted file=" + shortPath});
    EXPECT_TRUE(Messages.Shown.empty());
}

TEST_F(ScreenSaverInstaller, PackageWithoutItsScrShowsTheMessageAndKeepsTheCurrentOne) {
    SetReg("Control Panel\\Desktop", "SCRNSAVE.EXE", "C:\\old.scr");
    fs::path pkg = Package("screensave", "Waves.zip");
    MakeZip(pkg, {{"Other.scr", "x"}, {"sub/Waves.scr", "x"}});
    EXPECT_FALSE(InstallScreenSaver(pkg, Folders, *Sys));
    EXPECT_EQ(Messages.Texts(), std::vector<std::string>{"没有找到屏保文件"});
    EXPECT_EQ(Reg("Control Panel\\Desktop", "SCRNSAVE.EXE"), "C:\\old.scr");
    EXPECT_TRUE(fs::exists(Folders.SysDir / "Other.scr")); // extracted files stay
    EXPECT_TRUE(JournalWith("ScreenSaverStarted").empty());
}

TEST_F(ScreenSaverInstaller, CancelTwiceSaysSoBothTimes) {
    SetReg("Control Panel\\Desktop", "SCRNSAVE.EXE", "C:\\old.scr");
    SetReg("Control Panel\\Desktop", "ScreenSaverIsSecure", "1");
    CancelScreenSaver(*Sys);
    CancelScreenSaver(*Sys);
    EXPECT_EQ(Messages.Texts(), (std::vector<std::string>{"取消屏保成功", "取消屏保成功"}));
    EXPECT_EQ(Reg("Control Panel\\Desktop", "SCRNSAVE.EXE"), "");
    EXPECT_EQ(Reg("Control Panel\\Desktop", "ScreenSaverIsSecure"), "1");
    EXPECT_TRUE(JournalWith("ScreenSaverStarted").empty());

    Messages.Shown.clear();
    Sys->SetKeyDenied("Control Panel\\Desktop", true);
    CancelScreenSaver(*Sys);
    EXPECT_TRUE(Messages.Shown.empty());
}

TEST_F(ScreenSaverInstaller, RemovalClearsTheCurrentSaverEvenWhenItIsAnother) {
    fs::path pkg = Package("screensave", "Rain.zip");
    MakeZip(pkg, {{"Rain.scr", "x"}, {"rain.dat", "d"}});
    ASSERT_TRUE(InstallScreenSaver(pkg, Folders, *Sys));
    SetReg("Control Panel\\Desktop", "SCRNSAVE.EXE", "C:\\other.scr");

    bool installed = true;
    RemoveScreenSaver("Rain", installed, Folders, *Sys);
    EXPECT_FALSE(installed);
    EXPECT_FALSE(fs::exists(Folders.SysDir / "Rain.scr"));
    EXPECT_TRUE(fs::exists(Folders.SysDir / "rain.dat"));
    EXPECT_EQ(Reg("Control Panel\\Desktop", "SCRNSAVE.EXE"), "");
    EXPECT_TRUE(Messages.Shown.empty());
}

TEST_F(ScreenSaverInstaller, RemovalWithTheDesktopKeyDeniedChangesNothing) {
    fs::path pkg = Package("screensave", "Rain.zip");
    MakeZip(pkg, {{"Rain.scr", "x"}});
    ASSERT_TRUE(InstallScreenSaver(pkg, Folders, *Sys));
    Sys->SetKeyDenied("Control Panel\\Desktop", true);
    bool installed = true;
    RemoveScreenSaver("Rain", installed, Folders, *Sys);
    EXPECT_TRUE(installed);
    EXPECT_TRUE(fs::exists(Folders.SysDir / "Rain.scr"));

    // Installing with the key denied extracts but reports false, silently.
    EXPECT_FALSE(InstallScreenSaver(pkg, Folders, *Sys));
    EXPECT_TRUE(Messages.Shown.empty());
}

// --- A folder the system could not report ---------------------------------

// Names joined onto an empty folder would land in the working folder: every
// installer and every removal refuses with a message and touches nothing.
using SystemFolders = TInstallTest;

TEST_F(SystemFolders, UnresolvedOnesWriteAndDeleteNothingInTheWorkingFolder) {
    const fs::path work = Tmp / "work";
    for (const char* rel : {"Blue/a.txt", "Resources/Themes/Autumn/a.txt", "Cursors/Neon/a.txt",
                            "Saver.scr", "Autumn.theme"})
        WriteFile(work / rel, "mine");
    const auto before = TreeOf(work);
    fs::path pack = Package("theme", "Blue.themepack");
    WriteFile(pack, "MSCF");
    fs::path zip = Package("theme", "Autumn.zip");
    MakeZip(zip, {{"Autumn/b.txt", "x"}, {"Autumn.theme", "[Theme]\r\n"}});
    fs::path cursors = Package("cursor", "Neon.zip");
    MakeZip(cursors, {{"setup.inf", "[Strings]\r\npointer=\"a.cur\"\r\n"}});
    fs::path saver = Package("screensave", "Saver.zip");
    MakeZip(saver, {{"Saver.scr", "MZ"}});

    const fs::path old = fs::current_path();
    fs::current_path(work);
    TFolderFields none;
    none.ExePath = Folders.ExePath;
    bool installed = true;
    ApplyThemeRow(false, pack, installed, none, *Sys);
    ApplyThemeRow(true, zip, installed, none, *Sys);
    RemoveTheme("Blue", false, installed, none, *Sys);
    RemoveTheme("Autumn", true, installed, none, *Sys);
    const bool cursorInstalled = InstallCursorScheme(cursors, none, *Sys);
    RemoveCursorScheme("Neon", installed, none, *Sys);
    const bool saverInstalled = InstallScreenSaver(saver, none, *Sys);
    RemoveScreenSaver("Saver", installed, none, *Sys);
    fs::current_path(old);

    EXPECT_EQ(TreeOf(work), before);
    EXPECT_TRUE(installed);
    EXPECT_FALSE(cursorInstalled);
    EXPECT_FALSE(saverInstalled);
    EXPECT_TRUE(JournalWith("ShellOpen").empty());
    EXPECT_EQ(Messages.Texts(), std::vector<std::string>(8, MsgNoSystemFolder));
}

// --- The uninstall command ------------------------------------------------

using UninstallFrame = TInstallTest;

TEST_F(UninstallFrame, PagesChooseTheirListAndOtherPagesDoNothing) {
    EXPECT_EQ(UninstallTagForPage(0), 0);
    EXPECT_EQ(UninstallTagForPage(1), -1);
    EXPECT_EQ(UninstallTagForPage(2), 2);
    EXPECT_EQ(UninstallTagForPage(3), 3);
    EXPECT_EQ(UninstallTagForPage(4), -1);
    EXPECT_EQ(UninstallTagForPage(-1), -1);

    fs::path pkg = Package("theme", "Kept.zip");
    MakeZip(pkg, {{"Kept.theme", "x"}, {"Kept/a.jpg", "x"}});
    bool installed = false;
    ApplyThemeRow(true, pkg, installed, Folders, *Sys);
    ASSERT_TRUE(installed);
    for (int page : {1, 4}) {
        UninstallItem(UninstallTagForPage(page), "Kept", true, installed, Folders, *Sys);
        EXPECT_TRUE(installed);
        EXPECT_TRUE(fs::exists(Folders.WinDir / "Resources" / "Themes" / "Kept.theme"));
    }
    UninstallItem(UninstallTagForPage(0), "Kept", true, installed, Folders, *Sys);
    EXPECT_FALSE(installed);
    EXPECT_FALSE(fs::exists(Folders.WinDir / "Resources" / "Themes" / "Kept.theme"));
    EXPECT_FALSE(fs::exists(Folders.WinDir / "Resources" / "Themes" / "Kept"));
    EXPECT_TRUE(Messages.Shown.empty());
}

TEST_F(UninstallFrame, NamesThatReachOutsideTheirFolderRemoveNothing) {
    WriteFile(Folders.WinDir / "Resources" / "Themes" / "keep.txt", "x");
    WriteFile(Folders.SysDir / "keep.scr", "x");
    for (int tag : {0, 2, 3})
        for (const char* name : {"", "..", ". .", "../System32", "a/../..", "C:\\Windows"}) {
            bool installed = true;
            UninstallItem(tag, name, true, installed, Folders, *Sys);
            UninstallItem(tag, name, false, installed, Folders, *Sys);
        }
    EXPECT_TRUE(fs::exists(Folders.WinDir / "Resources" / "Themes" / "keep.txt"));
    EXPECT_TRUE(fs::exists(Folders.SysDir / "keep.scr"));
    EXPECT_TRUE(fs::exists(Folders.WinDir / "Cursors"));
}

// --- Names as Windows treats them, and what themes name -------------------

using MixedCase = TInstallTest;

TEST_F(MixedCase, CursorPackageWithCapitalisedNamesSwitchesAllItsCursors) {
    fs::path pkg = Package("cursor", "Real.zip");
    MakeZip(pkg, {{"Setup.INF", "[Strings]\r\npointer = \"Arrow.CUR\"\r\nhelp = \"Help.Cur\"\r\n"
                                "busy = \"Busy.ANI\"\r\n"},
                  {"Arrow.CUR", MakeCurBytes()},
                  {"Help.Cur", MakeCurBytes()},
                  {"Busy.ANI", test::MakeAniBytes()}});
    EXPECT_TRUE(InstallCursorScheme(pkg, Folders, *Sys));
    const std::string folder = (Folders.WinDir / "Cursors" / "Real").string() + "/";
    // The registry holds the names as the installer writes them (lowered);
    // the cursors load from the files as they are on disk.
    EXPECT_EQ(Reg(CursorsKey, "Arrow"), folder + "arrow.cur");
    EXPECT_EQ(JournalWith("SetSystemCursor"),
              (std::vector<std::string>{
                  "SetSystemCursor id=32512 file=" + folder + "Arrow.CUR",
                  "SetSystemCursor id=32651 file=" + folder + "Help.Cur",
                  "SetSystemCursor id=32514 file=" + folder + "Busy.ANI",
              }));
}

// The package check says what installing does: root names in other case,
// written "./" or ".\\" as some archivers store them, found by both or neither.
TEST_F(MixedCase, TheCheckFindsTheRootFileTheInstallerFinds) {
    const std::string inf = "[Strings]\r\npointer = \"A.cur\"\r\n";
    struct Case {
        TPackageKind kind;
        const char* file;
        std::vector<TZipItem> items;
    } cases[] = {
        {TPackageKind::Cursor, "Caps.zip", {{"Setup.INF", inf}, {"A.cur", MakeCurBytes()}}},
        {TPackageKind::Cursor, "Dot.zip", {{"./Setup.inf", inf}, {"A.cur", MakeCurBytes()}}},
        {TPackageKind::Cursor, "Back.zip", {{".\\SETUP.INF", inf}, {"A.cur", MakeCurBytes()}}},
        {TPackageKind::Cursor, "Deep.zip", {{"x/setup.inf", inf}}},
        {TPackageKind::ScreenSave, "Rain.zip", {{"./RAIN.Scr", "MZ"}}},
        {TPackageKind::ScreenSave, "Snow.zip", {{"sub/Snow.scr", "MZ"}}},
        {TPackageKind::Theme, "Dawn.zip", {{".//Dawn.Theme", "[Theme]"}}},
        {TPackageKind::Theme, "Dusk.zip", {{"Dusk/Dusk.theme", "[Theme]"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const char* category = c.kind == TPackageKind::Cursor       ? "cursor"
                               : c.kind == TPackageKind::ScreenSave ? "screensave"
                                                                    : "theme";
        const fs::path pkg = Package(category, c.file);
        MakeZip(pkg, c.items);
        const TPackageReport report = InspectPackage(pkg, c.kind);
        const bool taken = PackageRefusal(report, c.kind).empty();
        bool installed = false;
        try {
            switch (c.kind) {
            case TPackageKind::Cursor:
                installed = InstallCursorScheme(pkg, Folders, *Sys);
                EXPECT_EQ(Reg(CursorsKey, "Arrow").value_or("").empty(), report.Roles[0].empty());
                break;
            case TPackageKind::ScreenSave:
                installed = InstallScreenSaver(pkg, Folders, *Sys);
                break;
            case TPackageKind::Theme: {
                const std::size_t opened = JournalWith("ShellOpen").size();
                installed = InstallThemePackage(pkg, Folders, *Sys, 0);
                EXPECT_EQ(JournalWith("ShellOpen").size() - opened, installed ? 1u : 0u);
                break;
            }
            }
        } catch (const std::exception& e) {
            EXPECT_FALSE(taken) << e.what();
        }
        EXPECT_EQ(installed, taken) << PackageRefusal(report, c.kind);
    }
}

// As on Windows: a name that exists in another case is replaced and keeps
// its name; names of one archive that differ only in case are one file.
TEST_F(MixedCase, ReinstallingOverNamesInAnotherCaseReplacesThoseFiles) {
    const fs::path pkg = Package("cursor", "Real.zip");
    const std::string inf = "[Strings]\r\npointer = \"arrow.cur\"\r\n";
    MakeZip(pkg, {{"setup.inf", inf}, {"Arrow.cur", "old"}, {"Sub/Note.txt", "1"}});
    ASSERT_TRUE(InstallCursorScheme(pkg, Folders, *Sys));
    MakeZip(pkg, {{"SETUP.INF", inf},
                  {"ARROW.CUR", MakeCurBytes()},
                  {"sub/NOTE.TXT", "2"},
                  {"SUB/note.txt", "3"},
                  {"New/a.txt", "a"},
                  {"NEW/A.TXT", "A"}});
    ASSERT_TRUE(InstallCursorScheme(pkg, Folders, *Sys));
    const fs::path folder = Folders.WinDir / "Cursors" / "Real";
    EXPECT_EQ(TreeOf(folder), (std::vector<std::string>{"Arrow.cur", "New", "New/a.txt", "Sub",
                                                        "Sub/Note.txt", "setup.inf"}));
    EXPECT_EQ(ReadFile(folder / "Arrow.cur"), MakeCurBytes());
    EXPECT_EQ(ReadFile(folder / "Sub" / "Note.txt"), "3");
    EXPECT_EQ(ReadFile(folder / "New" / "a.txt"), "A");
    EXPECT_EQ(JournalWith("SetSystemCursor").back(),
              "SetSystemCursor id=32512 file=" + (folder / "Arrow.cur").string());

    // Themes keep what is there: the archive's copy in another case is skipped.
    const fs::path themes = Folders.WinDir / "Resources" / "Themes";
    WriteFile(themes / "Hill" / "Wall.jpg", "mine");
    const fs::path theme = Package("theme", "Hill.zip");
    MakeZip(theme, {{"HILL/WALL.JPG", "theirs"}, {"Hill.theme", "[Theme]"}});
    EXPECT_TRUE(InstallThemePackage(theme, Folders, *Sys, 0));
    EXPECT_EQ(TreeOf(themes), (std::vector<std::string>{"Hill", "Hill.theme", "Hill/Wall.jpg"}));
    EXPECT_EQ(ReadFile(themes / "Hill" / "Wall.jpg"), "mine");
}

TEST_F(MixedCase, ScreenSaverWhoseFileDiffersInCaseInstallsAndIsRemoved) {
    fs::path pkg = Package("screensave", "Clock.zip");
    MakeZip(pkg, {{"CLOCK.Scr", "MZ"}});
    EXPECT_TRUE(InstallScreenSaver(pkg, Folders, *Sys));
    EXPECT_TRUE(Messages.Shown.empty());
    EXPECT_EQ(Reg("Control Panel\\Desktop", "SCRNSAVE.EXE"),
              Sys->ShortPathName(Folders.SysDir / "CLOCK.Scr").string());
    bool installed = true;
    RemoveScreenSaver("Clock", installed, Folders, *Sys);
    EXPECT_FALSE(installed);
    EXPECT_FALSE(fs::exists(Folders.SysDir / "CLOCK.Scr"));
}

TEST_F(MixedCase, ZipThemeRemovalFindsItsFolderInAnotherCase) {
    fs::path pkg = Package("theme", "Dusk.zip");
    MakeZip(pkg, {{"DUSK/", "", TZipItem::Folder}, {"DUSK/a.jpg", "a"}, {"DUSK.Theme", "[Theme]"}});
    bool installed = false;
    ApplyThemeRow(true, pkg, installed, Folders, *Sys);
    EXPECT_TRUE(installed);
    RemoveTheme("Dusk", true, installed, Folders, *Sys);
    EXPECT_TRUE(TreeOf(Folders.WinDir / "Resources" / "Themes").empty());
}

// A theme file naming a wallpaper, cursors and a screen saver, as Windows'
// own themes are written (with resources that Windows would not apply here).
std::string ThemeText(const std::string& wallpaper, const std::string& cursor,
                      const std::string& saver) {
    return "; made by a theme editor\r\n[Theme]\r\nDisplayName=海之蓝\r\n"
           "[Control Panel\\Desktop]\r\nWallpaper=" +
           wallpaper +
           "\r\nTileWallpaper=0\r\nWallpaperStyle=10\r\n"
           "[Control Panel\\Cursors]\r\nDefaultValue=Sea cursors\r\nArrow=" +
           cursor +
           "\r\nHelp=%SystemRoot%\\Cursors\\gone.cur\r\n"
           "[boot]\r\nSCRNSAVE.EXE=" +
           saver +
           "\r\n"
           "[VisualStyles]\r\nPath=%ResourceDir%\\Themes\\Aero\\Aero.msstyles\r\n"
           "[Sounds]\r\nSchemeName=@mmres.dll,-800\r\n";
}

TEST_F(MixedCase, ZipThemeAppliesTheWallpaperCursorsAndScreenSaverItNames) {
    WriteFile(Folders.SysDir / "Waves.scr", "MZ");
    fs::path pkg = Package("theme", "Sea.zip");
    MakeZip(pkg, {{"Sea/Wall.BMP", test::MakeBmpBytes()},
                  {"Sea/Arrow.cur", MakeCurBytes()},
                  {"Sea.theme", Utf8ToCp936(ThemeText("%WinDir%\\Resources\\Themes\\sea\\wall.bmp",
                                                      "%WINDIR%\\resources\\themes\\Sea\\arrow.CUR",
                                                      "%SystemRoot%\\system32\\waves.SCR"))}});
    bool installed = false;
    ApplyThemeRow(true, pkg, installed, Folders, *Sys);
    ASSERT_TRUE(installed);
    const fs::path sea = Folders.WinDir / "Resources" / "Themes" / "Sea";
    EXPECT_EQ(Reg("Control Panel\\Desktop", "Wallpaper"), (sea / "Wall.BMP").string());
    EXPECT_EQ(Reg("Control Panel\\Desktop", "WallpaperStyle"), "10");
    EXPECT_EQ(Reg(CursorsKey, "Arrow"), (sea / "Arrow.cur").string());
    EXPECT_EQ(Reg(CursorsKey, ""), "Sea cursors");
    EXPECT_EQ(Reg("Control Panel\\Desktop", "SCRNSAVE.EXE"),
              (Folders.SysDir / "Waves.scr").string());
    const std::string themes = "Software\\Microsoft\\Windows\\CurrentVersion\\Themes";
    EXPECT_EQ(Reg(themes, "DisplayName"), "海之蓝");
    EXPECT_EQ(Reg(themes, "CurrentTheme"), (sea.parent_path() / "Sea.theme").string());
    EXPECT_EQ(
        JournalWith("SetSystemCursor"),
        std::vector<std::string>{"SetSystemCursor id=32512 file=" + (sea / "Arrow.cur").string()});
    EXPECT_EQ(JournalWith("ThemeMissing").size(), 1u) << "the help cursor does not exist";
    EXPECT_EQ(JournalWith("ThemeIgnored"),
              (std::vector<std::string>{"ThemeIgnored [VisualStyles]", "ThemeIgnored [Sounds]"}));
    EXPECT_TRUE(Messages.Shown.empty());
}

TEST_F(MixedCase, ThemePackAppliesTheWallpaperItNames) {
    fs::path pkg = Package("theme", "Dune.themepack");
    WriteFile(pkg, test::MakeCabBytes({{"Dune.theme", ThemeText("DesktopBackground\\Dune.bmp",
                                                                "Cursors\\a.cur", "")},
                                       {"DesktopBackground\\dune.BMP", test::MakeBmpBytes()},
                                       {"Cursors\\A.cur", MakeCurBytes()}}));
    bool installed = false;
    ApplyThemeRow(false, pkg, installed, Folders, *Sys);
    EXPECT_TRUE(installed);
    const fs::path dune = Folders.UserThemesDir / "Dune";
    EXPECT_EQ(Reg("Control Panel\\Desktop", "Wallpaper"),
              (dune / "DesktopBackground" / "dune.BMP").string());
    EXPECT_EQ(Reg(CursorsKey, "Arrow"), (dune / "Cursors" / "A.cur").string());
    EXPECT_EQ(Reg("Control Panel\\Desktop", "SCRNSAVE.EXE"), "") << "an empty saver clears it";
}

TEST_F(MixedCase, ThemesThatReachOutAreRefusedAndNothingIsApplied) {
    const fs::path themes = Folders.WinDir / "Resources" / "Themes";
    struct {
        const char* Label;
        std::string Theme;
    } cases[] = {
        {"network wallpaper", ThemeText("\\\\attacker\\share\\a.bmp", "", "")},
        {"remote visual style",
         "[Theme]\r\nDisplayName=x\r\n[VisualStyles]\r\nPath=\\\\10.0.0.1\\s\\x.msstyles\r\n"},
        {"address cursor", ThemeText("", "https://attacker.invalid/a.cur", "")},
        {"outside the Windows folder", ThemeText("%WinDir%\\..\\..\\secret.bmp", "", "")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Label);
        Messages.Shown.clear();
        fs::path zip = Package("theme", "Bad.zip");
        MakeZip(zip, {{"Bad/", "", TZipItem::Folder}, {"Bad.theme", c.Theme}});
        bool installed = false;
        EXPECT_FALSE(InstallThemePackage(zip, Folders, *Sys));
        ApplyThemeRow(true, zip, installed, Folders, *Sys);
        EXPECT_FALSE(installed);
        EXPECT_TRUE(TreeOf(themes).empty()) << "nothing unpacked";

        fs::path pack = Package("theme", "Bad.themepack");
        WriteFile(pack, test::MakeCabBytes({{"Bad.theme", c.Theme}}));
        ApplyThemeRow(false, pack, installed, Folders, *Sys);
        EXPECT_FALSE(installed);
        EXPECT_FALSE(fs::exists(Folders.UserThemesDir / "Bad"));

        ASSERT_EQ(Messages.Shown.size(), 3u);
        for (const auto& m : Messages.Shown)
            EXPECT_EQ(m.Text.rfind(MsgThemeReachesOut, 0), 0u) << m.Text;
    }
    // A theme file already in the theme folder stays (no overwriting): it is
    // the one opened, so it is the one checked.
    WriteFile(themes / "Kept.theme", cases[0].Theme);
    fs::path kept = Package("theme", "Kept.zip");
    MakeZip(kept, {{"Kept.theme", "[Theme]\r\nDisplayName=harmless\r\n"}});
    EXPECT_FALSE(InstallThemePackage(kept, Folders, *Sys));
    fs::remove(themes / "Kept.theme");

    // A refused pack inside a ZIP is unpacked (inert) but never opened.
    fs::path nested = Package("theme", "Nest.zip");
    MakeZip(nested, {{"Nest.themepack", test::MakeCabBytes({{"Nest.theme", cases[0].Theme}})}});
    EXPECT_FALSE(InstallThemePackage(nested, Folders, *Sys));
    EXPECT_TRUE(JournalWith("ShellOpen").empty());
    EXPECT_TRUE(JournalWith("SystemParametersInfo").empty());
}

} // namespace
} // namespace velmora::test
