// velmora-tool get: downloads one address through the download worker, as a
// catalogue row would, and prints every update the worker publishes as
// "STATE PROGRESS", so that a download can be watched from a shell.
#include "catalog/uDispatcher.h"
#include "catalog/uDownThread.h"
#include "platform/util/Ascii.h"
#include "platform/util/Sha256.h"
#include "tools/ToolCommon.h"
#include "tools/Verbs.h"

#include <chrono>
#include <cstdio>
#include <memory>

namespace velmora::tool {
namespace {

// The single row of this download; every repaint is one published update.
class TPrintedRow : public ICatalogRows {
public:
    TCatalogItem* Item(TCatalogRow row) override { return row == 0 ? &FItem : nullptr; }
    void RepaintRow(TCatalogRow) override {
        std::printf("%d %d\n", static_cast<int>(FItem.State), static_cast<int>(FItem.Progress));
        std::fflush(stdout);
    }
    void Resumed(TCatalogRow, std::uint64_t offset) override {
        std::printf("resume %llu\n", static_cast<unsigned long long>(offset));
        std::fflush(stdout);
    }
    TCatalogItem& Row() { return FItem; }

private:
    TCatalogItem FItem;
};

} // namespace

int VerbGet(const TArgs& args) {
    auto parsed = ParseArgs(args, {"sha256"});
    if (!parsed || parsed->Positional.size() != 2)
        return UsageError("usage: get URL OUT [--sha256 HEX]");
    const std::string& url = parsed->Positional[0];
    const std::filesystem::path out = parsed->Positional[1];
    TPackageCheck check;
    if (auto digest = parsed->Get("sha256")) {
        check.Sha256 = LowerAscii(*digest);
        if (!IsSha256Hex(check.Sha256))
            return UsageError("get: --sha256 takes 64 hexadecimal digits");
    }

    // What an earlier run cut off left beside OUT.
    RemoveStaleDownloads(out.has_parent_path() ? out.parent_path() : std::filesystem::path("."),
                         out.filename().string());

    auto dispatcher = std::make_shared<TLoopDispatcher>();
    auto workers = TWorkerGroup::Create();
    TPrintedRow row;
    row.Row().Name = out.filename().string();
    // Marked by the caller, as the main window does; not an update of the worker.
    row.Row().State = dsDownloading;
    if (!TDownThread::Start(url, 0, row, out, dispatcher, workers, check))
        return 1;
    const auto finished = [&] { return row.Row().State == dsDone || row.Row().State == dsFailed; };
    // The worker always ends: every wait for data has a time-out.
    while (!dispatcher->RunUntil(finished, std::chrono::hours(1))) {
    }
    dispatcher->Shutdown();
    // The worker has published its end; let it free itself before the process ends.
    workers->WaitIdle(std::chrono::seconds(5));
    return row.Row().State == dsDone ? 0 : 1;
}

} // namespace velmora::tool
