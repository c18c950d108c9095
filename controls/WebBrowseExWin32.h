#pragma once
// The program's embedded browser on Windows: the system's WebBrowser control,
// hosted through COM in a native child window, with the document-host UI
// handler that reports the program's host flags (no 3-D border, no scroll
// bars, themed), lets the owner suppress the context menu, and passes every
// navigation to a handler that may cancel it. The same interface as the
// browser of the other systems (controls/WebBrowseEx.h).
//
// Where the system has no browser engine (Wine without its Gecko), the control
// stays an empty pane: it keeps what it was given and the host still answers
// the browser's questions, so everything around it works the same.

#include "controls/BrowserPanes.h"
#include "controls/HostFlags.h"

#include <QString>
#include <QWidget>

#include <cstdint>
#include <functional>

struct IUnknown;

namespace velmora {

class TBrowserSite;

class TWebBrowseEx : public QWidget {
    Q_OBJECT
public:
    explicit TWebBrowseEx(QWidget* parent = nullptr);
    ~TWebBrowseEx() override;

    TUserInterfaceOptions UserInterfaceOptions() const { return FOptions; }
    void SetUserInterfaceOptions(const TUserInterfaceOptions& options);
    TEnterMode EnterModeOnEdit() const { return FEnterMode; }
    void SetEnterModeOnEdit(TEnterMode mode) { FEnterMode = mode; }
    std::uint32_t HostFlags() const { return FHostFlags; }
    THostInfo GetHostInfo() const { return HostInfoOf(FHostFlags, FEnterMode); }
    // Opened by the browser's help request when the page names no help file.
    QString HelpFile;

    void Navigate(const QString& url);
    // Replaces the current document by the HTML text (close, clear, write). A
    // browser that has no document yet first goes to "about:blank" and waits
    // until it is interactive; the navigation handler sees that navigation.
    void ShowHtml(const QString& html);
    QString WrittenHtml() const { return FWrittenHtml; }
    bool HasDocument() const { return FHasDocument; }
    // The address last navigated to.
    QString Url() const { return FUrl; }

    // Whether the system's browser control runs in this pane.
    bool HasBrowser() const { return FBrowser != nullptr; }
    // True when the system can make the browser control at all.
    static bool BrowserAvailable();
    // The host object the browser asks its questions (the client site with the
    // document-host UI handler, its show-UI companion and the event sink).
    IUnknown* Site() const;

    // Sees every navigation; setting cancel to true stops it.
    std::function<void(TWebBrowseEx* sender, const QString& url, bool& cancel)> OnBeforeNavigate2;
    // Result starts as E_NOTIMPL (the browser's own menu); S_OK means the
    // handler dealt with it and no menu is shown.
    std::function<void(TWebBrowseEx* sender, std::uint32_t dwID, const QPoint& ppt,
                       std::int32_t& result)>
        OnShowContextMenu;
    // May give a new address for the one the browser is about to use; an
    // empty text keeps the browser's own.
    std::function<void(TWebBrowseEx* sender, const QString& url, QString& translated)>
        OnTranslateUrl;

    // The browser's before-navigation event: true lets the navigation go on.
    bool BeforeNavigate(const QString& url);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    friend class TBrowserSite;
    void CreateBrowser();
    void DestroyBrowser();
    bool GoBlank(bool wait);
    void WriteHtml(const QString& html);
    void NotifyHostFlags();

    TUserInterfaceOptions FOptions;
    TEnterMode FEnterMode = emFlagDiv;
    std::uint32_t FHostFlags = 0;
    bool FHasDocument = false;
    bool FInNavigation = false;
    QString FWrittenHtml;
    QString FUrl;
    TBrowserSite* FSite = nullptr;
    IUnknown* FOleObject = nullptr; // IOleObject
    IUnknown* FBrowser = nullptr;   // IWebBrowser2
    unsigned long FEventCookie = 0;
};

} // namespace velmora
