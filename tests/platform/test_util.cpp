// The shared helpers: ASCII text, whole-file reads and writes, PNG pictures.
#include "platform/util/Ascii.h"
#include "platform/util/Files.h"
#include "platform/util/Png.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cstdint>
#include <set>
#include <vector>

namespace velmora::test {
namespace {

namespace fs = std::filesystem;

TEST(AsciiText, OnlyAsciiLettersChangeAndLinesSplitAtEveryBreak) {
    // GBK "中文" and UTF-8 "Ä" keep every byte; only A-Z is lowered.
    EXPECT_EQ(LowerAscii("AbC.THEME \xd6\xd0\xce\xc4 \xc3\x84Z"),
              "abc.theme \xd6\xd0\xce\xc4 \xc3\x84z");
    EXPECT_TRUE(EqualsIgnoreCaseAscii("Control Panel\\Desktop", "control panel\\DESKTOP"));
    EXPECT_FALSE(EqualsIgnoreCaseAscii("\xc3\x84", "\xc3\xa4")); // not ASCII: not folded
    EXPECT_TRUE(StartsWithIgnoreCaseAscii("HTTPS://host", "https://"));
    EXPECT_FALSE(StartsWithIgnoreCaseAscii("http", "https://"));

    const struct {
        const char* Text;
        std::vector<std::string> Lines;
    } cases[] = {
        {"", {}},
        {"a", {"a"}},
        {"a\n", {"a"}},
        {"a\r\nb\rc\nd", {"a", "b", "c", "d"}},
        {"a\n\nb\r\n\r\n", {"a", "", "b", ""}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SplitLines(c.Text), c.Lines) << c.Text;
}

TEST(WholeFile, ReadStopsAtTheCapAndSaysWhy) {
    TTempDir temp;
    WriteFile(temp / "ten", "0123456789");
    std::string out = "stale";
    EXPECT_FALSE(ReadWholeFile(temp / "ten", out, 10));
    EXPECT_EQ(out, "0123456789");

    EXPECT_EQ(ReadWholeFile(temp / "ten", out, 9), std::errc::file_too_large);
    EXPECT_EQ(out, "");
    EXPECT_EQ(ReadWholeFile(temp / "missing", out, 10), std::errc::no_such_file_or_directory);
    const std::error_code folder = ReadWholeFile(temp.Path(), out, 10);
    EXPECT_TRUE(folder);
    EXPECT_FALSE(folder.message().empty());
}

TEST(WholeFile, AtomicWriteReplacesOrLeavesEverythingAsItWas) {
    TTempDir temp;
    const fs::path target = temp / "state.json";
    EXPECT_FALSE(WriteFileAtomically(target, "one"));
    EXPECT_FALSE(WriteFileAtomically(target, "two"));
    EXPECT_EQ(ReadFile(target), "two");

    // A folder in the way of the rename, and a folder that does not exist.
    fs::create_directory(temp / "busy");
    WriteFile(temp / "busy" / "inside", "x");
    EXPECT_TRUE(WriteFileAtomically(temp / "busy", "new"));
    EXPECT_TRUE(WriteFileAtomically(temp / "no" / "such" / "file", "new"));

    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(temp.Path()))
        names.insert(e.path().filename().string());
    EXPECT_EQ(names, (std::set<std::string>{"busy", "state.json"}));
    EXPECT_EQ(ReadFile(temp / "busy" / "inside"), "x");
}

TEST(WholeFile, AppendsGoAtTheEndOfAFileOnlyItsOwnerReadsAndCopiesReplace) {
    TTempDir temp;
    const fs::path record = temp / "record.jsonl";
    EXPECT_FALSE(AppendToFileDurably(record, "one\n"));
    EXPECT_FALSE(AppendToFileDurably(record, "two\n"));
    EXPECT_EQ(ReadFile(record), "one\ntwo\n");
    EXPECT_EQ(fs::status(record).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_TRUE(AppendToFileDurably(temp / "no" / "record.jsonl", "x\n"));

    EXPECT_FALSE(CopyFileReplacing(record, temp / "copy"));
    WriteFile(temp / "other", "other");
    EXPECT_FALSE(CopyFileReplacing(temp / "other", temp / "copy"));
    EXPECT_EQ(ReadFile(temp / "copy"), "other");
    EXPECT_TRUE(CopyFileReplacing(temp / "missing", temp / "copy"));
    EXPECT_EQ(ReadFile(temp / "copy"), "other");
}

TEST(WholeFile, TemporaryNamesAreBesideTheTargetDistinctAndRecognised) {
    const fs::path target = "/cache/Theme/Aero.zip";
    std::set<fs::path> seen;
    for (int i = 0; i < 100; ++i) {
        const fs::path temp = TemporaryNameBeside(target);
        EXPECT_EQ(temp.parent_path(), target.parent_path());
        EXPECT_EQ(temp.filename().string().rfind("Aero.zip.", 0), 0u) << temp;
        EXPECT_TRUE(IsTemporaryName(temp)) << temp;
        seen.insert(temp);
    }
    EXPECT_EQ(seen.size(), 100u);

    // A name near the file system's limit is shortened on a character boundary.
    std::string longName;
    while (longName.size() < 250)
        longName += "\xe4\xb8\xad"; // one three-byte character
    const std::string shortened =
        TemporaryNameBeside(fs::path("/x") / longName).filename().string();
    EXPECT_LE(shortened.size(), 255u);
    EXPECT_EQ(shortened.find(".") % 3, 0u);

    for (const char* name : {"Aero.zip", "Aero.zip.tmp", "Aero.zip.0123456789abcdeg.tmp",
                             "Aero.zip-0123456789abcdef.tmp", ".0123456789abcdef.tmpx"})
        EXPECT_FALSE(IsTemporaryName(name)) << name;
}

// The sweep of leftovers: temporary names only, below the folder when asked,
// never through a link, and only those of the targets asked for.
TEST(WholeFile, StaleTemporariesAreRemovedWhereAsked) {
    test::TTempDir dir;
    const fs::path root = dir / "root";
    for (const char* name : {"a.zip.0123456789abcdef.tmp", "sub/b.cur.0123456789abcdef.tmp",
                             "c.zip.tmp", "d.zip", "outside/e.0123456789abcdef.tmp"})
        WriteFile((name[0] == 'o' ? dir.Path() : root) / name, "x");
    fs::create_directory_symlink(dir / "outside", root / "link");
    EXPECT_EQ(RemoveStaleTemporaries(root, false, [](std::string_view t) { return t == "x"; }), 0u);
    EXPECT_EQ(RemoveStaleTemporaries(root, false), 1u);
    EXPECT_TRUE(fs::exists(root / "sub/b.cur.0123456789abcdef.tmp"));
    EXPECT_EQ(RemoveStaleTemporaries(root, true), 1u);
    EXPECT_FALSE(fs::exists(root / "sub/b.cur.0123456789abcdef.tmp"));
    for (const char* kept : {"outside/e.0123456789abcdef.tmp", "root/c.zip.tmp", "root/d.zip"})
        EXPECT_TRUE(fs::exists(dir / kept)) << kept;
}

// A PNG of the given pixels (RGBA, straight alpha), written by libpng.
std::string EncodePng(int width, int height, const std::vector<std::uint8_t>& rgba) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_RGBA;
    png_alloc_size_t size = 0;
    EXPECT_TRUE(png_image_write_to_memory(&image, nullptr, &size, 0, rgba.data(), 0, nullptr));
    std::string bytes(size, '\0');
    EXPECT_TRUE(png_image_write_to_memory(&image, bytes.data(), &size, 0, rgba.data(), 0, nullptr));
    bytes.resize(size);
    return bytes;
}

TEST(PngPicture, ReadsPremultipliedAndRefusesWhatItCannotRead) {
    // Opaque red beside half-transparent white.
    const std::string png = EncodePng(2, 1, {255, 0, 0, 255, 255, 255, 255, 128});
    TArgbPicture picture;
    std::string message;
    ASSERT_EQ(DecodePng(png, 16, picture, message), TPngResult::Decoded);
    EXPECT_EQ(picture.Width, 2);
    EXPECT_EQ(picture.Height, 1);
    EXPECT_EQ(picture.Pixels, (std::vector<std::uint32_t>{0xFFFF0000u, 0x80808080u}));

    const struct {
        const char* Name;
        std::string Bytes;
        TPngResult Result;
    } cases[] = {
        {"empty", "", TPngResult::Unreadable},
        {"not a PNG", "GIF89a\1\0\1\0", TPngResult::Unreadable},
        {"a side over the limit", EncodePng(17, 1, std::vector<std::uint8_t>(17 * 4, 255)),
         TPngResult::TooLarge},
        {"picture data cut off", png.substr(0, png.size() - 20), TPngResult::Undecodable},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        message.clear();
        EXPECT_EQ(DecodePng(c.Bytes, 16, picture, message), c.Result);
        EXPECT_TRUE(picture.Pixels.empty());
        EXPECT_NE(message, "");
        if (c.Result == TPngResult::TooLarge) {
            EXPECT_EQ(picture.Width, 17);
        }
    }
}

} // namespace
} // namespace velmora::test
