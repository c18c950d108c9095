#include "catalog/uCatalog.h"
#include "catalog/uWinHttp.h"
#include "install/CodePage.h"
#include "platform/util/Sha256.h"
#include "tests/support/FaultServer.h"
#include "tests/support/TestSupport.h"
#include "tools/StaticServer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>

namespace velmora::test {
namespace {
namespace fs = std::filesystem;

struct TRow {
    int Tag;
    TCatalogRow Parent;
    TCatalogItem Item;
};

class TRecordingCatalog : public ICatalogSink {
public:
    TCatalogRow AddRow(int tag, TCatalogRow parent, const TCatalogItem& item) override {
        Rows.push_back({tag, parent, item});
        return static_cast<TCatalogRow>(Rows.size() - 1);
    }
    void SetThemeHeader(const std::string& text) override {
        Header = text;
        HeaderAt = Rows.size();
    }

    std::vector<std::string> Names(int tag) const {
        std::vector<std::string> r;
        for (const auto& row : Rows)
            if (row.Tag == tag)
                r.push_back(row.Item.Name);
        return r;
    }
    const TCatalogItem& Item(const std::string& name) const {
        for (const auto& row : Rows)
            if (row.Item.Name == name)
                return row.Item;
        throw std::out_of_range(name);
    }

    std::vector<TRow> Rows;
    std::string Header = "design-time header";
    std::size_t HeaderAt = 0; // rows added before the header was set
};

class CatalogTest : public ::testing::Test {
protected:
    CatalogTest() {
        folders.ExePath = dir / "app";
        folders.WinDir = dir / "Windows";
        folders.SysDir = dir / "Windows/System32";
        folders.UserThemesDir = dir / "AppData/Local/Microsoft/Windows/Themes";
    }
    TLoadResult Load(const std::string& text) { return LoadCatalogText(Utf8ToCp936(text), folders, sink); }

    test::TTempDir dir;
    TFolderFields folders;
    TRecordingCatalog sink;
    test::TRecordingMessages messages;
};

TEST_F(CatalogTest, FillsGroupsItemsCursorsAndScreenSaversInDocumentOrder) {
    ASSERT_EQ(Load(R"({"themes":[
        {"name":"  风景  ","list":[{"name":" b 主题 ","iszip":true},{"name":"a","iszip":false},{"name":"  "},{"name":"a"}]},
        {"name":" ","list":[{"name":"hidden","iszip":true}]},
        {"list":[{"name":"nameless group","iszip":true}]},
        {"name":"空组"},
        {"name":"G3","list":"not an array"}
      ],
      "cursors":[" 指针 ", "", "c2", 7],
      "screensave":["s1"],
      "other":42})"),
              TLoadResult::Loaded);

    EXPECT_EQ(sink.Names(tagTheme), (std::vector<std::string>{"风景", "b 主题", "a", "a", "空组", "G3"}));
    EXPECT_EQ(sink.Names(tagCursor), (std::vector<std::string>{"指针", "c2", "7"}));
    EXPECT_EQ(sink.Names(tagScreenSave), (std::vector<std::string>{"s1"}));
    EXPECT_EQ(sink.Header, "主题名称 (共:3个主题)");
    EXPECT_TRUE(messages.Shown.empty());

    // Group rows sit at the top level with zero fields; items hang under them.
    EXPECT_EQ(sink.Rows[0].Parent, NoRow);
    EXPECT_FALSE(sink.Rows[0].Item.IsZip);
    EXPECT_EQ(sink.Rows[1].Parent, 0);
    EXPECT_EQ(sink.Rows[3].Parent, 0);
    EXPECT_TRUE(sink.Item("b 主题").IsZip);
    EXPECT_TRUE(sink.Item("指针").IsZip);
    EXPECT_TRUE(sink.Item("s1").IsZip);
}

TEST_F(CatalogTest, ZipFlagOfEveryJsonType) {
    ASSERT_EQ(Load(R"({"themes":[{"name":"g","list":[
        {"name":"t","iszip":true}, {"name":"f","iszip":false}, {"name":"null","iszip":null},
        {"name":"n0","iszip":0}, {"name":"n1","iszip":2}, {"name":"nf","iszip":0.5},
        {"name":"s0","iszip":""}, {"name":"s1","iszip":"no"},
        {"name":"o","iszip":{}}, {"name":"a","iszip":[]}, {"name":"missing"}]}]})"),
              TLoadResult::Loaded);
    std::map<std::string, bool> expected = {{"t", true},   {"f", false},  {"null", false}, {"n0", false},
                                            {"n1", true},  {"nf", true},  {"s0", false},   {"s1", true},
                                            {"o", true},   {"a", true},   {"missing", false}};
    for (const auto& [name, zip] : expected)
        EXPECT_EQ(sink.Item(name).IsZip, zip) << name;
}

TEST_F(CatalogTest, UnsafeNamesAreSkippedLikeEmptyOnes) {
    ASSERT_EQ(Load(R"({"themes":[{"name":"..","list":[
        {"name":".."}, {"name":"."}, {"name":"a/b"}, {"name":"a\\b"}, {"name":"c:d"}, {"name":"x?"},
        {"name":"CON"}, {"name":"nul.txt"}, {"name":"com1"}, {"name":"LPT9.theme"}, {"name":"a\u0001b"},
        {"name":"pipe|"}, {"name":"star*"}, {"name":"<x>"}, {"name":"q\"q"},
        {"name":"COM10"}, {"name":"console"}, {"name":"ok. name"}]}],
      "cursors":["..", "c/d", "AUX", "fine"], "screensave":["PRN.scr", "\\\\server\\x", "s"]})"),
              TLoadResult::Loaded);
    // Group titles are only shown, so ".." stays a title.
    EXPECT_EQ(sink.Names(tagTheme), (std::vector<std::string>{"..", "COM10", "console", "ok. name"}));
    EXPECT_EQ(sink.Header, "主题名称 (共:3个主题)");
    EXPECT_EQ(sink.Names(tagCursor), (std::vector<std::string>{"fine"}));
    EXPECT_EQ(sink.Names(tagScreenSave), (std::vector<std::string>{"s"}));
}

TEST_F(CatalogTest, BrokenDocumentsShowTheParseMessageAndFillNothing) {
    for (const char* text : {"{}", "", "<html><body>Not found</body></html>", R"({"themes":{}})",
                             R"({"themes":"x"})", "[1,2]", R"({"themes":[{"name":"g","list":[)"}) {
        TRecordingCatalog fresh;
        test::TRecordingMessages local;
        EXPECT_EQ(LoadCatalogText(text, folders, fresh), TLoadResult::ParseError) << text;
        EXPECT_TRUE(fresh.Rows.empty()) << text;
        EXPECT_EQ(fresh.Header, "design-time header") << text;
        ASSERT_EQ(local.Shown.size(), 1u) << text;
        EXPECT_EQ(local.Shown[0].Text, "读取配置出错，程序无法正常运行");
        EXPECT_EQ(local.Shown[0].Kind, mkInformation);
    }
}

TEST_F(CatalogTest, EmptyThemesAndMissingListsAreFine) {
    ASSERT_EQ(Load(R"({"themes":[]})"), TLoadResult::Loaded);
    EXPECT_EQ(sink.Header, "主题名称 (共:0个主题)");
    EXPECT_TRUE(sink.Rows.empty());
    EXPECT_TRUE(messages.Shown.empty());
}

TEST_F(CatalogTest, Utf8WithByteOrderMarkIsReadAsUtf8) {
    ASSERT_EQ(LoadCatalogText("\xEF\xBB\xBF{\"themes\":[],\"cursors\":[\"光标\"]}", folders, sink),
              TLoadResult::Loaded);
    EXPECT_EQ(sink.Names(tagCursor), (std::vector<std::string>{"光标"}));
}

TEST_F(CatalogTest, LongNamesAreCutAt255CodePageBytes) {
    std::string longName;
    for (int i = 0; i < 200; ++i)
        longName += "主";
    ASSERT_EQ(Load(R"({"themes":[],"cursors":[")" + longName + R"("]})"), TLoadResult::Loaded);
    const std::string name = sink.Names(tagCursor).at(0);
    EXPECT_EQ(Utf8ToCp936(name).size(), 254u); // 127 characters; a 128th would split
}

TEST_F(CatalogTest, ItemsMayCarryTheirPackagesDigestAndSize) {
    const std::string digest(64, 'a');
    const std::string upper = std::string(63, 'B') + "c";
    ASSERT_EQ(Load(R"({"themes":[{"name":"g","list":[
        {"name":"both","iszip":true,"sha256":")" +
                   digest + R"(","size":1234},
        {"name":"upper","iszip":true,"sha256":")" +
                   upper + R"("},
        {"name":"short","sha256":"abc","size":-5},
        {"name":"wrong types","sha256":7,"size":"12"},
        {"name":"not hex","sha256":")" +
                   std::string(64, 'g') + R"(","size":1.5},
        {"name":"plain","iszip":true}]}],
      "cursors":["c1",{"name":" c2 ","sha256":")" +
                   digest + R"(","size":9},{"sha256":")" + digest + R"("}],
      "screensave":[{"name":"s","size":3}]})"),
              TLoadResult::Loaded);
    struct Case {
        const char* name;
        std::string sha256;
        std::uint64_t size;
    } cases[] = {
        {"both", digest, 1234}, {"upper", std::string(63, 'b') + "c", 0},
        {"short", "", 0},       {"wrong types", "", 0},
        {"not hex", "", 0},     {"plain", "", 0},
        {"c1", "", 0},          {"c2", digest, 9},
        {"s", "", 3},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(sink.Item(c.name).Sha256, c.sha256) << c.name;
        EXPECT_EQ(sink.Item(c.name).Size, c.size) << c.name;
    }
    // An entry without a name is skipped, as before.
    EXPECT_EQ(sink.Names(tagCursor), (std::vector<std::string>{"c1", "c2"}));
    EXPECT_TRUE(messages.Texts().empty());
}

TEST_F(CatalogTest, PackageFileMatchesItsCheck) {
    const fs::path file = dir / "p.zip";
    test::WriteFile(file, "package");
    const std::string unrelated =
        "e1c6f0ba1cde49b4e2a4f2a9fe3ae9a7c14c6d4b3d5b1b2ad3f1c7f8b0f3c2a1";
    EXPECT_EQ(Sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    struct Case {
        TPackageCheck check;
        bool matches;
    } cases[] = {
        {{}, true},
        {{Sha256Hex("package"), 7}, true},
        {{Sha256Hex("package"), 0}, true},
        {{"", 7}, true},
        {{"", 8}, false},
        {{Sha256Hex("packagf"), 0}, false},
        {{unrelated, 7}, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PackageFileMatches(file, c.check), c.matches)
            << c.check.Sha256 << " " << c.check.Size;
    EXPECT_FALSE(PackageFileMatches(dir / "missing.zip", {Sha256Hex(""), 0}));
    EXPECT_EQ(Sha256OfFile(file), Sha256Hex("package"));
}

TEST_F(CatalogTest, PathsAndAddresses) {
    TCatalogItem item{"a b", true};
    EXPECT_EQ(PackageFile(folders, tagTheme, item), folders.ExePath / "cache/theme/a b.zip");
    EXPECT_EQ(PreviewFile(folders, tagTheme, item), folders.ExePath / "cache/theme/a b.jpg");
    EXPECT_EQ(PackageUrl("http://h", tagTheme, item), "http://h/softdata/win7/res/theme/a%20b.zip");
    EXPECT_EQ(PreviewUrl("http://h", tagTheme, item), "http://h/softdata/win7/res/theme/a%20b.jpg");
    item = {"中-1", false};
    EXPECT_EQ(PackageFile(folders, tagTheme, item), folders.ExePath / "cache/theme/中-1.themepack");
    EXPECT_EQ(PackageUrl("http://h", tagTheme, item), "http://h/softdata/win7/res/theme/%E4%B8%AD%2D1.themepack");
    EXPECT_EQ(PackageUrl("http://h", tagCursor, {"c", true}), "http://h/softdata/win7/res/cursor/c.zip");
    EXPECT_EQ(PreviewFile(folders, tagScreenSave, {"s", true}), folders.ExePath / "cache/screensave/s.jpg");
    EXPECT_EQ(CategoryFolder(1), "");

    EnsureCacheFolder(folders, tagCursor);
    EXPECT_TRUE(fs::is_directory(folders.ExePath / "cache/cursor"));
    EnsureCacheFolder(folders, tagCursor); // exists already: fine
}

TEST_F(CatalogTest, CachedAndInstalledStatesComeFromTheDisk) {
    test::WriteFile(folders.ExePath / "cache/theme/zipped.zip", "z");
    test::WriteFile(folders.ExePath / "cache/theme/packed.zip", "wrong extension for a theme pack");
    // Installed files are found whatever the case of their names on disk.
    test::WriteFile(folders.WinDir / "Resources/Themes/Zipped.THEME", "[Theme]");
    fs::create_directories(folders.UserThemesDir / "packed");
    fs::create_directories(folders.WinDir / "Cursors/ARROW");
    test::WriteFile(folders.ExePath / "cache/cursor/plain.zip", "z");
    test::WriteFile(folders.SysDir / "Saver.SCR", "MZ");
    fs::create_directories(folders.SysDir / "dir.scr"); // a folder is no installed file

    ASSERT_EQ(Load(R"({"themes":[{"name":"g","list":[{"name":"zipped","iszip":true},{"name":"packed","iszip":false}]}],
                      "cursors":["arrow","plain"],"screensave":["saver","dir"]})"),
              TLoadResult::Loaded);
    auto check = [&](const char* name, TDownState state, bool installed) {
        EXPECT_EQ(sink.Item(name).State, state) << name;
        EXPECT_EQ(sink.Item(name).Installed, installed) << name;
    };
    check("zipped", dsDone, true);
    check("packed", dsNone, true);
    check("arrow", dsNone, true);
    check("plain", dsDone, false);
    check("saver", dsNone, true);
    check("dir", dsNone, false);
}

TEST_F(CatalogTest, AddCatalogItemAsksTheDiskDirectly) {
    test::WriteFile(folders.ExePath / "cache/cursor/plain.zip", "z");
    fs::create_directories(folders.WinDir / "Cursors/arrow");
    test::WriteFile(folders.SysDir / "SAVER.Scr", "MZ");
    AddCatalogItem(sink, folders, tagCursor, NoRow, true, "plain");
    AddCatalogItem(sink, folders, tagCursor, NoRow, true, "arrow");
    AddCatalogItem(sink, folders, tagScreenSave, NoRow, true, "saver");
    AddCatalogItem(sink, folders, tagTheme, NoRow, false, std::string(300, 'x'));
    EXPECT_EQ(sink.Item("plain").State, dsDone);
    EXPECT_FALSE(sink.Item("plain").Installed);
    EXPECT_EQ(sink.Item("arrow").State, dsNone);
    EXPECT_TRUE(sink.Item("arrow").Installed);
    EXPECT_TRUE(sink.Item("saver").Installed);
    EXPECT_EQ(sink.Rows.back().Item.Name, std::string(255, 'x'));
}

TEST_F(CatalogTest, ADocumentFilledInSlicesGivesTheSameRowsAndHeaderAsInOneGo) {
    const std::string text =
        Utf8ToCp936(R"({"themes":[{"name":"g1","list":[{"name":"a"},{"name":"b"}]},
        {"name":"g2","list":[{"name":"c","iszip":true}]}], "cursors":["x","y"], "screensave":["s"]})");
    TRecordingCatalog whole;
    ASSERT_EQ(LoadCatalogText(text, folders, whole), TLoadResult::Loaded);
    ASSERT_EQ(whole.HeaderAt, 5u); // after the theme rows, before the cursors

    for (std::size_t slice : {std::size_t(1), std::size_t(2), std::size_t(5), std::size_t(100)}) {
        TCatalogFiller filler(ReadCatalogText(text, folders));
        TRecordingCatalog sliced;
        int calls = 0;
        while (!filler.Fill(sliced, slice))
            ASSERT_LT(++calls, 100);
        EXPECT_EQ(sliced.Rows.size(), whole.Rows.size()) << slice;
        for (std::size_t i = 0; i < whole.Rows.size() && i < sliced.Rows.size(); ++i) {
            EXPECT_EQ(sliced.Rows[i].Tag, whole.Rows[i].Tag) << slice << " " << i;
            EXPECT_EQ(sliced.Rows[i].Parent, whole.Rows[i].Parent) << slice << " " << i;
            EXPECT_EQ(sliced.Rows[i].Item.Name, whole.Rows[i].Item.Name) << slice << " " << i;
            EXPECT_EQ(sliced.Rows[i].Item.IsZip, whole.Rows[i].Item.IsZip) << slice << " " << i;
        }
        EXPECT_EQ(sliced.Header, whole.Header) << slice;
        EXPECT_EQ(sliced.HeaderAt, whole.HeaderAt) << slice;
    }
    // A document that did not load fills nothing and shows nothing by itself.
    TCatalogFiller broken(ReadCatalogText("{}", folders));
    EXPECT_TRUE(broken.Fill(sink, 10));
    EXPECT_TRUE(sink.Rows.empty());
    EXPECT_EQ(sink.Header, "design-time header");
    EXPECT_TRUE(messages.Shown.empty());
}

class LoadCatalogTest : public CatalogTest {
protected:
    void SetUp() override { ASSERT_TRUE(server.Start()); }
    test::TTempDir serverDir;
    TStaticServer server{serverDir.Path()};
    TWinHttp http;
};

TEST_F(LoadCatalogTest, FetchesTheDocumentFromTheServer) {
    test::WriteFile(serverDir / "softdata/win7/config.txt", Utf8ToCp936(R"({"themes":[],"cursors":["服务器"]})"));
    test::WriteFile(folders.ExePath / "config.txt", R"({"themes":[],"cursors":["local"]})");
    ASSERT_EQ(LoadCatalog(http, server.BaseUrl(), folders, sink), TLoadResult::Loaded);
    EXPECT_EQ(sink.Names(tagCursor), (std::vector<std::string>{"服务器"}));
    EXPECT_EQ(server.RequestCount("/softdata/win7/config.txt"), 1u);
    EXPECT_FALSE(fs::exists(folders.ExePath / "cache")); // the fetched document is not stored
}

TEST_F(LoadCatalogTest, FallsBackToTheLocalCopyWhenTheServerSendsNothing) {
    test::WriteFile(folders.ExePath / "config.txt", Utf8ToCp936(R"({"themes":[],"cursors":["本地"]})"));
    for (bool emptyBody : {false, true}) {
        TRecordingCatalog fresh;
        if (emptyBody)
            test::WriteFile(serverDir / "softdata/win7/config.txt", "");
        ASSERT_EQ(LoadCatalog(http, server.BaseUrl(), folders, fresh), TLoadResult::Loaded);
        EXPECT_EQ(fresh.Names(tagCursor), (std::vector<std::string>{"本地"}));
    }
    EXPECT_TRUE(messages.Shown.empty());
}

// An installed copy keeps its downloads and its copy of the catalogue in the
// user's cache; the share folder it reads from is never written.
TEST_F(LoadCatalogTest, AnInstalledCopyUsesTheUsersCache) {
    test::TTempDir userCache;
    TFolderFields installed = folders;
    installed.CacheDir = userCache.Path();
    test::WriteFile(folders.ExePath / "config.txt", R"({"themes":[],"cursors":["shipped"]})");
    test::WriteFile(userCache / "config.txt", R"({"themes":[],"cursors":["user"]})");
    ASSERT_EQ(LoadCatalog(http, server.BaseUrl(), installed, sink), TLoadResult::Loaded);
    EXPECT_EQ(sink.Names(tagCursor), (std::vector<std::string>{"user"}));
    EXPECT_EQ(CacheFolder(installed, tagTheme), userCache / "theme");
    EnsureCacheFolder(installed, tagCursor);
    EXPECT_TRUE(fs::is_directory(userCache / "cursor"));
    EXPECT_FALSE(fs::exists(folders.ExePath / "cache"));
}

// A server that misbehaves gives no document, not a piece of one: the local
// copy is read instead, and nothing is written.
TEST_F(CatalogTest, EveryFaultOfTheServerFallsBackToTheLocalCopy) {
    using test::TFault;
    test::WriteFile(folders.ExePath / "config.txt", R"({"themes":[],"cursors":["local"]})");
    for (TFault fault : {TFault::Silent, TFault::HeadersThenStall, TFault::ShortBody,
                         TFault::ResetMidBody, TFault::ChunkCut, TFault::RedirectLoop,
                         TFault::HugeLength, TFault::Endless, TFault::Trickle}) {
        if (!test::ClientSeesFault(fault))
            continue;
        test::TFaultServer server(fault);
        server.TrickleMs = 100;
        TWinHttp http;
        http.Timeout = 500; // the program's limits, shortened
        http.LowSpeedWindow = 1500;
        const std::string base = server.Url("");
        const auto start = std::chrono::steady_clock::now();
        const TCatalogDocument doc = FetchCatalog(http, base, folders);
        std::printf(
            "catalogue, fault %d: %.2f s\n", int(fault),
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        EXPECT_EQ(doc.Result, TLoadResult::Loaded) << int(fault);
        ASSERT_EQ(doc.Rows.size(), 1u) << int(fault);
        EXPECT_EQ(doc.Rows[0].Item.Name, "local") << int(fault);
    }
    EXPECT_TRUE(messages.Shown.empty());
    EXPECT_FALSE(fs::exists(folders.ExePath / "cache"));
}

TEST_F(LoadCatalogTest, TheRequestIsBoundedInAllAndThenTheLocalCopyIsRead) {
    test::WriteFile(folders.ExePath / "config.txt",
                    Utf8ToCp936(R"({"themes":[],"cursors":["本地"]})"));
    // A server that never answers, and one that keeps sending a byte now and
    // then, so that no single wait is long.
    test::WriteFile(serverDir / "softdata/win7/config.txt", std::string(100000, ' '));
    for (bool silent : {true, false}) {
        if (silent)
            server.Hold("/softdata/win7/config.txt");
        else
            server.SetFaults({.SlowDelayMs = 50, .SlowChunk = 1});
        const auto start = std::chrono::steady_clock::now();
        TCatalogDocument doc =
            FetchCatalog(http, server.BaseUrl(), folders, std::chrono::milliseconds(600));
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_EQ(doc.Result, TLoadResult::Loaded) << silent;
        ASSERT_EQ(doc.Rows.size(), 1u) << silent;
        EXPECT_EQ(doc.Rows[0].Item.Name, "本地");
        EXPECT_LT(took, std::chrono::seconds(5)) << silent;
        server.Release();
    }
    EXPECT_TRUE(messages.Shown.empty());
}

TEST_F(LoadCatalogTest, AnHtmlAnswerIsAParseErrorAndTheLocalCopyIsNotTried) {
    server.AddStatus("/softdata/win7/config.txt", 200, "<html>maintenance</html>");
    test::WriteFile(folders.ExePath / "config.txt", R"({"themes":[]})");
    EXPECT_EQ(LoadCatalog(http, server.BaseUrl(), folders, sink), TLoadResult::ParseError);
    EXPECT_EQ(messages.Texts(), (std::vector<std::string>{"读取配置出错，程序无法正常运行"}));
}

TEST_F(LoadCatalogTest, NothingAnywhereEndsTheProgramWithAWarning) {
    EXPECT_EQ(LoadCatalog(http, server.BaseUrl(), folders, sink), TLoadResult::NoCatalog);
    ASSERT_EQ(messages.Shown.size(), 1u);
    EXPECT_EQ(messages.Shown[0].Text, "无法获取配置文件，程序将退出");
    EXPECT_EQ(messages.Shown[0].Kind, mkWarning);
    EXPECT_EQ(messages.Shown[0].Title, "警告");
    EXPECT_TRUE(sink.Rows.empty());
}

} // namespace
} // namespace velmora::test
