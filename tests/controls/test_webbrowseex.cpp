#include "controls/WebBrowseEx.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QImage>
#include <QMenu>
#include <QPixmap>
#include <QSignalSpy>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineSettings>
#include <gtest/gtest.h>

#include <memory>
#include <optional>

namespace velmora::test {
namespace {

const TUserInterfaceOptions ProgramOptions{DontUse3DBorders, DontUseScrollBars, EnableThemes};

// Page loads in a fresh web engine can take a while on a loaded machine.
constexpr int LoadTimeoutMs = 60000;

bool WaitLoaded(QSignalSpy& spy) {
    return spy.count() > 0 || spy.wait(LoadTimeoutMs);
}

QMenu* VisibleMenu() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* menu = qobject_cast<QMenu*>(w); menu && menu->isVisible())
            return menu;
    return nullptr;
}

// The page takes mouse input only some time after it has loaded; a click
// before that is lost, so click again until the outcome shows.
bool ClickUntil(QWidget* surface, Qt::MouseButton button, QPoint at,
                const std::function<bool()>& done) {
    for (int attempt = 0; attempt < 60; ++attempt) {
        QTest::mouseMove(surface, at);
        QTest::mouseClick(surface, button, {}, at);
        if (QTest::qWaitFor(done, 1000))
            return true;
    }
    return false;
}

// The text of the element, once it exists (asked again until it does).
QString ElementText(TWebBrowseEx* browser, const QString& id) {
    for (int attempt = 0; attempt < 120; ++attempt) {
        // Shared with the callback, which may come after a time-out.
        auto answer = std::make_shared<std::optional<QString>>();
        browser->page()->runJavaScript(
            QString("(document.getElementById('%1') || {}).textContent || ''").arg(id),
            [answer](const QVariant& v) { *answer = v.toString(); });
        if (!QTest::qWaitFor([&] { return answer->has_value(); }, 5000))
            return {};
        if (!(*answer)->isEmpty())
            return **answer;
        QTest::qWait(250);
    }
    return {};
}

} // namespace

TEST(WebBrowseEx, HostFlagsFromOptions) {
    TWebBrowseEx browser;
    EXPECT_EQ(browser.HostFlags(), 0u);
    EXPECT_EQ(browser.GetHostInfo().dwFlags, 0x100u);
    EXPECT_EQ(browser.GetHostInfo().cbSize, 20u);
    browser.SetUserInterfaceOptions(ProgramOptions);
    EXPECT_EQ(browser.HostFlags(), 0x4000Cu);
    EXPECT_EQ(browser.GetHostInfo().dwFlags, 0x4010Cu);
    browser.SetEnterModeOnEdit(emFlagP);
    EXPECT_EQ(browser.GetHostInfo().dwFlags, 0x4000Cu);
    EXPECT_FALSE(browser.page()->settings()->testAttribute(QWebEngineSettings::ShowScrollBars));

    std::uint32_t all = 0;
    for (int o = DisableTextSelect; o <= ForceUserActivationOnActiveXJava; ++o)
        all |= HostFlagOf(TUserInterfaceOption(o));
    EXPECT_EQ(all, 0x3FFF7FFFu); // every flag but 0x8000
    EXPECT_EQ(HostFlagOf(ForceSameWindowNavigation), 0x10000u);
}

TEST(WebBrowseEx, ReportedUrlForms) {
    const QString base = TWebBrowseEx::WrittenBase().toString();
    struct Case {
        QString url, reported;
    } cases[] = {
        {"about:blank", "about:blank"},
        {"ABOUT:BLANK", "about:blank"},
        {base + "7", "about:7"},
        {base + "?q=%E9%A3%8E%E6%99%AF&p=2", QString::fromUtf8("about:?q=风景&p=2")},
        {"http://pager.invalid/pics?p=3", "about:/pics?p=3"},
        {"http://example.com/x", "http://example.com/x"},
        // Escapes stay as written; only UTF-8 characters come back as such.
        {base + "pics?query=a%20b&page=2", "about:pics?query=a%20b&page=2"},
        {base + "?q=a+b%2B%26%25", "about:?q=a+b%2B%26%25"},
        {base + "?q=%B7%E7%BE%B0%C9%BD", "about:?q=%B7%E7%BE%B0%C9%BD"},
        {base + "?q=%C0%AF%E9%A3", "about:?q=%C0%AF%E9%A3"},
        {"http://example.com/a%20b?k=%E6%99%AF",
         QString::fromUtf8("http://example.com/a%20b?k=景")},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TWebBrowseEx::ReportedUrl(QUrl(c.url)), c.reported) << c.url.toStdString();
}

TEST(WebBrowseEx, WrittenLinksAreReportedAndCanBeCancelled) {
    QWidget window;
    window.resize(400, 120);
    auto* browser = new TWebBrowseEx(&window);
    browser->setGeometry(0, 0, 400, 120);
    browser->SetUserInterfaceOptions(ProgramOptions);
    QStringList seen;
    browser->OnBeforeNavigate2 = [&](TWebBrowseEx*, const QString& url, bool& cancel) {
        seen << url;
        cancel = url != "about:blank";
    };
    window.show();
    QSignalSpy loaded(browser, &QWebEngineView::loadFinished);
    browser->ShowHtml(
        QString::fromUtf8("<html><body style='margin:0'>"
                          "<a id='p7' href='7' style='display:block;width:400px;height:60px'>7</a>"
                          "<a id='yd' href='?q=风景&p=2'>next</a>"
                          "<a id='sp' href='pics?query=a%20b c&amp;page=2'>two words</a>"
                          "<a id='abs' href='http://example.invalid/x'>out</a></body></html>"));
    ASSERT_TRUE(WaitLoaded(loaded));
    EXPECT_EQ(seen, QStringList{"about:blank"});

    // A real click on the first link.
    QWidget* surface = browser->focusProxy();
    ASSERT_NE(surface, nullptr);
    ASSERT_TRUE(
        ClickUntil(surface, Qt::LeftButton, QPoint(100, 30), [&] { return seen.size() >= 2; }));
    EXPECT_EQ(seen.value(1), "about:7");
    QTest::qWait(100);
    seen = seen.mid(0, 2);

    for (const char* id : {"yd", "sp", "abs"})
        browser->page()->runJavaScript(QString("document.getElementById('%1').click()").arg(id));
    EXPECT_TRUE(QTest::qWaitFor([&] { return seen.size() >= 5; }, LoadTimeoutMs));
    EXPECT_EQ(seen.value(2), QString::fromUtf8("about:?q=风景&p=2"));
    // Escapes as written, and the space the browser escaped itself.
    EXPECT_EQ(seen.value(3), "about:pics?query=a%20b%20c&page=2");
    EXPECT_EQ(seen.value(4), "http://example.invalid/x");

    // Cancelled navigations leave the written page in place.
    EXPECT_EQ(ElementText(browser, "p7"), "7");

    // A second write is no navigation.
    loaded.clear();
    browser->ShowHtml("<p>again</p>");
    ASSERT_TRUE(WaitLoaded(loaded));
    EXPECT_EQ(seen.size(), 5);
}

TEST(WebBrowseEx, HandlerWritesTheNextPageFromTheNavigationEvent) {
    QWidget window;
    window.resize(300, 80);
    auto* browser = new TWebBrowseEx(&window);
    browser->setGeometry(0, 0, 300, 80);
    browser->OnBeforeNavigate2 = [&](TWebBrowseEx* sender, const QString& url, bool& cancel) {
        if (url == "about:blank")
            return;
        sender->ShowHtml(QString("<p id='n'>page %1</p>").arg(url.mid(6)));
        cancel = true;
    };
    window.show();
    QSignalSpy loaded(browser, &QWebEngineView::loadFinished);
    browser->ShowHtml("<a id='a' href='3'>3</a>");
    ASSERT_TRUE(WaitLoaded(loaded));
    loaded.clear();
    browser->page()->runJavaScript("document.getElementById('a').click()");
    EXPECT_EQ(ElementText(browser, "n"), "page 3");
    EXPECT_EQ(browser->WrittenHtml(), "<p id='n'>page 3</p>");
}

// The panes are composited without OpenGL: what a page paints reaches the
// window, and the engine's other panes paint beside it.
TEST(WebBrowseEx, PagesReachTheWindowWithoutOpenGL) {
    QWidget window;
    window.resize(200, 100);
    TWebBrowseEx* panes[] = {new TWebBrowseEx(&window), new TWebBrowseEx(&window)};
    const QColor colours[] = {QColor(0x3a, 0x7b, 0xd5), QColor(0x5b, 0x8c, 0x3a)};
    window.show();
    for (int i = 0; i < 2; ++i) {
        panes[i]->setGeometry(i * 100, 0, 100, 100);
        QSignalSpy loaded(panes[i], &QWebEngineView::loadFinished);
        panes[i]->ShowHtml(
            QString("<body style='margin:0;background:%1'></body>").arg(colours[i].name()));
        ASSERT_TRUE(WaitLoaded(loaded));
    }
    const auto painted = [&] {
        const QImage shot = window.grab().toImage();
        return shot.pixelColor(50, 50) == colours[0] && shot.pixelColor(150, 50) == colours[1];
    };
    EXPECT_TRUE(QTest::qWaitFor(painted, LoadTimeoutMs));
}

TEST(WebBrowseEx, ContextMenuSuppressedByTheHandler) {
    QWidget window;
    window.resize(300, 100);
    auto* browser = new TWebBrowseEx(&window);
    browser->setGeometry(0, 0, 300, 100);
    int asked = 0;
    browser->OnShowContextMenu = [&](TWebBrowseEx*, std::uint32_t, const QPoint&,
                                     std::int32_t& result) {
        ++asked;
        result = S_OK_Result;
    };
    window.show();
    QSignalSpy loaded(browser, &QWebEngineView::loadFinished);
    browser->ShowHtml("<body style='margin:0'><p style='height:90px'>text</p></body>");
    ASSERT_TRUE(WaitLoaded(loaded));

    QWidget* surface = browser->focusProxy();
    ASSERT_TRUE(ClickUntil(surface, Qt::RightButton, QPoint(20, 20), [&] { return asked > 0; }));
    QTest::qWait(200);
    EXPECT_EQ(VisibleMenu(), nullptr);

    // Without a handler the browser shows its own menu.
    browser->OnShowContextMenu = nullptr;
    EXPECT_TRUE(ClickUntil(surface, Qt::RightButton, QPoint(20, 20),
                           [] { return VisibleMenu() != nullptr; }));
    if (QMenu* menu = VisibleMenu())
        menu->close();
}

} // namespace velmora::test
