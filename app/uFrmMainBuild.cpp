// TFrmMain's construction: FormCreate and the builders of the advertisement
// pane, the page bar, the page area with each page, the list menu and the
// updater's timer. The handlers are in uFrmMain.cpp.
//
// FormCreate builds what the first paint shows: the page bar and the theme
// page. The other pages (two catalogue lists, the icon library, the wallpaper
// search window with its browser panes) would hold that paint up by some
// milliseconds; they are built right after it.
#include "app/uFrmMain.h"

#include "app/uQtDispatcher.h"
#include "app/uWindowParts.h"
#include "controls/ImgButton.h"
#include "controls/PaintPanel.h"
#include "app/wallpaper/uFrmWallpaper.h"

#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <stdexcept>
#include <string>

// The pictures are built into this library; a static library's resources are
// registered by hand.
static void InitWindowResources() {
    Q_INIT_RESOURCE(velmora);
}

namespace velmora {

namespace {

constexpr int ClientWidth = 746;
constexpr int ClientHeight = 466;
constexpr int AdHeight = 60;
constexpr int PageBarHeight = 34;
const char* const ListHint = "在列表中按右键，可弹出操作菜单";

// The catalogue pages, each on the sheet whose number is its tag.
struct TCatalogPageText {
    int Tag;
    const char* ListName;
    const char* ListTitle;
    const char* NameColumn;
    const char* PreviewTitle;
    const char* PreviewName;
};
const TCatalogPageText CatalogPageTexts[] = {
    {tagTheme, "vstThemeList", " 主题列表（双击下载，下载完后双击应用）", "主题名称", " 主题预览",
     "imgView"},
    {tagCursor, "vstCursorList", " 光标列表（双击下载，下载完后双击应用）", "光标名称", " 光标预览",
     "imgCursorView"},
    {tagScreenSave, "vstScreenList", " 屏保列表（双击下载，下载完后双击应用）", "屏保名称",
     " 屏保预览", "imgScreenView"},
};

const TCatalogPageText& CatalogPageText(int tag) {
    for (const TCatalogPageText& text : CatalogPageTexts)
        if (text.Tag == tag)
            return text;
    throw std::invalid_argument("no catalogue page has tag " + std::to_string(tag));
}

} // namespace

void TFrmMain::FormCreate() {
    InitWindowResources();
    setObjectName("FrmMain");
    setWindowTitle("Velmora");
    setFixedSize(ClientWidth, ClientHeight);
    setWindowFlags(Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFont(InterfaceFont(QString::fromUtf8("宋体"), 12));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);

    FFolders.ExePath = FSetup.ExePath;
    FFolders.CacheDir = FSetup.CacheDir;
    FDispatcher = std::make_shared<TQtDispatcher>();
    for (int i = 0; i < 8; ++i)
        FStatusImages.push_back(ResourceImage(QString("status%1.png").arg(i)));
    // The models are there from the start: the catalogue may arrive before
    // the lists that show them are built.
    for (const TCatalogPageText& text : CatalogPageTexts)
        FModels[text.Tag] =
            new TCatalogModel(text.Tag, QString::fromUtf8(text.NameColumn), FFolders, this);

    BuildAdPane();
    pnlClient = new QWidget(this);
    pnlClient->setObjectName("pnlClient");
    pnlClient->setGeometry(0, AdHeight, ClientWidth, ClientHeight - AdHeight);
    BuildPageBar();
    BuildPageArea();
    FThemes = BuildCatalogPage(tagTheme);
    BuildMenu();
    StartUpdaterTimer();
}

void TFrmMain::BuildRemainingPages() {
    if (FPagesBuilt)
        return;
    FPagesBuilt = true;
    FCursors = BuildCatalogPage(tagCursor);
    FScreens = BuildCatalogPage(tagScreenSave);
    BuildIconPage(pgMain->widget(4));
    LoadIconCategories();
    BuildWallpaperPage();

    imgNoPic = new QLabel(pnlPageTitle);
    imgNoPic->setObjectName("imgNoPic");
    imgNoPic->setPixmap(QPixmap::fromImage(NoPicture()));
    imgNoPic->setGeometry(0, 0, 400, 300);
    imgNoPic->hide();
}

const QImage& TFrmMain::NoPicture() {
    if (FNoPic.isNull())
        FNoPic = ResourceImage("nopic.png");
    return FNoPic;
}

// The wallpaper search window, once, filling its page; seen when page 5 is.
void TFrmMain::BuildWallpaperPage() {
    QWidget* page = pgMain->widget(5);
    TWallpaperSetup setup;
    setup.ExePath = FSetup.ExePath;
    setup.TempDir = FSetup.TempDir;
    setup.FavoritesDir = FSetup.FavoritesDir;
    setup.System = FSystem;
    setup.Dispatcher = FDispatcher;
    setup.ServerBase = FSetup.ServerBase;
    setup.Services = FSetup.Services;
    setup.Browsers = FSetup.Browsers;
    FrmWallpaper = new TFrmWallpaper(setup, page);
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(FrmWallpaper);
    FrmWallpaper->show();
}

void TFrmMain::BuildAdPane() {
    pnlAD = new TPaintPanel(this);
    pnlAD->setObjectName("pnlAD");
    pnlAD->setGeometry(0, 0, ClientWidth, AdHeight);
    pnlAD->SetColor(Qt::white);
    auto* adLayout = new QVBoxLayout(pnlAD);
    adLayout->setContentsMargins(0, 0, 0, 0);
    wbAD = FSetup.MakeAdBrowser ? FSetup.MakeAdBrowser(pnlAD) : new QWidget(pnlAD);
    wbAD->setObjectName("wbAD");
    wbAD->setContextMenuPolicy(Qt::NoContextMenu); // a right click opens no menu
    adLayout->addWidget(wbAD);
}

void TFrmMain::BuildPageBar() {
    ImgManager = new TImgManager(this);
    ImgManager->SetImgNormal(ResourcePicture("button_normal.png"));
    ImgManager->SetImgCheck(ResourcePicture("button_checked.png"));
    ImgManager->SetImgEnter(ResourcePicture("button_hot.png"));
    ImgManager->SetImgDown(ResourcePicture("button_down.png"));

    pnlPageTitle = new TPaintPanel(pnlClient);
    pnlPageTitle->setObjectName("pnlPageTitle");
    pnlPageTitle->setGeometry(0, 0, ClientWidth, PageBarHeight);
    pnlPageTitle->SetColor(Qt::white);
    pnlPageTitle->OnPaint = [](TPaintPanel* sender, QPainter& canvas) {
        // pnlPageTitlePaint: the line under the page buttons.
        canvas.setPen(FrameGrey);
        const int y = sender->height() - 1;
        canvas.drawLine(10, y, sender->width() - 10 - 1, y);
    };
    struct TButtonDef {
        const char* Name;
        const char* Caption;
        int Tag;
        int X;
        bool Hint;
    };
    const TButtonDef buttons[] = {{"icbThemes", "系统主题", 0, 10, true},
                                  {"icbCursor", "鼠标指针", 2, 95, true},
                                  {"icbScreen", "超炫屏保", 3, 180, true},
                                  {"icbIcon", "文件夹图标", 4, 265, false},
                                  {"icbWallpaper", "壁纸搜索", 5, 350, false}};
    for (const TButtonDef& def : buttons) {
        auto* button = new TImgCheckButton(pnlPageTitle);
        button->setObjectName(def.Name);
        button->setGeometry(def.X, 9, 80, 25);
        button->SetImgManager(ImgManager);
        button->SetImgButtonLayout(iclImgCenter);
        button->SetCaption(QString::fromUtf8(def.Caption));
        button->SetCheckGroup(1);
        button->setProperty("Tag", def.Tag);
        if (def.Hint)
            button->setToolTip(QString::fromUtf8(ListHint));
        button->OnClick = [this](TImgControl* sender) { icbThemesClick(sender); };
        if (def.Tag == 0)
            icbThemes = button;
    }
    icbThemes->SetChecked(true);

    lblWeb = new TLinkLabel(QString::fromUtf8("访问官网"), pnlPageTitle);
    lblWeb->setObjectName("lblWeb");
    lblWeb->setGeometry(687, 15, 54, 12);
    connect(lblWeb, &TLinkLabel::Clicked, this, &TFrmMain::lblWebClick);
    // The same entry as the lists' menu, from every page.
    if (FSetup.History) {
        lblRestoreChanges = new TLinkLabel(QString::fromUtf8("还原桌面更改…"), pnlPageTitle);
        lblRestoreChanges->setObjectName("lblRestoreChanges");
        lblRestoreChanges->setGeometry(687 - 96, 15, 90, 12);
        connect(lblRestoreChanges, &TLinkLabel::Clicked, this, &TFrmMain::miRestoreChangesClick);
    }
}

// The page area, framed in grey, and its six sheets (index = page number);
// the pages themselves are built into the sheets afterwards.
void TFrmMain::BuildPageArea() {
    pnlPage = new TPaintPanel(pnlClient);
    pnlPage->setObjectName("pnlPage");
    pnlPage->setGeometry(0, PageBarHeight, ClientWidth, ClientHeight - AdHeight - PageBarHeight);
    pnlPage->SetColor(Qt::white);
    pnlPageInner = new TPaintPanel(pnlPage);
    pnlPageInner->setObjectName("pnlPageInner");
    pnlPageInner->setGeometry(10, 0, ClientWidth - 20, pnlPage->height() - 10);
    pnlPageInner->SetColor(Qt::white);
    pnlPageInner->SetBorderWidth(8);
    pnlPageInner->OnPaint = [](TPaintPanel* sender, QPainter& canvas) {
        // pnlPageInnerPaint: left, right and bottom edges; the top edge lies
        // above the panel, where the page bar's line takes over.
        canvas.setPen(FrameGrey);
        canvas.setBrush(Qt::NoBrush);
        canvas.drawRect(0, -20, sender->width() - 1, sender->height() - 1 + 20);
    };
    pgMain = new QStackedWidget(pnlPageInner);
    pgMain->setObjectName("pgMain");
    pgMain->setGeometry(12, 13, 702, 336);
    const char* sheets[] = {"tsThemes",      nullptr,   "tsCursor",
                            "tsScreenSaver", "tsTools", "tsWallpaper"};
    for (const char* name : sheets) {
        auto* page = new QWidget(pgMain);
        page->setObjectName(name ? name : "tsEmpty");
        page->setAutoFillBackground(true);
        page->setPalette(palette());
        pgMain->addWidget(page);
    }
}

TFrmMain::TCatalogPage TFrmMain::BuildCatalogPage(int tag) {
    const TCatalogPageText& text = CatalogPageText(tag);
    QWidget* page = pgMain->widget(tag);
    TCatalogPage result;
    TPaintPanel* listFrame = FramePanel(page, QRect(0, 0, 282, 336));
    TitleBar(listFrame, QRect(1, 1, 280, 22), QString::fromUtf8(text.ListTitle), "title_list.png",
             hstAll);
    auto* list = new TCatalogTree(FModels[tag], FStatusImages, tag == tagTheme, listFrame);
    list->setObjectName(text.ListName);
    list->setGeometry(1, 23, 280, 312);
    connect(list, &TCatalogTree::FocusChanged, this, &TFrmMain::vstThemeListFocusChanged);
    connect(list, &TCatalogTree::DblClick, this, &TFrmMain::vstThemeListDblClick);
    connect(list, &TCatalogTree::ContextPopup, this, [this](TCatalogTree* sender, QPoint at) {
        if (vstThemeListContextPopup(sender))
            PopupMenu->popup(at);
    });
    result.List = list;

    TPaintPanel* previewFrame = FramePanel(page, QRect(292, 0, 410, 336));
    TPaintPanel* previewBar =
        TitleBar(previewFrame, QRect(1, 1, 408, 22), QString::fromUtf8(text.PreviewTitle),
                 "title_preview.png", hstRight);
    if (tag == tagScreenSave) {
        auto* cancel = new TLinkLabel(QString::fromUtf8("取消屏保"), previewBar);
        cancel->setObjectName("lbCancelScreenSave");
        cancel->setGeometry(408 - 60, 5, 54, 12);
        connect(cancel, &TLinkLabel::Clicked, this, &TFrmMain::lbCancelScreenSaveClick);
    }
    auto* holder = new TPaintPanel(previewFrame);
    holder->setGeometry(1, 23, 408, 312);
    holder->SetColor(Qt::white);
    holder->SetBorderWidth(4);
    auto* preview = new QLabel(holder);
    preview->setObjectName(text.PreviewName);
    preview->setGeometry(4, 4, 400, 304);
    preview->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    result.Preview = preview;
    return result;
}

// The menu of the catalogue lists; "apply" downloads when the package is
// missing, as a double click does.
void TFrmMain::BuildMenu() {
    PopupMenu = new QMenu(this);
    PopupMenu->setObjectName("PopupMenu");
    pmiDown = PopupMenu->addAction(QString::fromUtf8("下载(&D)"));
    pmiDown->setObjectName("pmiDown");
    pmiCancel = PopupMenu->addAction(QString::fromUtf8("取消下载"));
    pmiCancel->setObjectName("pmiCancel");
    PopupMenu->addSeparator();
    pmiApply = PopupMenu->addAction(QString::fromUtf8("应用(&A)"));
    pmiApply->setObjectName("pmiApply");
    PopupMenu->addSeparator();
    pmiUnInstall = PopupMenu->addAction(QString::fromUtf8("卸载"));
    pmiUnInstall->setObjectName("pmiUnInstall");
    connect(pmiDown, &QAction::triggered, this, &TFrmMain::pmiDownClick);
    connect(pmiApply, &QAction::triggered, this, &TFrmMain::pmiDownClick);
    connect(pmiCancel, &QAction::triggered, this, &TFrmMain::pmiCancelClick);
    connect(pmiUnInstall, &QAction::triggered, this, &TFrmMain::pmiUnInstallClick);
    if (FSetup.History) {
        PopupMenu->addSeparator();
        pmiRestoreChanges = PopupMenu->addAction(QString::fromUtf8("还原桌面更改…"));
        pmiRestoreChanges->setObjectName("pmiRestoreChanges");
        connect(pmiRestoreChanges, &QAction::triggered, this, &TFrmMain::miRestoreChangesClick);
    }
}

void TFrmMain::StartUpdaterTimer() {
    Timer = new QTimer(this);
    Timer->setObjectName("Timer");
    Timer->setSingleShot(true);
    Timer->setInterval(FSetup.UpdaterDelayMs);
    connect(Timer, &QTimer::timeout, this, &TFrmMain::TimerTimer);
    Timer->start();
}

} // namespace velmora
