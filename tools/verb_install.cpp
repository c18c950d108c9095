// velmora-tool install, uninstall and wallpaper: the window's install,
// uninstall and set-as-wallpaper actions from the command line, on the same
// core operations, against the simulated Windows.
#include "catalog/uCatalog.h"
#include "install/uCursorInstaller.h"
#include "install/uFolders.h"
#include "install/uInstallers.h"
#include "install/uPubFunc.h"
#include "install/uScreenSaverInstaller.h"
#include "install/uThemeInstaller.h"
#include "platform/SimulatedSystem.h"
#include "platform/util/Ascii.h"
#include "platform/util/Files.h"
#include "tools/DesktopOption.h"
#include "tools/Pictures.h"
#include "tools/ToolCommon.h"
#include "tools/Verbs.h"
#include "wallpaper/uPicStore.h"

#include <cstdlib>
#include <iostream>
#include <optional>
#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

namespace velmora::tool {
namespace {

// A wallpaper picture is read whole; none is larger than this.
constexpr std::uintmax_t MaxPictureBytes = 256 << 20;

namespace fs = std::filesystem;

// The program's messages, printed as their text on standard output.
class TPrintedMessages : public IMessageSink {
public:
    TPrintedMessages() : FPrevious(SetMessageSink(this)) {}
    ~TPrintedMessages() override { SetMessageSink(FPrevious); }
    int Show(const TMessageRequest& r) override {
        std::cout << r.Text << '\n';
        return r.Kind == mkQuestion ? IDNO : IDOK;
    }

private:
    IMessageSink* FPrevious;
};

#ifdef _WIN32
int ProcessNumber() {
    return ::_getpid();
}
#else
int ProcessNumber() {
    return ::getpid();
}
#endif

// A program folder of its own for one run: the installers read packages from
// its cache, as the window does.
class TScratchProgramFolder {
public:
    TScratchProgramFolder() {
        std::error_code ec;
        FPath = fs::temp_directory_path(ec) / ("velmora-tool-" + std::to_string(ProcessNumber()) +
                                               "-" + std::to_string(Counter++));
    }
    ~TScratchProgramFolder() {
        std::error_code ec;
        fs::remove_all(FPath, ec);
    }
    const fs::path& Path() const { return FPath; }

private:
    static inline unsigned Counter = 0;
    fs::path FPath;
};

int KindTag(const std::string& kind) {
    if (kind == "theme")
        return tagTheme;
    if (kind == "cursor")
        return tagCursor;
    if (kind == "screensave")
        return tagScreenSave;
    return -1;
}

std::string LowerExtension(const fs::path& file) {
    return LowerAscii(file.extension().string());
}

// Where an installed item of the kind lives, and whether it is there.
bool IsInstalled(ISystem& system, const TFolderFields& f, int tag, const std::string& name,
                 bool* isZip = nullptr) {
    std::error_code ec;
    auto file = [&](const fs::path& p) { return fs::is_regular_file(system.ResolvePath(p), ec); };
    auto folder = [&](const fs::path& p) { return fs::is_directory(system.ResolvePath(p), ec); };
    switch (tag) {
    case tagTheme: {
        const bool zip = file(SystemThemesFolder(f) / (name + ".theme"));
        if (isZip)
            *isZip = zip;
        return zip || (!f.UserThemesDir.empty() && folder(f.UserThemesDir / name));
    }
    case tagCursor:
        return folder(f.WinDir / "Cursors" / name);
    default:
        return file(f.SysDir / (name + ".scr"));
    }
}

} // namespace

int VerbInstall(const TArgs& given) {
    TArgs args = given;
    const bool desktop = TakeDesktopFlag(args);
    const char* usage =
        "usage: install FILE --kind theme|cursor|screensave [--name NAME] [--system DIR] "
        "[--desktop]";
    auto parsed = ParseArgs(args, {"kind", "name", "system"});
    if (!parsed || parsed->Positional.size() != 1)
        return UsageError(usage);
    const int tag = KindTag(parsed->Get("kind", ""));
    if (tag < 0)
        return UsageError(usage);
    const fs::path file = parsed->Positional[0];
    std::error_code ec;
    if (!fs::is_regular_file(file, ec))
        return UsageError("no such package: " + file.string());
    const std::string name = parsed->Get("name", file.stem().string());
    if (!IsPlainItemName(name))
        return UsageError("not a usable item name: " + name);
    const bool isPack = tag == tagTheme && LowerExtension(file) == ".themepack";

    TPrintedMessages messages;
    auto system = ToolSystem(parsed->Get("system", ""), desktop);
    TScratchProgramFolder program;
    const TFolderFields folders = MakeFolderFields(*system, program.Path());
    // The package goes where the window finds it: the cache, under the name.
    const fs::path package = CacheFolder(folders, tag) / (name + (isPack ? ".themepack" : ".zip"));
    fs::create_directories(package.parent_path(), ec);
    if (ec || (ec = CopyFileReplacing(file, package)))
        return UsageError("cannot copy the package: " + ec.message());

    bool installed = false;
    if (tag == tagTheme)
        ApplyThemeRow(!isPack, package, installed, folders, *system);
    else if (tag == tagCursor)
        installed = InstallCursorScheme(package, folders, *system);
    else
        installed = InstallScreenSaver(package, folders, *system);
    if (!installed)
        return 2;
    std::cout << "installed " << name << '\n';
    return 0;
}

int VerbUninstall(const TArgs& given) {
    TArgs args = given;
    const bool desktop = TakeDesktopFlag(args);
    const char* usage =
        "usage: uninstall NAME --kind theme|cursor|screensave [--system DIR] [--desktop]";
    auto parsed = ParseArgs(args, {"kind", "system"});
    if (!parsed || parsed->Positional.size() != 1)
        return UsageError(usage);
    const int tag = KindTag(parsed->Get("kind", ""));
    if (tag < 0)
        return UsageError(usage);
    const std::string name = parsed->Positional[0];
    if (!IsPlainItemName(name))
        return UsageError("not a usable item name: " + name);

    TPrintedMessages messages;
    auto system = ToolSystem(parsed->Get("system", ""), desktop);
    TScratchProgramFolder program;
    const TFolderFields folders = MakeFolderFields(*system, program.Path());
    bool isZip = true;
    if (!IsInstalled(*system, folders, tag, name, &isZip)) {
        std::cout << name << " is not installed\n";
        return 2;
    }
    bool installed = true;
    UninstallItem(tag, name, isZip, installed, folders, *system);
    if (installed || IsInstalled(*system, folders, tag, name)) {
        std::cout << name << " could not be removed completely\n";
        return 2;
    }
    std::cout << "uninstalled " << name << '\n';
    return 0;
}

int VerbWallpaper(const TArgs& given) {
    TArgs args = given;
    const bool desktop = TakeDesktopFlag(args);
    auto parsed = ParseArgs(args, {"system", "screen", "screens"});
    if (!parsed || parsed->Positional.size() != 1)
        return UsageError("usage: wallpaper PICTURE [--screen N [--screens WxH+X+Y,...]] "
                          "[--system DIR] [--desktop]");
    const fs::path picture = parsed->Positional[0];
    std::string bytes;
    if (std::error_code ec = ReadWholeFile(picture, bytes, MaxPictureBytes))
        return UsageError("cannot read " + picture.string() + ": " + ec.message());
    const bool isBmp = bytes.compare(0, 2, "BM") == 0;
    const bool isJpeg = bytes.compare(0, 3, "\xFF\xD8\xFF") == 0;
    if (!isBmp && !isJpeg)
        return UsageError(picture.string() + " is neither a BMP nor a JPEG picture");
    const auto screen = parsed->Get("screen");
    const TPictureWork* pictures = Pictures();
    if (!pictures && (isJpeg || screen))
        return RunInPictureHelper("wallpaper", given, isJpeg ? "a JPEG wallpaper" : "--screen");

    TPrintedMessages messages;
    auto system = ToolSystem(parsed->Get("system", ""), desktop);
    TScratchProgramFolder program;
    fs::path stored = picture;
    if (isJpeg) {
        // As the grid does with a found picture: decoded into a stored BMP first.
        const auto bmp = pictures->Converter.ToBmp(bytes);
        if (!bmp)
            return UsageError(picture.string() + " does not decode as a picture");
        stored = TPicStore(program.Path()).StorePicture(picture.string(), *bmp);
    }
    if (screen) {
        // One screen's own picture: the screens come from the display, or
        // from --screens without one.
        std::vector<TScreenRect> screens;
        if (!ScreensOption(*parsed, screens))
            return 2;
        if (screens.empty()) {
            screens = pictures->DisplayScreens();
            if (screens.empty())
                return UsageError("--screen: no display to ask for its screens; give --screens");
        }
        char* end = nullptr;
        const long index = std::strtol(screen->c_str(), &end, 10);
        if (screen->empty() || *end || index < 1 || std::size_t(index) > screens.size())
            return UsageError("--screen: a number from 1 to " + std::to_string(screens.size()));
        if (!SetScreenDesktopWallpaper(*system, system->WindowsDirectory(), screens,
                                       std::size_t(index - 1), stored, pictures->Converter))
            return UsageError("cannot set the picture for that screen");
        return 0;
    }
    if (!SetDesktopWallpaper(*system, system->WindowsDirectory(), stored))
        return UsageError("cannot copy the picture into the Windows folder");
    return 0;
}

} // namespace velmora::tool
