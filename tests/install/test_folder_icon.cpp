// Folder icons against the simulated Windows: the icon library's listing and
// the desktop.ini, attributes, system-folder mark and shell notifications of
// setting and restoring a folder's icon.
#include "install/CodePage.h"
#include "install/uFolderIcon.h"
#include "platform/SimulatedSystem.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {
namespace fs = std::filesystem;
using test::ReadFile;
using test::WriteFile;

class FolderIcon : public ::testing::Test {
protected:
    test::TTempDir Tmp;
    std::unique_ptr<TSimulatedSystem> Sys = CreateSimulatedSystem(Tmp / "root");
    fs::path Exe = Tmp / "程序";
    fs::path Target = Tmp / "我的 文件夹";
    test::TRecordingMessages Messages;

    void SetUp() override {
        WriteFile(IconLibraryFile(Exe, "动物", "Cat.ico"), "icon");
        WriteFile(IconLibraryFile(Exe, "动物", "dog.ico"), "icon");
        fs::create_directories(Target);
    }
    TFolderIconResult Set(const std::string& dir, const char* category = "动物",
                          const char* icon = "Cat.ico") {
        return SetFolderIcon(*Sys, dir, Exe,
                             category ? std::optional<std::string>(category) : std::nullopt,
                             icon ? std::optional<std::string>(icon) : std::nullopt);
    }
    std::vector<std::string> NotifyLines(const fs::path& dir) {
        const std::string d = dir.string();
        return {"Shlwapi633 arg=47", "SHChangeNotify event=0x8000 item=" + d,
                "SHChangeNotify event=0x2000 item=" + d,
                "SHChangeNotify event=0x8000000 item=" + d};
    }
};

TEST_F(FolderIcon, CategoriesAreSubFoldersInCaseInsensitiveOrder) {
    const fs::path lib = IconLibraryFolder(Exe);
    for (const char* name : {"weather", "Arrows", "办公", "arrows2", "Zodiac", "hidden", "system"})
        fs::create_directories(lib / name);
    WriteFile(lib / "Readme.txt", "a plain file is no category");
    ASSERT_TRUE(Sys->SetFileAttributes(lib / "hidden", faHidden));
    ASSERT_TRUE(Sys->SetFileAttributes(lib / "system", faSysFile | faReadOnly));

    EXPECT_EQ(LoadIconCategoryNames(*Sys, Exe),
              (std::vector<std::string>{"Arrows", "arrows2", "weather", "Zodiac", "办公", "动物"}));
    EXPECT_TRUE(LoadIconCategoryNames(*Sys, Tmp / "no program here").empty());
}

TEST_F(FolderIcon, IconsAreTheIcoFilesOfACategory) {
    const fs::path cat = IconLibraryFolder(Exe) / "Mixed";
    for (const char* name : {"b.ICO", "a.ico", "C.Ico", "note.png", "ico", "hidden.ico"})
        WriteFile(cat / name, "x");
    fs::create_directories(cat / "folder.ico");
    fs::create_directories(IconLibraryFolder(Exe) / "Empty");
    ASSERT_TRUE(Sys->SetFileAttributes(cat / "hidden.ico", faHidden | faSysFile));

    EXPECT_EQ(ListCategoryIcons(Exe, "Mixed"),
              (std::vector<std::string>{"a.ico", "b.ICO", "C.Ico", "hidden.ico"}));
    EXPECT_TRUE(ListCategoryIcons(Exe, "Empty").empty());
    EXPECT_TRUE(ListCategoryIcons(Exe, "Missing").empty());
}

TEST_F(FolderIcon, DesktopIniPathHasOneSeparator) {
    EXPECT_EQ(DesktopIniOf("/d/x").string(), "/d/x/desktop.ini");
    EXPECT_EQ(DesktopIniOf("/d/x/").string(), "/d/x/desktop.ini");
}

TEST_F(FolderIcon, SetWritesTheThreeLinesHiddenMarksAndNotifies) {
    // Typed with spaces around it and a trailing separator.
    const std::string typed = "  " + Target.string() + "/ ";
    EXPECT_EQ(Set(typed), TFolderIconResult::Done);
    EXPECT_EQ(Messages.Texts(), std::vector<std::string>{MsgSetIconDone});
    EXPECT_EQ(Messages.Shown[0].Kind, mkInformation);

    const fs::path ini = Target / "desktop.ini";
    const std::string icon = (Exe / "cache" / "icons" / "动物" / "Cat.ico").string();
    EXPECT_EQ(ReadFile(ini),
              Utf8ToCp936("[.ShellClassInfo]\r\nIconFile=" + icon + "\r\nIconIndex=0\r\n"));
    // Code page 936 bytes of the Chinese folder names, not UTF-8.
    EXPECT_NE(ReadFile(ini).find("\xB6\xAF\xCE\xEF"), std::string::npos); // 动物
    EXPECT_EQ(Sys->GetFileAttributes(ini), faHidden);
    EXPECT_EQ(Sys->GetFileAttributes(Target) & (faSysFile | faDirectory), faSysFile | faDirectory);

    std::vector<std::string> expected{"PathMakeSystemFolder " + Target.string() + "/"};
    for (auto& line : NotifyLines(Target.string() + "/"))
        expected.push_back(line);
    EXPECT_EQ(Sys->Journal(), expected);
}

TEST_F(FolderIcon, AFolderTypedInAnotherCaseIsFound) {
    fs::create_directories(Tmp / "Mixed Case");
    ASSERT_EQ(Set((Tmp / "MIXED case").string()), TFolderIconResult::Done);
    EXPECT_TRUE(fs::exists(Tmp / "Mixed Case" / "desktop.ini"));
    ASSERT_EQ(RestoreFolderIcon(*Sys, (Tmp / "mixed CASE").string()), TFolderIconResult::Done);
    EXPECT_FALSE(fs::exists(Tmp / "Mixed Case" / "desktop.ini"));
}

TEST_F(FolderIcon, SettingTwiceReplacesTheIcon) {
    ASSERT_EQ(Set(Target.string()), TFolderIconResult::Done);
    ASSERT_EQ(Set(Target.string(), "动物", "dog.ico"), TFolderIconResult::Done);
    const std::string text = Cp936ToUtf8(ReadFile(Target / "desktop.ini"));
    EXPECT_NE(text.find("dog.ico\r\n"), std::string::npos);
    EXPECT_EQ(text.find("Cat.ico"), std::string::npos);
    EXPECT_EQ(Sys->GetFileAttributes(Target / "desktop.ini"), faHidden);
}

TEST_F(FolderIcon, RefusalsShowTheirMessageAndChangeNothing) {
    WriteFile(Tmp / "plain.txt", "a file, not a folder");
    struct TCase {
        std::string Dir;
        const char* Category;
        const char* Icon;
        TFolderIconResult Result;
        const char* Message;
    } cases[] = {
        {"", "动物", "Cat.ico", TFolderIconResult::FolderMissing, MsgFolderMissing},
        {(Tmp / "missing").string(), "动物", "Cat.ico", TFolderIconResult::FolderMissing,
         MsgFolderMissing},
        {(Tmp / "plain.txt").string(), "动物", "Cat.ico", TFolderIconResult::FolderMissing,
         MsgFolderMissing},
        {Target.string(), "动物", nullptr, TFolderIconResult::NoIcon, MsgChooseIcon},
        {Target.string(), nullptr, "Cat.ico", TFolderIconResult::Failed, MsgSetIconFailed},
    };
    for (const TCase& c : cases) {
        Messages.Shown.clear();
        EXPECT_EQ(Set(c.Dir, c.Category, c.Icon), c.Result) << c.Dir;
        EXPECT_EQ(Messages.Texts(), std::vector<std::string>{c.Message}) << c.Dir;
    }
    EXPECT_FALSE(fs::exists(Target / "desktop.ini"));
    EXPECT_TRUE(Sys->Journal().empty());
    Messages.Shown.clear();
    EXPECT_EQ(RestoreFolderIcon(*Sys, (Tmp / "missing").string()),
              TFolderIconResult::FolderMissing);
    EXPECT_EQ(Messages.Texts(), std::vector<std::string>{MsgFolderMissing});
}

TEST_F(FolderIcon, AReadOnlyDesktopIniIsACreateError) {
    WriteFile(Target / "desktop.ini", "theirs");
    ASSERT_TRUE(Sys->SetFileAttributes(Target / "desktop.ini", faReadOnly));
    try {
        Set(Target.string());
        FAIL() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot create file \"" +
                                             (Target / "desktop.ini").string() +
                                             "\". Access is denied");
    }
    EXPECT_EQ(ReadFile(Target / "desktop.ini"), "theirs");
    EXPECT_TRUE(Messages.Shown.empty());
    EXPECT_TRUE(Sys->Journal().empty());
    EXPECT_EQ(fs::directory_iterator(Target) == fs::directory_iterator(), false);
    EXPECT_EQ(std::distance(fs::directory_iterator(Target), fs::directory_iterator()), 1);
}

TEST_F(FolderIcon, RestoreRemovesOnlyDesktopIni) {
    ASSERT_EQ(Set(Target.string()), TFolderIconResult::Done);
    WriteFile(Target / "keep.txt", "k");
    const std::size_t before = Sys->Journal().size();
    Messages.Shown.clear();

    EXPECT_EQ(RestoreFolderIcon(*Sys, Target.string()), TFolderIconResult::Done);
    EXPECT_FALSE(fs::exists(Target / "desktop.ini"));
    EXPECT_TRUE(fs::exists(Target / "keep.txt"));
    EXPECT_TRUE(Sys->GetFileAttributes(Target) & faSysFile); // still a system folder
    EXPECT_EQ(Messages.Texts(), std::vector<std::string>{MsgRestoreIconDone});
    const auto journal = Sys->Journal();
    EXPECT_EQ(std::vector<std::string>(journal.begin() + long(before), journal.end()),
              NotifyLines(Target));

    // Nothing to remove: the same message all the same.
    Messages.Shown.clear();
    EXPECT_EQ(RestoreFolderIcon(*Sys, Target.string() + "/"), TFolderIconResult::Done);
    EXPECT_EQ(Messages.Texts(), std::vector<std::string>{MsgRestoreIconDone});
}

} // namespace
} // namespace velmora
