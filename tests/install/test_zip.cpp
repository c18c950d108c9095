// The ZIP facility: listing, extraction modes, all-or-nothing failures, and
// the refusal of archives that could write outside their destination.
#include "install/CodePage.h"
#include "install/uZip.h"
#include "platform/util/Files.h"
#include "tests/install/ZipFixture.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <csignal>
#include <cstdlib>

namespace velmora::test {
namespace {
namespace fs = std::filesystem;

TEST(Zip, ListsEntriesInArchiveOrderWithFolderPartAndFileName) {
    test::TTempDir tmp;
    const std::string cp936Name = Utf8ToCp936("光标/箭头.cur");
    MakeZip(tmp / "p.zip", {{"b.theme", "x"},
                            {"b/", "", TZipItem::Folder},
                            {"b/img/wall.jpg", "jpg"},
                            {"a.txt", "a"},
                            {"win\\style.msstyles", "s"},
                            {cp936Name, "cur"}});
    TZipFile zip(tmp / "p.zip");
    const auto& e = zip.Entries();
    ASSERT_EQ(e.size(), 6u);
    std::vector<std::array<std::string, 3>> got;
    for (const auto& x : e)
        got.push_back({x.Name, x.FolderPart, x.FileName});
    EXPECT_EQ(got, (std::vector<std::array<std::string, 3>>{
                       {"b.theme", "", "b.theme"},
                       {"b/", "b/", ""},
                       {"b/img/wall.jpg", "b/img/", "wall.jpg"},
                       {"a.txt", "", "a.txt"},
                       {"win\\style.msstyles", "win\\", "style.msstyles"},
                       {"光标/箭头.cur", "光标/", "箭头.cur"}}));
    EXPECT_TRUE(e[1].IsFolder);
    EXPECT_FALSE(e[2].IsFolder);
    EXPECT_TRUE(zip.UnsafeEntries().empty());
}

TEST(Zip, ExtractsBelowTheDestinationRecreatingFolders) {
    test::TTempDir tmp;
    std::string big(3 * 256 * 1024 + 17, '\0');
    for (std::size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>(i * 7919 % 251);
    MakeZip(tmp / "p.zip", {{"empty/", "", TZipItem::Folder},
                            {"t.theme", "theme"},
                            {"t/deep/er/big.bin", big},
                            {"win\\sub\\s.txt", "s", TZipItem::File, true},
                            {"./dot.txt", "d"},
                            {"zero.txt", ""}});
    TZipFile(tmp / "p.zip").ExtractAll(tmp / "dest" / "x", omAlways);
    EXPECT_EQ(TreeOf(tmp / "dest"),
              (std::vector<std::string>{"x", "x/dot.txt", "x/empty", "x/t", "x/t.theme", "x/t/deep",
                                        "x/t/deep/er", "x/t/deep/er/big.bin", "x/win", "x/win/sub",
                                        "x/win/sub/s.txt", "x/zero.txt"}));
    EXPECT_EQ(ReadFile(tmp / "dest/x/t/deep/er/big.bin"), big);
    EXPECT_EQ(ReadFile(tmp / "dest/x/win/sub/s.txt"), "s");
    EXPECT_EQ(ReadFile(tmp / "dest/x/zero.txt"), "");
}

TEST(Zip, OverwriteNeverKeepsExistingFilesAlwaysReplacesThem) {
    test::TTempDir tmp;
    MakeZip(tmp / "p.zip", {{"keep.txt", "archive"}, {"sub/new.txt", "new"}});
    for (auto mode : {omNever, omAlways}) {
        fs::path dest = tmp / (mode == omNever ? "never" : "always");
        WriteFile(dest / "keep.txt", "mine");
        TZipFile(tmp / "p.zip").ExtractAll(dest, mode);
        EXPECT_EQ(ReadFile(dest / "keep.txt"), mode == omNever ? "mine" : "archive");
        EXPECT_EQ(ReadFile(dest / "sub/new.txt"), "new");
        EXPECT_EQ(TreeOf(dest), (std::vector<std::string>{"keep.txt", "sub", "sub/new.txt"}));
    }
}

TEST(Zip, DuplicateNamesFollowTheOverwriteMode) {
    test::TTempDir tmp;
    MakeZip(tmp / "p.zip", {{"a.txt", "first"}, {"b.txt", "second"}});
    test::PatchBytes(tmp / "p.zip", "b.txt", "a.txt");
    TZipFile zip(tmp / "p.zip");
    ASSERT_EQ(zip.Entries().size(), 2u);
    zip.ExtractAll(tmp / "never", omNever);
    zip.ExtractAll(tmp / "always", omAlways);
    EXPECT_EQ(ReadFile(tmp / "never/a.txt"), "first");
    EXPECT_EQ(ReadFile(tmp / "always/a.txt"), "second");
    EXPECT_EQ(TreeOf(tmp / "always"), std::vector<std::string>{"a.txt"});
}

TEST(Zip, FilesThatAreNoReadableArchiveRaiseAClearError) {
    test::TTempDir tmp;
    WriteFile(tmp / "text.zip", "this is a catalogue page, not a package\n");
    WriteFile(tmp / "empty.zip", "");
    MakeZip(tmp / "good.zip", {{"a.txt", std::string(5000, 'a')}});
    std::string good = ReadFile(tmp / "good.zip");
    WriteFile(tmp / "cut.zip", good.substr(0, good.size() / 2));
    fs::create_directory(tmp / "folder.zip");
    for (const char* name : {"text.zip", "empty.zip", "cut.zip", "missing.zip", "folder.zip"}) {
        SCOPED_TRACE(name);
        try {
            TZipFile zip(tmp / name);
            FAIL() << "opened";
        } catch (const EZipError& e) {
            std::string text = e.what();
            EXPECT_NE(text.find(name), std::string::npos) << text;
            EXPECT_NE(text.find("ZIP archive"), std::string::npos) << text;
        }
    }
}

// Damaged data is found while extracting: the destination stays as it was,
// with no temporary file and no folder left behind.
TEST(Zip, DamagedDataLeavesTheDestinationAsItWas) {
    test::TTempDir tmp;
    std::string payload(100000, 'q');
    MakeZip(tmp / "p.zip", {{"a/first.txt", "fine"},
                            {"keep.txt", "archive"},
                            {"b/c/broken.bin", payload, TZipItem::File, true}});
    test::PatchBytes(tmp / "p.zip", std::string(16, 'q'), std::string(16, 'Z'));
    fs::path dest = tmp / "dest";
    WriteFile(dest / "keep.txt", "mine");
    try {
        TZipFile(tmp / "p.zip").ExtractAll(dest, omAlways);
        FAIL() << "extracted";
    } catch (const EZipError& e) {
        EXPECT_NE(std::string(e.what()).find("broken.bin"), std::string::npos) << e.what();
    }
    EXPECT_EQ(TreeOf(dest), std::vector<std::string>{"keep.txt"});
    EXPECT_EQ(ReadFile(dest / "keep.txt"), "mine");
}

// Failures found while files are still staged: nothing reaches its name.
TEST(Zip, ConflictsInTheDestinationFailBeforeAnythingIsMoved) {
    test::TTempDir tmp;
    struct {
        const char* Label;
        std::vector<TZipItem> Items;
    } cases[] = {
        {"file, then a folder of its name", {{"ok.txt", "x"}, {"a", "file"}, {"a/b.txt", "x"}}},
        {"folder, then a file of its name", {{"ok.txt", "x"}, {"a/b.txt", "x"}, {"a", "file"}}},
        {"name too long", {{"ok.txt", "x"}, {std::string(300, 'n') + ".txt", "x"}}},
        {"through a link in the destination", {{"ok.txt", "x"}, {"link/escape.txt", "x"}}},
    };
    fs::create_directories(tmp / "outside");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Label);
        fs::path dest = tmp / "dest";
        fs::remove_all(dest);
        fs::create_directories(dest);
        WriteFile(dest / "keep.txt", "mine");
        const bool linked = MakeLink(tmp / "outside", dest / "link");
        if (!linked && std::string_view(c.Label).find("link") != std::string_view::npos)
            continue; // no links on this system
        MakeZip(tmp / "p.zip", c.Items);
        EXPECT_THROW(TZipFile(tmp / "p.zip").ExtractAll(dest, omAlways), EZipError);
        const std::vector<std::string> kept = linked ? std::vector<std::string>{"keep.txt", "link"}
                                                     : std::vector<std::string>{"keep.txt"};
        EXPECT_EQ(TreeOf(dest), kept);
        EXPECT_TRUE(TreeOf(tmp / "outside").empty());
    }
}

struct TUnsafeCase {
    const char* Label;
    std::vector<TZipItem> Items; // a safe entry comes first in every archive
};

// Each archive holds one entry that could write outside the destination:
// the extraction is refused before anything is written, inside or outside.
TEST(Zip, UnsafeEntriesRefuseTheWholeArchive) {
    test::TTempDir tmp;
    const std::string abs = (tmp / "outside" / "abs.txt").string();
    const std::vector<TUnsafeCase> cases = {
        {"dot-dot slash", {{"../escape.txt", "x"}}},
        {"dot-dot backslash", {{"..\\escape.txt", "x"}}},
        {"absolute", {{abs, "x"}}},
        {"absolute backslash", {{"\\outside\\abs.txt", "x"}}},
        {"drive letter slash", {{"C:/escape.txt", "x"}}},
        {"drive letter backslash", {{"C:\\escape.txt", "x"}}},
        {"drive relative", {{"C:escape.txt", "x"}}},
        {"traversal in the middle", {{"sub/../../escape.txt", "x"}}},
        {"backslash traversal in the middle", {{"sub\\..\\..\\outside\\escape.txt", "x"}}},
        {"mixed separators", {{"sub/..\\../escape.txt", "x"}}},
        {"dots and spaces", {{".. /escape.txt", "x"}}},
        {"device name", {{"sub/CON.txt", "x"}}},
        {"device name as a folder", {{"nul /x.txt", "x"}}},
        {"numbered device", {{"Com1", "x"}}},
        {"folder entry", {{"../up/", "", TZipItem::Folder}}},
        {"symbolic link", {{"link", "../outside", TZipItem::Symlink}, {"link/escape.txt", "x"}}},
        {"absolute symbolic link", {{"link", abs, TZipItem::Symlink}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Label);
        fs::path work = tmp / "work";
        fs::remove_all(work);
        fs::remove_all(tmp / "outside");
        fs::path dest = work / "a" / "b" / "dest";
        std::vector<TZipItem> items{{"ok.txt", "fine"}, {"ok/", "", TZipItem::Folder}};
        items.insert(items.end(), c.Items.begin(), c.Items.end());
        fs::create_directories(work);
        MakeZip(work / "p.zip", items);

        TZipFile zip(work / "p.zip");
        EXPECT_EQ(zip.UnsafeEntries().size(), c.Items.size() == 2 ? 1u : c.Items.size());
        EXPECT_EQ(zip.UnsafeEntries().front(), c.Items.front().Name);
        EXPECT_THROW(zip.ExtractAll(dest, omAlways), EZipError);
        EXPECT_EQ(TreeOf(work), std::vector<std::string>{"p.zip"});
        EXPECT_FALSE(fs::exists(tmp / "outside"));
        EXPECT_FALSE(fs::exists(tmp / "escape.txt"));
        EXPECT_FALSE(fs::exists(tmp / "up"));
        EXPECT_FALSE(fs::exists("/escape.txt"));
    }
}

TEST(Zip, RefusalNamesTheEntry) {
    test::TTempDir tmp;
    MakeZip(tmp / "p.zip", {{"sub/../../x.txt", "x"}});
    try {
        TZipFile(tmp / "p.zip").ExtractAll(tmp / "d", omNever);
        FAIL();
    } catch (const EZipError& e) {
        EXPECT_NE(std::string(e.what()).find("sub/../../x.txt"), std::string::npos) << e.what();
    }
}

// Sizes are counted as written: an archive that lies about them is bounded all
// the same, and what it wrote is taken back.
TEST(Zip, ArchiveBombsAreBoundedByTheBytesWritten) {
    test::TTempDir tmp;
    const std::string zeros(2 << 20, '\0');
    MakeZip(tmp / "honest.zip", {{"a.txt", "small"}, {"bomb/zeros.bin", zeros}});
    MakeZip(tmp / "liar.zip", {{"bomb/zeros.bin", zeros}});
    test::PatchDeclaredSizes(tmp / "liar.zip", 10);

    TZipLimits total;
    total.MaxTotalBytes = 1 << 20;
    TZipLimits ratio;
    ratio.MaxRatio = 100;
    ratio.RatioFreeBytes = 64 * 1024;
    struct {
        const char* Label;
        const char* Archive;
        TZipLimits Limits;
    } cases[] = {{"total", "honest.zip", total},
                 {"total, sizes declared small", "liar.zip", total},
                 {"ratio", "honest.zip", ratio},
                 {"ratio, sizes declared small", "liar.zip", ratio}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Label);
        fs::path dest = tmp / "dest";
        fs::remove_all(dest);
        EXPECT_THROW(TZipFile(tmp / c.Archive).ExtractAll(dest / "x", omAlways, c.Limits),
                     EZipError);
        EXPECT_FALSE(fs::exists(dest));
        EXPECT_THROW(TZipFile(tmp / c.Archive).Verify(c.Limits), EZipError);
    }
    // The default bounds let an ordinary package through.
    TZipFile(tmp / "honest.zip").ExtractAll(tmp / "ok", omAlways);
    EXPECT_EQ(fs::file_size(tmp / "ok/bomb/zeros.bin"), zeros.size());
}

TEST(Zip, TooManyEntriesAreRefused) {
    test::TTempDir tmp;
    MakeZip(tmp / "p.zip", {{"a", "1"}, {"b", "2"}, {"c", "3"}});
    TZipLimits limits;
    limits.MaxEntries = 2;
    EXPECT_THROW(TZipFile(tmp / "p.zip").ExtractAll(tmp / "d", omAlways, limits), EZipError);
    EXPECT_FALSE(fs::exists(tmp / "d"));
}

TEST(Zip, ReadEntryIsBounded) {
    test::TTempDir tmp;
    MakeZip(tmp / "p.zip", {{"setup.inf", "[Strings]\r\n"}, {"big", std::string(5000, 'b')}});
    TZipFile zip(tmp / "p.zip");
    EXPECT_EQ(zip.ReadEntry(0, 100), "[Strings]\r\n");
    EXPECT_THROW(zip.ReadEntry(1, 100), EZipError);
}

#ifndef _WIN32
// A process of its own that extracts the archive and ends; its id (-1 when
// none could be started).
pid_t ExtractInChild(const fs::path& zip, const fs::path& dest) {
    const pid_t child = ::fork();
    if (child == 0) {
        try {
            TZipFile(zip).ExtractAll(dest, omAlways);
        } catch (...) {
        }
        ::_exit(0);
    }
    return child;
}

// An extraction killed at any moment leaves every file old or new, never a
// piece of one under its name; the next extraction completes.
TEST(Zip, KilledExtractionLeavesOldOrNewFiles) {
    test::TTempDir tmp;
    std::vector<TZipItem> items;
    for (int i = 0; i < 40; ++i)
        items.push_back(
            {"f" + std::to_string(i) + ".bin", std::string(256 * 1024, char('a' + i % 26))});
    MakeZip(tmp / "p.zip", items);
    const fs::path dest = tmp / "dest";
    std::srand(11);
    for (int round = 0; round < 8; ++round) {
        fs::remove_all(dest);
        fs::create_directories(dest);
        for (const auto& item : items)
            WriteFile(dest / item.Name, "old");
        const pid_t child = ExtractInChild(tmp / "p.zip", dest);
        ASSERT_GE(child, 0);
        ::usleep(static_cast<useconds_t>(1000 + std::rand() % 60000));
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        for (const auto& item : items) {
            const std::string now = ReadFile(dest / item.Name);
            EXPECT_TRUE(now == "old" || now == item.Data) << item.Name << " round " << round;
        }
    }
    TZipFile(tmp / "p.zip").ExtractAll(dest, omAlways);
    for (const auto& item : items)
        EXPECT_EQ(ReadFile(dest / item.Name), item.Data);
}

// A running extraction holds its temporary files, so the sweep of leftovers by
// another run passes them by; once the extraction is killed, the sweep
// removes them and nothing else.
TEST(Zip, TheSweepRemovesAKilledExtractionsTemporariesOnly) {
    test::TTempDir tmp;
    std::vector<TZipItem> items;
    for (int i = 0; i < 60; ++i)
        items.push_back({"d" + std::to_string(i % 3) + "/f" + std::to_string(i) + ".bin",
                         std::string(1 << 20, char('a' + i % 26))});
    MakeZip(tmp / "p.zip", items);
    const fs::path dest = tmp / "dest";
    auto temporaries = [&dest] {
        std::vector<std::string> out;
        std::error_code ec;
        for (auto it = fs::recursive_directory_iterator(dest, ec);
             !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
            if (IsTemporaryName(it->path()))
                out.push_back(it->path().lexically_relative(dest).generic_string());
        std::sort(out.begin(), out.end());
        return out;
    };
    bool caught = false;
    for (int round = 0; round < 20 && !caught; ++round) {
        fs::remove_all(dest);
        WriteFile(dest / "keep.txt", "mine");
        const pid_t child = ExtractInChild(tmp / "p.zip", dest);
        ASSERT_GE(child, 0);
        // Stopped while it has files under temporary names.
        bool ended = false;
        while (temporaries().empty() && !ended)
            ended = ::waitpid(child, nullptr, WNOHANG) == child;
        if (ended)
            continue;
        ::kill(child, SIGSTOP);
        int status = 0;
        ::waitpid(child, &status, WUNTRACED); // the stop has taken effect
        const auto held = WIFSTOPPED(status) ? temporaries() : std::vector<std::string>();
        if (!held.empty()) {
            caught = true;
            EXPECT_EQ(RemoveStaleTemporaries(dest, true), 0u);
            EXPECT_EQ(temporaries(), held);
        }
        if (WIFSTOPPED(status)) {
            ::kill(child, SIGKILL);
            ::waitpid(child, nullptr, 0);
        }
        if (caught) {
            EXPECT_EQ(RemoveStaleTemporaries(dest, true), held.size());
            EXPECT_TRUE(temporaries().empty());
            EXPECT_EQ(ReadFile(dest / "keep.txt"), "mine");
        }
    }
    EXPECT_TRUE(caught) << "no extraction was stopped half-way";
}
#endif

// A full disk part-way through: the extraction fails, nothing of it stays.
TEST(Zip, FullDiskFailsTheExtractionAndLeavesNothing) {
    test::TTempDir tmp;
    MakeZip(tmp / "p.zip", {{"small.txt", "s"}, {"big.bin", std::string(1 << 20, 'b')}});
    const fs::path dest = tmp / "dest";
    WriteFile(dest / "keep.txt", "mine");
    bool refused = false;
    std::string why;
    {
        TFileSizeLimit full(65536);
#ifdef _WIN32
        GTEST_SKIP() << "no file size limit on Windows";
#endif
        ASSERT_TRUE(full.Ok());
        try {
            TZipFile(tmp / "p.zip").ExtractAll(dest, omAlways);
        } catch (const EZipError& e) {
            refused = true;
            why = e.what();
        }
    }
    EXPECT_TRUE(refused);
    EXPECT_NE(why.find("big.bin"), std::string::npos) << why;
    EXPECT_EQ(TreeOf(dest), std::vector<std::string>{"keep.txt"});
}

} // namespace
} // namespace velmora::test
