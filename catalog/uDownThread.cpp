#include "catalog/uDownThread.h"

#include "catalog/uResume.h"
#include "catalog/uStream.h"
#include "install/uPubFunc.h"
#include "platform/util/Files.h"
#include "platform/util/Sha256.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <optional>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

namespace velmora {

namespace {

// Thrown through the HTTP client to end a download nobody will see any more.
struct TAbandoned {};

// Thrown through the HTTP client: the answer does not continue the partial
// data (another version of the file, another size), so it must not be
// appended; the download starts again from the beginning.
struct TRestart {};
// The server announces a size other than the catalogue's.
struct TCheckFailed {};

// SHA-256 taken on a thread of its own while the download goes on: on a fast
// connection, digesting on the receiving thread would add about a third to
// the time of a download. At most two blocks wait, so memory stays bounded;
// Update blocks the receiving thread when the digest falls behind.
class TPipelinedSha256 {
public:
    TPipelinedSha256() : FThread([this] { Run(); }) {}
    ~TPipelinedSha256() { Finish(); }
    TPipelinedSha256(const TPipelinedSha256&) = delete;
    TPipelinedSha256& operator=(const TPipelinedSha256&) = delete;

    // Takes the block's bytes and leaves `block` empty, holding the memory of
    // a block already digested when there is one (fresh memory for every
    // block would cost page faults on every one).
    void Update(std::string& block) {
        std::unique_lock lock(FLock);
        FRoom.wait(lock, [this] { return FQueue.size() < MaxWaiting; });
        FQueue.push_back(std::move(block));
        block = std::string();
        if (!FSpare.empty()) {
            block = std::move(FSpare.back());
            FSpare.pop_back();
        }
        block.clear();
        FWork.notify_one();
    }
    // Waits for every block; empty when the digest could not be taken.
    std::string HexDigest() {
        Finish();
        return FDigest;
    }

private:
    static constexpr std::size_t MaxWaiting = 2;

    void Finish() {
        {
            std::lock_guard lock(FLock);
            FDone = true;
            FWork.notify_one();
        }
        if (FThread.joinable())
            FThread.join();
    }
    void Run() {
        bool failed = false;
        for (;;) {
            std::string block;
            {
                std::unique_lock lock(FLock);
                FWork.wait(lock, [this] { return !FQueue.empty() || FDone; });
                if (FQueue.empty())
                    break;
                block = std::move(FQueue.front());
                FQueue.pop_front();
                FRoom.notify_one();
            }
            try {
                if (!failed)
                    FSha.Update(block.data(), block.size());
            } catch (...) {
                failed = true; // no digest: the package counts as not matching
            }
            std::lock_guard lock(FLock);
            if (FSpare.size() < MaxWaiting)
                FSpare.push_back(std::move(block));
        }
        try {
            if (!failed)
                FDigest = FSha.HexDigest();
        } catch (...) {
        }
    }

    TSha256 FSha;
    std::mutex FLock;
    std::condition_variable FWork, FRoom;
    std::deque<std::string> FQueue;
    std::vector<std::string> FSpare; // digested blocks, their memory kept for reuse
    bool FDone = false;
    std::string FDigest; // written by the thread, read after it has been joined
    std::thread FThread; // last: starts once the rest is there
};

// The package as it arrives, written to its partial file beside the final name
// (uResume.h) and renamed into place once complete and checked: the final
// name never holds a partial package, and a package need not fit in memory.
// The file is opened with the first byte, when the answer is known: a 206
// continues the partial data, a 200 starts it afresh and records what a later
// download needs to continue it. A request that brings nothing creates
// nothing. The digest, when one is to be checked, is taken as the bytes pass.
class TPackageFile : public IByteStream {
public:
    TPackageFile(std::filesystem::path target, const TWinHttp& http, std::string url,
                 const TPackageCheck& check, std::uint64_t resumeFrom, TResumeRecord record)
        : FTarget(std::move(target)), FHttp(http), FUrl(std::move(url)), FCheck(check),
          FResumeFrom(resumeFrom), FRecord(std::move(record)) {
        if (!FCheck.Sha256.empty())
            FSha.emplace();
    }
    ~TPackageFile() override {
        if (FFile)
            Keep();
    }
    TPackageFile(const TPackageFile&) = delete;
    TPackageFile& operator=(const TPackageFile&) = delete;

    std::function<void(std::uint64_t offset)> OnResumed;

    void Write(const char* data, std::size_t size) override {
        if (!FFile)
            Open();
        FBuffer.append(data, size);
        FSize += size;
        if (FBuffer.size() >= BufferSize)
            Flush();
    }
    std::uint64_t Size() const override { return FSize; }

    enum TResult { prDone, prFailed, prMismatch };

    // Closes the file, checks it and renames it into place. On a mismatch or
    // a failure nothing is kept.
    TResult Commit() {
        if (!FFile)
            return prFailed;
        std::error_code ec;
        try {
            Flush();
            FFile->Close();
            FFile.reset();
            if ((FCheck.Size > 0 && FSize != FCheck.Size) ||
                (FSha && FSha->HexDigest() != FCheck.Sha256)) {
                Discard();
                return prMismatch;
            }
            std::filesystem::rename(PartialFile(FTarget), FTarget, ec);
        } catch (...) {
            ec = std::make_error_code(std::errc::io_error);
        }
        if (ec) {
            Discard();
            return prFailed;
        }
        std::error_code ignored;
        std::filesystem::remove(ResumeRecordFile(FTarget), ignored);
        return prDone;
    }

    // A cut-off download: what arrived stays for the next one to continue,
    // when the file can be continued at all; otherwise it goes.
    void Keep() {
        try {
            if (FFile) {
                Flush();
                FFile->Close();
                FFile.reset();
            }
        } catch (...) {
            Discard();
            return;
        }
        TResumeRecord record;
        if (FSize == 0 || ResumableOffset(FTarget, FUrl, FCheck.Size, record) == 0)
            Discard();
    }

    void Discard() {
        FFile.reset();
        RemovePartial(FTarget);
    }

private:
    // Blocks arrive in 4 KB pieces; writing them in larger runs keeps the
    // number of system calls down.
    static constexpr std::size_t BufferSize = 256 * 1024;

    void Open() {
        const TAnswer& answer = FHttp.LastAnswer();
        const std::filesystem::path part = PartialFile(FTarget);
        if (answer.Status == 206) {
            // The client lets through only the 206 that starts where the
            // partial data ends; it must also be the same file.
            if (answer.Validator() != FRecord.Validator || answer.FullSize < 0 ||
                std::uint64_t(answer.FullSize) != FRecord.Size)
                throw TRestart{};
            // Locked, so that the sweep of another run passes it by.
            FFile.emplace(part, true, true);
            if (FFile->Size() != FResumeFrom)
                throw TRestart{}; // changed since it was measured
            if (FSha && !HashExisting(part))
                throw TRestart{};
            FSize = FResumeFrom;
            if (OnResumed)
                OnResumed(FResumeFrom);
        } else {
            if (FCheck.Size > 0 && answer.FullSize >= 0 &&
                std::uint64_t(answer.FullSize) != FCheck.Size)
                throw TCheckFailed{};
            RemovePartial(FTarget);
            // Without a validator and a size a cut-off download cannot be
            // continued safely: no record, and Keep drops the data.
            if (!answer.Validator().empty() && answer.FullSize > 0)
                (void)WriteResumeRecord(FTarget,
                                        {FUrl, answer.Validator(), std::uint64_t(answer.FullSize)});
            FFile.emplace(part, true);
        }
        FBuffer.reserve(BufferSize + 64 * 1024);
    }

    // The digest must cover the data kept from before: read once, here.
    bool HashExisting(const std::filesystem::path& part) {
        std::FILE* f = OpenCFile(part, "rb");
        if (!f)
            return false;
        std::uint64_t read = 0;
        while (read < FResumeFrom) {
            std::string block(1 << 20, '\0');
            const std::size_t n = std::fread(block.data(), 1, block.size(), f);
            if (n == 0)
                break;
            const std::size_t used =
                static_cast<std::size_t>(std::min<std::uint64_t>(n, FResumeFrom - read));
            block.resize(used);
            FSha->Update(block);
            read += used;
        }
        std::fclose(f);
        return read == FResumeFrom;
    }

    void Flush() {
        FFile->Write(FBuffer.data(), FBuffer.size());
        if (FSha && !FBuffer.empty()) {
            FSha->Update(FBuffer);
            FBuffer.reserve(BufferSize + 64 * 1024);
        }
        FBuffer.clear();
    }

    std::filesystem::path FTarget;
    const TWinHttp& FHttp;
    std::string FUrl;
    TPackageCheck FCheck;
    std::uint64_t FResumeFrom;
    TResumeRecord FRecord;
    std::optional<TFileStream> FFile;
    std::optional<TPipelinedSha256> FSha;
    std::string FBuffer;
    std::uint64_t FSize = 0;
};

} // namespace

std::int32_t DownloadPercent(std::int64_t sofar, std::int64_t total) {
    if (total <= 0)
        return -1;
    if (sofar <= 0)
        return 0;
    if (sofar >= total)
        return 100;
    // sofar * 100 / total as a quotient and a remainder below total, built from
    // the bits of 100 so that nothing exceeds 64 bits for any sizes.
    const std::uint64_t t = static_cast<std::uint64_t>(total);
    const std::uint64_t s = static_cast<std::uint64_t>(sofar);
    std::uint64_t q = 0, r = 0;
    for (int bit = 6; bit >= 0; --bit) {
        q *= 2;
        r *= 2; // r < t < 2^63
        if (r >= t) {
            r -= t;
            ++q;
        }
        if ((100u >> bit) & 1u) {
            r += s; // both below t
            if (r >= t) {
                r -= t;
                ++q;
            }
        }
    }
    return static_cast<std::int32_t>(q);
}

std::shared_ptr<TDownloadControl> RequestDownload(ICatalogRows& list, TCatalogRow row,
                                                  std::string url, std::filesystem::path localPath,
                                                  std::shared_ptr<IMainDispatcher> dispatcher,
                                                  const std::shared_ptr<TWorkerGroup>& workers,
                                                  const TPackageCheck& check) {
    TCatalogItem* item = list.Item(row);
    if (!item || item->State == dsDownloading)
        return nullptr;
    item->State = dsDownloading;
    item->Progress = 0;
    list.RepaintRow(row);
    auto control = std::make_shared<TDownloadControl>();
    if (!TDownThread::Start(std::move(url), row, list, std::move(localPath), std::move(dispatcher),
                            workers, check, control))
        return nullptr;
    return control;
}

std::size_t RemoveStaleDownloads(const std::filesystem::path& folder, const std::string& package) {
    if (package.empty())
        return RemoveStaleTemporaries(folder, false);
    return RemoveStaleTemporaries(
        folder, false, [&package](std::string_view target) { return target == package; });
}

bool TDownThread::Start(std::string url, TCatalogRow row, ICatalogRows& list,
                        std::filesystem::path localPath,
                        std::shared_ptr<IMainDispatcher> dispatcher,
                        const std::shared_ptr<TWorkerGroup>& workers, TPackageCheck check,
                        std::shared_ptr<TDownloadControl> control) {
    bool started = false;
    try {
        if (!control)
            control = std::make_shared<TDownloadControl>();
        auto worker = std::make_shared<TDownThread>(TKey{}, std::move(url), row, list,
                                                    std::move(localPath), std::move(dispatcher),
                                                    workers, std::move(check), std::move(control));
        started = workers->Start([worker] { worker->Execute(); });
    } catch (...) {
    }
    if (!started) {
        // No worker: the row must not stay in dsDownloading.
        if (TCatalogItem* item = list.Item(row)) {
            item->State = dsFailed;
            list.RepaintRow(row);
        }
    }
    return started;
}

TDownThread::TDownThread(TKey, std::string url, TCatalogRow row, ICatalogRows& list,
                         std::filesystem::path localPath,
                         std::shared_ptr<IMainDispatcher> dispatcher,
                         std::shared_ptr<TWorkerGroup> workers, TPackageCheck check,
                         std::shared_ptr<TDownloadControl> control)
    : FUrl(std::move(url)), FLocalPath(std::move(localPath)), FTree(&list), FNode(row),
      FDispatcher(std::move(dispatcher)), FWorkers(std::move(workers)), FCheck(std::move(check)),
      FControl(std::move(control)) {
    FHttp.MaxBodyBytes = MaxPackageBytes.load();
    FHttp.OnProgress = [this](TWinHttp& sender, const std::string& u, std::int64_t sofar,
                              std::int64_t total) { OnProgress(sender, u, sofar, total); };
    // Also ends a request that waits for data when nobody wants it any more.
    FHttp.Cancelled = [this] { return FWorkers->Abandoned() || FControl->Cancelled(); };
}

void TDownThread::Execute() {
    try {
        TResumeRecord record;
        std::uint64_t from = ResumableOffset(FLocalPath, FUrl, FCheck.Size, record);
        if (from == 0)
            RemovePartial(FLocalPath); // nothing there can be continued
        else
            FPercent = std::max(0, DownloadPercent(std::int64_t(from), std::int64_t(record.Size)));
        FState = dsDownloading;
        if (!Publish())
            return; // the window is gone; what was kept stays for the next run
        TOutcome outcome = Attempt(from, record);
        if (outcome == ocRestart) {
            // Not the same file any more: from the beginning, the bar too.
            RemovePartial(FLocalPath);
            FPercent = 0;
            if (!Publish())
                return;
            outcome = Attempt(0, {});
        }
        switch (outcome) {
        case ocAbandoned:
            return;
        case ocCancelled:
            FState = dsNone;
            FPercent = 0;
            break;
        case ocDone:
            FState = dsDone;
            break;
        case ocMismatch:
            FVerifyFailed = true;
            FState = dsFailed;
            break;
        default:
            FState = dsFailed;
            break;
        }
        Publish();
    } catch (...) {
        // Nothing may escape a thread's body; the row cannot be reached any more.
    }
}

TDownThread::TOutcome TDownThread::Attempt(std::uint64_t from, const TResumeRecord& record) {
    TPackageFile package(FLocalPath, FHttp, FUrl, FCheck, from, record);
    package.OnResumed = [this](std::uint64_t offset) { FResumedAt = offset; };
    FHttp.RangeFrom = from;
    FHttp.IfRange = from > 0 ? record.Validator : std::string();
    bool whole = false;
    try {
        // A body cut short, reset, timed out or too large is a broken
        // package, not a finished one, whatever the headers said.
        whole = FHttp.GetStream(FUrl, package);
    } catch (const TRestart&) {
        package.Discard();
        return ocRestart;
    } catch (const TCheckFailed&) {
        package.Discard();
        return ocMismatch;
    } catch (const TAbandoned&) {
        if (FControl->Cancelled()) {
            package.Discard();
            return ocCancelled;
        }
        package.Keep();
        return ocAbandoned;
    } catch (...) {
        package.Discard(); // the disk took no more: nothing worth keeping
        return ocFailed;
    }
    if (FControl->Cancelled()) {
        package.Discard();
        return ocCancelled;
    }
    if (FWorkers->Abandoned()) {
        package.Keep();
        return ocAbandoned;
    }
    // The range asked for is no part of the file (the file shrank, say).
    if (from > 0 && FHttp.LastAnswer().Status == 416)
        return ocRestart;
    if (!whole || package.Size() == 0) {
        package.Keep();
        return ocFailed;
    }
    switch (package.Commit()) {
    case TPackageFile::prDone:
        return ocDone;
    case TPackageFile::prMismatch:
        return ocMismatch;
    default:
        return ocFailed;
    }
}

void TDownThread::OnProgress(TWinHttp&, const std::string&, std::int64_t sofar,
                             std::int64_t total) {
    FTotal = total;
    std::int32_t percent = DownloadPercent(sofar, total);
    if (percent <= FPercent)
        return;
    FPercent = percent;
    if (FWorkers->Abandoned() || FControl->Cancelled() || !Publish())
        throw TAbandoned{};
}

bool TDownThread::Publish() {
    return FDispatcher->RunOnMain([this] { UpdateNode(); });
}

void TDownThread::UpdateNode() {
    try {
        TCatalogItem* item = FTree->Item(FNode);
        if (!item)
            return;
        if (FResumedAt != FResumedShown) {
            FResumedShown = FResumedAt;
            FTree->Resumed(FNode, FResumedAt);
        }
        item->State = FState;
        item->Progress = FPercent;
        FTree->RepaintRow(FNode);
        if (FState == dsFailed && FVerifyFailed) {
            FVerifyFailed = false;
            ShowMessageBox(VerifyFailedText(item->Name), "", mkInformation);
        }
    } catch (...) {
        // A failed repaint is no reason to give up the download.
    }
}

} // namespace velmora
