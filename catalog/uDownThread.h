#pragma once
// TDownThread: downloads one catalogue item's package into the cache on a
// thread of its own and reports progress and result to the item's row, always
// on the main thread.
#include "catalog/uCatalog.h"
#include "catalog/uDispatcher.h"
#include "catalog/uResume.h"
#include "catalog/uWinHttp.h"
#include "catalog/uWorkers.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

namespace velmora {

// A catalogue list as a download worker sees it. Used on the main thread only;
// the worker keeps the row's handle, never a pointer into the list's storage.
class ICatalogRows {
public:
    virtual ~ICatalogRows() = default;
    // The record of the row, or nullptr for a handle the list does not know.
    virtual TCatalogItem* Item(TCatalogRow row) = 0;
    // Repaints the row at once.
    virtual void RepaintRow(TCatalogRow row) = 0;
    // The download of the row continues a cut-off one from `offset` bytes on;
    // told before the next repaint.
    virtual void Resumed(TCatalogRow /*row*/, std::uint64_t /*offset*/) {}
};

// The window's hold on one download. Cancel (any thread) stops the worker
// within about a second; it removes the partial data and the row goes back to
// dsNone.
class TDownloadControl {
public:
    void Cancel() { FCancelled.store(true, std::memory_order_release); }
    bool Cancelled() const { return FCancelled.load(std::memory_order_acquire); }

private:
    std::atomic<bool> FCancelled{false};
};

// Whole percent of sofar in total, rounded toward zero, 0 to 100 for any
// 64-bit sizes; -1 when no percentage can be given (total 0 or less).
std::int32_t DownloadPercent(std::int64_t sofar, std::int64_t total);

// The window's side of a download request, on the main thread: a row that is
// already downloading is refused (one worker per row); otherwise the row is
// marked dsDownloading at 0 %, repainted, and a worker started for it in
// `workers`, checking the package against `check`. Returns the download's
// control, or nullptr when no worker was started.
std::shared_ptr<TDownloadControl> RequestDownload(ICatalogRows& list, TCatalogRow row,
                                                  std::string url, std::filesystem::path localPath,
                                                  std::shared_ptr<IMainDispatcher> dispatcher,
                                                  const std::shared_ptr<TWorkerGroup>& workers,
                                                  const TPackageCheck& check = {});

// Removes the temporary files of downloads that ended with their process (a
// package arrives under a temporary name beside its final one). Only files
// named as a download names them and no longer held open by a running
// download are removed; with `package` given, only that package's. Returns how
// many were removed; a file that cannot be removed is left.
std::size_t RemoveStaleDownloads(const std::filesystem::path& folder,
                                 const std::string& package = {});

class TDownThread {
public:
    // Starts a worker of `workers` that fetches `url` into `localPath` and
    // publishes to `row` of `list` through `dispatcher`. Main thread only. The
    // caller has set the row's State to dsDownloading (that is what keeps a
    // second worker off the row) and keeps no reference: the worker frees
    // itself when done. `list` must stay alive until the dispatcher has shut
    // down. When the group is abandoned the worker stops within about a
    // second and publishes nothing more.
    //
    // The package arrives in its partial file (uResume.h) and is renamed into
    // place once whole and, when `check` asks, of the catalogue's size and
    // digest (taken while it is written). Partial data of an earlier cut-off
    // download of the same address is continued (Range, If-Range) when the
    // server still has the same file, else dropped. A download that is cut
    // off or abandoned keeps what it received when it can be continued; one
    // that is cancelled through `control`, fails its check or cannot write
    // keeps nothing. A failed check ends in dsFailed and the message
    // MsgVerifyFailed naming the row's item. Returns false when no worker
    // could be started; the row is then marked dsFailed.
    static bool Start(std::string url, TCatalogRow row, ICatalogRows& list,
                      std::filesystem::path localPath, std::shared_ptr<IMainDispatcher> dispatcher,
                      const std::shared_ptr<TWorkerGroup>& workers, TPackageCheck check = {},
                      std::shared_ptr<TDownloadControl> control = nullptr);

    // The largest package a worker takes (announced or received); no theme,
    // cursor scheme or screen saver comes near it, and an endless answer must
    // not fill the disk. Tests lower it.
    static inline std::atomic<std::uint64_t> MaxPackageBytes{std::uint64_t(1) << 30};

private:
    // Only Start creates workers.
    struct TKey {
        explicit TKey() = default;
    };

public:
    TDownThread(TKey, std::string url, TCatalogRow row, ICatalogRows& list,
                std::filesystem::path localPath, std::shared_ptr<IMainDispatcher> dispatcher,
                std::shared_ptr<TWorkerGroup> workers, TPackageCheck check,
                std::shared_ptr<TDownloadControl> control);
    ~TDownThread() = default;
    TDownThread(const TDownThread&) = delete;
    TDownThread& operator=(const TDownThread&) = delete;

private:
    enum TOutcome { ocDone, ocFailed, ocMismatch, ocRestart, ocCancelled, ocAbandoned };

    void Execute();
    // One request, continuing from `from` (0: the whole file).
    TOutcome Attempt(std::uint64_t from, const TResumeRecord& record);
    void OnProgress(TWinHttp& sender, const std::string& url, std::int64_t sofar,
                    std::int64_t total);
    // Hands UpdateNode to the main thread; false once the dispatcher refuses.
    bool Publish();
    void UpdateNode();

    std::string FUrl;
    std::filesystem::path FLocalPath;
    ICatalogRows* FTree;
    TCatalogRow FNode;
    TWinHttp FHttp;
    std::shared_ptr<IMainDispatcher> FDispatcher;
    std::shared_ptr<TWorkerGroup> FWorkers;
    std::int32_t FPercent = 0;
    std::int64_t FTotal = 0; // length the server announced, 0 when none
    TDownState FState = dsDownloading;
    TPackageCheck FCheck;
    std::shared_ptr<TDownloadControl> FControl;
    bool FVerifyFailed = false;
    std::uint64_t FResumedAt = 0, FResumedShown = 0;
};

} // namespace velmora
