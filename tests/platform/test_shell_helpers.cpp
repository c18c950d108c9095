// The shell and desktop helpers of uPubFunc, on the simulated Windows.
#include "install/uFolders.h"
#include "install/uPubFunc.h"
#include "platform/SimulatedSystem.h"
#include "platform/uRegistry.h"
#include "tests/platform/Conformance.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace velmora::test {
namespace {

namespace fs = std::filesystem;

class ShellHelpers : public ::testing::Test {
protected:
    std::string Desktop(const std::string& name) {
        auto k = Sys->OpenCurrentUserKey("Control Panel\\Desktop", false);
        return k ? k->ReadString(name).value_or("<missing>") : "<no key>";
    }
    void SetDesktop(const std::string& name, const std::string& value) {
        auto k = Sys->OpenCurrentUserKey("Control Panel\\Desktop", false);
        ASSERT_TRUE(k && k->WriteString(name, value));
    }

    TTempDir Temp;
    std::unique_ptr<TSimulatedSystem> Sys = CreateSimulatedSystem(Temp / "root");
    TRecordingMessages Messages;
};

TEST_F(ShellHelpers, DeleteFolderTreeLeavesAReadOnlyFileWithTheFoldersOnItsPath) {
    const fs::path top = Temp / "Themes" / "Sea";
    WriteFile(top / "Sea.jpg", "j");
    WriteFile(top / "a" / "hidden.txt", "h");
    WriteFile(top / "a" / "b" / "locked.txt", "l");
    WriteFile(top / "a" / "b" / "other.txt", "o");
    WriteFile(top / "c" / "d" / "deep.txt", "d");
    WriteFile(top / " spaced name ", "s");
    fs::create_directories(top / "empty");
    ASSERT_TRUE(Sys->SetFileAttributes(top / "a" / "hidden.txt", faHidden | faSysFile));
    ASSERT_TRUE(Sys->SetFileAttributes(top / "a" / "b" / "locked.txt", faReadOnly));

    DeleteFolderTree(*Sys, top);

    EXPECT_EQ(ReadFile(top / "a" / "b" / "locked.txt"), "l");
    std::vector<std::string> left;
    for (const auto& e : fs::recursive_directory_iterator(Temp / "Themes"))
        left.push_back(fs::relative(e.path(), Temp / "Themes").generic_string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"Sea", "Sea/a", "Sea/a/b", "Sea/a/b/locked.txt"}));
    EXPECT_TRUE(Messages.Shown.empty());

    // With the file writable again, the whole tree goes, trailing separator or not.
    ASSERT_TRUE(Sys->SetFileAttributes(top / "a" / "b" / "locked.txt", faNormal));
    DeleteFolderTree(*Sys, top.string() + "/");
    EXPECT_FALSE(fs::exists(top));
}

TEST_F(ShellHelpers, DeleteFolderTreeRemovesLinksWithoutFollowingThem) {
    const fs::path outside = Temp / "outside";
    WriteFile(outside / "keep.txt", "precious");
    const fs::path top = Temp / "Cursors" / "Scheme";
    WriteFile(top / "arrow.cur", "c");
    fs::create_directory_symlink(outside, top / "linked folder");
    fs::create_symlink(outside / "keep.txt", top / "linked file");
    fs::create_directory_symlink(outside, Temp / "top link");

    DeleteFolderTree(*Sys, top);
    EXPECT_FALSE(fs::exists(fs::symlink_status(top)));
    DeleteFolderTree(*Sys, Temp / "top link");
    EXPECT_FALSE(fs::exists(fs::symlink_status(Temp / "top link")));
    EXPECT_EQ(ReadFile(outside / "keep.txt"), "precious");
}

TEST_F(ShellHelpers, DeleteFolderTreeWithNothingToDeleteDoesNothing) {
    // An empty path would otherwise name the current folder's drive root.
    WriteFile(Temp / "cwd" / "stay.txt", "s");
    const fs::path saved = fs::current_path();
    fs::current_path(Temp / "cwd");
    DeleteFolderTree(*Sys, "");
    DeleteFolderTree(*Sys, Temp / "missing");
    fs::current_path(saved);
    EXPECT_TRUE(fs::exists(Temp / "cwd" / "stay.txt"));
}

TEST_F(ShellHelpers, SetScreenSaverWritesTheShortPathAndStartsIt) {
    const fs::path scr = Sys->SystemDirectory() / "Long Screen Saver Name.scr";
    WriteFile(scr, "MZ");
    ASSERT_TRUE(SetScreenSaver(*Sys, scr, false));

    const std::string value = Desktop("SCRNSAVE.EXE");
    EXPECT_EQ(value, Sys->ShortPathName(scr).string());
    EXPECT_EQ(value.find(' '), std::string::npos);
    EXPECT_EQ(fs::path(value).filename(), "LONGSC~1.SCR");
    EXPECT_EQ(Sys->LongPathName(value), scr);
    EXPECT_EQ(Desktop("ScreenSaverIsSecure"), "1");
    EXPECT_EQ(Sys->Journal(), (std::vector<std::string>{
                                  "SystemParametersInfo action=17 uiParam=1 winIni=2 pvParam=null",
                                  "ScreenSaverStarted file=" + value}));
    EXPECT_TRUE(Messages.Shown.empty());
}

TEST_F(ShellHelpers, SetScreenSaverCancelWithEmptyPathEmptiesTheValueOnly) {
    SetDesktop("SCRNSAVE.EXE", "C:\\WINDOWS\\SYSTEM32\\OLD.SCR");
    SetDesktop("ScreenSaverIsSecure", "0");
    EXPECT_TRUE(SetScreenSaver(*Sys, "", true));
    EXPECT_EQ(Desktop("SCRNSAVE.EXE"), "");
    EXPECT_EQ(Desktop("ScreenSaverIsSecure"), "0");
    EXPECT_EQ(Sys->Journal(),
              (std::vector<std::string>{
                  "SystemParametersInfo action=17 uiParam=1 winIni=2 pvParam=null"}));
    EXPECT_TRUE(Messages.Shown.empty());
}

TEST_F(ShellHelpers, SetScreenSaverFailuresChangeNothing) {
    SetDesktop("SCRNSAVE.EXE", "OLD.SCR");
    // Missing file: a message, no registry change, no system call.
    EXPECT_FALSE(SetScreenSaver(*Sys, Sys->SystemDirectory() / "gone.scr", false));
    ASSERT_EQ(Messages.Shown.size(), 1u);
    EXPECT_EQ(Messages.Shown[0].Text, "没有找到屏保文件");
    EXPECT_EQ(Messages.Shown[0].Kind, mkInformation);
    // Key that cannot be opened: false, silently.
    const fs::path scr = Sys->SystemDirectory() / "ok.scr";
    WriteFile(scr, "MZ");
    Sys->SetKeyDenied("Control Panel\\Desktop", true);
    EXPECT_FALSE(SetScreenSaver(*Sys, scr, false));
    EXPECT_FALSE(SetScreenSaver(*Sys, "", true));
    EXPECT_EQ(Messages.Shown.size(), 1u);
    Sys->SetKeyDenied("Control Panel\\Desktop", false);
    EXPECT_EQ(Desktop("SCRNSAVE.EXE"), "OLD.SCR");
    EXPECT_TRUE(Sys->Journal().empty());
}

TEST_F(ShellHelpers, SetWallpaperWritesTheValueAndTellsTheSystem) {
    const fs::path bmp = Sys->WindowsDirectory() / "WallpaperTemp.bmp";
    WriteBytes(bmp, MakeBmpBytes());
    SetDesktop("WallpaperStyle", "2");
    SetWallpaper(*Sys, bmp);
    EXPECT_EQ(Desktop("Wallpaper"), bmp.string());
    EXPECT_EQ(Desktop("WallpaperStyle"), "2");
    EXPECT_EQ(Sys->Journal(),
              (std::vector<std::string>{
                  "SystemParametersInfo action=20 uiParam=0 winIni=1 pvParam=" + bmp.string()}));
}

TEST_F(ShellHelpers, SetWallpaperWithoutItsKeyRaisesTheRegistryError) {
    Sys->SetKeyDenied("Control Panel\\Desktop", true);
    try {
        SetWallpaper(*Sys, Temp / "x.bmp");
        FAIL() << "no error";
    } catch (const ERegistryException& e) {
        EXPECT_STREQ(e.what(), "Failed to set data for 'Wallpaper'");
    }
    EXPECT_TRUE(Sys->Journal().empty());
}

TEST_F(ShellHelpers, SpecialFolderShlwapiAndFolderFields) {
    EXPECT_EQ(GetSpecialFolder(*Sys, csidlLocalAppData),
              (Temp / "root" / "AppData" / "Local").string());
    EXPECT_EQ(GetSpecialFolder(*Sys, 0x7E), "");
    CallShlwapi633(*Sys);
    EXPECT_EQ(Sys->Journal(), (std::vector<std::string>{"Shlwapi633 arg=47"}));
    EXPECT_EQ(BrowseInitialFolder, "");

    const TFolderFields f = MakeFolderFields(*Sys, Temp / "app");
    EXPECT_EQ(f.ExePath, Temp / "app");
    EXPECT_EQ(f.WinDir, Temp / "root" / "Windows");
    EXPECT_EQ(f.SysDir, Temp / "root" / "Windows" / "System32");
    EXPECT_EQ(f.UserThemesDir, Temp / "root" / "AppData/Local/Microsoft/Windows/Themes");
}

// The picker is asked with BrowseInitialFolder preselected when it is an
// existing folder; only an existing folder inside the root comes back.
TEST_F(ShellHelpers, BrowseForFolderPreselectsAndReturnsOnlyFolders) {
    const fs::path pick = Temp / "目标" / "图标";
    fs::create_directories(pick);
    std::vector<TFolderPickRequest> asked;
    std::optional<fs::path> answer;
    Sys->SetFolderPicker([&](const TFolderPickRequest& r) {
        asked.push_back(r);
        return answer;
    });
    struct TCase {
        std::string Initial;
        fs::path Root;
        std::optional<fs::path> Answer;
        fs::path Preselected; // what the picker was given
        std::optional<std::string> Result;
    } cases[] = {
        {pick.string() + "/", {}, pick, pick, pick.string()},
        {(Temp / "missing").string(), {}, Temp / "目标", {}, (Temp / "目标").string()},
        {"", {}, std::nullopt, {}, std::nullopt},                        // cancelled
        {"", {}, Temp / "missing", {}, std::nullopt},                    // no folder
        {pick.string(), Temp / "目标", Temp.Path(), pick, std::nullopt}, // outside the root
    };
    for (const TCase& c : cases) {
        BrowseInitialFolder = c.Initial;
        answer = c.Answer;
        asked.clear();
        std::string folder = "stale";
        const bool chosen = BrowseForFolder(*Sys, "指定图标所在的文件夹", c.Root, folder);
        ASSERT_EQ(asked.size(), 1u);
        EXPECT_EQ(asked[0].Text, "指定图标所在的文件夹");
        EXPECT_EQ(asked[0].Initial, c.Preselected) << c.Initial;
        EXPECT_EQ(chosen, c.Result.has_value()) << c.Initial;
        EXPECT_EQ(folder, c.Result.value_or("")) << c.Initial;
    }
    BrowseInitialFolder.clear();
    Sys->SetFolderPicker(nullptr);
    std::string folder;
    EXPECT_FALSE(BrowseForFolder(*Sys, "x", {}, folder)); // no picker: cancelled
}

} // namespace
} // namespace velmora::test
