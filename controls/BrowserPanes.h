#pragma once
// The browser panes of a window, made through one interface: the program
// makes embedded browsers (TWebBrowseEx); windows made without them, as most
// window tests make them, get plain panes that only keep what they were given,
// so that no browser engine starts.
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>

namespace velmora {

// A navigation of a pane: the target as the browser reports it ("about:"
// followed by the href for links of written pages); set cancel to stop it.
using TPaneNavigation = std::function<void(const QString& url, bool& cancel)>;

class IBrowserPanes {
public:
    virtual ~IBrowserPanes() = default;
    // A pane set up as all the program's browsers are: no three-dimensional
    // border, no scroll bars, themed, and no context menu.
    virtual QWidget* Make(QWidget* parent) = 0;
    virtual void Navigate(QWidget* pane, const QString& url) = 0;
    // Replaces the pane's document by the HTML text.
    virtual void ShowHtml(QWidget* pane, const QString& html) = 0;
    // Every navigation of the pane goes to the handler first.
    virtual void SetNavigationHandler(QWidget* pane, TPaneNavigation handler) = 0;
};

// Plain widgets that keep the last address in the property "url" and the last
// HTML text in the property "html".
class TPlainBrowserPanes : public IBrowserPanes {
public:
    QWidget* Make(QWidget* parent) override;
    void Navigate(QWidget* pane, const QString& url) override;
    void ShowHtml(QWidget* pane, const QString& html) override;
    void SetNavigationHandler(QWidget* pane, TPaneNavigation handler) override;
};

// The program's browser panes: embedded browsers (TWebBrowseEx, the system's
// own on Windows) with the options of all its browsers ([DontUse3DBorders,
// DontUseScrollBars, EnableThemes], div mode) and a context-menu handler that
// answers S_OK, so no menu opens. In the browser library (velmora_browser).
class TWebBrowserPanes : public IBrowserPanes {
public:
    QWidget* Make(QWidget* parent) override;
    void Navigate(QWidget* pane, const QString& url) override;
    void ShowHtml(QWidget* pane, const QString& html) override;
    void SetNavigationHandler(QWidget* pane, TPaneNavigation handler) override;
};

} // namespace velmora
