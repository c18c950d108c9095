#include "controls/WebBrowseEx.h"

#include <QContextMenuEvent>
#include <QWebEngineContextMenuRequest>
#include <QWebEnginePage>
#include <QWebEngineSettings>

#include <cstdlib>
#include <string>
#include <unistd.h>

namespace velmora {

namespace {

// Chromium refuses to start its sandbox for root. The program runs with
// administrator rights, so the control turns the sandbox off itself.
//
// Every pane shares one renderer process: by default each pane would get one
// of its own (30-odd MB each), though the program's panes show a few small
// pages of its own server and its own HTML. A limit the user set is kept.
//
// The panes are composited by Qt Quick's software renderer, and the X11
// platform loads no OpenGL: the program draws nothing with OpenGL itself, and
// through OpenGL each pane got a context of its own in the main process, with
// the driver behind it (on a machine without a graphics card, a software
// OpenGL with its shader compiler): some 40 MB for a few small pages. A
// choice the user made in the environment is kept.
//
// All of this must happen before the web engine starts, hence at load time
// and again on construction.
void PrepareEngine() {
    if (::geteuid() == 0)
        ::setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
    ::setenv("QT_QUICK_BACKEND", "software", 0);
    ::setenv("QT_XCB_GL_INTEGRATION", "none", 0);
    std::string flags;
    if (const char* set = std::getenv("QTWEBENGINE_CHROMIUM_FLAGS"))
        flags = set;
    if (flags.find("--renderer-process-limit") == std::string::npos) {
        flags += flags.empty() ? "" : " ";
        flags += "--renderer-process-limit=1";
        ::setenv("QTWEBENGINE_CHROMIUM_FLAGS", flags.c_str(), 1);
    }
}

[[maybe_unused]] const bool EnginePrepared = (PrepareEngine(), true);

constexpr std::uint32_t NoScrollBars = 0x8;

const QString Base = QStringLiteral("http://pager.invalid/doc/");
const QString HostRoot = QStringLiteral("http://pager.invalid");

class TBrowserPage : public QWebEnginePage {
public:
    TBrowserPage(TWebBrowseEx* view) : QWebEnginePage(view), FView(view) {}

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType, bool) override {
        return FView->BeforeNavigate(url);
    }

private:
    TWebBrowseEx* FView;
};

int HexDigit(QChar c) {
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

// The byte of the escape "%XX" at `at`, or -1.
int EscapedByte(const QString& text, qsizetype at) {
    if (at + 2 >= text.size() || text[at] != u'%')
        return -1;
    const int hi = HexDigit(text[at + 1]), lo = HexDigit(text[at + 2]);
    return hi < 0 || lo < 0 ? -1 : hi * 16 + lo;
}

// The address with its percent escapes as the link wrote them: "%20" stays
// "%20", so the address can be sent again as it is. Only the escapes the
// browser adds itself for non-ASCII characters (their UTF-8 bytes) turn back
// into the characters, which the handler takes on in code page 936. A run of
// escaped bytes that is not UTF-8 as a whole (code page 936 escapes the link
// wrote) stays as it is.
QString AsWritten(const QUrl& url) {
    const QString text = url.toString(QUrl::FullyEncoded);
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size();) {
        QByteArray run;
        qsizetype end = i;
        for (int b; (b = EscapedByte(text, end)) >= 0x80; end += 3)
            run.append(char(b));
        if (run.isEmpty()) {
            out += text[i++];
            continue;
        }
        const QString decoded = QString::fromUtf8(run);
        // Invalid, overlong or surrogate bytes decode to the replacement character.
        if (decoded.contains(QChar::ReplacementCharacter) || decoded.toUtf8() != run)
            out += text.mid(i, end - i);
        else
            out += decoded;
        i = end;
    }
    return out;
}

} // namespace

TWebBrowseEx::TWebBrowseEx(QWidget* parent) : QWebEngineView(parent) {
    PrepareEngine();
    setPage(new TBrowserPage(this));
    ApplyHostFlags();
}

TWebBrowseEx::~TWebBrowseEx() = default;

void TWebBrowseEx::SetUserInterfaceOptions(const TUserInterfaceOptions& options) {
    FOptions = options;
    FHostFlags = HostFlagsOf(options);
    ApplyHostFlags();
}

THostInfo TWebBrowseEx::GetHostInfo() const {
    return HostInfoOf(FHostFlags, FEnterMode);
}

// The flags this view can honour: scroll bars. It has no border of its own.
void TWebBrowseEx::ApplyHostFlags() {
    page()->settings()->setAttribute(QWebEngineSettings::ShowScrollBars,
                                     !(GetHostInfo().dwFlags & NoScrollBars));
}

QUrl TWebBrowseEx::WrittenBase() {
    return QUrl(Base);
}

QString TWebBrowseEx::ReportedUrl(const QUrl& url) {
    const QString text = AsWritten(url);
    if (text.compare(QLatin1String("about:blank"), Qt::CaseInsensitive) == 0)
        return QStringLiteral("about:blank");
    // A relative href resolves under the base; one that starts with "/" only
    // under the host root. Either way the handler gets the href back.
    if (text.startsWith(Base))
        return QStringLiteral("about:") + text.mid(Base.size());
    if (text.startsWith(HostRoot + "/") || text == HostRoot)
        return QStringLiteral("about:") + text.mid(HostRoot.size());
    return text;
}

bool TWebBrowseEx::BeforeNavigate(const QUrl& url) {
    // The loads of written documents are the writing itself, not navigations.
    if (FPendingWrites > 0 && (url.scheme() == QLatin1String("data") || url == WrittenBase())) {
        --FPendingWrites;
        return true;
    }
    bool cancel = false;
    if (OnBeforeNavigate2) {
        FInNavigation = true;
        QPointer<TWebBrowseEx> self(this);
        OnBeforeNavigate2(this, ReportedUrl(url), cancel);
        if (!self)
            return false;
        FInNavigation = false;
    }
    return !cancel;
}

void TWebBrowseEx::Navigate(const QString& url) {
    FHasDocument = true;
    load(QUrl(url));
}

void TWebBrowseEx::ShowHtml(const QString& html) {
    if (FInNavigation) {
        // The browser is still deciding about a navigation; write once it has.
        QMetaObject::invokeMethod(
            this, [this, html] { ShowHtml(html); }, Qt::QueuedConnection);
        return;
    }
    if (!FHasDocument) {
        bool cancel = false;
        if (OnBeforeNavigate2) {
            FInNavigation = true;
            QPointer<TWebBrowseEx> self(this);
            OnBeforeNavigate2(this, QStringLiteral("about:blank"), cancel);
            if (!self)
                return;
            FInNavigation = false;
        }
        if (cancel)
            return;
        FHasDocument = true;
    }
    WriteHtml(html);
}

void TWebBrowseEx::WriteHtml(const QString& html) {
    FWrittenHtml = html;
    ++FPendingWrites;
    setHtml(html, WrittenBase());
}

void TWebBrowseEx::contextMenuEvent(QContextMenuEvent* event) {
    std::int32_t result = E_NOTIMPL_Result;
    if (OnShowContextMenu)
        OnShowContextMenu(this, 0, event->globalPos(), result);
    if (result == S_OK_Result) {
        event->accept();
        return;
    }
    if (lastContextMenuRequest())
        QWebEngineView::contextMenuEvent(event);
}

} // namespace velmora
