// The change record over the desktop backend: GSettings on its keyfile
// backend, the Xcursor theme, a folder's .directory file and metadata, and
// the wallpaper copy are put back exactly at every point of a sequence.
#include "install/uCursorInstaller.h"
#include "install/uFolderIcon.h"
#include "install/uFolders.h"
#include "install/uPubFunc.h"
#include "install/uThemeInstaller.h"
#include "platform/SimulatedSystem.h"
#include "platform/desktop/DesktopSession.h"
#include "platform/desktop/DesktopSettings.h"
#include "platform/desktop/DesktopSystem.h"
#include "platform/desktop/FolderIcon.h"
#include "platform/history/RecordingSystem.h"
#include "tests/install/ZipFixture.h"
#include "tests/platform/DesktopFixture.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>

namespace velmora::test {
namespace {

namespace fs = std::filesystem;
using namespace velmora::desktop;

constexpr const char* Background = "org.gnome.desktop.background";
constexpr const char* Interface = "org.gnome.desktop.interface";

class TDesktopWorld {
public:
    TDesktopWorld() {
        // The person's own desktop before the program touches it.
        EXPECT_TRUE(SetGSettingsString(Background, "picture-uri", "file:///home/me/beach.jpg").Ok);
        EXPECT_TRUE(
            SetGSettingsString(Background, "picture-uri-dark", "file:///home/me/night.jpg").Ok);
        EXPECT_TRUE(SetGSettingsString(Interface, "cursor-theme", "Adwaita").Ok);
        TDesktopOptions options;
        options.CurrentDesktop = "GNOME";
        options.DataHome = Temp / "data";
        options.Notice = [](const std::string&) {};
        auto settings = CreateDesktopSettingsState(options);
        Sys = CreateRecordingSystem(
            CreateDesktopSystem(CreateSimulatedSystem(Temp / "root"), options), Temp / "history",
            settings);
        Folders = MakeFolderFields(*Sys, Temp / "app");
        fs::create_directories(Photos);
        WriteFile(Photos / ".directory", "[Desktop Entry]\nIcon=folder-pictures\n");
        WriteFile(Folders.ExePath / "cache" / "icons" / "动物" / "猫.ico",
                  MakeCursorFile({Pattern(16, 16, 24, 0)}, true));
        WriteFile(Folders.WinDir / "pic.bmp", MakeBmpBytes(4, 4));
    }

    fs::path CursorPackage() {
        const fs::path pkg = Temp / "Sky.zip";
        MakeZip(pkg, {{"setup.inf", "[Strings]\r\npointer=\"p.cur\"\r\n"},
                      {"p.cur", MakeCursorFile({Pattern(32, 32, 32, 1)})}});
        return pkg;
    }

    fs::path ThemePackage() {
        const fs::path pkg = Temp / "Dune.zip";
        MakeZip(pkg, {{"Dune.theme", "[Theme]\r\nDisplayName=Dune\r\n"
                                     "[Control Panel\\Desktop]\r\n"
                                     "Wallpaper=%WinDir%\\Resources\\Themes\\Dune\\sand.bmp\r\n"
                                     "[Control Panel\\Cursors]\r\nDefaultValue=Dune Cursors\r\n"
                                     "Arrow=%WinDir%\\Resources\\Themes\\Dune\\a.cur\r\n"},
                      {"Dune/sand.bmp", MakeBmpBytes(3, 3)},
                      {"Dune/a.cur", MakeCursorFile({Pattern(32, 32, 32, 2)})}});
        return pkg;
    }

    std::vector<std::function<void()>> Steps() {
        return {
            [this] { SetWallpaper(*Sys, Folders.WinDir / "pic.bmp"); },
            [this] { ASSERT_TRUE(InstallThemePackage(ThemePackage(), Folders, *Sys)); },
            [this] { ASSERT_TRUE(InstallCursorScheme(CursorPackage(), Folders, *Sys)); },
            [this] {
                bool installed = true;
                RemoveCursorScheme("Sky", installed, Folders, *Sys);
            },
            [this] {
                ASSERT_EQ(SetFolderIcon(*Sys, Photos.string(), Folders.ExePath, "动物", "猫"),
                          TFolderIconResult::Done);
            },
        };
    }

    // What the person sees of their desktop: the pictures the wallpaper
    // settings show, the cursor theme and whether it is there, the folder's
    // icon for the file managers.
    std::map<std::string, std::string> Now() {
        std::map<std::string, std::string> s;
        for (const char* key : {"picture-uri", "picture-uri-dark"}) {
            const std::string uri = GSettingsString(Background, key).value_or("?");
            s[key] = uri;
            const fs::path file = uri.rfind("file://", 0) == 0 ? uri.substr(7) : "";
            std::error_code ec;
            s[std::string(key) + " picture"] =
                fs::is_regular_file(file, ec) ? ReadFile(file) : std::string("none");
        }
        const std::string theme = GSettingsString(Interface, "cursor-theme").value_or("?");
        s["cursor-theme"] = theme;
        std::error_code ec;
        s["cursor-theme there"] =
            theme == "Adwaita" || fs::is_regular_file(
                                      Temp / "data" / "icons" / theme / "cursors" / "left_ptr", ec)
                ? "yes"
                : "no";
        s[".directory"] = fs::exists(Photos / ".directory", ec) ? ReadFile(Photos / ".directory")
                                                                : std::string("none");
        s["metadata"] = FolderMetadataIcon(Photos).value_or("none");
        return s;
    }

    TTempDir Temp;
    TRecordingMessages Messages;
    std::unique_ptr<TRecordingSystem> Sys;
    TFolderFields Folders;
    fs::path Photos = Temp / "photos";
};

TEST(DesktopHistory, EveryPointOfASequenceIsRestoredOnTheLinuxDesktop) {
    const std::size_t count = TDesktopWorld().Steps().size();
    for (std::size_t point = 0; point < count; ++point) {
        SCOPED_TRACE("restore to before step " + std::to_string(point));
        TDesktopWorld w;
        std::vector<std::map<std::string, std::string>> before;
        for (auto& step : w.Steps()) {
            before.push_back(w.Now());
            step();
        }
        const auto last = w.Now();
        const auto entries = w.Sys->History();
        ASSERT_EQ(entries.size(), count);
        EXPECT_TRUE(w.Sys->PlanRestore(entries, entries[point].Id).Conflicts.empty());
        ASSERT_TRUE(w.Sys->Restore(entries[point].Id));
        EXPECT_EQ(w.Now(), before[point]);
        ASSERT_TRUE(w.Sys->Restore(w.Sys->History().back().Id));
        EXPECT_EQ(w.Now(), last);
    }
}

TEST(DesktopHistory, ASettingChangedOutsideTheProgramIsAConflict) {
    TDesktopWorld w;
    w.Steps()[0]();
    ASSERT_TRUE(SetGSettingsString(Background, "picture-uri", "file:///elsewhere.png").Ok);
    const auto entries = w.Sys->History();
    const TRestorePlan plan = w.Sys->PlanRestore(entries, entries[0].Id);
    ASSERT_EQ(plan.Conflicts.size(), 1u);
    EXPECT_EQ(plan.Conflicts[0].Description,
              std::string("桌面设置 gsettings:") + Background + ":picture-uri");
}

} // namespace
} // namespace velmora::test
