// Velmora: one instance per user; a second start asks the running one to
// restore its window and ends.
#include "app/uApplication.h"
#include "app/uFrmMain.h"
#include "app/uSingleInstance.h"
#include "app/uUpdater.h"
#include "catalog/ServerBase.h"
#include "install/ProgramFolders.h"
#include "install/uPubFunc.h"
#include "platform/System.h"
#include "platform/history/RecordingSystem.h"
#ifndef _WIN32
#include "app/uFolderPicker.h"
#include "platform/desktop/DesktopSettings.h"
#include "platform/desktop/DesktopSystem.h"
#endif

#ifdef VELMORA_HAVE_BROWSER
#include "controls/BrowserPanes.h"
#endif

#include <QDir>
#include <QIcon>
#include <QScreen>
#include <QStyle>

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

namespace {

const char* const HelpText =
    "Usage: velmora [OPTION]...\n"
    "Themes, cursor schemes, screen savers, folder icons and wallpapers.\n"
    "\n"
    "  --server URL   ask the catalogue server at URL (default: $VELMORA_SERVER,\n"
    "                 else " VELMORA_SERVER_BASE ")\n"
#ifndef _WIN32
    "  --desktop      also apply what is chosen to the running Linux desktop\n"
#endif
    "  -h, --help     show this help and exit\n"
    "  -V, --version  show the version and exit\n";

#ifdef _WIN32
constexpr bool IsWindows = true;
#else
constexpr bool IsWindows = false;
#endif

struct TOptions {
    bool Desktop = false;
    std::optional<std::string> Server;
};

// Read before Qt starts, so that --help and --version need no display. An
// exit code when the program ends here.
std::optional<int> ParseCommandLine(int argc, char** argv, TOptions& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            std::fputs(HelpText, stdout);
            return 0;
        }
        if (arg == "-V" || arg == "--version") {
            std::puts("velmora " VELMORA_VERSION);
            return 0;
        }
        if (arg == "--desktop" && !IsWindows) {
            options.Desktop = true;
        } else if (arg == "--server" && i + 1 < argc) {
            options.Server = argv[++i];
        } else if (arg.rfind("--server=", 0) == 0) {
            options.Server = std::string(arg.substr(9));
        } else {
            std::fprintf(stderr, "velmora: %s '%s' (see velmora --help)\n",
                         arg == "--server" ? "missing value for" : "unknown option", argv[i]);
            return 2;
        }
    }
    return std::nullopt;
}

} // namespace

int main(int argc, char** argv) {
    TOptions options;
    if (std::optional<int> done = ParseCommandLine(argc, argv, options))
        return *done;
    std::string error;
    const std::optional<std::string> serverBase = velmora::ChooseServerBase(options.Server, error);
    if (!serverBase) {
        std::fprintf(stderr, "velmora: %s\n", error.c_str());
        return 2;
    }

    velmora::TVelmoraApplication app(argc, argv);
    // The desktop matches the window to its menu entry and icon by these.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.velmora.Velmora"));
    QGuiApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("velmora")));

    velmora::TSingleInstance instance(QStringLiteral("Velmora.exe"));
    if (!instance.Acquire())
        return 0;

    velmora::SetMessageSink(&velmora::WindowMessageSink());
    // The one place that decides where the program reads and writes.
    const QString exeDir = QCoreApplication::applicationDirPath();
    const velmora::TProgramFolders folders = velmora::ChooseProgramFolders(exeDir.toStdString());
    if (std::optional<std::string> failed = velmora::MakeProgramFolders(folders)) {
        std::fprintf(stderr, "velmora: %s\n", failed->c_str());
        velmora::ShowMessageBox(*failed, "", velmora::mkWarning);
        return 1;
    }
    auto system = velmora::CreateSystem();
    std::shared_ptr<velmora::ISettingsState> settings;
#ifndef _WIN32
    // The picker belongs to the simulated Windows, which the desktop
    // backend wraps: it is given before the wrapping. (Windows has its own.)
    velmora::InstallFolderPicker(*system);
    // --desktop: the simulated Windows stays the record, and the effects
    // also reach the running Linux desktop. Never the default, so the demo
    // leaves a person's own desktop alone.
    if (options.Desktop) {
        velmora::TDesktopOptions options = velmora::DesktopOptionsFromEnvironment();
        options.Notice = [](const std::string& text) {
            velmora::ShowMessageBox(text, "", velmora::mkInformation);
        };
        settings = velmora::CreateDesktopSettingsState(options);
        system = velmora::CreateDesktopSystem(std::move(system), std::move(options));
    }
#endif
    // Every change to the desktop is recorded, so that it can be undone.
    auto recording = velmora::CreateRecordingSystem(
        std::move(system), velmora::DefaultChangeRecordFolder(), std::move(settings));

    velmora::TMainWindowSetup setup;
    setup.ExePath = folders.ExePath / "";
    if (folders.Installed) {
        setup.CacheDir = folders.CacheDir;
        setup.TempDir = folders.TempDir;
        setup.FavoritesDir = folders.Favorites;
    }
    setup.ServerBase = *serverBase;
    setup.System = recording.get();
    setup.History = recording.get();
#ifdef VELMORA_HAVE_BROWSER
    // The advertisement panes and the pagination strip: one kind of pane.
    auto browsers = std::make_shared<velmora::TWebBrowserPanes>();
    setup.Browsers = browsers;
    setup.MakeAdBrowser = [browsers](QWidget* parent) { return browsers->Make(parent); };
    setup.NavigateAd = [browsers](QWidget* pane, const QString& url) {
        browsers->Navigate(pane, url);
    };
#endif
    // Installed, the updater is a private library of the program.
    setup.UpdaterLibrary = velmora::UpdaterLibraryPath(
        folders.Installed ? QDir(exeDir).filePath(QStringLiteral("../" VELMORA_PRIVATE_LIBDIR))
                          : exeDir);

    velmora::TFrmMain window(setup);
    instance.OnRestore = [&window] { window.RestoreRequest(); };
    // Centred on the screen when first shown.
    if (QScreen* screen = QGuiApplication::primaryScreen())
        window.move(screen->availableGeometry().center() - window.rect().center());
    window.show();
    const int result = app.exec();
    // No catalogue anywhere: the window said so and closed.
    return window.Terminated() ? 1 : result;
}
