// The change record over the Win32 backend (run under Wine): the registry
// values the installers change on the real system (the wallpaper and its
// style, the fifteen cursors and the scheme name, the scheme list, the screen
// saver values) and the files they replace are put back exactly to every
// point of a sequence, the restore itself can be undone, and a process killed
// between recording and changing leaves a record that restores.
#include "install/uCursorInstaller.h"
#include "install/uFolders.h"
#include "install/uPubFunc.h"
#include "install/uScreenSaverInstaller.h"
#include "platform/history/RecordingSystem.h"
#include "platform/util/Files.h"
#include "platform/util/Sha256.h"
#include "platform/win32/Win32System.h"
#include "tests/install/ZipFixture.h"
#include "tests/platform/KilledSystem.h"
#include "tests/support/PictureFiles.h"
#include "tests/support/TestSupport.h"
#include "wallpaper/uPicStore.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <functional>
#include <map>

namespace velmora::test {
namespace {

namespace fs = std::filesystem;

constexpr const char* DesktopKey = "Control Panel\\Desktop";
constexpr const char* CursorsKey = "Control Panel\\Cursors";

using TSnapshot = std::map<std::string, std::string>;

// The entries that differ, one a line ("name: a | b"); empty when none.
std::string Differences(const TSnapshot& a, const TSnapshot& b) {
    std::string out;
    auto line = [&](const std::string& name) {
        auto ia = a.find(name);
        auto ib = b.find(name);
        out += name + ": " + (ia == a.end() ? "(none)" : ia->second) + " | " +
               (ib == b.end() ? "(none)" : ib->second) + "\n";
    };
    for (const auto& [name, value] : a)
        if (auto it = b.find(name); it == b.end() || it->second != value)
            line(name);
    for (const auto& [name, value] : b)
        if (!a.count(name))
            line(name);
    return out;
}

class TWin32World {
public:
    TWin32World() {
        Sys = CreateRecordingSystem(CreateWin32System(), Temp / "history", nullptr);
        Folders = MakeFolderFields(*Sys, Temp / "app");
        for (const char* key : Keys)
            if (auto k = Sys->Inner().OpenCurrentUserKey(key, false))
                for (const std::string& name : k->ValueNames())
                    FSavedValues[key][name] = k->ReadString(name);
        FSavedCopy = ReadCopy();
        // What the person had before: their own wallpaper and style, screen
        // saver and a cursor of their own.
        auto desktop = Sys->Inner().OpenCurrentUserKey(DesktopKey, true);
        desktop->WriteString("Wallpaper", "C:\\users\\me\\beach.bmp");
        desktop->WriteString("WallpaperStyle", "2");
        desktop->WriteString("SCRNSAVE.EXE", "C:\\mine.scr");
        desktop->Close();
        Sys->Inner().OpenCurrentUserKey(CursorsKey, true)->WriteString("Arrow", "C:\\mine.cur");
        WriteFile(Temp / "a.bmp", MakeBmpBytes(2, 2));
        WriteFile(Temp / "b.bmp", MakeBmpBytes(5, 1));
        MakeZip(Temp / "Sky.zip",
                {{"setup.inf", "[Strings]\r\npointer=\"p.cur\"\r\nbusy=\"w.ani\"\r\n"},
                 {"p.cur", MakeCurBytes(2, 2)},
                 {"w.ani", MakeAniBytes()}});
        MakeZip(Temp / "Ripple.zip", {{"Ripple.scr", "MZ scr"}});
    }

    // The system is the one the next suites and the tool's checks run on:
    // it is left as it was found.
    ~TWin32World() {
        for (const char* key : Keys) {
            auto k = Sys->Inner().OpenCurrentUserKey(key, false);
            if (!k)
                continue;
            const auto& saved = FSavedValues[key];
            for (const std::string& name : k->ValueNames()) {
                const auto was = saved.find(name);
                if (was == saved.end())
                    k->DeleteValue(name);
                else if (was->second && k->ReadString(name) != was->second)
                    k->WriteString(name, *was->second);
            }
        }
        std::error_code ec;
        if (FSavedCopy)
            WriteFile(Folders.WinDir / "WallpaperTemp.bmp", *FSavedCopy);
        else
            fs::remove(Folders.WinDir / "WallpaperTemp.bmp", ec);
        fs::remove_all(Folders.WinDir / "Cursors" / "Sky", ec);
        fs::remove(Folders.SysDir / "Ripple.scr", ec);
    }

    std::optional<std::string> ReadCopy() const {
        std::string bytes;
        if (ReadWholeFile(Folders.WinDir / "WallpaperTemp.bmp", bytes, 64u << 20))
            return std::nullopt;
        return bytes;
    }

    // Every value of the keys the sequence writes, the wallpaper copy and the
    // cursor scheme's folder.
    TSnapshot Now() {
        TSnapshot s;
        for (const char* key : Keys)
            if (auto k = Sys->OpenCurrentUserKey(key, false))
                for (const std::string& name : k->ValueNames())
                    s[std::string("reg ") + key + "\\" + name] = k->ReadString(name).value_or("?");
        std::error_code ec;
        const fs::path copy = Folders.WinDir / "WallpaperTemp.bmp";
        if (fs::is_regular_file(copy, ec))
            s["file " + copy.string()] = Sha256OfFile(copy);
        for (fs::recursive_directory_iterator it(Folders.WinDir / "Cursors" / "Sky", ec), end;
             !ec && it != end; it.increment(ec))
            s["file " + it->path().string()] =
                it->is_regular_file() ? Sha256OfFile(it->path()) : "";
        return s;
    }

    struct TStep {
        std::string Text;
        std::function<void()> Run;
    };
    std::vector<TStep> Steps() {
        return {
            {"设置壁纸",
             [this] { ASSERT_TRUE(SetDesktopWallpaper(*Sys, Folders.WinDir, Temp / "a.bmp")); }},
            {"安装鼠标指针：Sky",
             [this] { ASSERT_TRUE(InstallCursorScheme(Temp / "Sky.zip", Folders, *Sys)); }},
            {"安装屏幕保护程序：Ripple",
             [this] { ASSERT_TRUE(InstallScreenSaver(Temp / "Ripple.zip", Folders, *Sys)); }},
            {"卸载鼠标指针：Sky",
             [this] {
                 bool installed = true;
                 RemoveCursorScheme("Sky", installed, Folders, *Sys);
             }},
            {"设置壁纸",
             [this] { ASSERT_TRUE(SetDesktopWallpaper(*Sys, Folders.WinDir, Temp / "b.bmp")); }},
        };
    }

    static constexpr const char* Keys[] = {DesktopKey, CursorsKey,
                                           "Control Panel\\Cursors\\Schemes"};
    TTempDir Temp;
    TRecordingMessages Messages;
    std::unique_ptr<TRecordingSystem> Sys;
    TFolderFields Folders;

private:
    std::map<std::string, std::map<std::string, std::optional<std::string>>> FSavedValues;
    std::optional<std::string> FSavedCopy;
};

TEST(ChangeHistoryWin32, EveryPointOfASequenceIsRestoredExactlyAndTheRestoreCanBeUndone) {
    const std::size_t count = TWin32World().Steps().size();
    for (std::size_t point = 0; point < count; ++point) {
        SCOPED_TRACE("restore to before step " + std::to_string(point));
        TWin32World w;
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
        // Each step changed something the record knows.
        for (std::size_t i = 0; i + 1 < count; ++i)
            EXPECT_NE(Differences(before[i], before[i + 1]), "") << "step " << i;
        EXPECT_TRUE(w.Sys->PlanRestore(entries, entries[point].Id).Conflicts.empty());

        ASSERT_TRUE(w.Sys->Restore(entries[point].Id));
        EXPECT_EQ(Differences(w.Now(), before[point]), "");
        const std::vector<TChangeEntry> after = w.Sys->History();
        ASSERT_EQ(after.size(), count + 1);
        EXPECT_EQ(after.back().Restores, entries[point].Id);
        ASSERT_TRUE(w.Sys->Restore(after.back().Id));
        EXPECT_EQ(Differences(w.Now(), last), "");
    }
}

TEST(ChangeHistoryWin32, AValueChangedByAnotherProgramIsListedBeforeRestoring) {
    TWin32World w;
    w.Steps()[0].Run();
    w.Sys->Inner().OpenCurrentUserKey(DesktopKey, false)->WriteString("WallpaperStyle", "6");
    const auto entries = w.Sys->History();
    const TRestorePlan plan = w.Sys->PlanRestore(entries, entries[0].Id);
    ASSERT_EQ(plan.Conflicts.size(), 1u);
    EXPECT_EQ(plan.Conflicts[0].Description, "注册表 Control Panel\\Desktop\\WallpaperStyle");
}

// The killed process: this program again, running only the case below with
// the world's folder and the step to be killed in named in its environment.
constexpr const wchar_t* KillFolderVariable = L"VELMORA_TEST_KILL_FOLDER";
constexpr const wchar_t* KillStepVariable = L"VELMORA_TEST_KILL_STEP";

void TerminateNow() {
    ::TerminateProcess(::GetCurrentProcess(), 9);
}

DWORD RunKilledChild(const fs::path& folder, int step) {
    wchar_t self[MAX_PATH];
    if (!::GetModuleFileNameW(nullptr, self, MAX_PATH))
        return 0;
    ::SetEnvironmentVariableW(KillFolderVariable, folder.c_str());
    ::SetEnvironmentVariableW(KillStepVariable, std::to_wstring(step).c_str());
    std::wstring line = L"\"" + std::wstring(self) +
                        L"\" --gtest_filter=ChangeHistoryWin32Child.KilledBeforeTheChange";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    const BOOL started = ::CreateProcessW(self, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                          nullptr, &startup, &process);
    ::SetEnvironmentVariableW(KillFolderVariable, nullptr);
    ::SetEnvironmentVariableW(KillStepVariable, nullptr);
    if (!started)
        return 0;
    ::CloseHandle(process.hThread);
    DWORD code = 0;
    if (::WaitForSingleObject(process.hProcess, 120000) != WAIT_OBJECT_0)
        ::TerminateProcess(process.hProcess, 1);
    ::GetExitCodeProcess(process.hProcess, &code);
    ::CloseHandle(process.hProcess);
    return code;
}

TEST(ChangeHistoryWin32Child, KilledBeforeTheChange) {
    const wchar_t* folder = ::_wgetenv(KillFolderVariable);
    const wchar_t* step = ::_wgetenv(KillStepVariable);
    if (!folder || !step)
        GTEST_SKIP() << "run by AKillBetweenRecordingAndChangingLeavesARecordThatRestores";
    const fs::path temp = folder;
    TRecordingMessages messages;
    auto win32 = CreateWin32System();
    auto recording = CreateRecordingSystem(
        std::make_unique<TKilledBeforeChange>(*win32, TerminateNow), temp / "history", nullptr);
    const TFolderFields folders = MakeFolderFields(*recording, temp / "app");
    if (std::wstring(step) == L"0")
        SetDesktopWallpaper(*recording, folders.WinDir, temp / "b.bmp");
    else
        InstallCursorScheme(temp / "Sky.zip", folders, *recording);
    FAIL() << "the system was not asked to change anything";
}

TEST(ChangeHistoryWin32, AKillBetweenRecordingAndChangingLeavesARecordThatRestores) {
    TWin32World w;
    w.Steps()[0].Run();
    const TSnapshot before = w.Now();
    // Killed after the wallpaper copy was replaced, before the system call;
    // after the cursor values were written, before the reload.
    for (int step : {0, 1}) {
        SCOPED_TRACE(step == 0 ? "wallpaper" : "cursors");
        ASSERT_EQ(RunKilledChild(w.Temp.Path(), step), 9u);
        EXPECT_NE(Differences(w.Now(), before), ""); // changed before the kill
        const auto entries = w.Sys->History();
        ASSERT_FALSE(entries.empty());
        EXPECT_FALSE(entries.back().Finished);
        ASSERT_TRUE(w.Sys->Restore(entries.back().Id));
        EXPECT_EQ(Differences(w.Now(), before), "");
    }
}

} // namespace
} // namespace velmora::test
