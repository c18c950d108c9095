#include "catalog/uDownThread.h"

#include "catalog/uStream.h"
#include "platform/util/Files.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <optional>
#include <string_view>
#include <system_error>

namespace velmora {

namespace {

// Thrown through the HTTP client to end a download nobody will see any more.
struct TAbandoned {};

// The package a temporary name (TemporaryNameBeside) belongs to, or empty for
// any other name.
std::string_view PackageOfTemporary(std::string_view name) {
    if (!IsTemporaryName(std::filesystem::path(name)))
        return {};
    return name.substr(0, name.size() - TemporaryNameTailBytes);
}

// The package as it arrives, written to a temporary file beside its final name
// and renamed into place once complete: the final name never holds a partial
// package, and a package need not fit in memory. The file is created with the
// first byte, so a request that brings nothing creates nothing.
class TPackageFile : public IByteStream {
public:
    explicit TPackageFile(std::filesystem::path target)
        : FTarget(std::move(target)), FTemporary(TemporaryNameBeside(FTarget)) {}
    ~TPackageFile() override { Discard(); }
    TPackageFile(const TPackageFile&) = delete;
    TPackageFile& operator=(const TPackageFile&) = delete;

    void Write(const char* data, std::size_t size) override {
        if (!FFile) {
            // Throws when the folder takes no file. Locked, so that a sweep for
            // files of dead downloads passes this one by.
            FFile.emplace(FTemporary, true);
            FBuffer.reserve(BufferSize + size);
        }
        FBuffer.append(data, size);
        FSize += size;
        if (FBuffer.size() >= BufferSize)
            Flush();
    }
    std::uint64_t Size() const override { return FSize; }

    // Closes the file and renames it into place; false, with the temporary file
    // removed, when that fails.
    bool Commit() {
        if (!FFile)
            return false;
        std::error_code ec;
        try {
            Flush();
            FFile->Close();
            std::filesystem::rename(FTemporary, FTarget, ec);
        } catch (...) {
            ec = std::make_error_code(std::errc::io_error);
        }
        if (ec) {
            Discard();
            return false;
        }
        FFile.reset();
        return true;
    }

private:
    // Blocks arrive in 4 KB pieces; writing them in larger runs keeps the
    // number of system calls down.
    static constexpr std::size_t BufferSize = 256 * 1024;

    void Flush() {
        FFile->Write(FBuffer.data(), FBuffer.size());
        FBuffer.clear();
    }
    void Discard() {
        if (!FFile)
            return;
        FFile.reset();
        std::error_code ignored;
        std::filesystem::remove(FTemporary, ignored);
    }

    std::filesystem::path FTarget;
    std::filesystem::path FTemporary;
    std::optional<TFileStream> FFile;
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

bool RequestDownload(ICatalogRows& list, TCatalogRow row, std::string url,
                     std::filesystem::path localPath, std::shared_ptr<IMainDispatcher> dispatcher,
                     const std::shared_ptr<TWorkerGroup>& workers) {
    TCatalogItem* item = list.Item(row);
    if (!item || item->State == dsDownloading)
        return false;
    item->State = dsDownloading;
    item->Progress = 0;
    list.RepaintRow(row);
    return TDownThread::Start(std::move(url), row, list, std::move(localPath),
                              std::move(dispatcher), workers);
}

std::size_t RemoveStaleDownloads(const std::filesystem::path& folder, const std::string& package) {
    namespace fs = std::filesystem;
    std::size_t removed = 0;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        const std::string_view owner = PackageOfTemporary(name);
        if (owner.empty() || (!package.empty() && owner != package))
            continue;
        std::error_code kindError;
        if (!it->is_regular_file(kindError) || it->is_symlink(kindError))
            continue;
        if (IsLockedByWriter(it->path()))
            continue; // a download of a running program is still writing it
        std::error_code removeError;
        if (fs::remove(it->path(), removeError))
            ++removed;
    }
    return removed;
}

bool TDownThread::Start(std::string url, TCatalogRow row, ICatalogRows& list,
                        std::filesystem::path localPath,
                        std::shared_ptr<IMainDispatcher> dispatcher,
                        const std::shared_ptr<TWorkerGroup>& workers) {
    bool started = false;
    try {
        auto worker =
            std::make_shared<TDownThread>(TKey{}, std::move(url), row, list, std::move(localPath),
                                          std::move(dispatcher), workers);
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
                         std::shared_ptr<TWorkerGroup> workers)
    : FUrl(std::move(url)), FLocalPath(std::move(localPath)), FTree(&list), FNode(row),
      FDispatcher(std::move(dispatcher)), FWorkers(std::move(workers)) {
    FHttp.MaxBodyBytes = MaxPackageBytes.load();
    FHttp.OnProgress = [this](TWinHttp& sender, const std::string& u, std::int64_t sofar,
                              std::int64_t total) { OnProgress(sender, u, sofar, total); };
    // Also ends a request that waits for data when nobody wants it any more.
    FHttp.Cancelled = [this] { return FWorkers->Abandoned(); };
}

void TDownThread::Execute() {
    try {
        FState = dsDownloading;
        if (!Publish())
            return;
        try {
            // Removed again on every path that does not end in dsDone.
            TPackageFile package(FLocalPath);
            // A body cut short, reset, timed out or too large is a broken
            // package, not a finished one, whatever the headers said.
            const bool whole = FHttp.GetStream(FUrl, package);
            if (FWorkers->Abandoned())
                return; // the package file goes with its temporary name
            FState = whole && package.Size() > 0 && package.Commit() ? dsDone : dsFailed;
        } catch (const TAbandoned&) {
            return;
        } catch (...) {
            FState = dsFailed;
        }
        Publish();
    } catch (...) {
        // Nothing may escape a thread's body; the row cannot be reached any more.
    }
}

void TDownThread::OnProgress(TWinHttp&, const std::string&, std::int64_t sofar,
                             std::int64_t total) {
    FTotal = total;
    std::int32_t percent = DownloadPercent(sofar, total);
    if (percent <= FPercent)
        return;
    FPercent = percent;
    if (FWorkers->Abandoned() || !Publish())
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
        item->State = FState;
        item->Progress = FPercent;
        FTree->RepaintRow(FNode);
    } catch (...) {
        // A failed repaint is no reason to give up the download.
    }
}

} // namespace velmora
