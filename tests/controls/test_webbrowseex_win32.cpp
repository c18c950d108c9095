// The Windows browser control's host, asked the way the system's browser asks
// it: through the COM interfaces of its client site. The navigation logic the
// pagination strip depends on is driven through the browser's event sink, so
// it is checked also where the system has no browser engine.
#include "controls/WebBrowseExWin32.h"

#include <QApplication>
#include <QTest>
#include <gtest/gtest.h>

#include <windows.h>

#include <exdisp.h>
#include <exdispid.h>
#include <mshtmhst.h>

#include <string>
#include <vector>

namespace velmora::test {
namespace {

// Not in every import library of the toolchain.
const IID ShowUiIid = {
    0xc4d244b0, 0xd43e, 0x11cf, {0x89, 0x3b, 0x00, 0xaa, 0x00, 0xbd, 0xce, 0x1a}};

const TUserInterfaceOptions ProgramOptions{DontUse3DBorders, DontUseScrollBars, EnableThemes};

template <class T> T* Ask(TWebBrowseEx& browser, REFIID iid) {
    void* out = nullptr;
    if (FAILED(browser.Site()->QueryInterface(iid, &out)))
        return nullptr;
    return static_cast<T*>(out);
}

// The browser's before-navigation event as it arrives at the sink; true when
// the handler let the navigation go on.
bool FireBeforeNavigate(TWebBrowseEx& browser, const wchar_t* url) {
    IDispatch* sink = Ask<IDispatch>(browser, DIID_DWebBrowserEvents2);
    if (!sink)
        return false;
    VARIANT target;
    VariantInit(&target);
    target.vt = VT_BSTR;
    target.bstrVal = SysAllocString(url);
    VARIANT_BOOL cancel = VARIANT_FALSE;
    VARIANT args[7];
    for (VARIANT& a : args)
        VariantInit(&a);
    args[0].vt = VT_BYREF | VT_BOOL;
    args[0].pboolVal = &cancel;
    args[5].vt = VT_BYREF | VT_VARIANT;
    args[5].pvarVal = &target;
    DISPPARAMS params{args, nullptr, 7, 0};
    sink->Invoke(DISPID_BEFORENAVIGATE2, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr,
                 nullptr);
    sink->Release();
    VariantClear(&target);
    return cancel == VARIANT_FALSE;
}

TEST(WebBrowseExWin32, HostInfoTheBrowserReads) {
    struct Case {
        TUserInterfaceOptions Options;
        TEnterMode Mode;
        DWORD Flags;
    };
    const Case cases[] = {
        {ProgramOptions, emFlagDiv, 0x4010C},
        {ProgramOptions, emFlagP, 0x4000C},
        {{}, emFlagDiv, 0x100},
        {{DisableTextSelect, ForceUserActivationOnActiveXJava}, emFlagP, 0x20000001},
    };
    for (const Case& c : cases) {
        TWebBrowseEx browser;
        browser.SetUserInterfaceOptions(c.Options);
        browser.SetEnterModeOnEdit(c.Mode);
        IDocHostUIHandler* handler = Ask<IDocHostUIHandler>(browser, IID_IDocHostUIHandler);
        ASSERT_NE(handler, nullptr);
        DOCHOSTUIINFO info;
        FillMemory(&info, sizeof info, 0xAB);
        info.cbSize = sizeof info;
        EXPECT_EQ(handler->GetHostInfo(&info), S_OK);
        EXPECT_EQ(info.dwFlags, c.Flags);
        EXPECT_EQ(info.dwDoubleClick, 0u);
        EXPECT_EQ(info.pchHostCss, nullptr);
        EXPECT_EQ(info.pchHostNS, nullptr);
        handler->Release();
    }
}

TEST(WebBrowseExWin32, HostAnswersAndTheirHandlers) {
    TWebBrowseEx browser;
    IDocHostUIHandler* handler = Ask<IDocHostUIHandler>(browser, IID_IDocHostUIHandler);
    ASSERT_NE(handler, nullptr);
    POINT at{5, 7};
    // No handler: the browser shows its own menu.
    EXPECT_EQ(handler->ShowContextMenu(0, &at, nullptr, nullptr), E_NOTIMPL);
    QPoint seen;
    browser.OnShowContextMenu = [&](TWebBrowseEx*, std::uint32_t, const QPoint& p,
                                    std::int32_t& result) {
        seen = p;
        result = S_OK_Result;
    };
    EXPECT_EQ(handler->ShowContextMenu(0, &at, nullptr, nullptr), S_OK);
    EXPECT_EQ(seen, QPoint(5, 7));

    // The UI answers leave the browser its own UI.
    EXPECT_EQ(handler->ShowUI(0, nullptr, nullptr, nullptr, nullptr), S_FALSE);
    EXPECT_EQ(handler->HideUI(), S_FALSE);
    EXPECT_EQ(handler->TranslateAccelerator(nullptr, nullptr, 0), S_FALSE);
    IDispatch* external = reinterpret_cast<IDispatch*>(1);
    EXPECT_EQ(handler->GetExternal(&external), S_FALSE);
    EXPECT_EQ(external, nullptr);
    IDropTarget* drop = reinterpret_cast<IDropTarget*>(1);
    EXPECT_EQ(handler->GetDropTarget(nullptr, &drop), S_OK);
    EXPECT_EQ(drop, nullptr);

    // A translated address is handed out in the task allocator's memory; an
    // empty one is no translation.
    wchar_t in[] = L"http://127.0.0.1/ad";
    QString answer;
    browser.OnTranslateUrl = [&](TWebBrowseEx*, const QString& url, QString& out) {
        EXPECT_EQ(url, QStringLiteral("http://127.0.0.1/ad"));
        out = answer;
    };
    LPWSTR out = reinterpret_cast<LPWSTR>(1);
    EXPECT_EQ(handler->TranslateUrl(0, in, &out), S_FALSE);
    EXPECT_EQ(out, nullptr);
    answer = QStringLiteral("http://127.0.0.1/广告");
    EXPECT_EQ(handler->TranslateUrl(0, in, &out), S_OK);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(QString::fromWCharArray(out), answer);
    CoTaskMemFree(out);
    handler->Release();

    IDocHostShowUI* showUi = Ask<IDocHostShowUI>(browser, ShowUiIid);
    ASSERT_NE(showUi, nullptr);
    LRESULT result = 0;
    EXPECT_EQ(showUi->ShowMessage(nullptr, nullptr, nullptr, 0, nullptr, 0, &result), S_FALSE);
    EXPECT_EQ(showUi->ShowHelp(nullptr, nullptr, 0, 0, POINT{}, nullptr), S_FALSE);
    showUi->Release();
}

// The pagination strip: its links arrive as navigations, the handler cancels
// them and writes the next strip from inside the event; the writing waits
// until the browser has its answer.
TEST(WebBrowseExWin32, StripNavigationsAreReportedCancelledAndRewritten) {
    TWebBrowserPanes panes;
    QWidget* pane = panes.Make(nullptr);
    auto* browser = qobject_cast<TWebBrowseEx*>(pane);
    ASSERT_NE(browser, nullptr);
    std::vector<QString> seen;
    panes.SetNavigationHandler(pane, [&](const QString& url, bool& cancel) {
        seen.push_back(url);
        if (url.startsWith(QLatin1String("about:page"))) {
            cancel = true;
            panes.ShowHtml(pane, QStringLiteral("<a href=\"page3\">3</a>"));
        }
    });
    EXPECT_FALSE(FireBeforeNavigate(*browser, L"about:page2"));
    // Written after the event, not inside it.
    EXPECT_TRUE(browser->WrittenHtml().isEmpty());
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return browser->WrittenHtml() == QStringLiteral("<a href=\"page3\">3</a>"); },
        15000));
    EXPECT_TRUE(FireBeforeNavigate(*browser, L"http://127.0.0.1:18080/ad.html"));
    ASSERT_GE(seen.size(), 2u);
    EXPECT_EQ(seen.front(), QStringLiteral("about:page2"));
    EXPECT_EQ(seen.back(), QStringLiteral("http://127.0.0.1:18080/ad.html"));
    // The program's panes never show a context menu.
    IDocHostUIHandler* handler = Ask<IDocHostUIHandler>(*browser, IID_IDocHostUIHandler);
    ASSERT_NE(handler, nullptr);
    EXPECT_EQ(handler->ShowContextMenu(0, nullptr, nullptr, nullptr), S_OK);
    handler->Release();
    delete pane;
}

// A browser with no document first goes to "about:blank"; a handler that
// cancels that gets nothing written.
TEST(WebBrowseExWin32, FirstWriteGoesToBlankFirst) {
    TWebBrowseEx browser;
    std::vector<QString> seen;
    bool refuse = true;
    browser.OnBeforeNavigate2 = [&](TWebBrowseEx*, const QString& url, bool& cancel) {
        seen.push_back(url);
        cancel = refuse;
    };
    browser.ShowHtml(QStringLiteral("<p>x</p>"));
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.front(), QStringLiteral("about:blank"));
    EXPECT_TRUE(browser.WrittenHtml().isEmpty());
    refuse = false;
    browser.ShowHtml(QStringLiteral("<p>x</p>"));
    EXPECT_EQ(browser.WrittenHtml(), QStringLiteral("<p>x</p>"));
    EXPECT_TRUE(browser.HasDocument());
}

// The page itself, where the system has a browser engine.
TEST(WebBrowseExWin32, WrittenDocumentShows) {
    if (!TWebBrowseEx::BrowserAvailable())
        GTEST_SKIP() << "the system has no browser engine (Wine without its Gecko): "
                        "the page's content cannot be checked here";
    TWebBrowseEx browser;
    browser.resize(300, 40);
    browser.show();
    ASSERT_TRUE(browser.HasBrowser());
    browser.ShowHtml(QStringLiteral("<p id=\"t\">strip</p>"));
    EXPECT_EQ(browser.WrittenHtml(), QStringLiteral("<p id=\"t\">strip</p>"));
    EXPECT_TRUE(browser.HasDocument());
}

} // namespace
} // namespace velmora::test
