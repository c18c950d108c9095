// Velmora: one instance per user; a second start asks the running one to
// restore its window and ends.
#include "app/uApplication.h"
#include "app/uFolderPicker.h"
#include "app/uFrmMain.h"
#include "app/uSingleInstance.h"
#include "app/uUpdater.h"
#include "install/uPubFunc.h"
#include "platform/System.h"
#include "platform/desktop/DesktopSettings.h"
#include "platform/desktop/DesktopSystem.h"
#include "platform/history/RecordingSystem.h"

#ifdef VELMORA_HAVE_BROWSER
#include "controls/WebBrowseEx.h"
#endif

#include <QDir>
#include <QScreen>
#include <QStyle>

namespace {

QWidget* MakeAdBrowser(QWidget* parent) {
#ifdef VELMORA_HAVE_BROWSER
    auto* browser = new velmora::TWebBrowseEx(parent);
    browser->SetUserInterfaceOptions(
        {velmora::DontUse3DBorders, velmora::DontUseScrollBars, velmora::EnableThemes});
    // wbADShowContextMenu: handled, so no menu appears.
    browser->OnShowContextMenu = [](velmora::TWebBrowseEx*, std::uint32_t, const QPoint&,
                                    std::int32_t& result) { result = velmora::S_OK_Result; };
    return browser;
#else
    return new QWidget(parent);
#endif
}

void NavigateAd(QWidget* browser, const QString& url) {
#ifdef VELMORA_HAVE_BROWSER
    if (auto* web = qobject_cast<velmora::TWebBrowseEx*>(browser))
        web->Navigate(url);
#else
    browser->setProperty("url", url);
#endif
}

} // namespace

int main(int argc, char** argv) {
    velmora::TVelmoraApplication app(argc, argv);

    velmora::TSingleInstance instance(QStringLiteral("Velmora.exe"));
    if (!instance.Acquire())
        return 0;

    velmora::SetMessageSink(&velmora::WindowMessageSink());
    auto system = velmora::CreateSystem();
    // The picker belongs to the simulated Windows, which the desktop
    // backend wraps: it is given before the wrapping.
    velmora::InstallFolderPicker(*system);
    // --desktop: the simulated Windows stays the record, and the effects
    // also reach the running Linux desktop. Never the default, so the demo
    // leaves a person's own desktop alone.
    std::shared_ptr<velmora::ISettingsState> settings;
    if (app.arguments().contains(QStringLiteral("--desktop"))) {
        velmora::TDesktopOptions options = velmora::DesktopOptionsFromEnvironment();
        options.Notice = [](const std::string& text) {
            velmora::ShowMessageBox(text, "", velmora::mkInformation);
        };
        settings = velmora::CreateDesktopSettingsState(options);
        system = velmora::CreateDesktopSystem(std::move(system), std::move(options));
    }
    // Every change to the desktop is recorded, beside the simulated Windows.
    auto recording = velmora::CreateRecordingSystem(
        std::move(system), velmora::DefaultChangeRecordFolder(), std::move(settings));

    velmora::TMainWindowSetup setup;
    const QString exeDir = QCoreApplication::applicationDirPath();
    setup.ExePath = std::filesystem::path(QDir(exeDir).absolutePath().toStdString()) / "";
    setup.System = recording.get();
    setup.History = recording.get();
    setup.MakeAdBrowser = &MakeAdBrowser;
    setup.NavigateAd = &NavigateAd;
#ifdef VELMORA_HAVE_BROWSER
    setup.Browsers = std::make_shared<velmora::TWebBrowserPanes>();
#endif
    setup.UpdaterLibrary = velmora::UpdaterLibraryPath(exeDir);

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
