#include "app/uFrmMain.h"

#include "app/uQtDispatcher.h"
#include "app/uUpdater.h"
#include "controls/Imaging.h"
#include "controls/ImgButton.h"
#include "controls/PaintPanel.h"
#include "install/uCursorInstaller.h"
#include "install/uInstallers.h"
#include "install/uFileUtil.h"
#include "install/uPubFunc.h"
#include "install/uScreenSaverInstaller.h"
#include "install/uThemeInstaller.h"
#include "platform/ISystem.h"

#include <QFile>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <stdexcept>
#include <system_error>

namespace fs = std::filesystem;

// The pictures are built into this library; a static library's resources are
// registered by hand.
static void InitWindowResources() {
    Q_INIT_RESOURCE(velmora);
}

namespace velmora {

namespace {

constexpr int ClientWidth = 746;
constexpr int ClientHeight = 466;
const QColor FrameGrey(0x70, 0x70, 0x70); // 0x707070
const QColor Silver(192, 192, 192);
const char* const ListHint = "在列表中按右键，可弹出操作菜单";

QImage ResourceImage(const QString& name) {
    return QImage(QStringLiteral(":/velmora/") + name);
}

TPicture ResourcePicture(const QString& name) {
    QFile file(QStringLiteral(":/velmora/") + name);
    TPicture picture;
    if (file.open(QIODevice::ReadOnly)) {
        auto png = std::make_unique<TPngGraphic>();
        png->LoadFromStream(file.readAll());
        picture.SetGraphic(std::move(png));
    }
    return picture;
}

// A preview is a 400 x 300 JPEG of some tens of kilobytes; an answer far
// larger than that is not one, and is not held in memory.
constexpr std::uint64_t MaxPreviewBytes = 8 << 20;

class TPreviewStream : public TMemoryStream {
public:
    void Write(const char* data, std::size_t size) override {
        if (Size() + size > MaxPreviewBytes)
            throw std::length_error("preview too large");
        TMemoryStream::Write(data, size);
    }
};

// The cache folder is made when first needed; when it cannot be, saving into
// it fails and that failure is the one the user sees.
void TryEnsureCacheFolder(const TFolderFields& folders, int tag) {
    try {
        EnsureCacheFolder(folders, tag);
    } catch (const fs::filesystem_error&) {
    }
}

QImage LoadPicture(const fs::path& file) {
    try {
        TPicture picture;
        picture.LoadFromFile(file.string());
        if (picture.HasGraphic())
            return picture.Graphic()->ToImage();
    } catch (const EInvalidGraphic&) {
    }
    return {};
}

TPaintPanel* TitleBar(QWidget* parent, const QRect& geometry, const QString& caption,
                      const QString& picture, THorzStretchType stretch) {
    auto* bar = new TPaintPanel(parent);
    bar->setGeometry(geometry);
    bar->SetCaption(caption);
    bar->SetAlignment(taLeftJustify);
    bar->SetPicture(ResourcePicture(picture));
    bar->SetPicHorzStretch(stretch);
    bar->SetPicVertStretch(vstNone);
    return bar;
}

TPaintPanel* FramePanel(QWidget* parent, const QRect& geometry) {
    auto* frame = new TPaintPanel(parent);
    frame->setGeometry(geometry);
    frame->SetColor(Qt::white);
    frame->SetBevelStyle(bsSingle);
    frame->SetBevelColor(Silver);
    frame->SetBevelWidth(1);
    return frame;
}

} // namespace

// --- TLinkLabel -------------------------------------------------------------

void TLinkLabel::enterEvent(QEnterEvent* event) {
    QFont f = font();
    f.setUnderline(true);
    setFont(f);
    setCursor(Qt::PointingHandCursor);
    QLabel::enterEvent(event);
}

void TLinkLabel::leaveEvent(QEvent* event) {
    QFont f = font();
    f.setUnderline(false);
    setFont(f);
    unsetCursor();
    QLabel::leaveEvent(event);
}

void TLinkLabel::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit Clicked();
}

// --- TFrmMain ---------------------------------------------------------------

TFrmMain::TFrmMain(TMainWindowSetup setup, QWidget* parent)
    : QWidget(parent), FSetup(std::move(setup)), FSystem(FSetup.System) {
    if (!FSystem)
        throw std::invalid_argument("TFrmMain needs a system");
    FormCreate();
}

TFrmMain::~TFrmMain() {
    // Workers still running are abandoned: the dispatcher refuses their steps
    // from now on, so none of them touches a row after this.
    FDispatcher->Shutdown();
}

void TFrmMain::FormCreate() {
    InitWindowResources();
    setObjectName("FrmMain");
    setWindowTitle("Velmora");
    setFixedSize(ClientWidth, ClientHeight);
    setWindowFlags(Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    QFont songTi(QString::fromUtf8("宋体"));
    songTi.setPixelSize(12);
    setFont(songTi);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);

    FFolders.ExePath = FSetup.ExePath;
    FHttp = std::make_unique<TWinHttp>();
    FDispatcher = std::make_shared<TQtDispatcher>();
    for (int i = 0; i < 8; ++i)
        FStatusImages.push_back(ResourceImage(QString("status%1.png").arg(i)));
    FNoPic = ResourceImage("nopic.png");

    ImgManager = new TImgManager(this);
    ImgManager->SetImgNormal(ResourcePicture("button_normal.png"));
    ImgManager->SetImgCheck(ResourcePicture("button_checked.png"));
    ImgManager->SetImgEnter(ResourcePicture("button_hot.png"));
    ImgManager->SetImgDown(ResourcePicture("button_down.png"));

    // The advertisement pane.
    pnlAD = new TPaintPanel(this);
    pnlAD->setObjectName("pnlAD");
    pnlAD->setGeometry(0, 0, ClientWidth, 60);
    pnlAD->SetColor(Qt::white);
    auto* adLayout = new QVBoxLayout(pnlAD);
    adLayout->setContentsMargins(0, 0, 0, 0);
    wbAD = FSetup.MakeAdBrowser ? FSetup.MakeAdBrowser(pnlAD) : new QWidget(pnlAD);
    wbAD->setObjectName("wbAD");
    wbAD->setContextMenuPolicy(Qt::NoContextMenu); // a right click opens no menu
    adLayout->addWidget(wbAD);

    pnlClient = new QWidget(this);
    pnlClient->setObjectName("pnlClient");
    pnlClient->setGeometry(0, 60, ClientWidth, ClientHeight - 60);

    // The page bar.
    pnlPageTitle = new TPaintPanel(pnlClient);
    pnlPageTitle->setObjectName("pnlPageTitle");
    pnlPageTitle->setGeometry(0, 0, ClientWidth, 34);
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
    lblWeb->setStyleSheet("color: blue;");
    connect(lblWeb, &TLinkLabel::Clicked, this, &TFrmMain::lblWebClick);

    imgNoPic = new QLabel(pnlPageTitle);
    imgNoPic->setObjectName("imgNoPic");
    imgNoPic->setPixmap(QPixmap::fromImage(FNoPic));
    imgNoPic->setGeometry(0, 0, 400, 300);
    imgNoPic->hide();

    // The page area, framed in grey.
    pnlPage = new TPaintPanel(pnlClient);
    pnlPage->setObjectName("pnlPage");
    pnlPage->setGeometry(0, 34, ClientWidth, ClientHeight - 60 - 34);
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
        page->setPalette(pal);
        pgMain->addWidget(page);
    }

    FThemes =
        BuildCatalogPage(pgMain->widget(0), tagTheme, " 主题列表（双击下载，下载完后双击应用）",
                         "主题名称", " 主题预览", "imgView");
    FCursors =
        BuildCatalogPage(pgMain->widget(2), tagCursor, " 光标列表（双击下载，下载完后双击应用）",
                         "光标名称", " 光标预览", "imgCursorView");
    FScreens = BuildCatalogPage(pgMain->widget(3), tagScreenSave,
                                " 屏保列表（双击下载，下载完后双击应用）", "屏保名称", " 屏保预览",
                                "imgScreenView");

    PopupMenu = new QMenu(this);
    PopupMenu->setObjectName("PopupMenu");
    pmiDown = PopupMenu->addAction(QString::fromUtf8("下载(&D)"));
    pmiDown->setObjectName("pmiDown");
    PopupMenu->addSeparator();
    pmiApply = PopupMenu->addAction(QString::fromUtf8("应用(&A)"));
    pmiApply->setObjectName("pmiApply");
    PopupMenu->addSeparator();
    pmiUnInstall = PopupMenu->addAction(QString::fromUtf8("卸载"));
    pmiUnInstall->setObjectName("pmiUnInstall");
    connect(pmiDown, &QAction::triggered, this, &TFrmMain::pmiDownClick);
    connect(pmiApply, &QAction::triggered, this, &TFrmMain::pmiDownClick);
    connect(pmiUnInstall, &QAction::triggered, this, &TFrmMain::pmiUnInstallClick);

    Timer = new QTimer(this);
    Timer->setObjectName("Timer");
    Timer->setSingleShot(true);
    Timer->setInterval(FSetup.UpdaterDelayMs);
    connect(Timer, &QTimer::timeout, this, &TFrmMain::TimerTimer);
    Timer->start();
}

TFrmMain::TCatalogPage TFrmMain::BuildCatalogPage(QWidget* page, int tag, const char* listTitle,
                                                  const char* nameColumn, const char* previewTitle,
                                                  const char* previewName) {
    TCatalogPage result;
    TPaintPanel* listFrame = FramePanel(page, QRect(0, 0, 282, 336));
    TitleBar(listFrame, QRect(1, 1, 280, 22), QString::fromUtf8(listTitle), "title_list.png",
             hstAll);
    auto* model = new TCatalogModel(tag, QString::fromUtf8(nameColumn), FFolders, this);
    auto* list = new TCatalogTree(model, FStatusImages, tag == tagTheme, listFrame);
    static const char* const listNames[] = {"vstThemeList", nullptr, "vstCursorList",
                                            "vstScreenList"};
    list->setObjectName(listNames[tag]);
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
        TitleBar(previewFrame, QRect(1, 1, 408, 22), QString::fromUtf8(previewTitle),
                 "title_preview.png", hstRight);
    if (tag == tagScreenSave) {
        auto* cancel = new TLinkLabel(QString::fromUtf8("取消屏保"), previewBar);
        cancel->setObjectName("lbCancelScreenSave");
        cancel->setStyleSheet("color: blue;");
        cancel->setGeometry(408 - 60, 5, 54, 12);
        connect(cancel, &TLinkLabel::Clicked, this, &TFrmMain::lbCancelScreenSaveClick);
    }
    auto* holder = new TPaintPanel(previewFrame);
    holder->setGeometry(1, 23, 408, 312);
    holder->SetColor(Qt::white);
    holder->SetBorderWidth(4);
    auto* preview = new QLabel(holder);
    preview->setObjectName(previewName);
    preview->setGeometry(4, 4, 400, 304);
    preview->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    result.Preview = preview;
    return result;
}

TCatalogTree* TFrmMain::ListOfTag(int tag) const {
    switch (tag) {
    case tagTheme:
        return FThemes.List;
    case tagCursor:
        return FCursors.List;
    case tagScreenSave:
        return FScreens.List;
    default:
        return nullptr;
    }
}

TCatalogTree* TFrmMain::ListOfPage(int page) const {
    return ListOfTag(UninstallTagForPage(page));
}

void TFrmMain::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!FShown) {
        FShown = true;
        FormShow();
    }
}

void TFrmMain::FormShow() {
    FFolders = MakeFolderFields(*FSystem, FSetup.ExePath);
    LoadCatalog();
    if (FTerminated)
        return;
    ShowPage(0);
    const QString ad = QString::fromStdString(FSetup.ServerBase + "/ad/201081153_1.html");
    if (FSetup.NavigateAd)
        FSetup.NavigateAd(wbAD, ad);
    else
        wbAD->setProperty("url", QUrl(ad));
}

void TFrmMain::LoadCatalog() {
    const TLoadResult result = velmora::LoadCatalog(*FHttp, FSetup.ServerBase, FFolders, *this);
    if (result == TLoadResult::NoCatalog) {
        // The message has been shown; the program ends.
        FTerminated = true;
        QTimer::singleShot(0, this, &QWidget::close);
    }
}

TCatalogRow TFrmMain::AddRow(int tag, TCatalogRow parent, const TCatalogItem& item) {
    TCatalogTree* list = ListOfTag(tag);
    return list ? list->Model()->AddRow(parent, item) : NoRow;
}

void TFrmMain::SetThemeHeader(const std::string& text) {
    FThemes.List->Model()->SetNameHeader(QString::fromStdString(text));
}

void TFrmMain::ShowPage(int index) {
    pgMain->setCurrentIndex(index);
    for (auto* button : pnlPageTitle->findChildren<TImgCheckButton*>())
        if (button->property("Tag").toInt() == index && !button->Checked())
            button->SetChecked(true);
}

void TFrmMain::icbThemesClick(TImgControl* sender) {
    ShowPage(sender->property("Tag").toInt());
}

std::uintptr_t TFrmMain::OwnerWindow() {
    return static_cast<std::uintptr_t>(winId());
}

void TFrmMain::lblWebClick() {
    FSystem->ShellOpen(FSetup.ServerBase + "/201081153.html", OwnerWindow());
}

void TFrmMain::TimerTimer() {
    Timer->stop();
    ++FUpdaterCalls;
    if (!FSetup.UpdaterLibrary.isEmpty())
        CallUpdater(FSetup.UpdaterLibrary, OwnerWindow(),
                    FSetup.ServerBase + "/SiteBack/updateTxt/53.txt");
}

void TFrmMain::RestoreRequest() {
    if (isMinimized()) {
        showNormal();
        activateWindow(); // the focus goes back to the control that had it
    }
}

void TFrmMain::ShowPreview(QLabel* preview, const QImage& picture) {
    if (picture.isNull())
        preview->clear();
    else
        preview->setPixmap(QPixmap::fromImage(picture));
}

void TFrmMain::vstThemeListFocusChanged(TCatalogTree* sender) {
    TCatalogPage& page = sender == FThemes.List    ? FThemes
                         : sender == FCursors.List ? FCursors
                                                   : FScreens;
    const TCatalogRow row = sender->FocusedRow();
    TCatalogItem* item = sender->Model()->Item(row);
    if (!item || sender->Model()->IsGroup(row)) {
        ShowPreview(page.Preview, {});
        return;
    }
    const int tag = sender->Tag();
    const fs::path file = PreviewFile(FFolders, tag, *item);
    std::error_code ec;
    if (fs::is_regular_file(file, ec)) {
        QImage picture = LoadPicture(file);
        if (picture.isNull()) {
            // A cached preview that no longer decodes is dropped, so the next
            // focus fetches it again.
            fs::remove(file, ec);
            picture = FNoPic;
        }
        ShowPreview(page.Preview, picture);
        return;
    }
    TPreviewStream stream;
    bool complete = true;
    try {
        FHttp->GetStream(PreviewUrl(FSetup.ServerBase, tag, *item), stream);
    } catch (const std::length_error&) {
        complete = false;
    }
    QImage picture;
    if (complete && stream.Size() > 0) {
        TryEnsureCacheFolder(FFolders, tag);
        if (!WriteFileAtomically(file, stream.Data())) {
            picture = LoadPicture(file);
            if (picture.isNull())
                fs::remove(file, ec);
        }
    }
    ShowPreview(page.Preview, picture.isNull() ? FNoPic : picture);
}

void TFrmMain::vstThemeListDblClick(TCatalogTree* sender) {
    TCatalogModel* model = sender->Model();
    const TCatalogRow row = sender->FocusedRow();
    TCatalogItem* item = model->Item(row);
    if (!item || model->IsGroup(row))
        return;
    const int tag = sender->Tag();
    const fs::path package = PackageFile(FFolders, tag, *item);
    std::error_code ec;
    if (fs::is_regular_file(package, ec)) {
        bool installed = false;
        switch (tag) {
        case tagTheme:
            installed = item->Installed;
            ApplyThemeRow(item->IsZip, package, installed, FFolders, *FSystem, OwnerWindow());
            break;
        case tagCursor:
            installed = InstallCursorScheme(package);
            break;
        case tagScreenSave:
            installed = InstallScreenSaver(package);
            break;
        }
        // The installer may have shown a message meanwhile; look the row up again.
        if (installed && (item = model->Item(row)))
            item->Installed = true;
        model->RepaintRow(row);
        return;
    }
    if (item->State == dsDownloading)
        return;
    TryEnsureCacheFolder(FFolders, tag);
    RequestDownload(*model, row, PackageUrl(FSetup.ServerBase, tag, *item), package, FDispatcher);
}

bool TFrmMain::InstallThemePackage(const fs::path& package) {
    return velmora::InstallThemePackage(package, FFolders, *FSystem, OwnerWindow());
}

bool TFrmMain::InstallCursorScheme(const fs::path& package) {
    return velmora::InstallCursorScheme(package, FFolders, *FSystem);
}

bool TFrmMain::InstallScreenSaver(const fs::path& package) {
    return velmora::InstallScreenSaver(package, FFolders, *FSystem);
}

bool TFrmMain::vstThemeListContextPopup(TCatalogTree* sender) {
    const TCatalogRow row = sender->FocusedRow();
    const TCatalogItem* item = sender->Model()->Item(row);
    if (!item || sender->Model()->IsGroup(row))
        return false;
    // The status check first: a package deleted behind our back is dsNone again.
    sender->Model()->GetText(row, TCatalogModel::colStatus);
    pmiUnInstall->setEnabled(item->Installed);
    pmiDown->setEnabled(item->State == dsNone || item->State == dsFailed);
    pmiApply->setEnabled(item->State == dsDone);
    return true;
}

void TFrmMain::pmiDownClick() {
    if (TCatalogTree* list = ListOfPage(pgMain->currentIndex()))
        vstThemeListDblClick(list);
}

void TFrmMain::pmiUnInstallClick() {
    TCatalogTree* list = ListOfPage(pgMain->currentIndex());
    if (!list)
        return;
    const TCatalogRow row = list->FocusedRow();
    TCatalogItem* item = list->Model()->Item(row);
    if (!item || list->Model()->IsGroup(row))
        return;
    UninstallItem(list->Tag(), item->Name, item->IsZip, item->Installed, FFolders, *FSystem);
    list->Model()->RepaintRow(row);
}

void TFrmMain::lbCancelScreenSaveClick() {
    CancelScreenSaver(*FSystem);
}

} // namespace velmora
