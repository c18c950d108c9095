// velmora-tool package, run as a separate program the way publishers run it.
#include "tests/install/ZipFixture.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace velmora::test {
namespace {
namespace fs = std::filesystem;
using json = nlohmann::ordered_json; // keys in printed order

struct TRun : test::TProgramRun {
    json Doc() const { return json::parse(Out); }
};

class ToolPackage : public ::testing::Test {
protected:
    test::TTempDir Dir;

    TRun Run(const fs::path& package, const std::string& kind) {
        return {test::RunProgram(std::string(VELMORA_TOOL) + " package '" + package.string() + "'" +
                                     (kind.empty() ? "" : " --kind " + kind),
                                 Dir.Path())};
    }
};

TEST_F(ToolPackage, ThemeNamesTheRootThemeFileTheInstallerWouldOpen) {
    MakeZip(Dir / "Blue.zip", {{"Blue/", "", TZipItem::Folder},
                               {"Blue/inner.theme", "x"},
                               {"Blue.THEMEPACK", "x"},
                               {"Blue.theme", "x"}});
    TRun r = Run(Dir / "Blue.zip", "theme");
    EXPECT_EQ(r.Exit, 0) << r.Err;
    EXPECT_EQ(r.Doc(), json::parse(R"({"entries": ["Blue/", "Blue/inner.theme", "Blue.THEMEPACK",
        "Blue.theme"], "unsafe": [], "theme_file": "Blue.THEMEPACK"})"));

    MakeZip(Dir / "None.zip", {{"None/None.theme", "x"}});
    EXPECT_EQ(Run(Dir / "None.zip", "theme").Doc()["theme_file"], "");
}

TEST_F(ToolPackage, CursorMapsTheFifteenRolesInTableOrder) {
    MakeZip(Dir / "Neon.zip",
            {{"setup.inf", "[Version]\r\n[Strings]\r\nPointer = \"Arrow.CUR\"\r\nlink=\"l.ani\"\r\n"
                           "help=unquoted\r\n[Other]\r\nbusy=\"b.ani\"\r\n"},
             {"sub/setup.inf", "[Strings]\r\nwork=\"w.ani\"\r\n"}});
    TRun r = Run(Dir / "Neon.zip", "cursor");
    EXPECT_EQ(r.Exit, 0) << r.Err;
    const json doc = r.Doc();
    EXPECT_EQ(doc["setup_inf"], true);
    std::vector<std::pair<std::string, std::string>> roles;
    for (const auto& [k, v] : doc["roles"].items())
        roles.emplace_back(k, v);
    EXPECT_EQ(roles, (std::vector<std::pair<std::string, std::string>>{{"Arrow", "arrow.cur"},
                                                                       {"Help", "nquote"},
                                                                       {"AppStarting", ""},
                                                                       {"Wait", ""},
                                                                       {"Crosshair", ""},
                                                                       {"IBeam", ""},
                                                                       {"Hand", ""},
                                                                       {"No", ""},
                                                                       {"SizeNS", ""},
                                                                       {"SizeWE", ""},
                                                                       {"SizeNWSE", ""},
                                                                       {"SizeNESW", ""},
                                                                       {"SizeAll", ""},
                                                                       {"NWPen", ""},
                                                                       {"UpArrow", "l.ani"}}));

    MakeZip(Dir / "NoInf.zip", {{"a.cur", "x"}});
    r = Run(Dir / "NoInf.zip", "cursor");
    EXPECT_EQ(r.Exit, 0);
    EXPECT_EQ(r.Doc()["setup_inf"], false);
    EXPECT_EQ(r.Doc()["roles"]["Arrow"], "");
}

TEST_F(ToolPackage, ScreenSaverLooksForItsScrAtTheRoot) {
    MakeZip(Dir / "Rain Drops.zip", {{"Rain Drops.scr", "x"}});
    MakeZip(Dir / "Snow.zip", {{"sub/Snow.scr", "x"}, {"snow.SCR2", "x"}});
    EXPECT_EQ(Run(Dir / "Rain Drops.zip", "screensave").Doc()["scr_found"], true);
    EXPECT_EQ(Run(Dir / "Snow.zip", "screensave").Doc()["scr_found"], false);
}

TEST_F(ToolPackage, UnsafeEntriesAreListedWithExit3AndNothingIsWritten) {
    MakeZip(Dir / "Evil.zip", {{"ok.txt", "x"},
                               {"../up.txt", "x"},
                               {"C:\\win.ini", "x"},
                               {"link", "/etc", TZipItem::Symlink}});
    const auto before = TreeOf(Dir.Path());
    for (const char* kind : {"theme", "cursor", "screensave"}) {
        SCOPED_TRACE(kind);
        TRun r = Run(Dir / "Evil.zip", kind);
        EXPECT_EQ(r.Exit, 3);
        EXPECT_EQ(r.Doc()["unsafe"], json::parse(R"(["../up.txt", "C:\\win.ini", "link"])"));
    }
    EXPECT_EQ(TreeOf(Dir.Path()), before);
    EXPECT_FALSE(fs::exists(Dir.Path().parent_path() / "up.txt"));
}

TEST_F(ToolPackage, UnreadableArchivesExitWith2) {
    test::WriteFile(Dir / "page.zip", "<html>not found</html>");
    TRun r = Run(Dir / "page.zip", "theme");
    EXPECT_EQ(r.Exit, 2);
    EXPECT_EQ(r.Out, "");
    EXPECT_NE(r.Err.find("not a ZIP archive"), std::string::npos) << r.Err;

    r = Run(Dir / "missing.zip", "cursor");
    EXPECT_EQ(r.Exit, 2);
    EXPECT_NE(r.Err.find("missing.zip"), std::string::npos) << r.Err;

    // The directory reads but an entry's data is damaged: the listing is still
    // printed, with the error.
    MakeZip(Dir / "Broken.zip", {{"Broken.scr", std::string(4096, 'q'), TZipItem::File, true}});
    test::PatchBytes(Dir / "Broken.zip", std::string(8, 'q'), std::string(8, 'Z'));
    r = Run(Dir / "Broken.zip", "screensave");
    EXPECT_EQ(r.Exit, 2);
    EXPECT_EQ(r.Doc()["scr_found"], true);
    EXPECT_NE(r.Doc()["error"].get<std::string>().find("Broken.scr"), std::string::npos);
    EXPECT_FALSE(r.Err.empty());

    MakeZip(Dir / "Fine.zip", {{"a", "x"}});
    EXPECT_EQ(Run(Dir / "Fine.zip", "").Exit, 2);
    EXPECT_EQ(Run(Dir / "Fine.zip", "wallpaper").Exit, 2);
}

} // namespace
} // namespace velmora::test
