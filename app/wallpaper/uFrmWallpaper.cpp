#include "app/wallpaper/uFrmWallpaper.h"

#include "controls/Image.h"
#include "controls/PaintPanel.h"
#include "install/uPubFunc.h"
#include "platform/ISystem.h"
#include "app/wallpaper/uFrmView.h"
#include "controls/uPictureBmp.h"
#include "wallpaper/uSearchFetch.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QTimer>

#include <algorithm>
#include <limits>
#include <stdexcept>

static void InitWallpaperResources() {
    Q_INIT_RESOURCE(wallpaper);
}

namespace velmora {

namespace {

int ClampToInt(std::int64_t value) {
    return int(std::clamp<std::int64_t>(value, 0, std::numeric_limits<int>::max()));
}

} // namespace

QSize DevicePixelSize(const QScreen& screen) {
    const qreal ratio = screen.devicePixelRatio();
    return QSize(qRound(screen.geometry().width() * ratio),
                 qRound(screen.geometry().height() * ratio));
}

QByteArray WallpaperResource(const char* name) {
    static const bool registered = (InitWallpaperResources(), true);
    (void)registered;
    QFile file(QStringLiteral(":/velmora/wallpaper/") + QString::fromLatin1(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TPicture WallpaperPicture(const char* name) {
    TPicture picture;
    auto png = std::make_unique<TPngGraphic>();
    png->LoadFromStream(WallpaperResource(name));
    picture.SetGraphic(std::move(png));
    return picture;
}

TFrmWallpaper::TFrmWallpaper(TWallpaperSetup setup, QWidget* parent)
    : QWidget(parent),
      FBrowsers(setup.Browsers ? setup.Browsers : std::make_shared<TPlainBrowserPanes>()),
      FSystem(setup.System), FDispatcher(std::move(setup.Dispatcher)),
      FStore(setup.TempDir.empty() ? TPicStore(setup.ExePath)
                                   : TPicStore(setup.TempDir, setup.FavoritesDir)) {
    if (!FSystem || !FDispatcher)
        throw std::invalid_argument("TFrmWallpaper needs a system and a dispatcher");
    // FormCreate, in its order; the result side's own setup comes with its
    // controls.
    setObjectName("FrmWallpaper");
    resize(699, 340);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    // 宋体 12 pixels; the application substitutes a CJK font where it is missing.
    QFont font(QString::fromUtf8("宋体"));
    font.setPixelSize(12);
    setFont(font);

    // The desktop's size for entry 0 of the size list, then the list.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QSize pixels = DevicePixelSize(*screen);
        SetDesktopSize(pixels.width(), pixels.height());
    }
    BuildSearchBar();

    FImgBtn = WallpaperPicture("strip.png");
    FImgDowned = WallpaperPicture("downed.png");

    vstResult = new TResultGrid(this);
    vstResult->setGeometry(3, 31, 695, 270);
    vstResult->OnAfterCellPaint = [this](TResultGrid& grid, QPainter& canvas, const QRect& cell,
                                         int row, int column, TNodeInfos& node) {
        vstResultAfterCellPaint(grid, canvas, cell, row, column, node);
    };
    vstResult->OnColumnClick = [this](TResultGrid& grid, int column, const QPoint& pos) {
        vstResultColumnClick(grid, column, pos);
    };

    pnlProgress = new TPaintPanel(this);
    pnlProgress->setObjectName("pnlProgress");
    pnlProgress->setGeometry(203, 128, 294, 85);
    pnlProgress->SetPicture(WallpaperPicture("progress_frame.png"));
    pnlProgress->SetPicHorzStretch(hstMiddle);
    pnlProgress->SetPicVertStretch(vstCenter);
    pnlProgress->hide();

    imgProgress = new TImage(pnlProgress);
    imgProgress->setObjectName("imgProgress");
    imgProgress->setGeometry(28, 28, 32, 32);
    {
        auto gif = std::make_unique<TGIFImage>();
        gif->LoadFromStream(WallpaperResource("loading.gif"));
        gif->SetAnimationSpeed(500);
        gif->SetAnimate(true);
        imgProgress->Picture().SetGraphic(std::move(gif));
    }

    lblCaption = new QLabel(QString::fromUtf8("正在下载图片，请稍候......"), pnlProgress);
    lblCaption->setObjectName("lblCaption");
    lblCaption->move(78, 25);
    lblCaption->adjustSize();

    pbMain = new QProgressBar(pnlProgress);
    pbMain->setObjectName("pbMain");
    pbMain->setGeometry(78, 52, 197, 13);
    pbMain->setTextVisible(false);

    btnCancelDownload = new QPushButton(QString::fromUtf8("×"), pnlProgress);
    btnCancelDownload->setObjectName("btnCancelDownload");
    btnCancelDownload->setToolTip(QString::fromUtf8("取消下载"));
    btnCancelDownload->setFlat(true);
    btnCancelDownload->setFocusPolicy(Qt::NoFocus);
    btnCancelDownload->setGeometry(270, 6, 18, 18);
    connect(btnCancelDownload, &QPushButton::clicked, this, [this] { CancelFullPicture(); });

    FSearchManager = std::make_unique<TGridSearchManager>(*vstResult, FDispatcher);
    // FSearchKind starts at -1 (no search yet).
    auto source = std::make_unique<TWorkerPageSource>(FDispatcher);
    FPageSource = source.get();
    FPageSource->OnBusyChanged = [this](bool busy) { OnSearchBusy(busy); };
    IPagerView& pager = *this;
    FSearch = std::make_unique<TWallpaperSearch>(setup.Services, *FSearchManager, pager, &FStore,
                                                 std::move(source));
    FSearch->OnSearchStarted = [this](int kind) {
        pnlAD2->hide();
        for (QPushButton* button : {btnBaiDu, btnYouDao, btnSouGou}) {
            QFont f = button->font();
            f.setBold(button->property("Tag").toInt() == kind);
            button->setFont(f);
        }
    };

    FFetcher = std::make_unique<TPictureFetcher>(FStore, std::make_shared<TQtPictureConverter>(),
                                                 FDispatcher);
    FFetcher->Timeout = 4000;
    FProgressTimer = new QTimer(this);
    FProgressTimer->setInterval(50);
    connect(FProgressTimer, &QTimer::timeout, this,
            [this] { OnHttpProgress(FFetcher->SoFar(), FFetcher->Total()); });
    // Esc cancels a download wherever the focus is in the window.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WidgetWithChildrenShortcut);
    connect(escape, &QShortcut::activated, this, [this] {
        if (Fetching())
            CancelFullPicture();
    });

    BuildAdAndPager(setup.ServerBase);
    FWinDir = FSystem->WindowsDirectory();
    FBuilt = true;
    LayOut();
}

TFrmWallpaper::~TFrmWallpaper() {
    // A page still on its way is dropped first; then the loader stops before
    // the grid and its rows go.
    FSearch.reset();
    // A download still running is cancelled; what it wrote is cleared below.
    if (Fetching())
        EndFullPicture();
    FFetcher.reset();
    if (FBusyCursor)
        QApplication::restoreOverrideCursor();
    FSearchManager.reset();
    ClearTempPictures();
}

void TFrmWallpaper::vstResultAfterCellPaint(TResultGrid& grid, QPainter& canvas, const QRect& cell,
                                            int row, int column, TNodeInfos& node) {
    const TPicInfo info = node.GetInfo(column);
    if (Trim(info.ThumbUrl).empty())
        return;
    const QImage& b = node.Bitmaps(column);
    const int x = cell.left() + (cell.width() - b.width()) / 2;
    const int y = cell.top() + (cell.height() - b.height()) / 2;
    const bool hot = grid.IsHot(row, column);
    canvas.setPen(hot ? QColor(0, 0, 255) : QColor(0xDE, 0xDE, 0xDE));
    // One-pixel outline from (x - 2, y - 2) to (x + w + 2, y + h + 2), exclusive.
    canvas.drawRect(x - 2, y - 2, b.width() + 3, b.height() + 3);
    canvas.drawImage(x, y, b);
    const int bottom = cell.top() + cell.height();
    if (hot && FImgBtn.Graphic())
        FImgBtn.Graphic()->Draw(canvas, QRect(x, bottom - 20, FImgBtn.Width(), FImgBtn.Height()));
    if (info.Downloaded && FImgDowned.Graphic())
        FImgDowned.Graphic()->Draw(canvas, QRect(cell.left() + 3, cell.top() + 3,
                                                 FImgDowned.Width(), FImgDowned.Height()));
}

void TFrmWallpaper::vstResultColumnClick(TResultGrid& grid, int column, const QPoint& pos) {
    const int row = grid.FocusedRow();
    TNodeInfos* node = grid.Node(row);
    if (!node)
        return;
    // The click's own position: the pointer may have moved on since.
    const QRect cell = grid.CellRect(row, column);
    const int bottom = cell.top() + cell.height();
    const QRect previewZone(cell.left(), bottom - 18, 65, 18);
    const QRect wallpaperZone(cell.left() + 65, bottom - 18, cell.width() - 65, 18);
    const TPicInfo info = node->GetInfo(column);
    const std::string address = UrlDecode(info.PicUrl);
    const bool preview = previewZone.contains(pos);
    if (!preview && !wallpaperZone.contains(pos))
        return;

    // A search during the download may replace the rows: the flag then has no
    // row to go to.
    const std::uint64_t generation = grid.Generation();
    FetchFullPicture(address,
                     [this, generation, row, column, preview](const std::filesystem::path& path) {
                         if (path.empty())
                             return;
                         if (vstResult->Generation() == generation) {
                             if (TNodeInfos* still = vstResult->Node(row)) {
                                 TPicInfo now = still->GetInfo(column);
                                 now.Downloaded = true;
                                 still->SetInfo(column, now);
                                 vstResult->RepaintRow(row);
                             }
                         }
                         if (preview)
                             ShowViewer(path);
                         else
                             SetDesktopWallpaper(path);
                     });
}

bool TFrmWallpaper::Fetching() const {
    return FFetcher && FFetcher->Busy();
}

bool TFrmWallpaper::FetchFullPicture(const std::string& address,
                                     std::function<void(const std::filesystem::path&)> onDone) {
    if (std::filesystem::path local = FStore.FindLocalPicture(address); !local.empty()) {
        onDone(local);
        return true;
    }
    // One download at a time: a click while one runs is refused.
    if (Fetching())
        return false;
    const bool started =
        FFetcher->Start(address, [this, address, onDone = std::move(onDone)](TPicFetchResult& r) {
            EndFullPicture();
            if (r.Status == pfsWriteFailed)
                ShowMessageBox(r.Error, "Velmora", mkError);
            else if (std::string text = PicFetchMessage(r, address); !text.empty())
                ShowMessageBox(text, "错误", mkError);
            onDone(r.Path);
        });
    if (!started)
        return false;
    pbMain->setValue(0);
    pnlProgress->raise();
    pnlProgress->show();
    pnlProgress->repaint();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    FProgressTimer->start();
    return true;
}

void TFrmWallpaper::CancelFullPicture() {
    if (Fetching())
        EndFullPicture();
}

void TFrmWallpaper::EndFullPicture() {
    // The last report of a finished download moves the bar to its end.
    OnHttpProgress(FFetcher->SoFar(), FFetcher->Total());
    FFetcher->Cancel();
    FProgressTimer->stop();
    pnlProgress->hide();
    QApplication::restoreOverrideCursor();
}

void TFrmWallpaper::OnHttpProgress(std::int64_t sofar, std::int64_t total) {
    if (ClampToInt(total) != pbMain->maximum())
        pbMain->setMaximum(ClampToInt(total));
    pbMain->setValue(ClampToInt(sofar));
}

void TFrmWallpaper::ShowViewer(const std::filesystem::path& path) {
    TFrmView view(*FSystem);
    // Full screen on the screen this window is on.
    if (QScreen* on = screen()) {
        view.setScreen(on);
        view.setGeometry(on->geometry());
    }
    view.OnSetScreenWallpaper = [this](const std::filesystem::path& picture, QScreen* on) {
        SetScreenWallpaper(picture, on);
    };
    try {
        view.LoadPicture(path);
    } catch (const std::exception&) {
        ShowMessageBox("图片加载失败", "", mkInformation);
        return;
    }
    view.exec();
}

bool TFrmWallpaper::SetScreenWallpaper(const std::filesystem::path& path, const QScreen* screen) {
    const QList<QScreen*> screens = QGuiApplication::screens();
    const qsizetype index = screens.indexOf(const_cast<QScreen*>(screen));
    if (index < 0)
        return false;
    TQtPictureConverter converter;
    return SetScreenDesktopWallpaper(*FSystem, FWinDir, DesktopScreens(), std::size_t(index), path,
                                     converter);
}

bool TFrmWallpaper::SetDesktopWallpaper(const std::filesystem::path& path) {
    return velmora::SetDesktopWallpaper(*FSystem, FWinDir, path);
}

void TFrmWallpaper::ClearTempPictures() {
    FStore.ClearTempPictures(*FSystem);
}

} // namespace velmora
