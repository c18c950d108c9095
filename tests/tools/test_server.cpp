#include "catalog/uWinHttp.h"
#include "tests/support/TestSupport.h"
#include "tools/StaticServer.h"

#include <gtest/gtest.h>

namespace velmora::test {
namespace {
namespace fs = std::filesystem;

TEST(StaticServer, ServesOnlyRegularFilesInsideItsFolder) {
    test::TTempDir dir;
    const fs::path root = dir / "root";
    test::WriteFile(root / "a/中 文.txt", "x");
    test::WriteFile(dir / "secret.txt", "s");
    fs::create_directory_symlink(dir.Path(), root / "up");
    fs::create_symlink(dir / "secret.txt", root / "link.txt");

    struct Case {
        const char* path;
        bool served;
    } cases[] = {
        {"/a/中 文.txt", true}, {"/a//./中 文.txt", true}, {"/a/../a/中 文.txt", false},
        {"/../secret.txt", false}, {"/a/..", false}, {"/up/secret.txt", false},
        {"/link.txt", false}, {"/a", false}, {"/", false}, {"", false}, {"/a\\..\\x", false},
        {"a/中 文.txt", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(!ResolveServedFile(root, c.path).empty(), c.served) << c.path;
}

TEST(StaticServer, DecodesPathsAndAnnouncesTheLength) {
    test::TTempDir dir;
    test::WriteFile(dir / "res/主题 1.zip", std::string(5000, 'z'));
    TStaticServer server(dir.Path());
    ASSERT_TRUE(server.Start());
    TWinHttp http;
    std::int64_t total = -1;
    http.OnProgress = [&](TWinHttp&, const std::string&, std::int64_t, std::int64_t t) { total = t; };
    EXPECT_EQ(http.GetString(server.BaseUrl() + "/res/%E4%B8%BB%E9%A2%98%201.zip").size(), 5000u);
    EXPECT_EQ(total, 5000);
    EXPECT_EQ(http.GetString(server.BaseUrl() + "/res/missing.zip"), "");
    EXPECT_EQ(server.RequestCount("/res/主题 1.zip"), 1u);
}

} // namespace
} // namespace velmora::test
