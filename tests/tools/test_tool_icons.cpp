// velmora-tool icons and folder-icon, run as a separate program: the library
// as the page lists it, and the page's two buttons on a folder.
#include "install/CodePage.h"
#include "platform/SimulatedSystem.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace velmora {
namespace {
namespace fs = std::filesystem;
using nlohmann::json;
using TRun = test::TProgramRun;

class ToolIcons : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* file :
             {"Zoo/b.ico", "Zoo/A.ico", "Zoo/readme.txt", "apps/x.ico", "办公/文档.ico"})
            test::WriteFile(dir / "app/cache/icons" / file, "icon");
        fs::create_directories(dir / "app/cache/icons/empty");
        fs::create_directories(Target);
    }
    TRun Tool(const std::string& args) {
        return test::RunProgram(std::string(VELMORA_TOOL) + " " + args + " --system '" +
                                    (dir / "sys").string() + "'",
                                dir.Path());
    }
    TRun Set(const std::string& folder, const std::string& category, const std::string& icon) {
        return Tool("folder-icon set '" + folder + "' --category '" + category + "' --icon '" +
                    icon + "' --exe-dir '" + (dir / "app").string() + "'");
    }
    test::TTempDir dir;
    fs::path Target = dir / "目标 文件夹";
};

TEST_F(ToolIcons, ListsCategoriesInDisplayOrderWithTheirIcons) {
    TRun r = Tool("icons --exe-dir '" + (dir / "app").string() + "'");
    ASSERT_EQ(r.Exit, 0) << r.Err;
    const json j = json::parse(r.Out);
    EXPECT_EQ(j["categories"], json::parse(R"([{"name":"apps","icons":["x.ico"]},
        {"name":"empty","icons":[]},{"name":"Zoo","icons":["A.ico","b.ico"]},
        {"name":"办公","icons":["文档.ico"]}])"));
    // Without a library: no categories, no failure.
    r = Tool("icons --exe-dir '" + (dir / "nothing").string() + "'");
    ASSERT_EQ(r.Exit, 0) << r.Err;
    EXPECT_TRUE(json::parse(r.Out)["categories"].empty());
}

TEST_F(ToolIcons, SetAndRestoreAFolder) {
    TRun r = Set(Target.string() + "/", "办公", "文档.ico");
    ASSERT_EQ(r.Exit, 0) << r.Err;
    EXPECT_EQ(r.Out, "设置文件夹图标成功\n");
    const std::string icon = (dir / "app/cache/icons/办公/文档.ico").string();
    EXPECT_EQ(test::ReadFile(Target / "desktop.ini"),
              Utf8ToCp936("[.ShellClassInfo]\r\nIconFile=" + icon + "\r\nIconIndex=0\r\n"));
    auto sys = CreateSimulatedSystem(dir / "sys");
    EXPECT_EQ(sys->GetFileAttributes(Target / "desktop.ini"), faHidden);
    EXPECT_EQ(sys->Journal().size(), 5u); // the mark, the shlwapi call, three notifications

    // Names as Windows finds them: without regard to case.
    r = Set(Target.string(), "zoo", "a.ICO");
    ASSERT_EQ(r.Exit, 0) << r.Err;
    EXPECT_NE(Cp936ToUtf8(test::ReadFile(Target / "desktop.ini")).find("Zoo/A.ico\r\n"),
              std::string::npos);

    r = Tool("folder-icon restore '" + Target.string() + "'");
    ASSERT_EQ(r.Exit, 0) << r.Err;
    EXPECT_EQ(r.Out, "恢复图标成功\n");
    EXPECT_FALSE(fs::exists(Target / "desktop.ini"));
    EXPECT_TRUE(sys->GetFileAttributes(Target) & faSysFile);
}

TEST_F(ToolIcons, RefusalsExitTwoWithTheProgramsMessage) {
    struct TCase {
        std::string Folder, Category, Icon, Out;
    } cases[] = {
        {(dir / "missing").string(), "Zoo", "b.ico", "文件夹不存在，请重新指定文件夹\n"},
        {Target.string(), "Zoo", "readme.txt", "请先选择一个图标\n"},
        {Target.string(), "Zoo", "../apps/x.ico", "请先选择一个图标\n"},
        {Target.string(), "..", "x.ico", "设置文件夹图标失败\n"},
        {Target.string(), "nothing", "x.ico", "设置文件夹图标失败\n"},
    };
    for (const TCase& c : cases) {
        TRun r = Set(c.Folder, c.Category, c.Icon);
        EXPECT_EQ(r.Exit, 2) << c.Category << " " << c.Icon;
        EXPECT_EQ(r.Out, c.Out) << c.Category << " " << c.Icon;
    }
    EXPECT_FALSE(fs::exists(Target / "desktop.ini"));
    EXPECT_EQ(Tool("folder-icon restore '" + (dir / "missing").string() + "'").Exit, 2);
    EXPECT_EQ(Tool("folder-icon paint '" + Target.string() + "'").Exit, 2);

    // A read-only desktop.ini: the create error, and the file as it was.
    test::WriteFile(Target / "desktop.ini", "theirs");
    fs::permissions(Target / "desktop.ini",
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    TRun r = Set(Target.string(), "Zoo", "b.ico");
    EXPECT_EQ(r.Exit, 2);
    EXPECT_NE(r.Err.find("Cannot create file"), std::string::npos) << r.Err;
    EXPECT_EQ(test::ReadFile(Target / "desktop.ini"), "theirs");
}

} // namespace
} // namespace velmora
