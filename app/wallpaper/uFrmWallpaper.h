#pragma once
// TFrmWallpaper: the wallpaper search window. Its search bar (keyword, size
// and the three services), the advertisement pane that covers the grid until
// the first search, the pagination strip, and the result side: the thumbnail
// grid vstResult with its manager and loader, the full-picture download with
// the progress box, the viewer and the wallpaper setting, and the picture
// store that the window clears when it goes. uFrmWallpaper.cpp holds the
// result side, uFrmWallpaperSearch.cpp the search bar, the pane and the strip.
#include "catalog/uDispatcher.h"
#include "catalog/uWinHttp.h"
#include "controls/BrowserPanes.h"
#include "controls/Imaging.h"
#include "wallpaper/PictureFetch.h"
#include "wallpaper/uPicStore.h"
#include "controls/uPictureBmp.h"
#include "app/wallpaper/uResultGrid.h"
#include "wallpaper/uSearchEngines.h"

#include <QWidget>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QComboBox;
class QLabel;
class QProgressBar;
class QTimer;
class QPushButton;
class QScreen;

namespace velmora {

class ISystem;
class TButtonEdit;
class TImage;
class TPaintPanel;
class TWorkerPageSource;

// What the window is made with.
struct TWallpaperSetup {
    std::filesystem::path ExePath; // the program folder; temp\ and favorites\ live below it
    // An installed copy's per-user folders instead; empty: below ExePath.
    std::filesystem::path TempDir;
    std::filesystem::path FavoritesDir;
    ISystem* System = nullptr;     // required; outlives the window
    // Runs the loaders' steps on the main thread; shared with the other workers
    // of the program. Required.
    std::shared_ptr<IMainDispatcher> Dispatcher;
    // The catalogue server (the advertisement page) and the search services.
    std::string ServerBase = VELMORA_SERVER_BASE;
    TServiceBases Services = TServiceBases::BuiltIn();
    // The advertisement pane and the pagination strip; plain panes when empty.
    std::shared_ptr<IBrowserPanes> Browsers;
};

class TFrmWallpaper : public QWidget, private IPagerView {
    Q_OBJECT
public:
    explicit TFrmWallpaper(TWallpaperSetup setup, QWidget* parent = nullptr);
    // Stops the thumbnail loader, then deletes the stored pictures of temp\.
    ~TFrmWallpaper() override;

    // The result manager: AddResult for each result of a page, then LoadInto
    // shows them in the grid and starts loading their thumbnails.
    TSearchManager& SearchManager() { return *FSearchManager; }
    TGridSearchManager& GridManager() { return *FSearchManager; }

    // The picture store (FTempDir, FFavoritesDir) and the Windows folder.
    const TPicStore& Store() const { return FStore; }
    const std::filesystem::path& WinDir() const { return FWinDir; }
    ISystem& System() const { return *FSystem; }

    // The stored file of a full picture, handed to onDone on the main thread:
    // at once when the store holds it, else after a download on a worker with
    // the progress box shown. An empty path after a failure (its message has
    // been shown); onDone does not run when the download is cancelled (Esc,
    // the box's close button) or the window goes. False, and nothing happens,
    // while another download runs.
    bool FetchFullPicture(const std::string& address,
                          std::function<void(const std::filesystem::path&)> onDone);
    // Cancels the running download: the box goes, nothing is stored.
    void CancelFullPicture();
    // Shows the stored picture full screen until the viewer closes.
    void ShowViewer(const std::filesystem::path& path);
    // Makes the stored picture the wallpaper of one screen of the desktop
    // (QGuiApplication::screens()), keeping the others'; false when nothing
    // was set.
    bool SetScreenWallpaper(const std::filesystem::path& path, const QScreen* screen);
    // Makes a copy in the Windows folder the wallpaper; false when the copy failed.
    bool SetDesktopWallpaper(const std::filesystem::path& path);
    void ClearTempPictures();
    bool Fetching() const;

    // The search: the service of the last search (FSearchKind), the Baidu
    // query and pages, the Youdao keyword.
    const TSearchState& SearchState() const { return FSearch->State; }
    TSearchState& SearchState() { return FSearch->State; }
    // A search or page fetch is on its way; the service buttons are disabled.
    bool Searching() const;

    // Search bar (pnlSearch).
    QWidget* pnlSearch;
    QLabel* Label1;
    TButtonEdit* edtKey;
    QLabel* Label2;
    QComboBox* cbSize;
    QPushButton* btnBaiDu;
    QPushButton* btnYouDao;
    QPushButton* btnSouGou;
    // The advertisement pane over the grid, and the pagination strip.
    TPaintPanel* pnlAD2;
    QWidget* wbMain;
    QWidget* pnlPage;
    QWidget* wbPageNum;

    void btnBaiDuClick(QPushButton* sender);
    void edtKeyKeyPress(QChar& key);
    void StartSearch(int kind);
    // The strip's navigation event: fetches the page a link asks for.
    void wbPageNumBeforeNavigate2(const QString& url, bool& cancel);
    void ClearPager() override;
    void ShowPager(const std::string& fragment) override;
    void BuildBaiduPager(std::int32_t current);

    // Result side.
    TResultGrid* vstResult;
    TPaintPanel* pnlProgress;
    TImage* imgProgress;
    QLabel* lblCaption;
    QProgressBar* pbMain;

    // The pictures the grid paints with: the action strip and the downloaded mark.
    const TPicture& imgBtn() const { return FImgBtn; }
    const TPicture& imgDowned() const { return FImgDowned; }

    void vstResultAfterCellPaint(TResultGrid& grid, QPainter& canvas, const QRect& cell, int row,
                                 int column, TNodeInfos& node);
    void vstResultColumnClick(TResultGrid& grid, int column, const QPoint& pos);
    // Moves pbMain to the running download's bytes so far and length.
    void OnHttpProgress(std::int64_t sofar, std::int64_t total);
    QPushButton* btnCancelDownload; // the progress box's close button

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // Places the parts from the size the window has: the main window's page
    // is not the design size.
    void LayOut();
    void BuildSearchBar();
    void BuildAdAndPager(const std::string& serverBase);
    void OnSearchBusy(bool busy);

    std::shared_ptr<IBrowserPanes> FBrowsers;
    // The advertisement, until the page is first shown.
    QString FAdUrl;
    std::unique_ptr<TWallpaperSearch> FSearch; // made after the manager it fills
    TWorkerPageSource* FPageSource = nullptr;  // owned by FSearch
    bool FBusyCursor = false;
    ISystem* FSystem;
    std::shared_ptr<IMainDispatcher> FDispatcher;
    TPicStore FStore;
    std::filesystem::path FWinDir;
    std::unique_ptr<TPictureFetcher> FFetcher;
    QTimer* FProgressTimer = nullptr; // polls the download's progress
    void EndFullPicture();
    std::unique_ptr<TGridSearchManager> FSearchManager;
    TPicture FImgBtn, FImgDowned;
    bool FBuilt = false; // every part exists: resizes lay them out
};

// A screen's size in device pixels: what a wallpaper for it must have (the
// screen's geometry is in logical pixels, half of that at a ratio of 2).
QSize DevicePixelSize(const QScreen& screen);

// The window's pictures, built into the program (":/velmora/wallpaper/...").
QByteArray WallpaperResource(const char* name);
// One of those pictures (a PNG) as a picture of the controls.
TPicture WallpaperPicture(const char* name);

} // namespace velmora
