#include "catalog/uDownThread.h"

#include "catalog/uStream.h"
#include "platform/util/Files.h"

#include <chrono>
#include <cstdio>
#include <optional>
#include <system_error>
#include <thread>

namespace velmora {

std::atomic<int> TDownThread::FRunning{0};

namespace {

// Thrown through the HTTP client to end a download nobody will see any more.
struct TAbandoned {};

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
            FFile.emplace(FTemporary); // throws when the folder takes no file
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
                     std::filesystem::path localPath, std::shared_ptr<IMainDispatcher> dispatcher) {
    TCatalogItem* item = list.Item(row);
    if (!item || item->State == dsDownloading)
        return false;
    item->State = dsDownloading;
    item->Progress = 0;
    list.RepaintRow(row);
    return TDownThread::Start(std::move(url), row, list, std::move(localPath),
                              std::move(dispatcher));
}

bool TDownThread::Start(std::string url, TCatalogRow row, ICatalogRows& list,
                        std::filesystem::path localPath,
                        std::shared_ptr<IMainDispatcher> dispatcher) {
    try {
        auto worker = std::make_unique<TDownThread>(TKey{}, std::move(url), row, list,
                                                    std::move(localPath), std::move(dispatcher));
        std::thread([self = std::move(worker)]() mutable {
            self->Execute();
            self.reset();
        }).detach();
        return true;
    } catch (...) {
        // No thread: the row must not stay in dsDownloading.
        if (TCatalogItem* item = list.Item(row)) {
            item->State = dsFailed;
            list.RepaintRow(row);
        }
        return false;
    }
}

TDownThread::TDownThread(TKey, std::string url, TCatalogRow row, ICatalogRows& list,
                         std::filesystem::path localPath,
                         std::shared_ptr<IMainDispatcher> dispatcher)
    : FUrl(std::move(url)), FLocalPath(std::move(localPath)), FTree(&list), FNode(row),
      FDispatcher(std::move(dispatcher)) {
    FHttp.OnProgress = [this](TWinHttp& sender, const std::string& u, std::int64_t sofar,
                              std::int64_t total) { OnProgress(sender, u, sofar, total); };
    ++FRunning;
}

TDownThread::~TDownThread() {
    --FRunning;
}

void TDownThread::Execute() {
    try {
        FState = dsDownloading;
        if (!Publish())
            return;
        try {
            // Removed again on every path that does not end in dsDone.
            TPackageFile package(FLocalPath);
            FHttp.GetStream(FUrl, package);
            // A body that ended before the announced length is a broken
            // package, not a finished one.
            const bool complete = FTotal <= 0 || package.Size() >= std::uint64_t(FTotal);
            FState = package.Size() > 0 && complete && package.Commit() ? dsDone : dsFailed;
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
    if (!Publish())
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
