#pragma once
// The program's embedded browser: a web view that reports every navigation to
// a handler that may cancel it, can have its document replaced by HTML text,
// and lets its owner suppress the context menu.

#include "controls/BrowserPanes.h"
#include "controls/HostFlags.h"

#include <QPointer>
#include <QString>
#include <QUrl>
#include <QWebEngineView>

#include <cstdint>
#include <functional>
#include <initializer_list>

namespace velmora {

class TWebBrowseEx : public QWebEngineView {
    Q_OBJECT
public:
    explicit TWebBrowseEx(QWidget* parent = nullptr);
    ~TWebBrowseEx() override;

    TUserInterfaceOptions UserInterfaceOptions() const { return FOptions; }
    void SetUserInterfaceOptions(const TUserInterfaceOptions& options);
    TEnterMode EnterModeOnEdit() const { return FEnterMode; }
    void SetEnterModeOnEdit(TEnterMode mode) { FEnterMode = mode; }
    std::uint32_t HostFlags() const { return FHostFlags; }
    // The host information the browser reads: the flags, plus 0x100 in div mode.
    THostInfo GetHostInfo() const;

    void Navigate(const QString& url);
    // Replaces the current document by the HTML text. A browser that has no
    // document yet first goes to "about:blank", which the navigation handler
    // sees like any other navigation.
    void ShowHtml(const QString& html);
    // The HTML last written, and whether a document exists.
    QString WrittenHtml() const { return FWrittenHtml; }
    bool HasDocument() const { return FHasDocument; }

    // The base written documents get, so that their relative links resolve to
    // something the browser reports; such links reach the handler as
    // "about:" followed by the href.
    static QUrl WrittenBase();
    // Turns a navigation target into the form the handler sees.
    static QString ReportedUrl(const QUrl& url);

    // Sees every navigation; setting cancel to true stops it.
    std::function<void(TWebBrowseEx* sender, const QString& url, bool& cancel)> OnBeforeNavigate2;
    // Result starts as E_NOTIMPL (the browser's own menu); S_OK means the
    // handler dealt with it and no menu is shown.
    std::function<void(TWebBrowseEx* sender, std::uint32_t dwID, const QPoint& ppt,
                       std::int32_t& result)>
        OnShowContextMenu;

    // Called by the page for each navigation request.
    bool BeforeNavigate(const QUrl& url);

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void ApplyHostFlags();
    void WriteHtml(const QString& html);

    TUserInterfaceOptions FOptions;
    TEnterMode FEnterMode = emFlagDiv;
    std::uint32_t FHostFlags = 0;
    bool FHasDocument = false;
    bool FInNavigation = false;
    int FPendingWrites = 0;
    QString FWrittenHtml;
};

} // namespace velmora
