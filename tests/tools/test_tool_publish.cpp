// velmora-tool publish, run as a separate program the way publishers run it:
// a folder of packages becomes a catalogue that `velmora-tool catalog` reads
// back, republishing is byte-identical and incremental, and --check finds
// what differs from config.txt.
#include "install/CodePage.h"
#include "platform/util/Sha256.h"
#include "tests/install/ZipFixture.h"
#include "tests/support/PictureFiles.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sys/stat.h>

#ifdef VELMORA_TOOL_PICTURES
#include <QImage>
#endif

namespace velmora::test {
namespace {
namespace fs = std::filesystem;
using nlohmann::json;

// MakeZip with the folders the file lies in.
// Written beside under a short name: libzip's temporary name would make a
// long one too long.
void Zip(const fs::path& file, const std::vector<TZipItem>& items) {
    fs::create_directories(file.parent_path());
    MakeZip(file.parent_path() / "z.tmp", items);
    fs::rename(file.parent_path() / "z.tmp", file);
}

std::string ThemeText(const std::string& wallpaper) {
    return "[Theme]\r\nDisplayName=x\r\n[Control Panel\\Desktop]\r\nWallpaper=" + wallpaper +
           "\r\n";
}

// A red picture that the theme's preview is made from.
std::string RedPng(int w, int h) {
    return MakePngBytes(w, h, std::vector<std::uint32_t>(std::size_t(w) * h, 0xFFFF0000u));
}

void ThemeZip(const fs::path& file, const std::string& name) {
    Zip(file, {{name + ".theme",
                Utf8ToCp936(ThemeText("%WINDIR%\\Resources\\Themes\\" + name + "\\WALL.png"))},
               {name + "/wall.PNG", RedPng(80, 60)}});
}
void CursorZip(const fs::path& file, const std::string& inf) {
    Zip(file,
        {{"Setup.INF", Utf8ToCp936(inf)}, {"a.cur", MakeCurBytes()}, {"b.ani", MakeAniBytes()}});
}
const std::string GoodInf = "[Strings]\r\npointer = \"a.cur\"\r\nbusy = \"B.ani\"\r\n";
void SaverZip(const fs::path& file, const std::string& name) {
    Zip(file, {{name + ".SCR", "MZ" + std::string(62, '\0')}});
}

// The file a static server answers an address's path with.
fs::path ServedFile(const fs::path& root, std::string path) {
    std::string decoded;
    for (std::size_t i = 0; i < path.size(); ++i)
        if (path[i] == '%' && i + 2 < path.size()) {
            decoded += static_cast<char>(std::stoi(path.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            decoded += path[i];
        }
    return root / fs::path(decoded);
}

struct TFileId {
    ino_t Inode;
    std::string Bytes;
    bool operator==(const TFileId&) const = default;
};
std::map<std::string, TFileId> Snapshot(const fs::path& root) {
    std::map<std::string, TFileId> out;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        if (!e.is_regular_file())
            continue;
        struct stat st {};
        ::stat(e.path().c_str(), &st);
        out[e.path().lexically_relative(root).string()] = {st.st_ino, ReadFile(e.path())};
    }
    return out;
}
std::map<std::string, std::string> Bytes(const fs::path& root) {
    std::map<std::string, std::string> out;
    for (const auto& [k, v] : Snapshot(root))
        out[k] = v.Bytes;
    return out;
}

class ToolPublish : public ::testing::Test {
protected:
    TProgramRun Tool(const std::string& args) {
        return RunProgram(std::string(VELMORA_TOOL) + " " + args, dir.Path());
    }
    TProgramRun Publish(const fs::path& out, const std::string& extra = "") {
        return Tool("publish '" + src.string() + "' '" + out.string() + "'" + extra);
    }
    TProgramRun Check(const fs::path& out) {
        return Tool("publish '" + out.string() + "' --check");
    }
    json Catalog(const fs::path& out) {
        TProgramRun r = Tool("catalog '" + (out / "softdata/win7/config.txt").string() +
                             "' --base http://cat.example --exe-dir '" + (dir / "app").string() +
                             "' --system '" + (dir / "sys").string() + "'");
        EXPECT_EQ(r.Exit, 0) << r.Err;
        return json::parse(r.Out);
    }
    // Two good packages of each category.
    void GoodSource() {
        ThemeZip(src / fs::path("themes/风景/山水 之间.zip"), "山水 之间");
        WriteFile(
            src / fs::path("themes/风景/海边.themepack"),
            MakeCabBytes({{"海边.theme", Utf8ToCp936(ThemeText("DesktopBackground\\sea.png"))},
                          {"DesktopBackground\\sea.png", RedPng(40, 30)}}));
        CursorZip(src / fs::path("cursors/指针.zip"), GoodInf);
        CursorZip(src / "cursors/Neon.zip", GoodInf);
        SaverZip(src / fs::path("screensavers/星空.zip"), "星空");
        SaverZip(src / "screensavers/Clock.zip", "clock");
    }

    TTempDir dir;
    fs::path src = dir.Path() / "src", out = dir.Path() / "out";
};

TEST_F(ToolPublish, TheCatalogueListsExactlyTheGoodPackagesWithTheirDigests) {
    GoodSource();
    struct Bad {
        std::string file; // below src
        std::vector<TZipItem> zip;
        std::string reason;
    } bad[] = {
        {"themes/风景/NoTheme.zip", {{"NoTheme/x.theme", "x"}}, "no .theme file"},
        {"themes/风景/Evil.zip", {{"Evil.theme", "x"}, {"../up.txt", "x"}}, "unsafe entry"},
        {"themes/Loose.zip", {{"Loose.theme", "x"}}, "group folder"},
        {"themes/风景/Reach.zip",
         {{"Reach.theme", ThemeText("\\\\host\\share\\w.jpg")}},
         "\\\\host"},
        {"cursors/NoInf.zip", {{"a.cur", MakeCurBytes()}}, "no setup.inf"},
        {"cursors/NoRoles.zip",
         {{"setup.inf", "[Strings]\r\nname=\"x\"\r\n"}},
         "none of the fifteen"},
        {"cursors/neon.zip", {}, "has the name"}, // Neon.zip, as Windows sees names
        {"cursors/한글.zip", {}, "code page 936"},
        {"cursors/" + std::string(246, 'n') + ".zip", {}, "too long"},
        {"screensavers/Snow.zip", {{"sub/Snow.scr", "x"}}, "no .scr"},
        {"screensavers/ .zip", {}, "empty"},
        {"screensavers/Broken.zip", {}, "not a ZIP archive"},
    };
    for (auto& b : bad) {
        if (b.file.find("Broken") != std::string::npos)
            WriteFile(src / b.file, "<html>not found</html>");
        else if (b.zip.empty())
            CursorZip(src / fs::path(b.file), GoodInf);
        else
            Zip(src / fs::path(b.file), b.zip);
    }
    WriteFile(src / "cursors/order.txt", "\xEF\xBB\xBFmissing\r\n指针.ZIP\r\n");

    TProgramRun r = Publish(out);
    EXPECT_EQ(r.Exit, 1) << r.Out << r.Err;
    for (const auto& b : bad) {
        const std::string line = "left out: " + b.file + ": ";
        const auto at = r.Err.find(line);
        ASSERT_NE(at, std::string::npos) << b.file << "\n" << r.Err;
        EXPECT_NE(r.Err.substr(at, r.Err.find('\n', at) - at).find(b.reason), std::string::npos)
            << r.Err;
    }

    const json doc = Catalog(out);
    ASSERT_EQ(doc["themes"].size(), 1u);
    EXPECT_EQ(doc["themes"][0]["group"], "风景");
    std::vector<std::pair<std::string, fs::path>> listed;
    for (const auto& item : doc["themes"][0]["items"])
        listed.emplace_back(item["name"],
                            fs::path("themes/风景/" + item["name"].get<std::string>() +
                                     (item["iszip"] ? ".zip" : ".themepack")));
    for (const auto& item : doc["cursors"])
        listed.emplace_back(item["name"],
                            fs::path("cursors/" + item["name"].get<std::string>() + ".zip"));
    for (const auto& item : doc["screensave"])
        listed.emplace_back(item["name"],
                            fs::path("screensavers/" + item["name"].get<std::string>() + ".zip"));
    // Names in the program's order (code page 936 bytes) unless order.txt says.
    std::vector<std::string> names;
    for (const auto& [name, file] : listed)
        names.push_back(name);
    EXPECT_EQ(names,
              (std::vector<std::string>{"海边", "山水 之间", "指针", "Neon", "Clock", "星空"}));

    auto items = doc["themes"][0]["items"];
    for (const auto& i : doc["cursors"])
        items.push_back(i);
    for (const auto& i : doc["screensave"])
        items.push_back(i);
    for (std::size_t k = 0; k < listed.size(); ++k) {
        SCOPED_TRACE(listed[k].first);
        const fs::path package = src / listed[k].second;
        EXPECT_EQ(items[k]["sha256"], Sha256OfFile(package));
        EXPECT_EQ(items[k]["size"], fs::file_size(package));
        // What the program would fetch is there under the name it asks for.
        const std::string url = items[k]["package_url"];
        EXPECT_EQ(ReadFile(ServedFile(out, url.substr(std::string("http://cat.example/").size()))),
                  ReadFile(package));
    }
    EXPECT_EQ(Check(out).Exit, 0);
}

TEST_F(ToolPublish, RepublishingIsByteIdenticalAndTouchesOnlyWhatChanged) {
    GoodSource();
    ASSERT_EQ(Publish(out).Exit, 0);
    ASSERT_EQ(Publish(dir / "again").Exit, 0);
    EXPECT_EQ(Bytes(out), Bytes(dir / "again"));

    const auto before = Snapshot(out);
    fs::remove(src / "cursors/Neon.zip");
    CursorZip(src / fs::path("cursors/指针.zip"), GoodInf + "help = \"a.cur\"\r\n");
    TProgramRun r = Publish(out);
    ASSERT_EQ(r.Exit, 0) << r.Err;
    const auto after = Snapshot(out);
    for (const auto& [file, id] : before) {
        SCOPED_TRACE(file);
        if (file.find("Neon") != std::string::npos) {
            EXPECT_FALSE(after.count(file));
        } else if (file.find("指针.zip") != std::string::npos || file.ends_with("config.txt")) {
            EXPECT_NE(after.at(file).Bytes, id.Bytes);
        } else if (file.find("指针.jpg") == std::string::npos) { // the sheet shows the new role
            EXPECT_EQ(after.at(file), id);
        }
    }
    ASSERT_EQ(Publish(dir / "fresh").Exit, 0);
    EXPECT_EQ(Bytes(out), Bytes(dir / "fresh"));
}

TEST_F(ToolPublish, CheckFindsChangedMissingAndUnlistedFilesAndWritesNothing) {
    GoodSource();
    ASSERT_EQ(Publish(out).Exit, 0);
    const fs::path pkg = out / fs::path("softdata/win7/res/cursor/指针.zip");
    const std::string original = ReadFile(pkg);
    struct Case {
        const char* what;
        std::function<void()> spoil;
        std::string line;
    } cases[] = {
        {"a changed byte",
         [&] {
             std::string b = original;
             b[b.size() / 2] ^= 1;
             WriteFile(pkg, b);
         },
         "changed: softdata/win7/res/cursor/指针.zip"},
        {"a missing package", [&] { fs::remove(pkg); },
         "missing: softdata/win7/res/cursor/指针.zip"},
        {"an extra file", [&] { WriteFile(out / "softdata/win7/res/theme/old.zip", "x"); },
         "not listed: softdata/win7/res/theme/old.zip"},
        {"a preview that is no JPEG",
         [&] { WriteFile(out / "softdata/win7/res/cursor/Neon.jpg", "x"); },
         "not a 400 x 300 JPEG: softdata/win7/res/cursor/Neon.jpg"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(Publish(out).Exit, 0);
        c.spoil();
        const auto tree = Bytes(out);
        TProgramRun r = Check(out);
        EXPECT_EQ(r.Exit, 1);
        EXPECT_EQ(r.Err.substr(0, c.line.size()), c.line) << r.Err;
        EXPECT_EQ(std::count(r.Err.begin(), r.Err.end(), '\n'), 1) << r.Err;
        EXPECT_EQ(Bytes(out), tree);
    }
    fs::remove(out / "softdata/win7/config.txt");
    EXPECT_EQ(Check(out).Exit, 1);
}

TEST_F(ToolPublish, OverlappingFoldersAndBadArgumentsAreRefused) {
    GoodSource();
    for (const std::string& args :
         {"publish '" + src.string() + "' '" + (src / "themes/x").string() + "'",
          "publish '" + (dir / "none").string() + "' '" + out.string() + "'",
          std::string("publish onlyone"), std::string("publish a b c")}) {
        SCOPED_TRACE(args);
        EXPECT_EQ(Tool(args).Exit, 2);
    }
    EXPECT_FALSE(fs::exists(src / "themes/x"));
}

#ifdef VELMORA_TOOL_PICTURES
// Previews are made when missing and converted when not a 400 x 300 JPEG.
TEST_F(ToolPublish, PreviewsAreMadeOrConvertedTo400x300Jpegs) {
    GoodSource();
    WriteFile(src / "cursors/Neon.jpg", RedPng(800, 600)); // a PNG under a JPEG's name
    TProgramRun r = Publish(out);
    ASSERT_EQ(r.Exit, 0) << r.Err;
    EXPECT_NE(r.Out.find("converted the preview of cursors/Neon.zip"), std::string::npos) << r.Out;
    for (const char* file : {"theme/山水 之间.jpg", "theme/海边.jpg", "cursor/指针.jpg",
                             "cursor/Neon.jpg", "screensave/星空.jpg", "screensave/Clock.jpg"}) {
        SCOPED_TRACE(file);
        const std::string bytes = ReadFile(out / "softdata/win7/res" / fs::path(file));
        QImage img;
        ASSERT_TRUE(img.loadFromData(QByteArray(bytes.data(), qsizetype(bytes.size())), "JPEG"));
        EXPECT_EQ(img.size(), QSize(400, 300));
    }
    // The themes' previews come from their red wallpapers.
    for (const char* file : {"theme/山水 之间.jpg", "theme/海边.jpg"}) {
        const std::string bytes = ReadFile(out / "softdata/win7/res" / fs::path(file));
        const QColor c = QImage::fromData(QByteArray(bytes.data(), qsizetype(bytes.size())))
                             .pixelColor(200, 150);
        EXPECT_GT(c.red(), 200) << file;
        EXPECT_LT(c.green(), 40) << file;
    }
    EXPECT_EQ(Check(out).Exit, 0);
}
#endif

} // namespace
} // namespace velmora::test
