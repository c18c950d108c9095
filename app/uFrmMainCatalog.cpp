// The catalogue of the main window: read on a worker (the sweep of dead
// downloads' and extractions' temporary files, the request, the local copy, the parse), then
// shown on the main thread, a slice of rows at a time so that a large
// catalogue never holds up the window's events for long.
#include "app/uFrmMain.h"

#include "app/uQtDispatcher.h"
#include "catalog/uDownThread.h"
#include "catalog/uWinHttp.h"
#include "install/uInstallers.h"

#include <QTimer>

#include <chrono>
#include <functional>
#include <string>
#include <unordered_set>
#include <vector>

namespace velmora {

namespace {

const char* const LoadingHeader = "正在读取目录…";

// Rows are added for about this long before the window's events get a turn.
constexpr auto FillSlice = std::chrono::milliseconds(15);
// How many rows are added between two looks at the clock.
constexpr std::size_t RowsPerLook = 256;

// The partial data of cut-off downloads is kept for the items the catalogue
// still offers (for a while); when no catalogue could be read, for all. The
// packages offered are listed only when there is partial data to keep.
void SweepPartialData(const TFolderFields& folders, const TCatalogDocument& document) {
    for (int tag : {tagTheme, tagCursor, tagScreenSave}) {
        std::unordered_set<std::string> listed;
        bool made = false;
        std::function<bool(const std::string&)> offered;
        if (document.Result == TLoadResult::Loaded)
            offered = [&](const std::string& package) {
                if (!made) {
                    made = true;
                    for (const TCatalogRecord& record : document.Rows)
                        if (record.Tag == tag)
                            listed.insert(
                                PackageFile(folders, tag, record.Item).filename().string());
                }
                return listed.contains(package);
            };
        SweepPartialDownloads(CacheFolder(folders, tag), offered);
    }
}

// The start-up part done on the worker.
TCatalogDocument ReadCatalog(const TFolderFields& folders,
                             const std::vector<TExtractionFolder>& extraction,
                             const std::string& base, std::chrono::milliseconds limit,
                             const TWorkerGroup& workers) {
    for (int tag : {tagTheme, tagCursor, tagScreenSave})
        RemoveStaleDownloads(CacheFolder(folders, tag));
    RemoveStaleExtractions(extraction);
    TWinHttp http;
    http.Cancelled = [&workers] { return workers.Abandoned(); };
    TCatalogDocument document = FetchCatalog(http, base, folders, limit);
    if (!workers.Abandoned())
        SweepPartialData(folders, document);
    return document;
}

} // namespace

void TFrmMain::LoadCatalog() {
    FCatalogLoading = true;
    SetLoadingHeaders(true);
    // On a worker, so that the window answers while the catalogue comes;
    // started once the window has been painted, which it is first.
    if (FStartupFinished)
        StartCatalogFetch();
    else
        FCatalogDeferred = true;
}

void TFrmMain::StartCatalogFetch() {
    const TWorkerGroup* workers = FWorkers.get();
    auto work = [folders = FFolders, extraction = ExtractionFolders(FFolders, *FSystem),
                 base = FSetup.ServerBase, limit = std::chrono::milliseconds(FSetup.CatalogLimitMs),
                 workers] { return ReadCatalog(folders, extraction, base, limit, *workers); };
    if (!RunOnWorker<TCatalogDocument>(
            FWorkers, FDispatcher, work,
            [this](TCatalogDocument& document) { CatalogArrived(std::move(document)); }))
        CatalogArrived(work()); // no thread to be had: read it here
}

void TFrmMain::SetLoadingHeaders(bool loading) {
    for (int tag : {tagTheme, tagCursor, tagScreenSave}) {
        TCatalogModel* model = ModelOfTag(tag);
        if (loading) {
            FNameHeaders[tag] =
                model->headerData(TCatalogModel::colName, Qt::Horizontal).toString();
            model->SetNameHeader(QString::fromUtf8(LoadingHeader));
        } else if (model->headerData(TCatalogModel::colName, Qt::Horizontal).toString() ==
                   QString::fromUtf8(LoadingHeader)) {
            // The theme list's count, once set, stays.
            model->SetNameHeader(FNameHeaders[tag]);
        }
    }
}

void TFrmMain::CatalogArrived(TCatalogDocument document) {
    if (document.Result != TLoadResult::Loaded) {
        FCatalogLoading = false;
        SetLoadingHeaders(false);
        ShowCatalogMessage(document.Result);
        if (document.Result == TLoadResult::NoCatalog) {
            // The message has been shown; the program ends.
            FTerminated = true;
            QTimer::singleShot(0, this, &QWidget::close);
        }
        return;
    }
    FFiller = std::make_unique<TCatalogFiller>(std::move(document));
    FillCatalogSlice();
}

void TFrmMain::FillCatalogSlice() {
    if (!FFiller)
        return;
    const auto until = std::chrono::steady_clock::now() + FillSlice;
    bool done = false;
    while (!(done = FFiller->Fill(*this, RowsPerLook)) &&
           std::chrono::steady_clock::now() < until) {
    }
    if (!done) {
        QTimer::singleShot(0, this, &TFrmMain::FillCatalogSlice);
        return;
    }
    FFiller.reset();
    FCatalogLoading = false;
    SetLoadingHeaders(false);
}

} // namespace velmora
