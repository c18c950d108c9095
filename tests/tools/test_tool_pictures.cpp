// velmora-tool keeps pictures out of the verbs that move data: they run
// without any Qt library in the process, the picture verbs run in the helper
// program, and the helper's output is the verb's result and nothing of Qt's.
#include "tests/support/PictureFiles.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#ifdef VELMORA_TOOL_PICTURES
#include <QBuffer>
#include <QImage>
#endif

namespace velmora::test {
namespace {
namespace fs = std::filesystem;

std::string Quoted(const fs::path& p) {
    return "'" + p.string() + "'";
}

// Runs the tool with the dynamic linker naming every library it loads (at
// start and later) on stderr.
TProgramRun RunTracingLibraries(const TTempDir& dir, const std::string& args) {
    return RunProgram("env -u DISPLAY -u WAYLAND_DISPLAY LD_DEBUG=files " +
                          std::string(VELMORA_TOOL) + " " + args,
                      dir.Path());
}

bool LoadsQt(const TProgramRun& r) {
    return r.Err.find("file=libQt6") != std::string::npos;
}

TEST(ToolPictures, VerbsThatMoveDataLoadNoQtLibrary) {
    TTempDir dir;
    const std::string sys = " --system " + Quoted(dir / "sys");
    WriteFile(dir / "pic.bmp", MakeBmpBytes(8, 6));
    WriteFile(dir / "config.txt", "");
    const std::string verbs[] = {
        "--version",
        "catalog " + Quoted(dir / "config.txt"),
        "get http://127.0.0.1:9/none.zip " + Quoted(dir / "none.zip"),
        "package " + Quoted(dir / "pic.bmp") + " --kind theme",
        "wallpaper " + Quoted(dir / "pic.bmp") + sys,
        "desktop" + sys,
        "search url baidu cats 1",
    };
    for (const std::string& verb : verbs) {
        const TProgramRun r = RunTracingLibraries(dir, verb);
        ASSERT_NE(r.Err.find("file=libc.so"), std::string::npos) << "the linker traces: " << verb;
        EXPECT_FALSE(LoadsQt(r)) << verb;
    }
    // A download keeps to the libraries it uses: not the installers' archive
    // readers, the desktop session's or the server's.
    const TProgramRun get = RunTracingLibraries(dir, verbs[2]);
    for (const char* lib : {"file=libgio", "file=libgcab", "file=libzip", "file=libcpp-httplib",
                            "file=libX11", "file=libpng"})
        EXPECT_EQ(get.Err.find(lib), std::string::npos) << lib;
}

#ifdef VELMORA_TOOL_PICTURES

// A JPEG whose decoder remarks on it: bytes between its last data and its
// end marker.
std::string JpegWithStrayBytes() {
    QImage picture(32, 20, QImage::Format_RGB32);
    picture.fill(QColor(20, 120, 200));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, "JPEG");
    std::string jpeg(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    jpeg.insert(jpeg.size() - 2, "\x01\x02\x03");
    return jpeg;
}

TEST(ToolPictures, PictureVerbsPrintTheirResultAndNothingOfQts) {
    TTempDir dir;
    WriteFile(dir / "stray.jpg", JpegWithStrayBytes());
    // No runtime folder, as under a plain ssh or cron session.
    const std::string tool =
        "env -u XDG_RUNTIME_DIR -u DISPLAY -u WAYLAND_DISPLAY " + std::string(VELMORA_TOOL) + " ";
    const std::string sys = " --system " + Quoted(dir / "sys");

    TProgramRun r = RunProgram(tool + "wallpaper " + Quoted(dir / "stray.jpg") + sys, dir.Path());
    ASSERT_EQ(r.Exit, 0) << r.Err;
    EXPECT_EQ(r.Err, "");
    EXPECT_EQ(r.Out, "设置桌面壁纸成功\n");

    r = RunProgram(tool + "desktop --png " + Quoted(dir / "desktop.png") + sys, dir.Path());
    ASSERT_EQ(r.Exit, 0) << r.Err;
    EXPECT_EQ(r.Err, "");
    const auto json = nlohmann::json::parse(r.Out, nullptr, false);
    ASSERT_FALSE(json.is_discarded()) << "stdout is the JSON alone: " << r.Out;
    EXPECT_EQ(json["wallpaper"]["exists"], true);
    EXPECT_EQ(QImage(QString::fromStdString((dir / "desktop.png").string())).size(),
              QSize(1280, 800));
    EXPECT_TRUE(
        LoadsQt(RunTracingLibraries(dir, "desktop --png " + Quoted(dir / "desktop.png") + sys)))
        << "the trace sees the picture library where it is loaded";
}

TEST(ToolPictures, WithoutTheirHelperVerbsSayWhatIsMissing) {
    TTempDir dir;
    // The tool alone in a folder, as if its helpers had not been installed.
    fs::create_directory(dir / "bin");
    fs::copy_file(VELMORA_TOOL, dir / "bin" / "velmora-tool");
    WriteFile(dir / "config.txt", "");
    TProgramRun r =
        RunProgram(Quoted(dir / "bin" / "velmora-tool") + " catalog " + Quoted(dir / "config.txt"),
                   dir.Path());
    EXPECT_EQ(r.Exit, 2);
    EXPECT_NE(r.Err.find("velmora-tool-core"), std::string::npos) << r.Err;
    // With its core, but without the picture helper.
    fs::copy_file(VELMORA_TOOL_CORE, dir / "bin" / "velmora-tool-core");
    WriteFile(dir / "stray.jpg", JpegWithStrayBytes());
    const std::string tool = "env -u DISPLAY " + Quoted(dir / "bin" / "velmora-tool") + " ";
    const std::string sys = " --system " + Quoted(dir / "sys");
    for (const std::string& args :
         {"desktop --png " + Quoted(dir / "desktop.png") + sys,
          "wallpaper " + Quoted(dir / "stray.jpg") + sys,
          "wallpaper " + Quoted(dir / "stray.jpg") + " --screen 1 --screens 800x600+0+0" + sys}) {
        r = RunProgram(tool + args, dir.Path());
        EXPECT_EQ(r.Exit, 2) << args;
        EXPECT_EQ(r.Out, "") << args;
        EXPECT_NE(r.Err.find("velmora-tool-pictures"), std::string::npos) << r.Err;
        EXPECT_EQ(std::count(r.Err.begin(), r.Err.end(), '\n'), 1) << r.Err;
    }
    EXPECT_FALSE(fs::exists(dir / "desktop.png"));
    EXPECT_FALSE(fs::exists(dir / "sys" / "Windows" / "WallpaperTemp.bmp"));
}

#endif

} // namespace
} // namespace velmora::test
