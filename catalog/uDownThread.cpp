#include "catalog/uDownThread.h"

#include "catalog/uStream.h"

#include <cstdio>
#include <random>
#include <system_error>
#include <thread>

namespace velmora {

std::atomic<int> TDownThread::FRunning{0};

namespace {

// Thrown through the HTTP client to end a download nobody will see any more.
struct TAbandoned {};

// A name beside the package that no other download picks.
std::filesystem::path TemporaryName(const std::filesystem::path& target) {
    std::random_device random;
    std::uint64_t tag = (std::uint64_t(random()) << 32) ^ random();
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(tag));
    std::filesystem::path name = target;
    name += std::string(".") + hex + ".tmp";
    return name;
}

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
        {
            TMemoryStream stream;
            try {
                FHttp.GetStream(FUrl, stream);
                // A body that ended before the announced length is a broken
                // package, not a finished one.
                const bool complete = FTotal <= 0 || stream.Size() >= std::uint64_t(FTotal);
                FState =
                    stream.Size() > 0 && complete && SavePackage(stream.Data()) ? dsDone : dsFailed;
            } catch (const TAbandoned&) {
                return;
            } catch (...) {
                FState = dsFailed;
            }
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
    TCatalogItem* item = FTree->Item(FNode);
    if (!item)
        return;
    item->State = FState;
    item->Progress = FPercent;
    FTree->RepaintRow(FNode);
}

// Writes the package under a temporary name and renames it into place, so that
// a failed write leaves neither a partial package nor the temporary file.
bool TDownThread::SavePackage(const std::string& data) {
    const std::filesystem::path temporary = TemporaryName(FLocalPath);
    std::error_code ec;
    try {
        TFileStream file(temporary);
        file.Write(data.data(), data.size());
        file.Close();
        std::filesystem::rename(temporary, FLocalPath, ec);
    } catch (...) {
        ec = std::make_error_code(std::errc::io_error);
    }
    if (ec) {
        std::error_code ignored;
        std::filesystem::remove(temporary, ignored);
        return false;
    }
    return true;
}

} // namespace velmora
