// What the simulated Windows keeps beyond the shared table: its registry file,
// journal, denied keys, theme packs, the desktop opener and exact 8.3 names.
#include "platform/SimulatedSystem.h"
#include "platform/sim/RegFile.h"
#include "tests/platform/Conformance.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>
#include <libgcab.h>

#include <csignal>
#include <cstdlib>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace velmora::test {
namespace {

namespace fs = std::filesystem;

class Simulated : public ::testing::Test {
protected:
    fs::path Root() const { return Temp / "root"; }
    TTempDir Temp;
    std::unique_ptr<TSimulatedSystem> Sys = CreateSimulatedSystem(Temp / "root");
};

std::string Value(ISystem& sys, const std::string& key, const std::string& name) {
    auto k = sys.OpenCurrentUserKey(key, false);
    return k ? k->ReadString(name).value_or("<missing>") : "<no key>";
}

TEST_F(Simulated, FreshRootHasTheWindowsLayoutAndProfileKeys) {
    for (const char* sub : {"Windows/System32", "Windows/Resources/Themes", "Windows/Cursors",
                            "AppData/Local/Microsoft/Windows/Themes"})
        EXPECT_TRUE(fs::is_directory(Root() / sub)) << sub;
    EXPECT_EQ(Sys->WindowsDirectory(), Root() / "Windows");
    EXPECT_EQ(Sys->SystemDirectory(), Root() / "Windows" / "System32");
    EXPECT_EQ(Sys->SpecialFolder(csidlLocalAppData), Root() / "AppData" / "Local");
    EXPECT_NE(Sys->OpenCurrentUserKey("Control Panel\\Desktop", false), nullptr);
    EXPECT_NE(Sys->OpenCurrentUserKey("Control Panel\\Cursors", false), nullptr);
}

TEST_F(Simulated, RegistryIsARegFileReadBackByTheNextRun) {
    {
        auto k = Sys->OpenCurrentUserKey("Control Panel\\Desktop", false);
        ASSERT_NE(k, nullptr);
        ASSERT_TRUE(k->WriteString("Wallpaper", "C:\\Windows\\WallpaperTemp.bmp"));
        ASSERT_TRUE(k->WriteString("Two Lines", "a\nb"));
    }
    const std::string text = ReadFile(Sys->RegistryFile());
    EXPECT_EQ(text.rfind("Windows Registry Editor Version 5.00\r\n", 0), 0u) << text;
    EXPECT_NE(text.find("[HKEY_CURRENT_USER\\Control Panel\\Desktop]\r\n"), std::string::npos);
    EXPECT_NE(text.find("\"Wallpaper\"=\"C:\\\\Windows\\\\WallpaperTemp.bmp\"\r\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("\"Two Lines\"=hex(1):61,00,0a,00,62,00,00,00"), std::string::npos) << text;

    auto next = CreateSimulatedSystem(Root());
    EXPECT_EQ(Value(*next, "control panel\\desktop", "wallpaper"),
              "C:\\Windows\\WallpaperTemp.bmp");
    EXPECT_EQ(Value(*next, "Control Panel\\Desktop", "Two Lines"), "a\nb");
}

TEST_F(Simulated, HandWrittenRegFileIsReadAndUnknownTypesAreKept) {
    WriteFile(Sys->RegistryFile(), "Windows Registry Editor Version 5.00\n\n"
                                   "; written by hand\n"
                                   "[HKEY_CURRENT_USER\\Control Panel\\Cursors]\n"
                                   "@=\"Scheme\"\n"
                                   "\"Arrow\"=hex(1):43,00,3a,00,\\\n"
                                   "  5c,00,61,00,00,00\n"
                                   "\"Count\"=dword:00000002\n");
    EXPECT_EQ(Value(*Sys, "Control Panel\\Cursors", ""), "Scheme");
    EXPECT_EQ(Value(*Sys, "Control Panel\\Cursors", "Arrow"), "C:\\a");
    EXPECT_EQ(Value(*Sys, "Control Panel\\Cursors", "Count"), "<missing>") << "not a string";
    auto k = Sys->OpenCurrentUserKey("Control Panel\\Cursors", false);
    ASSERT_TRUE(k->WriteString("Hand", "h.cur"));
    EXPECT_NE(ReadFile(Sys->RegistryFile()).find("\"Count\"=dword:00000002"), std::string::npos);
}

// Whatever the loader accepts, saving and loading again gives it back exactly.
TEST(RegFile, SaveThenLoadGivesBackWhatWasLoaded) {
    using sim::TRegFile;
    const std::string head = "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\K]\n";
    struct Case {
        const char* what;
        std::string body;
        std::vector<std::pair<std::string, std::string>> values; // as loaded
    } cases[] = {
        {"raw value ending in a backslash, then another value",
         "\"a\"=hex:00,\\\\\n\n\"b\"=\"x\"\n",
         {{"a", "hex:00,\\"}, {"b", "x"}}},
        {"continued hex line at the end without a line break",
         "\"a\"=hex(1):41,00,\\\n  42,00",
         {{"a", "AB"}}},
        {"trailing NULs of a string",
         "\"a\"=hex(1):41,00,00,00,00,00\n",
         {{"a", std::string("A\0", 2)}}},
        {"NULs inside a quoted string",
         std::string("\"a\"=\"x\0\0\"\n", 9),
         {{"a", std::string("x\0\0", 3)}}},
        {"control character in text that is not UTF-8",
         "\"a\"=\"\x01\xff\"\n",
         {{"a", "\x01\xff"}}},
        {"raw value naming =hex", "\"=hex\"=dword:1\\\\\n\n", {{"=hex", "dword:1\\"}}},
    };
    for (const auto& c : cases) {
        TRegFile first;
        ASSERT_TRUE(first.Parse(head + c.body)) << c.what;
        const sim::TRegKeyData* k = first.Find("K");
        ASSERT_NE(k, nullptr) << c.what;
        std::vector<std::pair<std::string, std::string>> loaded;
        for (const auto& v : k->Values)
            loaded.emplace_back(v.Name, v.Data);
        EXPECT_EQ(loaded, c.values) << c.what;

        TRegFile second;
        ASSERT_TRUE(second.Parse(first.Format())) << c.what;
        EXPECT_EQ(second.Format(), first.Format()) << c.what;
        ASSERT_EQ(second.Keys.size(), first.Keys.size()) << c.what;
        for (std::size_t i = 0; i < first.Keys.size(); ++i) {
            ASSERT_EQ(second.Keys[i].Values.size(), first.Keys[i].Values.size()) << c.what;
            for (std::size_t j = 0; j < first.Keys[i].Values.size(); ++j) {
                EXPECT_EQ(second.Keys[i].Values[j].Name, first.Keys[i].Values[j].Name) << c.what;
                EXPECT_EQ(second.Keys[i].Values[j].Data, first.Keys[i].Values[j].Data) << c.what;
                EXPECT_EQ(second.Keys[i].Values[j].Raw, first.Keys[i].Values[j].Raw) << c.what;
            }
        }
    }
}

TEST_F(Simulated, UnreadableRegistryFileIsSetAsideNotOverwritten) {
    WriteFile(Sys->RegistryFile(), "garbage that is no registry");
    auto k = Sys->OpenCurrentUserKey("Control Panel\\Desktop", true);
    ASSERT_NE(k, nullptr);
    ASSERT_TRUE(k->WriteString("Wallpaper", "x"));
    fs::path aside = Sys->RegistryFile();
    aside += ".unreadable-1";
    EXPECT_EQ(ReadFile(aside), "garbage that is no registry");
    EXPECT_EQ(Value(*Sys, "Control Panel\\Desktop", "Wallpaper"), "x");
}

// A writer killed at random moments leaves the old or the new file, whole.
TEST_F(Simulated, InterruptedWritesLeaveOldOrNewContent) {
    const std::string big(64 * 1024, 'v');
    std::srand(7);
    for (int round = 0; round < 12; ++round) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            auto sys = CreateSimulatedSystem(Root());
            auto k = sys->OpenCurrentUserKey("Software\\Velmora Test", true);
            for (int i = 0;; ++i)
                k->WriteString("Counter", std::to_string(i) + ":" + big);
        }
        ::usleep(static_cast<useconds_t>(2000 + std::rand() % 20000));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);

        const std::string text = ReadFile(Sys->RegistryFile());
        ASSERT_EQ(text.rfind("Windows Registry Editor Version 5.00", 0), 0u);
        auto again = CreateSimulatedSystem(Root());
        auto k = again->OpenCurrentUserKey("Software\\Velmora Test", false);
        if (!k)
            continue; // killed before the key was first written
        const std::string v = k->ReadString("Counter").value_or("");
        if (!v.empty()) {
            const auto colon = v.find(':');
            ASSERT_NE(colon, std::string::npos);
            EXPECT_EQ(v.substr(colon + 1), big) << "round " << round;
        }
    }
    for (const auto& e : fs::directory_iterator(Root()))
        EXPECT_EQ(e.path().filename().string().find("unreadable"), std::string::npos);
}

// Two processes on one root (the program and the tool) lose no update.
TEST_F(Simulated, ConcurrentWritersLoseNoValue) {
    std::vector<pid_t> children;
    for (const char* name : {"First", "Second"}) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            auto sys = CreateSimulatedSystem(Root());
            for (int i = 0; i < 40; ++i) {
                auto k = sys->OpenCurrentUserKey("Software\\Shared", true);
                if (!k || !k->WriteString(name + std::to_string(i), "v"))
                    ::_exit(1);
            }
            ::_exit(0);
        }
        children.push_back(child);
    }
    for (pid_t child : children) {
        int status = 0;
        ::waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    auto k = Sys->OpenCurrentUserKey("Software\\Shared", false);
    ASSERT_NE(k, nullptr);
    EXPECT_EQ(k->ValueNames().size(), 80u);
}

TEST_F(Simulated, DeniedKeyFailsToOpenAndCreate) {
    Sys->SetKeyDenied("Control Panel\\Desktop", true);
    long err = 0;
    EXPECT_EQ(Sys->OpenCurrentUserKey("Control Panel\\Desktop", false, &err), nullptr);
    EXPECT_EQ(err, errAccessDenied);
    EXPECT_EQ(Sys->OpenCurrentUserKey("control panel\\desktop\\Sub", true, &err), nullptr);
    EXPECT_EQ(err, errAccessDenied);
    EXPECT_NE(Sys->OpenCurrentUserKey("Control Panel", false), nullptr);
    // A key opened before the denial fails its writes too.
    Sys->SetKeyDenied("Control Panel\\Cursors", false);
    auto cursors = Sys->OpenCurrentUserKey("Control Panel\\Cursors", false);
    ASSERT_NE(cursors, nullptr);
    Sys->SetKeyDenied("Control Panel\\Cursors", true);
    EXPECT_FALSE(cursors->WriteString("Arrow", "a.cur"));

    auto next = CreateSimulatedSystem(Root());
    EXPECT_EQ(next->OpenCurrentUserKey("Control Panel\\Desktop", false), nullptr);
    next->SetKeyDenied("Control Panel\\Desktop", false);
    EXPECT_NE(Sys->OpenCurrentUserKey("Control Panel\\Desktop", false), nullptr);
}

TEST_F(Simulated, JournalHasOneLinePerEffect) {
    const fs::path cur = Temp / "arrow.cur";
    WriteBytes(cur, MakeCurBytes());
    const fs::path bmp = Temp / "wall.bmp";
    WriteBytes(bmp, MakeBmpBytes());
    const fs::path theme = Sys->WindowsDirectory() / "Resources" / "Themes" / "Sea.theme";
    WriteBytes(theme, "[Theme]\r\n");

    EXPECT_TRUE(Sys->SystemParametersInfo(spiSetScreenSaveActive, 1, std::nullopt, 2));
    EXPECT_TRUE(Sys->SystemParametersInfo(spiSetDeskWallpaper, 0, bmp.string(), 1));
    EXPECT_FALSE(Sys->SystemParametersInfo(spiSetDeskWallpaper, 0, (Temp / "no.bmp").string(), 1));
    EXPECT_FALSE(Sys->SystemParametersInfo(12345, 0, std::nullopt, 0));
    const TCursorHandle h = Sys->LoadCursorFromFile(cur);
    EXPECT_FALSE(Sys->SetSystemCursor(h, 1)) << "not a system cursor id";
    EXPECT_TRUE(Sys->SetSystemCursor(h, ocrHelp));
    EXPECT_FALSE(Sys->SetSystemCursor(h, ocrHelp)) << "the handle was consumed";
    EXPECT_EQ(Sys->ShellOpen(theme.string()), seOk);
    Sys->ShChangeNotify(shcneAssocChanged, Temp.Path());
    EXPECT_TRUE(Sys->PostScreenSaveCommand());

    const std::vector<std::string> expected = {
        "SystemParametersInfo action=17 uiParam=1 winIni=2 pvParam=null",
        "SystemParametersInfo action=20 uiParam=0 winIni=1 pvParam=" + bmp.string(),
        "SetSystemCursor id=32651 file=" + cur.string(),
        "ShellOpen " + theme.string(),
        "ThemeApplied " + theme.string(),
        "SHChangeNotify event=0x8000000 item=" + Temp.Path().string(),
        "ScreenSaverStarted file=",
    };
    EXPECT_EQ(Sys->Journal(), expected);
    EXPECT_EQ(Value(*Sys, "Control Panel\\Desktop", "Wallpaper"), bmp.string());
    EXPECT_EQ(Value(*Sys, "Software\\Microsoft\\Windows\\CurrentVersion\\Themes", "CurrentTheme"),
              theme.string());
}

TEST_F(Simulated, UrlsGoToTheDesktopOpener) {
    std::vector<std::string> opened;
    bool accept = true;
    Sys->SetUrlOpener([&](const std::string& url) {
        opened.push_back(url);
        return accept;
    });
    EXPECT_EQ(Sys->ShellOpen("HTTPS://example.invalid/home?a=1&b=2"), seOk);
    accept = false;
    EXPECT_LE(Sys->ShellOpen("http://example.invalid/"), 32);
    EXPECT_EQ(opened, (std::vector<std::string>{"HTTPS://example.invalid/home?a=1&b=2",
                                                "http://example.invalid/"}));
    EXPECT_EQ(Sys->ShellOpen(""), errFileNotFound);
}

// A cabinet made here with libgcab, as Windows' theme packs are.
void MakeCabinet(const fs::path& file,
                 const std::vector<std::pair<std::string, std::string>>& entries) {
    GCabCabinet* cab = gcab_cabinet_new();
    GCabFolder* folder = gcab_folder_new(GCAB_COMPRESSION_MSZIP);
    for (const auto& [name, bytes] : entries) {
        GBytes* data = g_bytes_new(bytes.data(), bytes.size());
        GCabFile* f = gcab_file_new_with_bytes(name.c_str(), data);
        ASSERT_TRUE(gcab_folder_add_file(folder, f, FALSE, nullptr, nullptr));
        g_object_unref(f);
        g_bytes_unref(data);
    }
    ASSERT_TRUE(gcab_cabinet_add_folder(cab, folder, nullptr));
    GFile* out = g_file_new_for_path(file.c_str());
    GFileOutputStream* stream =
        g_file_replace(out, nullptr, FALSE, G_FILE_CREATE_NONE, nullptr, nullptr);
    ASSERT_NE(stream, nullptr);
    ASSERT_TRUE(gcab_cabinet_write_simple(cab, G_OUTPUT_STREAM(stream), nullptr, nullptr, nullptr,
                                          nullptr));
    g_output_stream_close(G_OUTPUT_STREAM(stream), nullptr, nullptr);
    g_object_unref(stream);
    g_object_unref(out);
    g_object_unref(folder);
    g_object_unref(cab);
}

TEST_F(Simulated, ThemePackIsUnpackedUnderItsNameAndApplied) {
    const std::string picture = MakeBmpBytes(64, 48);
    const fs::path pack = Temp / "cache" / "theme" / "Ocean Blue.themepack";
    fs::create_directories(pack.parent_path());
    MakeCabinet(pack, {{"Ocean Blue.theme", "[Theme]\r\nDisplayName=Ocean\r\n"
                                            "[Control Panel\\Desktop]\r\n"
                                            "Wallpaper=DesktopBackground\\IMG1.bmp\r\n"},
                       {"DesktopBackground\\img1.bmp", picture}});

    EXPECT_EQ(Sys->ShellOpen(pack.string()), seOk);
    const fs::path dest = Root() / "AppData/Local/Microsoft/Windows/Themes/Ocean Blue";
    EXPECT_EQ(ReadFile(dest / "DesktopBackground" / "img1.bmp"), picture);
    EXPECT_EQ(Value(*Sys, "Software\\Microsoft\\Windows\\CurrentVersion\\Themes", "CurrentTheme"),
              (dest / "Ocean Blue.theme").string());
    EXPECT_EQ(Value(*Sys, "Control Panel\\Desktop", "Wallpaper"),
              (dest / "DesktopBackground" / "img1.bmp").string());
    const auto journal = Sys->Journal();
    ASSERT_EQ(journal.size(), 5u);
    EXPECT_EQ(journal[1], "ThemePackUnpacked " + dest.string());
    EXPECT_EQ(journal[2], "SystemParametersInfo action=20 uiParam=0 winIni=1 pvParam=" +
                              (dest / "DesktopBackground" / "img1.bmp").string());
    EXPECT_EQ(journal[3], "ThemeName Ocean");
    EXPECT_EQ(journal[4], "ThemeApplied " + (dest / "Ocean Blue.theme").string());

    // Opening it again replaces the earlier copy and leaves no work folder.
    fs::remove(dest / "Ocean Blue.theme");
    EXPECT_EQ(Sys->ShellOpen(pack.string()), seOk);
    EXPECT_TRUE(fs::exists(dest / "Ocean Blue.theme"));
    int entries = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dest.parent_path()))
        ++entries;
    EXPECT_EQ(entries, 1);
}

TEST_F(Simulated, BadThemePacksWriteNothing) {
    const fs::path themes = Root() / "AppData/Local/Microsoft/Windows/Themes";
    const fs::path notCab = Temp / "broken.themepack";
    WriteFile(notCab, "MSCF but not really a cabinet");
    const fs::path evil = Temp / "evil.themepack";
    MakeCabinet(evil, {{"evil.theme", "[Theme]"}, {"..\\..\\escaped.txt", "out"}});
    const fs::path device = Temp / "device.themepack";
    MakeCabinet(device, {{"device.theme", "[Theme]"}, {"sub\\AUX.txt", "out"}});

    for (const fs::path& pack : {notCab, evil, device}) {
        EXPECT_EQ(Sys->ShellOpen(pack.string()), seOk)
            << "the shell hands it over; the handler fails";
        EXPECT_FALSE(fs::exists(themes / pack.stem())) << pack;
        EXPECT_EQ(Sys->Journal().back().rfind("ThemePackFailed " + pack.string(), 0), 0u);
    }
    EXPECT_FALSE(fs::exists(themes.parent_path() / "escaped.txt"));
    EXPECT_TRUE(fs::is_empty(themes));
    EXPECT_EQ(Value(*Sys, "Software\\Microsoft\\Windows\\CurrentVersion\\Themes", "CurrentTheme"),
              "<missing>");
}

TEST_F(Simulated, ShortNamesFollowTheWindowsRules) {
    const fs::path dir = Temp / "Short";
    struct {
        const char* longName;
        const char* shortName;
    } cases[] = {
        {"My Screen Saver.scr", "MYSCRE~1.SCR"},
        {"My Screen Saver two.scr", "MYSCRE~2.SCR"},
        {"abc.txt", "abc.txt"}, // already 8.3: kept as it stands
        {"a.b.c.txt", "ABC~1.TXT"},
        {"name.jpeg", "NAME~1.JPE"},
        {"[x]+y=z;.ini", "XYZ~1.INI"},
        {".hidden", "HIDDEN~1"},
        {"中文名字.scr", nullptr}, // only checked for shape
    };
    for (const auto& c : cases)
        WriteBytes(dir / c.longName, "x");
    for (const auto& c : cases) {
        const fs::path s = Sys->ShortPathName(dir / c.longName);
        if (c.shortName)
            EXPECT_EQ(s.filename().string(), c.shortName) << c.longName;
        else
            EXPECT_TRUE(IsShortShape(s.filename().string())) << s;
        EXPECT_EQ(Sys->LongPathName(s), dir / c.longName);
    }
    // Ten of one prefix: the tail grows and the base shrinks.
    for (int i = 3; i <= 10; ++i)
        WriteBytes(dir / ("My Screen Saver " + std::to_string(i) + ".scr"), "x");
    for (int i = 3; i <= 10; ++i)
        Sys->ShortPathName(dir / ("My Screen Saver " + std::to_string(i) + ".scr"));
    EXPECT_EQ(Sys->ShortPathName(dir / "My Screen Saver 10.scr").filename(), "MYSCR~10.SCR");
    // Every component, and stable for the next run.
    auto next = CreateSimulatedSystem(Root());
    EXPECT_EQ(next->ShortPathName(dir / "My Screen Saver two.scr"),
              Sys->ShortPathName(dir.parent_path()) / "Short" / "MYSCRE~2.SCR");
}

TEST_F(Simulated, AttributesSurviveARestartAndFollowTheFileMode) {
    const fs::path file = Temp / "desktop.ini";
    WriteFile(file, "x");
    ASSERT_TRUE(Sys->SetFileAttributes(file, faHidden | faSysFile));
    auto next = CreateSimulatedSystem(Root());
    EXPECT_EQ(next->GetFileAttributes(file), faHidden | faSysFile);

    ::chmod(file.c_str(), 0444); // read-only is the file mode
    EXPECT_EQ(next->GetFileAttributes(file), faHidden | faSysFile | faReadOnly);
    ::chmod(file.c_str(), 0644);

    // A new file under the same name starts plain.
    fs::remove(file);
    WriteFile(file, "new");
    EXPECT_EQ(next->GetFileAttributes(file), faArchive);
}

TEST(SimulatedRoot, DefaultRootFollowsXdgDataHome) {
    const char* oldData = std::getenv("XDG_DATA_HOME");
    const std::string saved = oldData ? oldData : "";
    ::setenv("XDG_DATA_HOME", "/data/home", 1);
    EXPECT_EQ(DefaultSimulatedRoot(), fs::path("/data/home/velmora/windows"));
    ::unsetenv("XDG_DATA_HOME");
    if (const char* home = std::getenv("HOME"); home && *home) {
        EXPECT_EQ(DefaultSimulatedRoot(), fs::path(home) / ".local/share/velmora/windows");
    }
    if (oldData)
        ::setenv("XDG_DATA_HOME", saved.c_str(), 1);
}

} // namespace
} // namespace velmora::test
