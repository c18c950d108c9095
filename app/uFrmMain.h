#pragma once
// TFrmMain: the main window. The advertisement pane, the page bar, and the
// catalogue pages (themes, cursor schemes, screen savers) whose rows download
// and install through the core, the folder-icon page (uFrmMainIcons.cpp) and
// the wallpaper search window on its page. Handlers gather what the window
// shows, call the core and show the outcome.
#include "app/uCatalogTree.h"
#include "catalog/uCatalog.h"
#include "catalog/uFetch.h"
#include "catalog/uWorkers.h"
#include "controls/BrowserPanes.h"
#include "install/uFolders.h"
#include "wallpaper/uSearchEngines.h"

#include <QImage>
#include <QLabel>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

class QListWidget;
class QMenu;
class QPushButton;
class QTreeView;
class QAction;
class QStackedWidget;
class QTimer;

namespace velmora {

class ISystem;
class TImgControl;
class TImgCheckButton;
class TButtonEdit;
class TIconCategoryModel;
class TImgManager;
class TPaintPanel;
class TFrmWallpaper;
class TQtDispatcher;
class TDownloadControl;
class TRecordingSystem;

// What the window is started with: the program folder, the catalogue server,
// the system it changes, and the parts the program adds around it.
struct TMainWindowSetup {
    std::filesystem::path ExePath; // FExePath; the cache lives below it
    // An installed copy's per-user folders (the download cache, the wallpaper
    // search's pictures); empty: below ExePath, the program folder's layout.
    std::filesystem::path CacheDir;
    std::filesystem::path TempDir;
    std::filesystem::path FavoritesDir;
    std::string ServerBase = VELMORA_SERVER_BASE;
    ISystem* System = nullptr; // required; outlives the window
    // Makes the advertisement browser inside the pane and navigates it (the
    // program passes the embedded browser; tests leave both empty and get a
    // blank pane whose "url" property is set instead).
    std::function<QWidget*(QWidget* parent)> MakeAdBrowser;
    std::function<void(QWidget* browser, const QString& url)> NavigateAd;
    // The search services of the wallpaper page and its browser panes (plain
    // panes when empty).
    TServiceBases Services = TServiceBases::BuiltIn();
    std::shared_ptr<IBrowserPanes> Browsers;
    // The updater library called once after UpdaterDelayMs; empty: none.
    QString UpdaterLibrary;
    int UpdaterDelayMs = 7000;
    // The catalogue request is given up after this long, whatever the server
    // does, and the local copy read instead.
    int CatalogLimitMs = 15000;
    // The change record of the system (wrapping System); none: the window
    // offers no restore.
    TRecordingSystem* History = nullptr;
};

// A blue label that underlines itself and shows a hand while the mouse is
// over it.
class TLinkLabel : public QLabel {
    Q_OBJECT
public:
    explicit TLinkLabel(const QString& text, QWidget* parent = nullptr);
signals:
    void Clicked();

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
};

class TFrmMain : public QWidget, private ICatalogSink {
    Q_OBJECT
public:
    explicit TFrmMain(TMainWindowSetup setup, QWidget* parent = nullptr);
    ~TFrmMain() override;

    // The folder fields, known once the window has been shown.
    const TFolderFields& Folders() const { return FFolders; }
    ISystem& System() const { return *FSystem; }
    // LoadCatalog found no catalogue anywhere: the program ends.
    bool Terminated() const { return FTerminated; }
    int UpdaterCalls() const { return FUpdaterCalls; }
    // The catalogue is being fetched or its lists filled.
    bool CatalogLoading() const { return FCatalogLoading; }
    // Preview requests whose answer has not arrived yet.
    std::size_t PreviewsPending() const { return FPreviewsAsked.size(); }
    // The window's worker threads still running (downloads, requests, updater).
    int WorkersRunning() const { return FWorkers->Running(); }

    // The wallpaper search window on page 5 (once the pages are built).
    TFrmWallpaper* WallpaperWindow() const { return FrmWallpaper; }

    // The window shows first with the page it opens on; the other pages are
    // built right after its first paint, or when one is asked for sooner.
    bool PagesBuilt() const { return FPagesBuilt; }

    // The catalogue models by tag (0, 2, 3), there from the start; nullptr
    // for any other tag.
    TCatalogModel* ModelOfTag(int tag) const;
    // The lists by tag (0, 2, 3); nullptr for any other, and for the cursor
    // and screen-saver lists until the pages are built.
    TCatalogTree* ListOfTag(int tag) const;
    // The list of the page shown (pages 0, 2, 3), else nullptr.
    TCatalogTree* ListOfPage(int page) const;

    // Message 1349 from a later start: restore the window when minimised.
    void RestoreRequest();

    void LoadCatalog();
    bool InstallThemePackage(const std::filesystem::path& package);
    bool InstallCursorScheme(const std::filesystem::path& package);
    bool InstallScreenSaver(const std::filesystem::path& package);

    // Handlers shared by the three lists.
    void vstThemeListFocusChanged(TCatalogTree* sender);
    void vstThemeListDblClick(TCatalogTree* sender);
    // Whether the menu may open; sets the entries' enabled state.
    bool vstThemeListContextPopup(TCatalogTree* sender);
    void pmiDownClick();
    // "取消下载": stops the focused row's download; its partial data goes.
    void pmiCancelClick();
    void pmiUnInstallClick();
    void lbCancelScreenSaveClick();
    void lblWebClick();
    void icbThemesClick(TImgControl* sender);
    void TimerTimer();
    // "还原桌面更改…": the change record's window.
    void miRestoreChangesClick();

    // The folder-icon page (uFrmMainIcons.cpp). FillIconList takes a row of
    // vstDirs, or -1 for none.
    void LoadIconCategories();
    void FillIconList(int row);
    void vstDirsFocusChanged();
    void edtDirRightButtonClick();
    void btnSetIconClick();
    void btnRestoreIconClick();
    // The pictures of lvIcons, 32 x 32 on white, by item.
    const std::vector<QImage>& IconImages() const { return ilIcons; }

protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    struct TCatalogPage {
        TCatalogTree* List = nullptr;
        QLabel* Preview = nullptr;
    };

    // ICatalogSink
    TCatalogRow AddRow(int tag, TCatalogRow parent, const TCatalogItem& item) override;
    void AddRows(int tag, TCatalogRow parent, TCatalogRecord* records, std::size_t count,
                 TCatalogRow* handles) override;
    void SetThemeHeader(const std::string& text) override;

    // FormCreate and its builders are in uFrmMainBuild.cpp.
    void FormCreate();
    void BuildAdPane();
    void BuildPageBar();
    void BuildPageArea();
    TCatalogPage BuildCatalogPage(int tag);
    void BuildRemainingPages();
    // What waits for the first paint: the catalogue request and the pages
    // not seen yet.
    void FinishStartup();
    void StartCatalogFetch();
    void BuildMenu();
    void BuildIconPage(QWidget* page);
    void BuildWallpaperPage();
    void StartUpdaterTimer();
    void FormShow();
    // The workers' answers (uFrmMainCatalog.cpp, uFrmMain.cpp).
    void CatalogArrived(TCatalogDocument document);
    void FillCatalogSlice();
    void SetLoadingHeaders(bool loading);
    void RequestPreview(TCatalogTree* list, TCatalogRow row);
    void PreviewArrived(TCatalogTree* list, TCatalogRow row, const TFetchResult& answer);
    void ShowPage(int index);
    void ShowPreview(QLabel* preview, const QImage& picture);
    // The no-preview picture, read when first needed.
    const QImage& NoPicture();
    std::uintptr_t OwnerWindow();

    TMainWindowSetup FSetup;
    ISystem* FSystem;
    TFolderFields FFolders;
    std::shared_ptr<TQtDispatcher> FDispatcher;
    // Every thread the window starts; abandoned and waited for when it closes.
    std::shared_ptr<TWorkerGroup> FWorkers = TWorkerGroup::Create();
    bool FCatalogLoading = false;
    std::unique_ptr<TCatalogFiller> FFiller;
    QString FNameHeaders[4]; // the design-time name column headers, by tag
    std::set<std::pair<int, TCatalogRow>> FPreviewsAsked; // (tag, row): one request each
    // The downloads started, by (tag, row), to cancel them.
    std::map<std::pair<int, TCatalogRow>, std::shared_ptr<TDownloadControl>> FDownloads;
    TImageList FStatusImages; // ilTheme
    QImage FNoPic;
    bool FShown = false;
    bool FPagesBuilt = false;
    bool FFirstPaintSeen = false;
    bool FStartupFinished = false;
    bool FCatalogDeferred = false; // LoadCatalog waits for FinishStartup
    bool FTerminated = false;
    int FUpdaterCalls = 0;

    TPaintPanel* pnlAD = nullptr;
    QWidget* wbAD = nullptr;
    QWidget* pnlClient = nullptr;
    TPaintPanel* pnlPageTitle = nullptr;
    TPaintPanel* pnlPage = nullptr;
    TPaintPanel* pnlPageInner = nullptr;
    QStackedWidget* pgMain = nullptr;
    TImgManager* ImgManager = nullptr;
    TImgCheckButton* icbThemes = nullptr;
    TLinkLabel* lblWeb = nullptr;
    QLabel* imgNoPic = nullptr;
    TCatalogModel* FModels[4] = {}; // by tag
    TCatalogPage FThemes, FCursors, FScreens;
    QMenu* PopupMenu = nullptr;
    QAction* pmiDown = nullptr;
    QAction* pmiApply = nullptr;
    QAction* pmiCancel = nullptr;
    QAction* pmiUnInstall = nullptr;
    QAction* pmiRestoreChanges = nullptr;
    TLinkLabel* lblRestoreChanges = nullptr;
    QTimer* Timer = nullptr;
    QLabel* Label1 = nullptr;
    TButtonEdit* edtDir = nullptr;
    QPushButton* btnSetIcon = nullptr;
    QPushButton* btnRestoreIcon = nullptr;
    QTreeView* vstDirs = nullptr;
    TIconCategoryModel* FIconCategories = nullptr;
    QListWidget* lvIcons = nullptr;
    std::vector<QImage> ilIcons;
    TFrmWallpaper* FrmWallpaper = nullptr; // a child of page 5 (tsWallpaper)
};

} // namespace velmora
