// The program's browser panes, the same on every system over that system's
// embedded browser.
#ifdef _WIN32
#include "controls/WebBrowseExWin32.h"
#else
#include "controls/WebBrowseEx.h"
#endif

namespace velmora {

QWidget* TWebBrowserPanes::Make(QWidget* parent) {
    auto* browser = new TWebBrowseEx(parent);
    browser->SetUserInterfaceOptions({DontUse3DBorders, DontUseScrollBars, EnableThemes});
    browser->OnShowContextMenu = [](TWebBrowseEx*, std::uint32_t, const QPoint&,
                                    std::int32_t& result) { result = S_OK_Result; };
    return browser;
}

void TWebBrowserPanes::Navigate(QWidget* pane, const QString& url) {
    if (auto* browser = qobject_cast<TWebBrowseEx*>(pane))
        browser->Navigate(url);
}

void TWebBrowserPanes::ShowHtml(QWidget* pane, const QString& html) {
    if (auto* browser = qobject_cast<TWebBrowseEx*>(pane))
        browser->ShowHtml(html);
}

void TWebBrowserPanes::SetNavigationHandler(QWidget* pane, TPaneNavigation handler) {
    if (auto* browser = qobject_cast<TWebBrowseEx*>(pane))
        browser->OnBeforeNavigate2 =
            [handler = std::move(handler)](TWebBrowseEx*, const QString& url, bool& cancel) {
                handler(url, cancel);
            };
}

} // namespace velmora
