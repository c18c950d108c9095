// Windows cursor files converted to Xcursor files and themes, read back with
// libXcursor and compared pixel for pixel, hot spot and delay.
#include "platform/desktop/XcursorTheme.h"
#include "tests/platform/DesktopFixture.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

namespace velmora::test {
namespace {

namespace fs = std::filesystem;
using namespace velmora::desktop;

struct TWant {
    int Size, Width, Height, HotX, HotY;
    unsigned Delay;
    std::vector<std::uint32_t> Pixels;
};

void ExpectImages(const std::optional<std::vector<TLoadedImage>>& got,
                  const std::vector<TWant>& want) {
    ASSERT_TRUE(got.has_value()) << "libXcursor cannot read it";
    ASSERT_EQ(got->size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i) {
        const TLoadedImage& g = (*got)[i];
        const TWant& w = want[i];
        SCOPED_TRACE("image " + std::to_string(i));
        EXPECT_EQ(g.Size, w.Size);
        ASSERT_EQ(g.Width, w.Width);
        ASSERT_EQ(g.Height, w.Height);
        EXPECT_EQ(g.HotX, w.HotX);
        EXPECT_EQ(g.HotY, w.HotY);
        EXPECT_EQ(g.Delay, w.Delay);
        EXPECT_EQ(g.Pixels, w.Pixels);
    }
}

// The picture at its own size and the 1.5x and 2x copies a single-size
// file gets.
std::vector<TWant> WithScaledCopies(const TCursorPicture& p, unsigned delay = 0) {
    const auto pixels = ExpectedPixels(p);
    const int n = std::max(p.Width, p.Height);
    return {{n, p.Width, p.Height, p.HotX, p.HotY, delay, pixels},
            {n * 3 / 2, p.Width * 3 / 2, p.Height * 3 / 2, p.HotX * 3 / 2, p.HotY * 3 / 2, delay,
             ScaledPixels(pixels, p.Width, p.Height, 3, 2)},
            {n * 2, p.Width * 2, p.Height * 2, p.HotX * 2, p.HotY * 2, delay,
             ScaledPixels(pixels, p.Width, p.Height, 2, 1)}};
}

fs::path Convert(const std::string& bytes, const fs::path& file) {
    WriteXcursorFile(XcursorImagesOf(DecodeCursorFile(bytes)), file);
    return file;
}

TEST(Xcursor, EveryBitDepthConvertsPixelForPixelWithScaledCopies) {
    TTempDir temp;
    // Widths that leave padding at the end of each row of every depth.
    const struct {
        const char* Name;
        int Bpp;
        bool MaskOnly;
        int W, H;
    } cases[] = {{"1bpp", 1, false, 20, 20},   {"4bpp", 4, false, 22, 22},
                 {"8bpp", 8, false, 19, 19},   {"24bpp", 24, false, 21, 21},
                 {"32bpp", 32, false, 32, 32}, {"32bpp mask only", 32, true, 17, 17},
                 {"png", 0, false, 24, 24}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TCursorPicture p = Pattern(c.W, c.H, c.Bpp, 3, 5, 7);
        p.AlphaInMaskOnly = c.MaskOnly;
        const fs::path file = Convert(MakeCursorFile({p}), temp / c.Name);
        ExpectImages(LoadXcursor(file), WithScaledCopies(p));
    }
}

TEST(Xcursor, MultiSizeFilesKeepEachSizeAndHotSpotWithoutCopies) {
    TTempDir temp;
    const TCursorPicture small = Pattern(32, 32, 32, 1, 3, 4);
    const TCursorPicture large = Pattern(48, 48, 0, 2, 40, 47);
    const fs::path file = Convert(MakeCursorFile({small, large}), temp / "multi");
    ExpectImages(LoadXcursor(file), {{32, 32, 32, 3, 4, 0, ExpectedPixels(small)},
                                     {48, 48, 48, 40, 47, 0, ExpectedPixels(large)}});
}

TEST(Xcursor, AnimationFollowsSequenceAndRatesInJiffies) {
    TTempDir temp;
    const TCursorPicture f0 = Pattern(24, 24, 32, 0, 2, 2);
    const TCursorPicture f1 = Pattern(24, 24, 8, 1, 3, 3);
    const TCursorPicture f2 = Pattern(24, 24, 0, 2, 4, 4);
    const std::string ani =
        MakeAnimatedCursor({MakeCursorFile({f0}), MakeCursorFile({f1}), MakeCursorFile({f2})}, 9,
                           {6, 12, 3, 60}, {0, 2, 1, 2});
    const fs::path file = Convert(ani, temp / "busy");

    // Per size, the steps in order: 6 jiffies = 100 ms, 12 = 200, 3 = 50, 60 = 1 s.
    const TCursorPicture* order[] = {&f0, &f2, &f1, &f2};
    const unsigned delays[] = {100, 200, 50, 1000};
    std::vector<TWant> want;
    for (int scale = 0; scale < 3; ++scale)
        for (int step = 0; step < 4; ++step)
            want.push_back(WithScaledCopies(*order[step], delays[step])[scale]);
    ExpectImages(LoadXcursor(file), want);
}

TEST(Xcursor, AnimationWithoutRatesUsesTheHeaderRateAndFrameOrder) {
    TTempDir temp;
    const TCursorPicture f0 = Pattern(16, 16, 4, 0), f1 = Pattern(16, 16, 4, 5);
    const fs::path file = Convert(
        MakeAnimatedCursor({MakeCursorFile({f0}), MakeCursorFile({f1})}, 30), temp / "wait");
    const auto got = LoadXcursor(file);
    ASSERT_TRUE(got.has_value());
    ASSERT_EQ(got->size(), 6u);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ((*got)[i].Delay, 500u);
        EXPECT_EQ((*got)[i].Pixels, ExpectedPixels(i == 0 ? f0 : f1));
    }
}

TEST(Xcursor, IconFramesTakeTheirCentreAsHotSpot) {
    const TCursorPicture p = Pattern(32, 32, 24, 0);
    const TDecodedCursor cursor = DecodeCursorFile(MakeCursorFile({p}, true));
    ASSERT_EQ(cursor.Frames.size(), 1u);
    EXPECT_EQ(cursor.Frames[0][0].HotX, 16);
    EXPECT_EQ(cursor.Frames[0][0].HotY, 16);
}

TEST(Xcursor, BrokenFilesAreRefusedWithAReason) {
    const std::string good = MakeCursorFile({Pattern(16, 16, 24, 0)});
    std::string sixteenBpp = good;
    sixteenBpp[6 + 16 + 14] = 16; // biBitCount of the only image
    std::string huge = good;
    huge[6 + 16 + 5] = 0x40; // biWidth = 0x4010
    std::string outside = good;
    outside[6 + 12 + 1] = 0x7F; // image offset far past the end
    const std::string frame = MakeCursorFile({Pattern(16, 16, 1, 0)});
    const struct {
        const char* Name;
        std::string Bytes;
    } cases[] = {
        {"empty", ""},
        {"not a cursor", "GIF89a......."},
        {"cut short", good.substr(0, good.size() - 40)},
        {"16 bits per pixel", sixteenBpp},
        {"huge", huge},
        {"image outside the file", outside},
        {"no images", std::string("\0\0\2\0\0\0", 6)},
        {"riff that is no animation", "RIFF\4\0\0\0WAVE"},
        {"sequence names a missing frame", MakeAnimatedCursor({frame}, 5, {}, {0, 3})},
        {"broken frame", MakeAnimatedCursor({frame.substr(0, 30)}, 5)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        try {
            DecodeCursorFile(c.Bytes);
            ADD_FAILURE() << "accepted";
        } catch (const ECursorFormat& e) {
            EXPECT_NE(std::string(e.what()), "");
        }
    }
}

class XcursorThemeTest : public ::testing::Test {
protected:
    fs::path Icons() const { return Temp / "icons"; }
    fs::path Put(const std::string& name, const std::string& bytes) {
        WriteFile(Temp / name, bytes);
        return Temp / name;
    }
    TTempDir Temp;
};

TEST_F(XcursorThemeTest, SchemeBecomesAThemeFoundByEveryNameOfARole) {
    const TCursorPicture arrow = Pattern(32, 32, 32, 0, 1, 1);
    const TCursorPicture busy = Pattern(32, 32, 8, 4, 16, 16);
    const fs::path arrowFile = Put("arrow.cur", MakeCursorFile({arrow}));
    const fs::path busyFile = Put("busy.ani", MakeAnimatedCursor({MakeCursorFile({busy})}, 6));
    const fs::path broken = Put("hand.cur", "not a cursor");

    const TThemeWritten written = WriteXcursorTheme(
        Icons(), "Sky", {{"Arrow", arrowFile}, {"Wait", busyFile}, {"Hand", broken}}, "Adwaita");
    EXPECT_EQ(written.Converted, 2);
    ASSERT_EQ(written.Problems.size(), 1u);
    EXPECT_NE(written.Problems[0].find("hand.cur"), std::string::npos) << written.Problems[0];

    const fs::path cursors = Icons() / "Sky" / "cursors";
    EXPECT_FALSE(fs::exists(cursors / "hand2"));
    EXPECT_FALSE(fs::exists(cursors / "pointer"));
    for (const char* alias : {"default", "arrow", "top_left_arrow"}) {
        EXPECT_TRUE(fs::is_symlink(cursors / alias)) << alias;
        EXPECT_EQ(fs::read_symlink(cursors / alias), "left_ptr");
    }
    EXPECT_EQ(fs::read_symlink(cursors / "wait"), "watch");
    const std::string index = ReadFile(Icons() / "Sky" / "index.theme");
    EXPECT_NE(index.find("[Icon Theme]\nName=Sky\n"), std::string::npos) << index;
    EXPECT_NE(index.find("\nInherits=Adwaita\n"), std::string::npos) << index;

    // libXcursor's own theme lookup finds the CSS name through its link.
    ExpectImages(LoadThemeCursor(Icons(), "default", "Sky", 32), {WithScaledCopies(arrow)[0]});
    ExpectImages(LoadThemeCursor(Icons(), "wait", "Sky", 32), {WithScaledCopies(busy, 100)[0]});
}

TEST_F(XcursorThemeTest, AllFifteenRolesGetTheirNamesWithoutClashes) {
    const fs::path file = Put("c.cur", MakeCurBytes());
    std::vector<TRoleFile> roles;
    for (const TXcursorRole& role : XcursorRoles)
        roles.push_back({role.ValueName, file});
    const TThemeWritten written = WriteXcursorTheme(Icons(), "Full", roles, "");
    EXPECT_EQ(written.Converted, 15);
    EXPECT_TRUE(written.Problems.empty()) << written.Problems.front();
    const fs::path cursors = Icons() / "Full" / "cursors";
    for (const TXcursorRole& role : XcursorRoles) {
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(cursors / role.XName))) << role.XName;
        for (const char* alias : role.Aliases)
            EXPECT_EQ(fs::read_symlink(cursors / alias), role.XName) << alias;
    }
}

TEST_F(XcursorThemeTest, OnlyThemesOfOursAreReplacedOrRemovedAndTheChainStaysWhole) {
    const fs::path arrow = Put("a.cur", MakeCursorFile({Pattern(16, 16, 1, 0)}));
    // A theme the person installed themselves.
    fs::create_directories(Icons() / "Mine" / "cursors");
    WriteFile(Icons() / "Mine" / "index.theme", "[Icon Theme]\nName=Mine\n");
    EXPECT_THROW(WriteXcursorTheme(Icons(), "Mine", {{"Arrow", arrow}}, ""), std::runtime_error);
    EXPECT_FALSE(RemoveXcursorTheme(Icons(), "Mine"));
    EXPECT_TRUE(fs::exists(Icons() / "Mine" / "index.theme"));
    for (const char* bad : {"", ".", "..", "a/b", ".hidden"})
        EXPECT_THROW(WriteXcursorTheme(Icons(), bad, {{"Arrow", arrow}}, ""), std::runtime_error)
            << bad;

    WriteXcursorTheme(Icons(), "A", {{"Arrow", arrow}}, "Mine");
    WriteXcursorTheme(Icons(), "B", {{"Arrow", arrow}}, "A");
    // Written again: replaced in place, nothing left beside it.
    WriteXcursorTheme(Icons(), "B", {{"Arrow", arrow}}, "A");
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(Icons()))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"A", "B", "Mine"}));

    EXPECT_EQ(PreviousThemeOf(Icons(), "B"), "A");
    EXPECT_EQ(RemoveXcursorTheme(Icons(), "A"), "Mine");
    EXPECT_FALSE(fs::exists(Icons() / "A"));
    EXPECT_EQ(PreviousThemeOf(Icons(), "B"), "Mine");
    EXPECT_NE(ReadFile(Icons() / "B" / "index.theme").find("Inherits=Mine\n"), std::string::npos);
    EXPECT_EQ(RemoveXcursorTheme(Icons(), "B"), "Mine");
}

} // namespace
} // namespace velmora::test
