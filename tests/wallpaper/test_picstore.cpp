// The picture store: where stored pictures are found, how they are written and
// what clearing temp\ removes.
#include "install/uPubFunc.h"
#include "platform/SimulatedSystem.h"
#include "tests/support/TestSupport.h"
#include "wallpaper/uPicStore.h"

#include <gtest/gtest.h>

namespace velmora::test {
namespace {
namespace fs = std::filesystem;

TEST(PicStore, FavoritesBeforeTemp) {
    test::TTempDir app;
    TPicStore store(app.Path());
    const std::string a = "http://img.example/a.jpg", b = "http://img.example/b.jpg";
    EXPECT_TRUE(store.FindLocalPicture(a).empty());
    test::WriteFile(app / ("temp/" + PictureFileName(a)), "t");
    EXPECT_EQ(store.FindLocalPicture(a), app / ("temp/" + PictureFileName(a)));
    test::WriteFile(app / ("favorites/" + PictureFileName(a)), "f");
    EXPECT_EQ(store.FindLocalPicture(a), app / ("favorites/" + PictureFileName(a)));
    // A folder under the name is no stored picture.
    fs::create_directories(app / ("temp/" + PictureFileName(b)));
    EXPECT_TRUE(store.FindLocalPicture(b).empty());
}

// Names are the MD5 of the address's bytes: two code page 936 addresses that
// are not UTF-8 no longer meet under the "?" of a lossy conversion.
TEST(PicStore, DifferentAddressesNeverShareAName) {
    test::TTempDir app;
    TPicStore store(app.Path());
    const std::string wind = UrlDecode("http://h/%B7%E7.jpg"),
                      beauty = UrlDecode("http://h/%C3%C0.jpg");
    EXPECT_NE(PictureFileName(wind), PictureFileName(beauty));
    store.StorePicture(wind, "BM-wind");
    EXPECT_EQ(store.FindLocalPicture(wind), app / ("temp/" + PictureFileName(wind)));
    EXPECT_TRUE(store.FindLocalPicture(beauty).empty());
    // Neither has a legacy name: their conversion would have been lossy.
    EXPECT_EQ(LegacyPictureFileName(wind), "");
    EXPECT_EQ(LegacyPictureFileName("http://h/a.jpg?x=1"), "");
}

// A picture stored by earlier versions under the code page 936 bytes of a
// UTF-8 address is still found, in favorites\ as in temp\.
TEST(PicStore, FindsPicturesStoredUnderTheLegacyName) {
    test::TTempDir app;
    TPicStore store(app.Path());
    const std::string address = "http://h/风景.jpg?q=1";
    const std::string legacy = LegacyPictureFileName(address);
    ASSERT_NE(legacy, "");
    test::WriteFile(app / ("favorites/" + legacy), "old");
    EXPECT_EQ(store.FindLocalPicture(address), app / ("favorites/" + legacy));
    // The address's own name goes first within a folder.
    test::WriteFile(app / ("favorites/" + PictureFileName(address)), "new");
    EXPECT_EQ(store.FindLocalPicture(address), app / ("favorites/" + PictureFileName(address)));
}

TEST(PicStore, StorePictureCreatesTempAndLeavesNoPartialFile) {
    test::TTempDir app;
    TPicStore store(app.Path() / "deep" / "app");
    const fs::path p = store.StorePicture("http://x/1.jpg", "BM-bytes");
    EXPECT_EQ(p, app.Path() / "deep/app/temp" / PictureFileName("http://x/1.jpg"));
    EXPECT_EQ(test::ReadFile(p), "BM-bytes");
    EXPECT_EQ(std::distance(fs::directory_iterator(store.TempDir()), fs::directory_iterator()), 1);

    // A temp\ that cannot be made: the error passes on, nothing is written.
    test::WriteFile(app / "blocked/temp", "a file in the way");
    TPicStore blocked(app.Path() / "blocked");
    EXPECT_THROW(blocked.StorePicture("http://x/1.jpg", "BM"), fs::filesystem_error);
}

TEST(PicStore, ClearTempPicturesRemovesOnlyBmpFilesOfTemp) {
    test::TTempDir app, root;
    auto system = CreateSimulatedSystem(root.Path());
    TPicStore store(app.Path());
    for (const char* name : {"temp/a.bmp", "temp/B.BMP", "temp/keep.jpg", "temp/sub/c.bmp",
                             "temp/bmp", "temp/locked.bmp", "favorites/d.bmp"})
        test::WriteFile(app / name, "x");
    fs::create_directories(app / "temp/folder.bmp");
    // The system refuses to delete a read-only file; it is skipped.
    fs::permissions(app / "temp/locked.bmp", fs::perms::all, fs::perm_options::remove);
    store.ClearTempPictures(*system);
    for (const char* gone : {"temp/a.bmp", "temp/B.BMP"})
        EXPECT_FALSE(fs::exists(app / gone)) << gone;
    for (const char* kept : {"temp/keep.jpg", "temp/sub/c.bmp", "temp/bmp", "temp/locked.bmp",
                             "favorites/d.bmp", "temp/folder.bmp"})
        EXPECT_TRUE(fs::exists(app / kept)) << kept;
    // No temp\ at all is nothing to clear.
    test::TTempDir empty;
    TPicStore(empty.Path()).ClearTempPictures(*system);
}

TEST(PicStore, SetDesktopWallpaperUsesACopyInTheWindowsFolder) {
    test::TTempDir dir;
    auto sys = CreateSimulatedSystem(dir / "root");
    const fs::path winDir = sys->WindowsDirectory();
    const fs::path copy = winDir / "WallpaperTemp.bmp";
    test::WriteFile(dir / "app/temp/a.bmp", "BM-new");
    test::WriteFile(copy, "BM-old");
    test::TRecordingMessages messages;
    EXPECT_TRUE(SetDesktopWallpaper(*sys, winDir, dir / "app/temp/a.bmp"));
    EXPECT_EQ(test::ReadFile(copy), "BM-new");
    EXPECT_EQ(sys->Journal(),
              (std::vector<std::string>{
                  "SystemParametersInfo action=20 uiParam=0 winIni=1 pvParam=" + copy.string()}));
    EXPECT_EQ(messages.Texts(), std::vector<std::string>{"设置桌面壁纸成功"});

    // A picture that cannot be copied changes nothing, silently.
    EXPECT_FALSE(SetDesktopWallpaper(*sys, winDir, dir / "app/temp/missing.bmp"));
    EXPECT_FALSE(SetDesktopWallpaper(*sys, dir / "no-such-windows", dir / "app/temp/a.bmp"));
    EXPECT_EQ(sys->Journal().size(), 1u);
    EXPECT_EQ(messages.Shown.size(), 1u);
    EXPECT_EQ(test::ReadFile(copy), "BM-new");
}

} // namespace
} // namespace velmora::test
