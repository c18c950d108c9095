// Where the program reads and writes: its own folder when it may write
// there, the installation's share folder and the user's own folders when not.
#include "install/ProgramFolders.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include <unistd.h>

namespace velmora::test {
namespace {

namespace fs = std::filesystem;

class ProgramFolders : public ::testing::Test {
protected:
    TTempDir home;
    TScopedEnv homeVar{"HOME", (home / "home").string()};
    TScopedEnv cache{"XDG_CACHE_HOME", (home / "cache").string()};
    TScopedEnv data{"XDG_DATA_HOME", std::nullopt};
    TScopedEnv config{"XDG_CONFIG_HOME", "relative/is/ignored"};
};

TEST_F(ProgramFolders, AWritableProgramFolderKeepsItsOwnLayoutAndMakesNothing) {
    TTempDir program;
    const TProgramFolders f = ChooseProgramFolders(program.Path());
    EXPECT_FALSE(f.Installed);
    EXPECT_EQ(f.ExePath, program.Path());
    EXPECT_EQ(f.CacheDir, program / "cache");
    EXPECT_EQ(f.TempDir, program / "temp");
    EXPECT_EQ(f.Favorites, program / "favorites");
    EXPECT_EQ(MakeProgramFolders(f), std::nullopt);
    EXPECT_TRUE(fs::is_empty(program.Path()));
    EXPECT_FALSE(fs::exists(home / "cache"));
}

TEST_F(ProgramFolders, AnInstallationReadsItsShareFolderAndWritesIntoTheUsersFolders) {
    TTempDir prefix;
    fs::create_directories(prefix / "bin");
    fs::create_directories(prefix / "share/velmora");
    // Writable or not (root may write anywhere), the layout says installed.
    const TProgramFolders f = ChooseProgramFolders(prefix / "bin");
    EXPECT_TRUE(f.Installed);
    EXPECT_EQ(f.ExePath, prefix / "share/velmora");
    EXPECT_EQ(f.CacheDir, home / "cache/velmora");
    EXPECT_EQ(f.TempDir, home / "cache/velmora/temp");
    // Unset and relative XDG variables fall back to the home folder's defaults.
    EXPECT_EQ(f.Favorites, home / "home/.local/share/velmora/favorites");
    EXPECT_EQ(f.ConfigDir, home / "home/.config/velmora");

    ASSERT_EQ(MakeProgramFolders(f), std::nullopt);
    for (const fs::path& made :
         {home / "cache/velmora", home / "home/.local/share/velmora/favorites",
          home / "home/.config/velmora", home / "home/.local"}) {
        EXPECT_TRUE(fs::is_directory(made)) << made;
        EXPECT_EQ(fs::status(made).permissions() & fs::perms::all, fs::perms::owner_all) << made;
    }
    std::vector<fs::path> underPrefix;
    for (const auto& entry : fs::recursive_directory_iterator(prefix.Path()))
        underPrefix.push_back(entry.path());
    EXPECT_EQ(underPrefix.size(), 3u); // bin, share, share/velmora
}

TEST_F(ProgramFolders, AProgramFolderItMayNotWriteSendsItsWritesToTheUser) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "root may write into any folder";
    TTempDir program;
    fs::permissions(program.Path(), fs::perms::owner_read | fs::perms::owner_exec);
    const TProgramFolders f = ChooseProgramFolders(program.Path());
    fs::permissions(program.Path(), fs::perms::owner_all);
    EXPECT_TRUE(f.Installed);
    EXPECT_EQ(f.ExePath, program.Path()); // what it ships is still read there
    EXPECT_EQ(f.CacheDir, home / "cache/velmora");
}

TEST_F(ProgramFolders, AUserFolderThatCannotBeMadeIsSaidAndNothingElseIsMade) {
    TTempDir prefix;
    fs::create_directories(prefix / "bin");
    fs::create_directories(prefix / "share/velmora");
    WriteFile(home / "cache", "a file where the cache folder would be");
    const std::optional<std::string> error =
        MakeProgramFolders(ChooseProgramFolders(prefix / "bin"));
    ASSERT_TRUE(error);
    EXPECT_NE(error->find((home / "cache/velmora").string()), std::string::npos) << *error;
    EXPECT_FALSE(fs::exists(home / "home"));
}

} // namespace
} // namespace velmora::test
