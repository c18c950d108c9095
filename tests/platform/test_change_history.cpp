// The change record over the simulated Windows, driven by the installers as
// the window drives them: every point of a sequence of changes can be gone
// back to exactly, a restore can be undone, a kill between recording and
// changing leaves a record that restores, and a damaged record is set aside.
#include "install/uCursorInstaller.h"
#include "install/uFolderIcon.h"
#include "install/uFolders.h"
#include "install/uPubFunc.h"
#include "install/uThemeInstaller.h"
#include "platform/SimulatedSystem.h"
#include "platform/history/RecordingSystem.h"
#include "tests/install/ZipFixture.h"
#include "tests/platform/KilledSystem.h"
#include "tests/support/PictureFiles.h"
#include "tests/support/TestSupport.h"
#include "wallpaper/uPicStore.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <sys/wait.h>
#include <unistd.h>

namespace velmora::test {
namespace {

namespace fs = std::filesystem;

constexpr const char* DesktopKey = "Control Panel\\Desktop";
constexpr const char* ThemesKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Themes";

// Everything the sequence below changes: the values of the keys it writes,
// the wallpaper copy, the folder's desktop.ini and attributes, the cursor
// scheme's files.
using TSnapshot = std::map<std::string, std::string>;

TSnapshot Snapshot(ISystem& sys, const TFolderFields& folders, const fs::path& photos) {
    TSnapshot s;
    for (const char* key :
         {DesktopKey, "Control Panel\\Cursors", "Control Panel\\Cursors\\Schemes", ThemesKey,
          "Software\\Velmora\\ScreenWallpapers"})
        if (auto k = sys.OpenCurrentUserKey(key, false))
            for (const std::string& name : k->ValueNames())
                s[std::string("reg ") + key + "\\" + name] = k->ReadString(name).value_or("?");
    auto file = [&](const fs::path& p) {
        std::error_code ec;
        if (fs::is_regular_file(p, ec))
            s["file " + p.string()] = ReadFile(p);
        s["attr " + p.string()] = std::to_string(sys.GetFileAttributes(p));
    };
    file(folders.WinDir / "WallpaperTemp.bmp");
    file(folders.WinDir / "WallpaperScreens.bmp");
    file(folders.WinDir / "WallpaperScreen_2x2+2+0.bmp");
    file(photos / "desktop.ini");
    file(photos);
    std::error_code ec;
    for (fs::recursive_directory_iterator it(folders.WinDir / "Cursors", ec), end; !ec && it != end;
         it.increment(ec))
        if (it->is_regular_file())
            file(it->path());
        else
            s["folder " + it->path().string()] = ""; // a scheme's folder goes and comes back
    return s;
}

// The record does not look into pictures: a composed desktop of one fixed BMP
// stands for the window's composer here (its pixels are tested with it).
class TFixedComposer : public IPictureConverter {
public:
    std::optional<std::string> ToBmp(const std::string& bytes) override { return bytes; }
    std::optional<std::string> ComposeScreens(const std::vector<TScreenRect>&,
                                              const std::vector<fs::path>&) override {
        return MakeBmpBytes(4, 2);
    }
};

// A simulated Windows with a person's own settings, recorded.
class TWorld {
public:
    TWorld() {
        auto sim = CreateSimulatedSystem(Temp / "root");
        Sim = sim.get();
        Sys = CreateRecordingSystem(std::move(sim), Temp / "history", nullptr);
        Folders = MakeFolderFields(*Sys, Temp / "app");
        fs::create_directories(Photos);
        // What the person had before: their own wallpaper, style and folder icon.
        auto key = Sys->Inner().OpenCurrentUserKey(DesktopKey, true);
        key->WriteString("Wallpaper", "C:\\Users\\me\\beach.jpg");
        key->WriteString("WallpaperStyle", "2");
        WriteFile(Photos / "desktop.ini", "[.ShellClassInfo]\r\nIconFile=mine.ico\r\n");
        Sim->SetFileAttributes(Photos / "desktop.ini", faHidden | faSysFile);
        WriteFile(Folders.ExePath / "cache" / "icons" / "动物" / "猫.ico", MakeCurBytes());
        WriteFile(Temp / "a.bmp", MakeBmpBytes(2, 2));
        WriteFile(Temp / "b.bmp", MakeBmpBytes(5, 1));
    }

    fs::path ThemePackage() {
        const fs::path pkg = Temp / "Ocean.zip";
        MakeZip(pkg, {{"Ocean.theme", "[Theme]\r\nDisplayName=Ocean\r\n"
                                      "[Control Panel\\Desktop]\r\n"
                                      "Wallpaper=%WinDir%\\Resources\\Themes\\Ocean\\sea.bmp\r\n"
                                      "WallpaperStyle=10\r\n"
                                      "[Control Panel\\Cursors]\r\nDefaultValue=Ocean\r\n"
                                      "Arrow=%WinDir%\\Resources\\Themes\\Ocean\\a.cur\r\n"
                                      "[boot]\r\nSCRNSAVE.EXE=%WinDir%\\System32\\Waves.scr\r\n"},
                      {"Ocean/sea.bmp", MakeBmpBytes(3, 3)},
                      {"Ocean/a.cur", MakeCurBytes()}});
        WriteFile(Folders.SysDir / "Waves.scr", "MZ");
        return pkg;
    }

    fs::path CursorPackage() {
        const fs::path pkg = Temp / "Sky.zip";
        MakeZip(pkg, {{"setup.inf", "[Strings]\r\npointer=\"p.cur\"\r\nbusy=\"w.ani\"\r\n"},
                      {"p.cur", MakeCurBytes(2, 2)},
                      {"w.ani", MakeAniBytes()}});
        return pkg;
    }

    // The sequence, one step per entry the record must get.
    struct TStep {
        std::string Text;
        std::function<void()> Run;
    };
    std::vector<TStep> Steps() {
        bool installed = true;
        return {
            {"设置壁纸",
             [this] { ASSERT_TRUE(SetDesktopWallpaper(*Sys, Folders.WinDir, Temp / "a.bmp")); }},
            {"应用主题：Ocean",
             [this] { ASSERT_TRUE(InstallThemePackage(ThemePackage(), Folders, *Sys)); }},
            {"安装鼠标指针：Sky",
             [this] { ASSERT_TRUE(InstallCursorScheme(CursorPackage(), Folders, *Sys)); }},
            {"卸载鼠标指针：Sky",
             [this, installed]() mutable { RemoveCursorScheme("Sky", installed, Folders, *Sys); }},
            {"设置文件夹图标：" + Photos.string(),
             [this] {
                 ASSERT_EQ(SetFolderIcon(*Sys, Photos.string(), Folders.ExePath, "动物", "猫"),
                           TFolderIconResult::Done);
             }},
            {"设置壁纸",
             [this] { ASSERT_TRUE(SetDesktopWallpaper(*Sys, Folders.WinDir, Temp / "b.bmp")); }},
            {"设置显示器壁纸",
             [this] {
                 TFixedComposer composer;
                 ASSERT_TRUE(SetScreenDesktopWallpaper(*Sys, Folders.WinDir,
                                                       {{0, 0, 2, 2}, {2, 0, 2, 2}}, 1,
                                                       Temp / "a.bmp", composer));
             }},
        };
    }

    TSnapshot Now() { return Snapshot(*Sys, Folders, Photos); }

    TTempDir Temp;
    TRecordingMessages Messages;
    TSimulatedSystem* Sim = nullptr;
    std::unique_ptr<TRecordingSystem> Sys;
    TFolderFields Folders;
    fs::path Photos = Temp / "photos";
};

TEST(ChangeHistory, EveryPointOfASequenceIsRestoredExactlyAndTheRestoreCanBeUndone) {
    const std::size_t count = TWorld().Steps().size();
    for (std::size_t point = 0; point < count; ++point) {
        SCOPED_TRACE("restore to before step " + std::to_string(point));
        TWorld w;
        std::vector<TSnapshot> before;
        for (auto& step : w.Steps()) {
            before.push_back(w.Now());
            step.Run();
        }
        const TSnapshot last = w.Now();
        const std::vector<TChangeEntry> entries = w.Sys->History();
        ASSERT_EQ(entries.size(), count);
        for (std::size_t i = 0; i < count; ++i) {
            EXPECT_EQ(entries[i].Text, w.Steps()[i].Text);
            EXPECT_TRUE(entries[i].Finished);
        }
        EXPECT_TRUE(w.Sys->PlanRestore(entries, entries[point].Id).Conflicts.empty());

        ASSERT_TRUE(w.Sys->Restore(entries[point].Id));
        EXPECT_EQ(w.Now(), before[point]);
        // The restore is an entry of its own, and going back before it
        // brings everything back.
        const std::vector<TChangeEntry> after = w.Sys->History();
        ASSERT_EQ(after.size(), count + 1);
        EXPECT_EQ(after.back().Text, RestoreEntryText(w.Steps()[point].Text));
        EXPECT_EQ(after.back().Restores, entries[point].Id);
        ASSERT_TRUE(w.Sys->Restore(after.back().Id));
        EXPECT_EQ(w.Now(), last);
    }
}

TEST(ChangeHistory, ChangesMadeSinceBySomeoneElseAreListedBeforeAnythingIsDone) {
    TWorld w;
    auto steps = w.Steps();
    steps[0].Run();
    // Another program sets a wallpaper of its own afterwards.
    w.Sys->Inner().OpenCurrentUserKey(DesktopKey, false)->WriteString("Wallpaper", "D:\\other.bmp");
    const auto entries = w.Sys->History();
    const TRestorePlan plan = w.Sys->PlanRestore(entries, entries[0].Id);
    ASSERT_EQ(plan.Conflicts.size(), 1u);
    EXPECT_EQ(plan.Conflicts[0].Description, "注册表 Control Panel\\Desktop\\Wallpaper");
    // The person may still choose to go back.
    ASSERT_TRUE(w.Sys->Restore(entries[0].Id));
    EXPECT_EQ(w.Sys->OpenCurrentUserKey(DesktopKey, false, nullptr)->ReadString("Wallpaper"),
              "C:\\Users\\me\\beach.jpg");
}

TEST(ChangeHistory, AKillBetweenRecordingAndChangingLeavesARecordThatRestores) {
    TWorld w;
    w.Steps()[0].Run();
    const TSnapshot before = w.Now();
    struct TCase {
        const char* What;
        std::function<void(ISystem&)> Run;
    };
    const TCase cases[] = {
        // Killed after the wallpaper copy was replaced, before the system call.
        {"wallpaper",
         [&w](ISystem& s) { SetDesktopWallpaper(s, w.Folders.WinDir, w.Temp / "b.bmp"); }},
        // Killed after the fifteen values were written, before the reload.
        {"cursors", [&w](ISystem& s) { InstallCursorScheme(w.CursorPackage(), w.Folders, s); }},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.What);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            auto sim = CreateSimulatedSystem(w.Temp / "root");
            // The inner system is borrowed: the wrapper gets a forwarding owner.
            auto recording = CreateRecordingSystem(
                std::make_unique<TKilledBeforeChange>(*sim, [] { ::_exit(9); }), w.Temp / "history",
                nullptr);
            c.Run(*recording);
            ::_exit(0);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFEXITED(status));
        ASSERT_EQ(WEXITSTATUS(status), 9);
        EXPECT_NE(w.Now(), before); // something was changed before the kill
        const auto entries = w.Sys->History();
        ASSERT_FALSE(entries.empty());
        EXPECT_FALSE(entries.back().Finished);
        ASSERT_TRUE(w.Sys->Restore(entries.back().Id));
        EXPECT_EQ(w.Now(), before);
    }
}

TEST(ChangeHistory, ADamagedRecordIsSetAsideAndRecordingGoesOn) {
    TWorld w;
    w.Steps()[0].Run();
    const fs::path record = w.Temp / "history" / "record.jsonl";
    for (const std::string& damage :
         {std::string("{\"entry\": 1, \"time"), std::string("\x01\xff garbage\n")}) {
        SCOPED_TRACE(damage);
        WriteFile(record, ReadFile(record) + damage);
        auto sys = CreateRecordingSystem(CreateSimulatedSystem(w.Temp / "root"), w.Temp / "history",
                                         nullptr);
        EXPECT_NE(sys->RecordProblem().find("已损坏"), std::string::npos) << sys->RecordProblem();
        EXPECT_TRUE(sys->History().empty());
        // Installing is not blocked, and is recorded anew.
        ASSERT_TRUE(InstallCursorScheme(w.CursorPackage(), w.Folders, *sys));
        ASSERT_EQ(sys->History().size(), 1u);
        EXPECT_EQ(sys->History()[0].Text, "安装鼠标指针：Sky");
    }
    std::size_t aside = 0;
    for (const auto& e : fs::directory_iterator(w.Temp / "history"))
        aside += e.path().filename().string().rfind("record.damaged-", 0) == 0;
    EXPECT_EQ(aside, 2u);
}

TEST(ChangeHistory, TheRecordKeepsTheLastEntriesAndOnlyTheFilesTheyNeed) {
    TWorld w;
    for (int i = 0; i < static_cast<int>(TChangeRecord::MaxEntries) + 5; ++i) {
        WriteFile(w.Temp / "p.bmp", MakeBmpBytes(1 + i % 7, 1 + i / 7));
        ASSERT_TRUE(SetDesktopWallpaper(*w.Sys, w.Folders.WinDir, w.Temp / "p.bmp"));
    }
    const auto entries = w.Sys->History();
    ASSERT_EQ(entries.size(), TChangeRecord::MaxEntries);
    EXPECT_EQ(entries.front().Id, 6);
    std::size_t kept = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(w.Temp / "history" / "files"))
        ++kept;
    // One copy per distinct replaced picture still referred to (the one
    // each entry replaced), never more than the entries.
    EXPECT_LE(kept, TChangeRecord::MaxEntries);
    // The oldest kept entry still restores its picture.
    const std::string expected = MakeBmpBytes(1 + 4 % 7, 1 + 4 / 7);
    ASSERT_TRUE(w.Sys->Restore(entries.front().Id));
    EXPECT_EQ(ReadFile(w.Folders.WinDir / "WallpaperTemp.bmp"), expected);
}

} // namespace
} // namespace velmora::test
