#include "app/uFrmMain.h"

#include "app/uFrmRestoreChanges.h"
#include "app/uQtDispatcher.h"
#include "app/uUpdater.h"
#include "catalog/uDownThread.h"
#include "controls/Imaging.h"
#include "controls/ImgButton.h"
#include "controls/PaintPanel.h"
#include "install/uCursorInstaller.h"
#include "install/uInstallers.h"
#include "install/uPubFunc.h"
#include "install/uScreenSaverInstaller.h"
#include "install/uThemeInstaller.h"
#include "platform/ISystem.h"
#include "platform/history/RecordingSystem.h"
#include "platform/util/Files.h"

#include <QMouseEvent>
#include <QPixmap>
#include <QStackedWidget>
#include <QTimer>
#include <algorithm>

#include <chrono>
#include <stdexcept>
#include <system_error>
#include <utility>

namespace fs = std::filesystem;

namespace velmora {

namespace {

// A preview is a 400 x 300 JPEG of some tens of kilobytes; an answer far
// larger than that is not one, and is not held in memory.
constexpr std::uint64_t MaxPreviewBytes = 8 << 20;

// At close, running workers get this long to stop and clean up (a download
// removes its temporary file) before the program ends without them.
constexpr auto CloseWait = std::chrono::seconds(3);

// How long the start waits for the window's first paint at most.
constexpr auto StartupWithoutPaint = std::chrono::milliseconds(200);

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

} // namespace

// --- TLinkLabel -------------------------------------------------------------

TLinkLabel::TLinkLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
    // A palette rather than a style sheet: a style sheet puts a style of its
    // own in front of the label, which is slow to make.
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, Qt::blue);
    setPalette(pal);
}

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
    // from now on, so none of them touches a row after this. Told to stop,
    // they end within about a second; a download takes its temporary file
    // with it.
    FDispatcher->Shutdown();
    FWorkers->Abandon();
    FWorkers->WaitIdle(CloseWait);
}

TCatalogModel* TFrmMain::ModelOfTag(int tag) const {
    return tag == tagTheme || tag == tagCursor || tag == tagScreenSave ? FModels[tag] : nullptr;
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

void TFrmMain::paintEvent(QPaintEvent* event) {
    QWidget::paintEvent(event);
    if (!FFirstPaintSeen) {
        FFirstPaintSeen = true;
        // Runs once this paint has reached the screen.
        QTimer::singleShot(0, this, &TFrmMain::FinishStartup);
    }
}

void TFrmMain::FinishStartup() {
    if (FStartupFinished)
        return;
    FStartupFinished = true;
    if (std::exchange(FCatalogDeferred, false))
        StartCatalogFetch();
    BuildRemainingPages();
}

void TFrmMain::FormShow() {
    FFolders = MakeFolderFields(*FSystem, FSetup.ExePath);
    FFolders.CacheDir = FSetup.CacheDir;
    LoadCatalog();
    ShowPage(0);
    // A window that is not painted soon (started minimised, say) goes on
    // without waiting for its paint.
    QTimer::singleShot(StartupWithoutPaint, this, &TFrmMain::FinishStartup);
    const QString ad = QString::fromStdString(FSetup.ServerBase + "/ad/201081153_1.html");
    if (FSetup.NavigateAd)
        FSetup.NavigateAd(wbAD, ad);
    else
        wbAD->setProperty("url", QUrl(ad));
}

TCatalogRow TFrmMain::AddRow(int tag, TCatalogRow parent, const TCatalogItem& item) {
    TCatalogModel* model = ModelOfTag(tag);
    return model ? model->AddRow(parent, item) : NoRow;
}

void TFrmMain::AddRows(int tag, TCatalogRow parent, TCatalogRecord* records, std::size_t count,
                       TCatalogRow* handles) {
    if (TCatalogModel* model = ModelOfTag(tag))
        model->AddRows(parent, records, count, handles);
    else
        std::fill_n(handles, count, NoRow);
}

void TFrmMain::SetThemeHeader(const std::string& text) {
    FModels[tagTheme]->SetNameHeader(QString::fromStdString(text));
}

void TFrmMain::ShowPage(int index) {
    if (index != 0)
        BuildRemainingPages();
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
    if (FSetup.UpdaterLibrary.isEmpty())
        return;
    // The updater reads its descriptor from the network: not on the window's thread.
    FWorkers->Start([library = FSetup.UpdaterLibrary, owner = OwnerWindow(),
                     url = FSetup.ServerBase + "/SiteBack/updateTxt/53.txt"] {
        CallUpdater(library, owner, url);
    });
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
    sender->Model()->RecheckPackage(row);
    const int tag = sender->Tag();
    const fs::path file = PreviewFile(FFolders, tag, *item);
    std::error_code ec;
    if (fs::is_regular_file(file, ec)) {
        QImage picture = LoadPicture(file);
        if (picture.isNull()) {
            // A cached preview that no longer decodes is dropped, so the next
            // focus fetches it again.
            fs::remove(file, ec);
            picture = NoPicture();
        }
        ShowPreview(page.Preview, picture);
        return;
    }
    // Until the answer is in.
    ShowPreview(page.Preview, NoPicture());
    RequestPreview(sender, row);
}

void TFrmMain::RequestPreview(TCatalogTree* list, TCatalogRow row) {
    const int tag = list->Tag();
    const TCatalogItem* item = list->Model()->Item(row);
    if (!item || !FPreviewsAsked.insert({tag, row}).second)
        return; // asked already: its answer will do
    TFetchRequest request{PreviewUrl(FSetup.ServerBase, tag, *item),
                          {},
                          MaxPreviewBytes,
                          PreviewFile(FFolders, tag, *item)};
    if (!FetchAsync(std::move(request), FDispatcher, FWorkers,
                    [this, list, row](TFetchResult& answer) { PreviewArrived(list, row, answer); }))
        FPreviewsAsked.erase({tag, row});
}

void TFrmMain::PreviewArrived(TCatalogTree* list, TCatalogRow row, const TFetchResult& answer) {
    const int tag = list->Tag();
    FPreviewsAsked.erase({tag, row});
    const TCatalogItem* item = list->Model()->Item(row);
    if (!item)
        return;
    QImage picture;
    if (answer.Saved) {
        const fs::path file = PreviewFile(FFolders, tag, *item);
        picture = LoadPicture(file);
        std::error_code ec;
        if (picture.isNull())
            fs::remove(file, ec); // not a picture: not kept
    }
    // An answer for an item no longer focused stays in the cache, unseen.
    if (list->FocusedRow() != row)
        return;
    TCatalogPage& page = list == FThemes.List    ? FThemes
                         : list == FCursors.List ? FCursors
                                                 : FScreens;
    ShowPreview(page.Preview, picture.isNull() ? NoPicture() : picture);
}

void TFrmMain::vstThemeListDblClick(TCatalogTree* sender) {
    TCatalogModel* model = sender->Model();
    const TCatalogRow row = sender->FocusedRow();
    TCatalogItem* item = model->Item(row);
    if (!item || model->IsGroup(row))
        return;
    model->RecheckPackage(row);
    const int tag = sender->Tag();
    const fs::path package = PackageFile(FFolders, tag, *item);
    std::error_code ec;
    if (fs::is_regular_file(package, ec)) {
        // A package damaged or changed on disk since it was checked is not
        // installed: it goes, and the next double-click downloads it again.
        if (!PackageFileMatches(package, PackageCheckOf(*item))) {
            fs::remove(package, ec);
            item->State = dsNone;
            item->Progress = 0;
            model->RepaintRow(row);
            ShowMessageBox(VerifyFailedText(item->Name), "", mkInformation);
            return;
        }
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
    if (auto control = RequestDownload(*model, row, PackageUrl(FSetup.ServerBase, tag, *item),
                                       package, FDispatcher, FWorkers, PackageCheckOf(*item)))
        FDownloads[{tag, row}] = std::move(control);
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
    sender->Model()->RecheckPackage(row);
    pmiUnInstall->setEnabled(item->Installed);
    pmiDown->setEnabled(item->State == dsNone || item->State == dsFailed);
    pmiApply->setEnabled(item->State == dsDone);
    pmiCancel->setEnabled(item->State == dsDownloading);
    return true;
}

void TFrmMain::pmiCancelClick() {
    TCatalogTree* list = ListOfPage(pgMain->currentIndex());
    if (!list)
        return;
    const TCatalogRow row = list->FocusedRow();
    const TCatalogItem* item = list->Model()->Item(row);
    if (!item || item->State != dsDownloading)
        return;
    // The worker puts the row back to not downloaded once it has stopped.
    auto it = FDownloads.find({list->Tag(), row});
    if (it != FDownloads.end()) {
        it->second->Cancel();
        FDownloads.erase(it);
    }
}

void TFrmMain::miRestoreChangesClick() {
    if (!FSetup.History)
        return;
    TFrmRestoreChanges dialog(*FSetup.History, this);
    if (const std::string problem = FSetup.History->RecordProblem(); !problem.empty())
        ShowMessageBox(problem, "", mkWarning);
    if (dialog.exec() != QDialog::Accepted)
        return;
    // A restore may have taken back or brought back installed items.
    for (int tag : {tagTheme, tagCursor, tagScreenSave})
        if (TCatalogModel* model = ModelOfTag(tag))
            model->RecheckInstalled();
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
