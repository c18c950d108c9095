// velmora-tool catalog, run as a separate program the way publishers run it.
#include "install/CodePage.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>


namespace velmora::test {
namespace {
namespace fs = std::filesystem;
using nlohmann::json;

using TRun = test::TProgramRun;

TRun RunTool(const test::TTempDir& dir, const std::string& args) {
    return test::RunProgram(std::string(VELMORA_TOOL) + " " + args, dir.Path());
}

class ToolCatalogTest : public ::testing::Test {
protected:
    TRun Catalog(const std::string& utf8Document) {
        test::WriteFile(dir / "config.txt", Utf8ToCp936(utf8Document));
        return RunTool(dir, "catalog " + (dir / "config.txt").string() + " --base http://cat.example --exe-dir " +
                                (dir / "app").string() + " --system " + (dir / "sys").string());
    }
    test::TTempDir dir;
};

TEST_F(ToolCatalogTest, PrintsGroupsItemsPathsAndStates) {
    test::WriteFile(dir / "app/cache/cursor/指针.zip", "z");
    fs::create_directories(dir / "sys/Windows/Cursors/指针");
    test::WriteFile(dir / "sys/Windows/Resources/Themes/a b.theme", "[Theme]");
    TRun r = Catalog(R"({"themes":[{"name":" 风景 ","list":[{"name":" a b ","iszip":true},{"name":"..","iszip":true},
        {"name":"p","iszip":"yes"},{"name":"q"}]},{"name":"","list":[{"name":"x"}]}],
        "cursors":["指针","CON"],"screensave":[" "]})");
    ASSERT_EQ(r.Exit, 0) << r.Err;
    json j = json::parse(r.Out);
    EXPECT_EQ(j["theme_count"], 3);
    ASSERT_EQ(j["themes"].size(), 1u);
    EXPECT_EQ(j["themes"][0]["group"], "风景");
    const json& ab = j["themes"][0]["items"][0];
    EXPECT_EQ(ab["name"], "a b");
    EXPECT_EQ(ab["iszip"], true);
    EXPECT_EQ(ab["package_url"], "http://cat.example/softdata/win7/res/theme/a%20b.zip");
    EXPECT_EQ(ab["preview_url"], "http://cat.example/softdata/win7/res/theme/a%20b.jpg");
    EXPECT_EQ(ab["package_file"], (dir / "app/cache/theme/a b.zip").string());
    EXPECT_EQ(ab["preview_file"], (dir / "app/cache/theme/a b.jpg").string());
    EXPECT_EQ(ab["state"], 0);
    EXPECT_EQ(ab["installed"], true);
    EXPECT_EQ(j["themes"][0]["items"][1]["name"], "p");
    EXPECT_EQ(j["themes"][0]["items"][1]["iszip"], true);
    EXPECT_EQ(j["themes"][0]["items"][2]["package_url"], "http://cat.example/softdata/win7/res/theme/q.themepack");
    ASSERT_EQ(j["cursors"].size(), 1u);
    EXPECT_EQ(j["cursors"][0]["state"], 2);
    EXPECT_EQ(j["cursors"][0]["installed"], true);
    EXPECT_EQ(j["cursors"][0]["package_url"], "http://cat.example/softdata/win7/res/cursor/%E6%8C%87%E9%92%88.zip");
    EXPECT_TRUE(j["screensave"].empty());
}

TEST_F(ToolCatalogTest, PrintsThePackageChecksWhenTheCatalogueHasThem) {
    const std::string digest(64, 'd');
    TRun r =
        Catalog(R"({"themes":[{"name":"g","list":[{"name":"a","iszip":true,"sha256":")" + digest +
                R"(","size":10},{"name":"b","iszip":true}]}],"cursors":[{"name":"c","size":4}]})");
    ASSERT_EQ(r.Exit, 0) << r.Err;
    json j = json::parse(r.Out);
    EXPECT_EQ(j["themes"][0]["items"][0]["sha256"], digest);
    EXPECT_EQ(j["themes"][0]["items"][0]["size"], 10);
    EXPECT_FALSE(j["themes"][0]["items"][1].contains("sha256"));
    EXPECT_FALSE(j["themes"][0]["items"][1].contains("size"));
    EXPECT_FALSE(j["cursors"][0].contains("sha256"));
    EXPECT_EQ(j["cursors"][0]["size"], 4);
}

TEST_F(ToolCatalogTest, BrokenDocumentsPrintTheMessageAndExit2) {
    for (const char* text : {"{}", "not json", R"({"themes":null})"}) {
        TRun r = Catalog(text);
        EXPECT_EQ(r.Exit, 2) << text;
        EXPECT_EQ(r.Out, "") << text;
        EXPECT_EQ(r.Err, "读取配置出错，程序无法正常运行\n") << text;
    }
    TRun missing = RunTool(dir, "catalog " + (dir / "nothing.txt").string());
    EXPECT_EQ(missing.Exit, 2);
    EXPECT_EQ(missing.Err, "无法获取配置文件，程序将退出\n");
}

} // namespace
} // namespace velmora::test
