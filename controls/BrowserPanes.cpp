#include "controls/BrowserPanes.h"

namespace velmora {

QWidget* TPlainBrowserPanes::Make(QWidget* parent) {
    auto* pane = new QWidget(parent);
    pane->setContextMenuPolicy(Qt::NoContextMenu);
    return pane;
}

void TPlainBrowserPanes::Navigate(QWidget* pane, const QString& url) {
    pane->setProperty("url", url);
}

void TPlainBrowserPanes::ShowHtml(QWidget* pane, const QString& html) {
    pane->setProperty("html", html);
}

void TPlainBrowserPanes::SetNavigationHandler(QWidget*, TPaneNavigation) {}

} // namespace velmora
