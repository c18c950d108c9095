#include "controls/WebBrowseExWin32.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QResizeEvent>

#include <string>

#include <windows.h>

#include <exdisp.h>
#include <exdispid.h>
#include <mshtmhst.h>
#include <mshtml.h>
#include <ocidl.h>
#include <ole2.h>
#include <olectl.h>

namespace velmora {

namespace {

// Not in every import library of the toolchain.
const IID ShowUiIid = {
    0xc4d244b0, 0xd43e, 0x11cf, {0x89, 0x3b, 0x00, 0xaa, 0x00, 0xbd, 0xce, 0x1a}};
const CLSID HtmlDocumentClsid = {
    0x25336920, 0x03f9, 0x11cf, {0x8f, 0xd0, 0x00, 0xaa, 0x00, 0x68, 0x6f, 0x13}};

// The ambient property the browser reads its download and host settings from.
constexpr DISPID AmbientDownloadControl = -5512;
// GoBlank waits this long at most for "about:blank" to become interactive.
constexpr int BlankLimitMs = 10000;

// OLE for the main thread, once, from the first browser on; undone when the
// program ends (a failure then is of no consequence).
struct TOleSession {
    TOleSession() { Started = SUCCEEDED(OleInitialize(nullptr)); }
    ~TOleSession() {
        if (Started)
            OleUninitialize();
    }
    bool Started = false;
};

void StartOle() {
    static TOleSession session;
}

QString FromWide(const wchar_t* text) {
    return text ? QString::fromWCharArray(text) : QString();
}

// A BSTR owned for one call.
class TBstr {
public:
    explicit TBstr(const QString& text)
        : FText(SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.utf16()),
                                  UINT(text.size()))) {}
    ~TBstr() { SysFreeString(FText); }
    TBstr(const TBstr&) = delete;
    TBstr& operator=(const TBstr&) = delete;
    BSTR get() const { return FText; }

private:
    BSTR FText;
};

} // namespace

// The host object: the client site and in-place site the browser is embedded
// through, its frame, the document-host UI handler with its show-UI companion,
// and the sink of the browser's events. The control owns one reference; the
// browser holds others while it lives, so the site outlives its owner and then
// answers with the defaults.
class TBrowserSite final : public IOleClientSite,
                           public IOleInPlaceSite,
                           public IOleInPlaceFrame,
                           public IDocHostUIHandler,
                           public IDocHostShowUI,
                           public IDispatch {
public:
    explicit TBrowserSite(TWebBrowseEx* owner) : FOwner(owner) {}
    void Detach() { FOwner = nullptr; }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (riid == IID_IUnknown || riid == IID_IOleClientSite)
            *out = static_cast<IOleClientSite*>(this);
        else if (riid == IID_IOleWindow || riid == IID_IOleInPlaceSite)
            *out = static_cast<IOleInPlaceSite*>(this);
        else if (riid == IID_IOleInPlaceUIWindow || riid == IID_IOleInPlaceFrame)
            *out = static_cast<IOleInPlaceFrame*>(this);
        else if (riid == IID_IDocHostUIHandler)
            *out = static_cast<IDocHostUIHandler*>(this);
        else if (riid == ShowUiIid)
            *out = static_cast<IDocHostShowUI*>(this);
        else if (riid == IID_IDispatch || riid == DIID_DWebBrowserEvents2)
            *out = static_cast<IDispatch*>(this);
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ULONG(InterlockedIncrement(&FRefs)); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG refs = InterlockedDecrement(&FRefs);
        if (refs == 0)
            delete this;
        return ULONG(refs);
    }

    // IOleClientSite
    HRESULT STDMETHODCALLTYPE SaveObject() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker** out) override {
        if (out)
            *out = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** out) override {
        if (out)
            *out = nullptr;
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE ShowObject() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override { return E_NOTIMPL; }

    // IOleWindow (site and frame)
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override {
        if (!window)
            return E_POINTER;
        *window = FOwner ? reinterpret_cast<HWND>(FOwner->winId()) : nullptr;
        return *window ? S_OK : E_FAIL;
    }
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

    // IOleInPlaceSite
    HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnUIActivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc,
                                               LPRECT position, LPRECT clip,
                                               LPOLEINPLACEFRAMEINFO info) override {
        if (frame) {
            *frame = static_cast<IOleInPlaceFrame*>(this);
            AddRef();
        }
        if (doc)
            *doc = nullptr;
        RECT area{0, 0, FOwner ? FOwner->width() : 0, FOwner ? FOwner->height() : 0};
        if (position)
            *position = area;
        if (clip)
            *clip = area;
        if (info) {
            info->fMDIApp = FALSE;
            GetWindow(&info->hwndFrame);
            info->haccel = nullptr;
            info->cAccelEntries = 0;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Scroll(SIZE) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE DiscardUndoState() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT) override { return S_OK; }

    // IOleInPlaceUIWindow / IOleInPlaceFrame: the pane has no tool space, menus
    // or status line of its own.
    HRESULT STDMETHODCALLTYPE GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
    HRESULT STDMETHODCALLTYPE RequestBorderSpace(LPCBORDERWIDTHS) override {
        return INPLACE_E_NOTOOLSPACE;
    }
    HRESULT STDMETHODCALLTYPE SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RemoveMenus(HMENU) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetStatusText(LPCOLESTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

    // IDocHostUIHandler
    HRESULT STDMETHODCALLTYPE ShowContextMenu(DWORD id, POINT* at, IUnknown*, IDispatch*) override {
        std::int32_t result = E_NOTIMPL_Result;
        if (FOwner && FOwner->OnShowContextMenu)
            FOwner->OnShowContextMenu(FOwner, std::uint32_t(id),
                                      at ? QPoint(at->x, at->y) : QPoint(), result);
        return HRESULT(result);
    }
    HRESULT STDMETHODCALLTYPE GetHostInfo(DOCHOSTUIINFO* info) override {
        if (!info)
            return E_POINTER;
        const THostInfo host = FOwner ? FOwner->GetHostInfo() : HostInfoOf(0, emFlagDiv);
        ZeroMemory(info, sizeof *info);
        info->cbSize = sizeof *info;
        info->dwFlags = host.dwFlags;
        info->dwDoubleClick = host.dwDoubleClick;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*,
                                     IOleInPlaceFrame*, IOleInPlaceUIWindow*) override {
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE HideUI() override { return S_FALSE; }
    HRESULT STDMETHODCALLTYPE UpdateUI() override { return S_FALSE; }
    HRESULT STDMETHODCALLTYPE OnDocWindowActivate(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnFrameWindowActivate(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG, const GUID*, DWORD) override {
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE GetOptionKeyPath(LPOLESTR* key, DWORD) override {
        if (key)
            *key = nullptr;
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE GetDropTarget(IDropTarget*, IDropTarget** out) override {
        if (out)
            *out = nullptr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetExternal(IDispatch** out) override {
        if (out)
            *out = nullptr;
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE TranslateUrl(DWORD, LPWSTR in, LPWSTR* out) override {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        QString translated;
        if (FOwner && FOwner->OnTranslateUrl)
            FOwner->OnTranslateUrl(FOwner, FromWide(in), translated);
        if (translated.isEmpty())
            return S_FALSE;
        const SIZE_T bytes = SIZE_T(translated.size()) * 2 + 2;
        auto* copy = static_cast<wchar_t*>(CoTaskMemAlloc(bytes));
        if (!copy)
            return E_OUTOFMEMORY;
        ZeroMemory(copy, bytes);
        translated.toWCharArray(copy);
        *out = copy;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE FilterDataObject(IDataObject*, IDataObject** out) override {
        if (out)
            *out = nullptr;
        return S_FALSE;
    }

    // IDocHostShowUI
    HRESULT STDMETHODCALLTYPE ShowMessage(HWND, LPOLESTR, LPOLESTR, DWORD, LPOLESTR, DWORD,
                                          LRESULT*) override {
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE ShowHelp(HWND window, LPOLESTR helpFile, UINT command, DWORD data,
                                       POINT, IDispatch*) override {
        if ((helpFile && *helpFile) || !FOwner || FOwner->HelpFile.isEmpty())
            return S_FALSE;
        using THtmlHelp = HWND(WINAPI*)(HWND, LPCSTR, UINT, DWORD_PTR);
        HMODULE viewer = LoadLibraryW(L"hhctrl.ocx");
        auto htmlHelp = viewer ? reinterpret_cast<THtmlHelp>(
                                     reinterpret_cast<void*>(GetProcAddress(viewer, "HtmlHelpA")))
                               : nullptr;
        if (!htmlHelp)
            return S_FALSE;
        const QByteArray file = FOwner->HelpFile.toLocal8Bit();
        htmlHelp(window, file.constData(), command, data);
        return S_OK;
    }

    // IDispatch: the browser's events.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (count)
            *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
        if (info)
            *info = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*,
                                     EXCEPINFO*, UINT*) override {
        // BeforeNavigate2(pDisp, URL, Flags, TargetFrameName, PostData,
        // Headers, Cancel): the arguments arrive last first.
        if (id != DISPID_BEFORENAVIGATE2 || !params || params->cArgs != 7)
            return S_OK;
        VARIANT& cancelArg = params->rgvarg[0];
        VARIANT& urlArg = params->rgvarg[5];
        QString url;
        if (urlArg.vt == (VT_BYREF | VT_VARIANT) && urlArg.pvarVal && urlArg.pvarVal->vt == VT_BSTR)
            url = FromWide(urlArg.pvarVal->bstrVal);
        else if (urlArg.vt == VT_BSTR)
            url = FromWide(urlArg.bstrVal);
        const bool go = FOwner ? FOwner->BeforeNavigate(url) : true;
        if (cancelArg.vt == (VT_BYREF | VT_BOOL) && cancelArg.pboolVal)
            *cancelArg.pboolVal = go ? VARIANT_FALSE : VARIANT_TRUE;
        return S_OK;
    }

private:
    ~TBrowserSite() = default;
    LONG FRefs = 1;
    TWebBrowseEx* FOwner;
};

TWebBrowseEx::TWebBrowseEx(QWidget* parent) : QWidget(parent) {
    StartOle();
    FSite = new TBrowserSite(this);
    if (BrowserAvailable())
        CreateBrowser();
}

TWebBrowseEx::~TWebBrowseEx() {
    DestroyBrowser();
    FSite->Detach();
    FSite->Release();
}

bool TWebBrowseEx::BrowserAvailable() {
    StartOle();
    // The browser control is a shell around the HTML engine: without the
    // engine (Wine with its Gecko missing or switched off) there is no page.
    static const bool available = [] {
        IUnknown* document = nullptr;
        if (FAILED(CoCreateInstance(HtmlDocumentClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                    reinterpret_cast<void**>(&document))))
            return false;
        document->Release();
        return true;
    }();
    return available;
}

IUnknown* TWebBrowseEx::Site() const {
    return static_cast<IOleClientSite*>(FSite);
}

void TWebBrowseEx::CreateBrowser() {
    setAttribute(Qt::WA_NativeWindow);
    const HWND window = reinterpret_cast<HWND>(winId());
    IOleObject* ole = nullptr;
    if (FAILED(CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                                reinterpret_cast<void**>(&ole))))
        return;
    IOleClientSite* site = static_cast<IOleClientSite*>(FSite);
    RECT area{0, 0, width(), height()};
    IWebBrowser2* browser = nullptr;
    if (FAILED(ole->SetClientSite(site)) ||
        FAILED(ole->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site, 0, window, &area)) ||
        FAILED(ole->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(&browser)))) {
        ole->SetClientSite(nullptr);
        ole->Close(OLECLOSE_NOSAVE);
        ole->Release();
        return;
    }
    FOleObject = ole;
    FBrowser = browser;
    // Script errors of a page are the page's business, not a dialog's.
    browser->put_Silent(VARIANT_TRUE);
    IConnectionPointContainer* points = nullptr;
    if (SUCCEEDED(browser->QueryInterface(IID_IConnectionPointContainer,
                                          reinterpret_cast<void**>(&points)))) {
        IConnectionPoint* point = nullptr;
        if (SUCCEEDED(points->FindConnectionPoint(DIID_DWebBrowserEvents2, &point))) {
            point->Advise(static_cast<IDispatch*>(FSite), &FEventCookie);
            point->Release();
        }
        points->Release();
    }
}

void TWebBrowseEx::DestroyBrowser() {
    if (!FBrowser)
        return;
    auto* browser = static_cast<IWebBrowser2*>(FBrowser);
    if (FEventCookie) {
        IConnectionPointContainer* points = nullptr;
        if (SUCCEEDED(browser->QueryInterface(IID_IConnectionPointContainer,
                                              reinterpret_cast<void**>(&points)))) {
            IConnectionPoint* point = nullptr;
            if (SUCCEEDED(points->FindConnectionPoint(DIID_DWebBrowserEvents2, &point))) {
                point->Unadvise(FEventCookie);
                point->Release();
            }
            points->Release();
        }
        FEventCookie = 0;
    }
    browser->Stop();
    browser->Release();
    FBrowser = nullptr;
    auto* ole = static_cast<IOleObject*>(FOleObject);
    ole->Close(OLECLOSE_NOSAVE);
    ole->SetClientSite(nullptr);
    ole->Release();
    FOleObject = nullptr;
}

void TWebBrowseEx::SetUserInterfaceOptions(const TUserInterfaceOptions& options) {
    FOptions = options;
    FHostFlags = HostFlagsOf(options);
    NotifyHostFlags();
}

// The browser reads the host flags again when told that its download-control
// ambient property changed; the notice goes to its application object.
void TWebBrowseEx::NotifyHostFlags() {
    if (!FBrowser)
        return;
    IDispatch* application = nullptr;
    if (FAILED(static_cast<IWebBrowser2*>(FBrowser)->get_Application(&application)) || !application)
        return;
    IOleControl* control = nullptr;
    if (SUCCEEDED(
            application->QueryInterface(IID_IOleControl, reinterpret_cast<void**>(&control)))) {
        control->OnAmbientPropertyChange(AmbientDownloadControl);
        control->Release();
    }
    application->Release();
}

void TWebBrowseEx::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (!FOleObject)
        return;
    IOleInPlaceObject* inPlace = nullptr;
    if (SUCCEEDED(
            static_cast<IOleObject*>(FOleObject)
                ->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&inPlace)))) {
        const RECT area{0, 0, event->size().width(), event->size().height()};
        inPlace->SetObjectRects(&area, &area);
        inPlace->Release();
    }
}

bool TWebBrowseEx::BeforeNavigate(const QString& url) {
    bool cancel = false;
    if (OnBeforeNavigate2) {
        FInNavigation = true;
        QPointer<TWebBrowseEx> self(this);
        OnBeforeNavigate2(this, url, cancel);
        if (!self)
            return false;
        FInNavigation = false;
    }
    return !cancel;
}

void TWebBrowseEx::Navigate(const QString& url) {
    FUrl = url;
    FHasDocument = true;
    if (!FBrowser)
        return;
    TBstr target(url);
    VARIANT empty;
    VariantInit(&empty);
    static_cast<IWebBrowser2*>(FBrowser)->Navigate(target.get(), &empty, &empty, &empty, &empty);
}

bool TWebBrowseEx::GoBlank(bool wait) {
    if (!FBrowser) {
        // No browser to ask: the navigation is still reported as it would be.
        if (!BeforeNavigate(QStringLiteral("about:blank")))
            return false;
        FUrl = QStringLiteral("about:blank");
        FHasDocument = true;
        return true;
    }
    Navigate(QStringLiteral("about:blank"));
    if (!wait)
        return true;
    // Window messages keep flowing while the page comes; a page that never
    // gets there (a handler cancelled it) ends the wait after a while.
    QPointer<TWebBrowseEx> self(this);
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        if (!self || !FBrowser)
            return false;
        READYSTATE state = READYSTATE_UNINITIALIZED;
        static_cast<IWebBrowser2*>(FBrowser)->get_ReadyState(&state);
        if (state >= READYSTATE_INTERACTIVE)
            return true;
        if (clock.elapsed() > BlankLimitMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        Sleep(5);
    }
}

void TWebBrowseEx::ShowHtml(const QString& html) {
    if (FInNavigation) {
        // The browser is still deciding about a navigation; write once it has.
        QMetaObject::invokeMethod(
            this, [this, html] { ShowHtml(html); }, Qt::QueuedConnection);
        return;
    }
    bool hasDocument = FHasDocument;
    if (FBrowser) {
        IDispatch* document = nullptr;
        static_cast<IWebBrowser2*>(FBrowser)->get_Document(&document);
        hasDocument = document != nullptr;
        if (document)
            document->Release();
    }
    if (!hasDocument && !GoBlank(true))
        return;
    WriteHtml(html);
}

void TWebBrowseEx::WriteHtml(const QString& html) {
    FWrittenHtml = html;
    if (!FBrowser)
        return;
    IDispatch* dispatch = nullptr;
    if (FAILED(static_cast<IWebBrowser2*>(FBrowser)->get_Document(&dispatch)) || !dispatch)
        return;
    IHTMLDocument2* document = nullptr;
    if (SUCCEEDED(
            dispatch->QueryInterface(IID_IHTMLDocument2, reinterpret_cast<void**>(&document)))) {
        document->close();
        document->clear();
        if (!html.isEmpty()) {
            if (SAFEARRAY* lines = SafeArrayCreateVector(VT_VARIANT, 0, 1)) {
                VARIANT* line = nullptr;
                if (SUCCEEDED(SafeArrayAccessData(lines, reinterpret_cast<void**>(&line)))) {
                    line->vt = VT_BSTR;
                    line->bstrVal = SysAllocStringLen(
                        reinterpret_cast<const OLECHAR*>(html.utf16()), UINT(html.size()));
                    SafeArrayUnaccessData(lines);
                    document->write(lines);
                }
                SafeArrayDestroy(lines); // frees the text with it
            }
        }
        document->Release();
    }
    dispatch->Release();
}

} // namespace velmora
