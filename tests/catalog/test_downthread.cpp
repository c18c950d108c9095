#include "catalog/uDispatcher.h"
#include "catalog/uDownThread.h"
#include "catalog/uResume.h"
#include "platform/util/Sha256.h"
#include "tests/support/FaultServer.h"
#ifndef _WIN32
#include "tests/support/NginxServer.h"
#endif
#include "tests/support/TestSupport.h"
#include "tools/StaticServer.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <random>
#include <thread>

namespace velmora::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

TEST(DownloadPercent, Cases) {
    constexpr std::int64_t Max = std::numeric_limits<std::int64_t>::max();
    struct Case {
        std::int64_t sofar, total;
        std::int32_t percent;
    } cases[] = {
        {0, 1000, 0},
        {999, 1000, 99},
        {1000, 1000, 100},
        {1001, 1000, 100}, // more than announced never shows more than 100
        {5, 0, -1},
        {5, -1, -1},
        {std::int64_t(3) << 30, std::int64_t(6) << 30, 50}, // beyond 32 bits
        {Max - 1, Max, 99},
        {Max / 2, Max, 49},
        {Max / 100, Max, 0},
        {Max / 100 + 1, Max, 1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DownloadPercent(c.sofar, c.total), c.percent) << c.sofar << " / " << c.total;

    std::mt19937_64 random(7);
    for (int i = 0; i < 20000; ++i) {
        std::int64_t total = static_cast<std::int64_t>(random() >> (1 + random() % 63)) + 1;
        std::int64_t sofar = static_cast<std::int64_t>(random() % std::uint64_t(total));
        auto expected = static_cast<std::int32_t>(static_cast<unsigned __int128>(sofar) * 100 /
                                                  static_cast<unsigned __int128>(total));
        ASSERT_EQ(DownloadPercent(sofar, total), expected) << sofar << " / " << total;
    }
}

TEST(LoopDispatcher, RunsWorkerStepsOnTheMainThreadAndRefusesAfterShutdown) {
    TLoopDispatcher dispatcher;
    const auto mainId = std::this_thread::get_id();

    std::thread::id ranOn;
    std::atomic<bool> result{false};
    std::thread worker(
        [&] { result = dispatcher.RunOnMain([&] { ranOn = std::this_thread::get_id(); }); });
    ASSERT_TRUE(dispatcher.RunUntil([&] { return ranOn == mainId; }, 10s));
    worker.join();
    EXPECT_TRUE(result);

    // From the main thread a step runs at once instead of waiting for itself.
    bool direct = false;
    EXPECT_TRUE(dispatcher.RunOnMain([&] { direct = true; }));
    EXPECT_TRUE(direct);

    // A worker already waiting is released by the shutdown, its step never runs.
    std::atomic<bool> waiting{false}, released{false}, stepRan{false};
    std::thread blocked([&] {
        waiting = true;
        result = dispatcher.RunOnMain([&] { stepRan = true; });
        released = true;
    });
    while (!waiting)
        std::this_thread::sleep_for(1ms);
    dispatcher.Shutdown();
    blocked.join();
    EXPECT_TRUE(released);
    EXPECT_FALSE(result);
    EXPECT_FALSE(stepRan);

    // Later steps are refused without blocking, from any thread.
    std::thread late([&] { result = dispatcher.RunOnMain([&] { stepRan = true; }); });
    late.join();
    EXPECT_FALSE(result);
    EXPECT_FALSE(dispatcher.RunOnMain([&] { stepRan = true; }));
    EXPECT_FALSE(stepRan);
    EXPECT_EQ(dispatcher.RunPending(), 0u);
}

TEST(LoopDispatcher, WakesADerivedEventLoopForEveryQueuedStep) {
    // As an event loop would: every wake-up posts one run of the waiting steps.
    class TPostingDispatcher : public TLoopDispatcher {
    public:
        std::atomic<int> Posted{0};

    protected:
        void Wake() override { ++Posted; }
    } dispatcher;
    int ran = 0;
    std::thread worker([&] {
        for (int i = 0; i < 3; ++i)
            dispatcher.RunOnMain([&] { ++ran; });
    });
    for (int handled = 0; handled < 3;) {
        if (dispatcher.Posted > handled)
            handled += static_cast<int>(dispatcher.RunPending());
        std::this_thread::yield();
    }
    worker.join();
    EXPECT_EQ(ran, 3);
    EXPECT_EQ(dispatcher.Posted, 3);
}

struct TUpdate {
    TCatalogRow Row;
    TDownState State;
    std::int32_t Progress;
    bool operator==(const TUpdate&) const = default;
};

std::ostream& operator<<(std::ostream& os, const TUpdate& u) {
    return os << "{row " << u.Row << ": " << int(u.State) << " " << u.Progress << "}";
}

// The rows of one catalogue list. It checks that it is used on the main thread
// only, and records every repaint with what the row then holds.
class TTestRows : public ICatalogRows {
public:
    TCatalogItem* Item(TCatalogRow row) override {
        Touch();
        auto it = Items.find(row);
        return it == Items.end() ? nullptr : &it->second;
    }
    void RepaintRow(TCatalogRow row) override {
        Touch();
        Updates.push_back({row, Items[row].State, Items[row].Progress});
    }
    std::vector<TUpdate> UpdatesOf(TCatalogRow row) const {
        std::vector<TUpdate> out;
        for (const auto& u : Updates)
            if (u.Row == row)
                out.push_back(u);
        return out;
    }

    std::map<TCatalogRow, TCatalogItem> Items;
    std::vector<TUpdate> Updates;
    int OffMainThread = 0;
    bool Closed = false; // the window is gone: nothing may touch the list any more
    int TouchedAfterClose = 0;

private:
    void Touch() {
        if (std::this_thread::get_id() != FMain)
            ++OffMainThread;
        if (Closed)
            ++TouchedAfterClose;
    }
    std::thread::id FMain = std::this_thread::get_id();
};

bool Finished(const TCatalogItem& item) {
    return item.State == dsDone || item.State == dsFailed;
}

std::vector<fs::path> FilesIn(const fs::path& folder) {
    std::vector<fs::path> out;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder, ec))
        out.push_back(e.path().filename());
    std::sort(out.begin(), out.end());
    return out;
}

class DownThreadTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(cache);
        ASSERT_TRUE(server.Start());
    }
    void TearDown() override {
        dispatcher->Shutdown();
        // Workers free themselves; none may outlive the case.
        EXPECT_TRUE(workers->WaitIdle(30s));
        EXPECT_EQ(rows.OffMainThread, 0);
    }

    std::string Url(const std::string& name) const { return server.BaseUrl() + "/" + name; }
    void Serve(const std::string& name, const std::string& bytes) {
        test::WriteFile(dir / ("srv/" + name), bytes);
    }
    // Starts a download of `name` into the cache for `row` and runs the main
    // loop until the row reaches its final state.
    bool Download(TCatalogRow row, const std::string& name, fs::path target = {}) {
        if (target.empty())
            target = cache / name;
        rows.Items.try_emplace(row);
        if (!RequestDownload(rows, row, Url(name), target, dispatcher, workers))
            return false;
        return dispatcher->RunUntil([&] { return Finished(rows.Items[row]); }, 120s);
    }

    test::TTempDir dir;
    fs::path cache = dir / "cache";
    TStaticServer server{dir / "srv"};
    std::shared_ptr<TLoopDispatcher> dispatcher = std::make_shared<TLoopDispatcher>();
    std::shared_ptr<TWorkerGroup> workers = TWorkerGroup::Create();
    TTestRows rows;
};

TEST_F(DownThreadTest, OneBlockGivesThreeUpdatesAndSavesThePackage) {
    const std::string body(1000, 'p');
    Serve("a.zip", body);
    ASSERT_TRUE(Download(1, "a.zip"));
    // The first entry is the caller marking the row before the worker starts.
    std::vector<TUpdate> expected{
        {1, dsDownloading, 0}, {1, dsDownloading, 0}, {1, dsDownloading, 100}, {1, dsDone, 100}};
    EXPECT_EQ(rows.Updates, expected);
    EXPECT_EQ(test::ReadFile(cache / "a.zip"), body);
    EXPECT_EQ(FilesIn(cache), std::vector<fs::path>{"a.zip"}); // no temporary file left
}

TEST_F(DownThreadTest, WithoutLengthStaysAtZeroUntilDone) {
    const std::string body(300000, 'n');
    Serve("n.zip", body);
    server.SetFaults({.NoContentLength = true});
    ASSERT_TRUE(Download(1, "n.zip"));
    std::vector<TUpdate> expected{{1, dsDownloading, 0}, {1, dsDownloading, 0}, {1, dsDone, 0}};
    EXPECT_EQ(rows.Updates, expected);
    EXPECT_EQ(test::ReadFile(cache / "n.zip"), body);
}

TEST_F(DownThreadTest, NotFoundWritesNothingAndCanBeTriedAgain) {
    ASSERT_TRUE(Download(1, "later.zip"));
    std::vector<TUpdate> expected{{1, dsDownloading, 0}, {1, dsDownloading, 0}, {1, dsFailed, 0}};
    EXPECT_EQ(rows.Updates, expected);
    EXPECT_TRUE(FilesIn(cache).empty());

    // A failed row takes a new request; this time the server has the file.
    Serve("later.zip", "PK");
    ASSERT_TRUE(Download(1, "later.zip"));
    EXPECT_EQ(rows.Items[1].State, dsDone);
    EXPECT_EQ(test::ReadFile(cache / "later.zip"), "PK");
}

std::string Pattern(std::size_t size, unsigned seed) {
    std::string body(size, '\0');
    std::mt19937 random(seed);
    for (char& c : body)
        c = static_cast<char>(random());
    return body;
}

TEST_F(DownThreadTest, CutDownloadKeepsItsDataAsideAndTheNextOneAsksOnlyForTheRest) {
    const std::string body = Pattern(200000, 1);
    Serve("cut.zip", body);
    server.SetFaults({.CutAfter = 100000});
    ASSERT_TRUE(Download(1, "cut.zip"));
    EXPECT_EQ(rows.Items[1].State, dsFailed);
    // Nothing under the package's name; what arrived waits beside it.
    EXPECT_EQ(FilesIn(cache), (std::vector<fs::path>{"cut.zip.part", "cut.zip.resume"}));
    EXPECT_EQ(test::ReadFile(cache / "cut.zip.part"), body.substr(0, 100000));

    server.SetFaults({});
    server.ClearRequests();
    rows.Updates.clear();
    ASSERT_TRUE(Download(1, "cut.zip"));
    EXPECT_EQ(rows.Items[1].State, dsDone);
    EXPECT_TRUE(test::ReadFile(cache / "cut.zip") == body);
    EXPECT_EQ(FilesIn(cache), std::vector<fs::path>{"cut.zip"});
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].Headers.at("range"), "bytes=100000-");
    EXPECT_EQ(requests[0].Headers.at("if-range"), FileETag(dir / "srv/cut.zip"));
    // The bar starts where the first run stopped and never goes back.
    ASSERT_GE(rows.Updates.size(), 3u);
    EXPECT_EQ(rows.Updates[1], (TUpdate{1, dsDownloading, 50}));
    for (std::size_t i = 2; i < rows.Updates.size(); ++i)
        EXPECT_GE(rows.Updates[i].Progress, rows.Updates[i - 1].Progress) << i;
}

// Whatever does not continue the same file starts again from the beginning:
// two versions of a file are never spliced together.
TEST_F(DownThreadTest, ResumeStartsOverWhenThePartialDataCannotBeContinued) {
    struct Case {
        const char* what;
        std::function<void(TStaticServer&, const fs::path& served, const fs::path& package)> after;
        bool askedForRange; // the last request asked for part of the file
        std::size_t requests;
    } cases[] = {
        {"the server ignores Range",
         [](TStaticServer& srv, const fs::path&, const fs::path&) {
             srv.SetFaults({.IgnoreRange = true});
         },
         true, 1},
        {"the file changed; If-Range sends it whole",
         [](TStaticServer&, const fs::path& served, const fs::path&) {
             test::WriteFile(served, Pattern(200000, 9));
             // Another time too (the same size): file times may count whole
             // seconds.
             fs::last_write_time(served, fs::file_time_type::clock::now() - std::chrono::hours(1));
         },
         true, 1},
        {"the file changed; the server ignores If-Range",
         [](TStaticServer& srv, const fs::path& served, const fs::path&) {
             test::WriteFile(served, Pattern(150000, 9));
             srv.SetFaults({.IgnoreIfRange = true});
         },
         false, 2},
        {"416",
         [](TStaticServer& srv, const fs::path&, const fs::path&) {
             srv.SetFaults({.RangeNotSatisfiable = true});
         },
         false, 2},
        {"partial data larger than the whole",
         [](TStaticServer&, const fs::path&, const fs::path& package) {
             test::WriteFile(PartialFile(package), std::string(250000, 'x'));
         },
         false, 1},
        {"recorded for another address",
         [](TStaticServer&, const fs::path&, const fs::path& package) {
             TResumeRecord record;
             ASSERT_TRUE(ReadResumeRecord(package, record));
             record.Url += "?other";
             ASSERT_FALSE(WriteResumeRecord(package, record));
         },
         false, 1},
    };
    TCatalogRow row = 1;
    for (const auto& c : cases) {
        const std::string name = "r" + std::to_string(row) + ".zip";
        const fs::path served = dir / ("srv/" + name);
        Serve(name, Pattern(200000, unsigned(row)));
        server.SetFaults({.CutAfter = 80000});
        ASSERT_TRUE(Download(row, name)) << c.what;
        ASSERT_TRUE(fs::exists(PartialFile(cache / name))) << c.what;

        server.SetFaults({});
        c.after(server, served, cache / name);
        server.ClearRequests();
        ASSERT_TRUE(Download(row, name)) << c.what;
        EXPECT_EQ(rows.Items[row].State, dsDone) << c.what;
        EXPECT_TRUE(test::ReadFile(cache / name) == test::ReadFile(served)) << c.what;
        EXPECT_FALSE(fs::exists(PartialFile(cache / name))) << c.what;
        EXPECT_FALSE(fs::exists(ResumeRecordFile(cache / name))) << c.what;
        const auto requests = server.Requests();
        ASSERT_EQ(requests.size(), c.requests) << c.what;
        EXPECT_EQ(requests.back().Headers.count("range"), c.askedForRange ? 1u : 0u) << c.what;
        ++row;
    }
}

TEST_F(DownThreadTest, CancelStopsTheWorkerAndRemovesThePartialData) {
    const std::string body = Pattern(1 << 20, 3);
    Serve("c.zip", body);
    // A cut first, so that there is kept data for the cancel to remove too.
    server.SetFaults({.CutAfter = 300000});
    ASSERT_TRUE(Download(1, "c.zip"));
    ASSERT_TRUE(fs::exists(cache / "c.zip.part"));

    server.SetFaults({.SlowDelayMs = 20, .SlowChunk = 4096});
    auto control = RequestDownload(rows, 1, Url("c.zip"), cache / "c.zip", dispatcher, workers);
    ASSERT_TRUE(control);
    ASSERT_TRUE(dispatcher->RunUntil([&] { return rows.Items[1].Progress > 30; }, 60s));
    control->Cancel();
    ASSERT_TRUE(dispatcher->RunUntil([&] { return rows.Items[1].State != dsDownloading; }, 60s));
    EXPECT_EQ(rows.Updates.back(), (TUpdate{1, dsNone, 0}));
    EXPECT_TRUE(workers->WaitIdle(10s));
    EXPECT_TRUE(FilesIn(cache).empty());
}

TEST_F(DownThreadTest, PackageIsCheckedAgainstTheCatalogue) {
    const std::string body = Pattern(300000, 4);
    const std::string digest = Sha256Hex(body);
    Serve("v.zip", body);
    struct Case {
        const char* what;
        TPackageCheck check;
        std::uint64_t cutFirst; // a first run cut after this many bytes; 0: none
        bool done;
    } cases[] = {
        {"digest and size match", {digest, body.size()}, 0, true},
        {"digest matches across a resume", {digest, 0}, 120000, true},
        {"another digest", {Sha256Hex("other"), 0}, 0, false},
        {"another digest after a resume", {Sha256Hex("other"), 0}, 120000, false},
        {"another size", {"", body.size() + 1}, 0, false},
    };
    TCatalogRow row = 1;
    for (const auto& c : cases) {
        test::TRecordingMessages messages;
        rows.Items[row].Name = "主题 " + std::to_string(row);
        if (c.cutFirst > 0) {
            server.SetFaults({.CutAfter = std::int64_t(c.cutFirst)});
            ASSERT_TRUE(RequestDownload(rows, row, Url("v.zip"), cache / "v.zip", dispatcher,
                                        workers, c.check));
            ASSERT_TRUE(dispatcher->RunUntil([&] { return Finished(rows.Items[row]); }, 60s));
            ASSERT_TRUE(fs::exists(cache / "v.zip.part")) << c.what;
            server.SetFaults({});
        }
        ASSERT_TRUE(RequestDownload(rows, row, Url("v.zip"), cache / "v.zip", dispatcher, workers,
                                    c.check));
        ASSERT_TRUE(dispatcher->RunUntil([&] { return Finished(rows.Items[row]); }, 60s));
        EXPECT_EQ(rows.Items[row].State, c.done ? dsDone : dsFailed) << c.what;
        if (c.done) {
            EXPECT_TRUE(messages.Texts().empty()) << c.what;
            EXPECT_EQ(FilesIn(cache), std::vector<fs::path>{"v.zip"}) << c.what;
        } else {
            EXPECT_EQ(messages.Texts(),
                      std::vector<std::string>{"文件校验失败：主题 " + std::to_string(row)})
                << c.what;
            EXPECT_TRUE(FilesIn(cache).empty()) << c.what; // nothing kept, nothing installed
        }
        fs::remove(cache / "v.zip");
        ++row;
    }
}

TEST_F(DownThreadTest, LargePackageGrowsMonotonicallyToHundred) {
    std::string body(50'000'000, '\0');
    for (std::size_t i = 0; i < body.size(); i += 4093)
        body[i] = static_cast<char>(i * 31);
    Serve("big.zip", body);
    ASSERT_TRUE(Download(1, "big.zip"));
    ASSERT_GE(rows.Updates.size(), 3u);
    EXPECT_LE(rows.Updates.size(), 103u); // the caller's mark, 0 %, once per percent, the end
    for (std::size_t i = 2; i + 1 < rows.Updates.size(); ++i) {
        EXPECT_EQ(rows.Updates[i].State, dsDownloading);
        EXPECT_GT(rows.Updates[i].Progress, rows.Updates[i - 1].Progress) << i;
    }
    EXPECT_EQ(rows.Updates.back(), (TUpdate{1, dsDone, 100}));
    EXPECT_EQ(rows.Updates[rows.Updates.size() - 2].Progress, 100);
    EXPECT_TRUE(test::ReadFile(cache / "big.zip") == body);
}

TEST_F(DownThreadTest, UnwritableTargetFailsAndLeavesNothing) {
    Serve("p.zip", std::string(5000, 'p'));
    test::WriteFile(dir / "a-file", "x");
    fs::create_directories(cache / "taken.zip/inside");
    struct Case {
        const char* what;
        fs::path target;
        fs::path folder; // must hold nothing new afterwards
    } cases[] = {
        {"cache folder is a file", dir / "a-file/p.zip", dir / "a-file"},
        {"cache folder missing", dir / "missing/p.zip", dir / "missing"},
        {"target is a folder", cache / "taken.zip", cache},
    };
    TCatalogRow row = 1;
    for (const auto& c : cases) {
        ASSERT_TRUE(Download(row, "p.zip", c.target)) << c.what;
        EXPECT_EQ(rows.Items[row].State, dsFailed) << c.what;
        EXPECT_FALSE(fs::is_regular_file(c.target)) << c.what;
        ++row;
    }
    EXPECT_EQ(FilesIn(cache), std::vector<fs::path>{"taken.zip"});
    EXPECT_TRUE(fs::is_directory(cache / "taken.zip/inside"));
    EXPECT_TRUE(fs::is_regular_file(dir / "a-file"));
}

TEST_F(DownThreadTest, FullDiskFailsWithoutPartialOrTemporaryFile) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows has no per-process file size limit to fill the disk with";
#endif
    // A file size limit makes writing fail part-way, as a full disk does: once
    // while the body still arrives, once in the last write before the rename.
    Serve("during.zip", std::string(1'000'000, 'f'));
    Serve("last.zip", std::string(100'000, 'f'));
    bool finished = false;
    {
        TFileSizeLimit full(65536);
        ASSERT_TRUE(full.Ok());
        finished = Download(1, "during.zip") && Download(2, "last.zip");
    }
    ASSERT_TRUE(finished);
    EXPECT_EQ(rows.Items[1].State, dsFailed);
    EXPECT_EQ(rows.Items[2].State, dsFailed);
    EXPECT_TRUE(FilesIn(cache).empty());
}

TEST_F(DownThreadTest, TransportErrorsFailWithoutAFileWhateverTheHeadersSaid) {
    using test::TFault;
    // The endless body meets the package bound, lowered here from its 1 GiB.
    const std::uint64_t oldMax = TDownThread::MaxPackageBytes.exchange(8u << 20);
    TCatalogRow row = 1;
    for (TFault fault : {TFault::ResetMidBody, TFault::ChunkCut, TFault::ShortBody,
                         TFault::HugeLength, TFault::RedirectLoop, TFault::Endless}) {
        if (!test::ClientSeesFault(fault))
            continue;
        test::TFaultServer faulty(fault);
        rows.Items.try_emplace(row);
        ASSERT_TRUE(RequestDownload(rows, row, faulty.Url(), cache / "p.zip", dispatcher, workers));
        ASSERT_TRUE(dispatcher->RunUntil([&] { return Finished(rows.Items[row]); }, 120s));
        EXPECT_EQ(rows.Items[row].State, dsFailed) << int(fault);
        EXPECT_TRUE(FilesIn(cache).empty()) << int(fault);
        ++row;
    }
    TDownThread::MaxPackageBytes = oldMax;
}

TEST_F(DownThreadTest, TwoRowsDownloadAtOnceAndIndependently) {
    const std::string a(400000, 'a'), b(300000, 'b');
    Serve("a.zip", a);
    Serve("b.zip", b);
    server.SetFaults({.SlowDelayMs = 1, .SlowChunk = 1024});
    rows.Items[1].Name = "a";
    rows.Items[2].Name = "b";
    ASSERT_TRUE(RequestDownload(rows, 1, Url("a.zip"), cache / "a.zip", dispatcher, workers));
    ASSERT_TRUE(RequestDownload(rows, 2, Url("b.zip"), cache / "b.zip", dispatcher, workers));
    ASSERT_TRUE(dispatcher->RunUntil(
        [&] { return Finished(rows.Items[1]) && Finished(rows.Items[2]); }, 120s));

    EXPECT_EQ(test::ReadFile(cache / "a.zip"), a);
    EXPECT_EQ(test::ReadFile(cache / "b.zip"), b);
    for (TCatalogRow row : {1, 2}) {
        auto updates = rows.UpdatesOf(row);
        ASSERT_GE(updates.size(), 4u);
        for (std::size_t i = 2; i + 1 < updates.size(); ++i)
            EXPECT_GT(updates[i].Progress, updates[i - 1].Progress) << row;
        EXPECT_EQ(updates.back(), (TUpdate{row, dsDone, 100}));
    }
    // Both ran at the same time: row 2 reported before row 1 had finished.
    auto firstOf2 = std::find_if(rows.Updates.begin() + 2, rows.Updates.end(),
                                 [](const TUpdate& u) { return u.Row == 2; });
    auto lastOf1 = std::find_if(rows.Updates.rbegin(), rows.Updates.rend(),
                                [](const TUpdate& u) { return u.Row == 1; });
    EXPECT_LT(firstOf2 - rows.Updates.begin(), rows.Updates.rend() - lastOf1 - 1);
}

TEST_F(DownThreadTest, SecondRequestForADownloadingRowStartsNothing) {
    Serve("one.zip", std::string(100000, 'o'));
    server.SetFaults({.SlowDelayMs = 1, .SlowChunk = 4096});
    rows.Items[1].Name = "one";
    EXPECT_TRUE(RequestDownload(rows, 1, Url("one.zip"), cache / "one.zip", dispatcher, workers));
    EXPECT_FALSE(RequestDownload(rows, 1, Url("one.zip"), cache / "one.zip", dispatcher, workers));
    ASSERT_TRUE(dispatcher->RunUntil([&] { return Finished(rows.Items[1]); }, 120s));
    EXPECT_FALSE(
        RequestDownload(rows, 7, Url("one.zip"), cache / "x.zip", dispatcher, workers)); // no row 7
    EXPECT_EQ(server.RequestCount("/one.zip"), 1u);
    EXPECT_EQ(rows.Items[1].State, dsDone);
    EXPECT_EQ(rows.Items.count(7), 0u);
}

TEST_F(DownThreadTest, AbandonedWorkersStopAtOnceWithoutTouchingTheListOrLeavingAFile) {
    // One download receives a percent every 0.2 s; the other waits for an
    // answer that never comes.
    Serve("slow.zip", std::string(1 << 20, 's'));
    Serve("stuck.zip", std::string(1 << 20, 'x'));
    server.SetFaults({.SlowDelayMs = 20, .SlowChunk = 1024});
    rows.Items[1].Name = "slow";
    rows.Items[2].Name = "stuck";
    ASSERT_TRUE(RequestDownload(rows, 1, Url("slow.zip"), cache / "slow.zip", dispatcher, workers));
    ASSERT_TRUE(dispatcher->RunUntil([&] { return rows.UpdatesOf(1).size() >= 3; }, 60s));
    server.Hold("/stuck.zip");
    ASSERT_TRUE(
        RequestDownload(rows, 2, Url("stuck.zip"), cache / "stuck.zip", dispatcher, workers));
    ASSERT_TRUE(dispatcher->RunUntil([&] { return rows.UpdatesOf(2).size() >= 2; }, 60s));
    ASSERT_EQ(FilesIn(cache).size(), 2u); // the partial data of the first one and its record

    // The window closes: no more steps, the list is gone; the owner waits,
    // bounded, for its workers.
    dispatcher->Shutdown();
    workers->Abandon();
    rows.Closed = true;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(workers->WaitIdle(10s));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s) << "a silent server holds no worker";
    EXPECT_EQ(rows.TouchedAfterClose, 0);
    EXPECT_EQ(rows.Items[1].State, dsDownloading); // their results are discarded
    // Nothing under a package's name; what arrived stays to be continued.
    EXPECT_EQ(FilesIn(cache), (std::vector<fs::path>{"slow.zip.part", "slow.zip.resume"}));
    TResumeRecord record;
    EXPECT_GT(ResumableOffset(cache / "slow.zip", Url("slow.zip"), 0, record), 0u);
    // Nothing starts in an abandoned group.
    EXPECT_FALSE(workers->Start([] {}));
}

TEST_F(DownThreadTest, StaleTemporaryFilesAreRemovedAndLiveOnesKept) {
    // A download that is still writing keeps its temporary file.
    Serve("live.zip", std::string(300000, 'l'));
    server.SetFaults({.SlowDelayMs = 20, .SlowChunk = 4096});
    rows.Items[1].Name = "live";
    ASSERT_TRUE(RequestDownload(rows, 1, Url("live.zip"), cache / "live.zip", dispatcher, workers));
    ASSERT_TRUE(dispatcher->RunUntil([&] { return rows.UpdatesOf(1).size() >= 3; }, 60s));
    const std::vector<fs::path> live = FilesIn(cache);
    ASSERT_EQ(live, (std::vector<fs::path>{"live.zip.part", "live.zip.resume"}));

    const std::vector<std::string> stale = {"a.zip.0123456789abcdef.tmp",
                                            "b c.themepack.fedcba9876543210.tmp"};
    const std::vector<std::string> kept = {"a.zip",
                                           "notes.tmp",
#ifndef _WIN32 // the same name as a stale one where letter case does not count
                                           "a.zip.0123456789ABCDEF.tmp",
#endif
                                           "a.zip.0123456789abcde.tmp",
                                           ".0123456789abcdef.tmp",
                                           "a.zip.0123456789abcdef.tmp.zip"};
    for (const auto& name : stale)
        test::WriteFile(cache / name, "left by a run that ended");
    for (const auto& name : kept)
        test::WriteFile(cache / name, "not ours");
    fs::create_directories(cache / "d.zip.0123456789abcdef.tmp"); // a folder, not a download

    EXPECT_EQ(RemoveStaleDownloads(cache, "b c.themepack"), 1u); // only that package's
    EXPECT_FALSE(fs::exists(cache / stale[1]));
    EXPECT_EQ(RemoveStaleDownloads(cache), 1u);
    EXPECT_FALSE(fs::exists(cache / stale[0]));
    for (const auto& name : kept)
        EXPECT_TRUE(fs::is_regular_file(cache / name)) << name;
    EXPECT_TRUE(fs::is_directory(cache / "d.zip.0123456789abcdef.tmp"));
    EXPECT_EQ(SweepPartialDownloads(cache, {}), 0u); // a running download's data stays
    for (const auto& name : live)
        EXPECT_TRUE(fs::exists(cache / name)) << name;
    EXPECT_EQ(RemoveStaleDownloads(dir / "no such folder"), 0u);

    // The live download goes on to the end.
    ASSERT_TRUE(dispatcher->RunUntil([&] { return Finished(rows.Items[1]); }, 120s));
    EXPECT_EQ(rows.Items[1].State, dsDone);
    EXPECT_EQ(fs::file_size(cache / "live.zip"), 300000u);
}

// nginx is started as a Linux process of the test's own; on Windows the
// cases above, against the test server, cover Range and If-Range.
#ifndef _WIN32
// Against the server publishers use: its ETag, Range and If-Range. Each
// download is cut by closing (the group abandoned) once part has arrived.
class NginxDownload : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(TNginx::Installed()) << "nginx is missing (scripts/install-deps.sh)";
        ASSERT_TRUE(nginx.Start()) << nginx.Error();
    }

    // Downloads until the row shows `cutAt` percent, then closes as the
    // window does; `check` goes with the download.
    void DownloadAndClose(const std::string& name, int cutAt, const TPackageCheck& check = {}) {
        auto dispatcher = std::make_shared<TLoopDispatcher>();
        auto workers = TWorkerGroup::Create();
        TTestRows rows;
        rows.Items[1].Name = name;
        ASSERT_TRUE(RequestDownload(rows, 1, Url(name), cache / name, dispatcher, workers, check));
        ASSERT_TRUE(dispatcher->RunUntil([&] { return rows.Items[1].Progress >= cutAt; }, 60s))
            << nginx.Error();
        ASSERT_EQ(rows.Items[1].State, dsDownloading);
        dispatcher->Shutdown();
        workers->Abandon();
        ASSERT_TRUE(workers->WaitIdle(10s));
    }
    TDownState Download(const std::string& name, const TPackageCheck& check = {}) {
        auto dispatcher = std::make_shared<TLoopDispatcher>();
        auto workers = TWorkerGroup::Create();
        TTestRows rows;
        rows.Items[1].Name = name;
        EXPECT_TRUE(RequestDownload(rows, 1, Url(name), cache / name, dispatcher, workers, check));
        EXPECT_TRUE(dispatcher->RunUntil([&] { return Finished(rows.Items[1]); }, 60s));
        dispatcher->Shutdown();
        EXPECT_TRUE(workers->WaitIdle(10s));
        return rows.Items[1].State;
    }
    std::string Url(const std::string& name) const { return nginx.BaseUrl() + "/" + name; }

    test::TTempDir dir;
    fs::path cache = dir / "cache";
    fs::path www = dir / "www";
    // 4 MB in about two seconds: time to cut it.
    TNginx nginx{dir / "nginx", www, {.LimitRate = "2m"}};
};

TEST_F(NginxDownload, ClosedDownloadResumesWithRangeAndIfRangeAndIsChecked) {
    const std::string body = Pattern(4 << 20, 5);
    test::WriteFile(www / "p.zip", body);
    fs::create_directories(cache);
    const TPackageCheck check{Sha256Hex(body), body.size()};
    DownloadAndClose("p.zip", 20, check);
    EXPECT_EQ(FilesIn(cache), (std::vector<fs::path>{"p.zip.part", "p.zip.resume"}));
    const std::uint64_t kept = fs::file_size(cache / "p.zip.part");
    ASSERT_GT(kept, 0u);

    EXPECT_EQ(Download("p.zip", check), dsDone);
    EXPECT_TRUE(test::ReadFile(cache / "p.zip") == body);
    EXPECT_EQ(FilesIn(cache), std::vector<fs::path>{"p.zip"});
    const auto requests = nginx.Requests();
    ASSERT_EQ(requests.size(), 2u);
    const TNginxRequest& resumed = requests.back();
    EXPECT_EQ(resumed.Status, 206);
    EXPECT_EQ(resumed.Range, "bytes=" + std::to_string(kept) + "-");
    EXPECT_FALSE(resumed.IfRange.empty()); // nginx's ETag
    EXPECT_EQ(resumed.BodyBytes, body.size() - kept);
}

TEST_F(NginxDownload, FileReplacedOnTheServerIsFetchedWholeNotSpliced) {
    const std::string first = Pattern(4 << 20, 6), second = Pattern(4 << 20, 7);
    test::WriteFile(www / "p.zip", first);
    fs::create_directories(cache);
    DownloadAndClose("p.zip", 20);
    ASSERT_TRUE(fs::exists(cache / "p.zip.part"));
    // Same size, another time: another ETag and Last-Modified.
    test::WriteFile(www / "p.zip", second);
    fs::last_write_time(www / "p.zip", fs::file_time_type::clock::now() - std::chrono::hours(1));

    EXPECT_EQ(Download("p.zip"), dsDone);
    EXPECT_TRUE(test::ReadFile(cache / "p.zip") == second);
    const auto requests = nginx.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_FALSE(requests.back().Range.empty());
    EXPECT_EQ(requests.back().Status, 200); // If-Range no longer matched
    EXPECT_EQ(requests.back().BodyBytes, second.size());
}

#endif

TEST(PartialDownloads, SweepKeepsRecentDataOfListedPackagesOnly) {
    test::TTempDir dir;
    const auto keep = [&](const std::string& package) {
        test::WriteFile(dir / (package + ".part"), "data");
        test::WriteFile(dir / (package + ".resume"), "{}");
    };
    keep("listed.zip");
    keep("gone.zip");
    keep("old.zip");
    fs::last_write_time(dir / "old.zip.part",
                        fs::file_time_type::clock::now() - PartialKeepTime - std::chrono::hours(1));
    test::WriteFile(dir / "orphan.zip.part", "no record");
    test::WriteFile(dir / "lonely.zip.resume", "no data");
    test::WriteFile(dir / "listed.zip", "a package is never swept");
    const auto listed = [](const std::string& package) { return package != "gone.zip"; };

    EXPECT_EQ(SweepPartialDownloads(dir.Path(), listed), 6u);
    EXPECT_EQ(FilesIn(dir.Path()),
              (std::vector<fs::path>{"listed.zip", "listed.zip.part", "listed.zip.resume"}));
    // Without a catalogue to go by, only age counts.
    keep("gone.zip");
    EXPECT_EQ(SweepPartialDownloads(dir.Path(), {}), 0u);
    EXPECT_EQ(SweepPartialDownloads(dir.Path(), {}, std::chrono::seconds(0)), 4u);
}

TEST(WorkerGroup, WaitIdleIsBoundedAndReturnsWhenTheLastWorkerHasCleanedUp) {
    auto group = TWorkerGroup::Create();
    EXPECT_TRUE(group->WaitIdle(0ms));
    std::mutex gate;
    std::unique_lock hold(gate);
    std::atomic<bool> cleaned{false};
    struct TCleanup {
        explicit TCleanup(std::atomic<bool>* flag) : Flag(flag) {}
        ~TCleanup() { *Flag = true; }
        std::atomic<bool>* Flag;
    };
    auto cleanup = std::make_shared<TCleanup>(&cleaned);
    ASSERT_TRUE(group->Start([&gate, cleanup] { std::lock_guard wait(gate); }));
    cleanup.reset(); // the worker's copy is the last one
    EXPECT_EQ(group->Running(), 1);
    EXPECT_FALSE(group->WaitIdle(50ms)); // still blocked: the wait gives up
    hold.unlock();
    EXPECT_TRUE(group->WaitIdle(10s));
    EXPECT_TRUE(cleaned); // what the worker owned is gone once the wait returns
    EXPECT_EQ(group->Running(), 0);
}

} // namespace
} // namespace velmora::test

// The Linux tool; velmora-tool.exe gets the same cases under Wine
// (scripts/test-win32-tool.sh).
#ifndef _WIN32
namespace velmora::test {
namespace {

TProgramRun RunTool(const std::string& arguments, const fs::path& scratch) {
    return RunProgram(std::string(VELMORA_TOOL) + " " + arguments, scratch);
}

TEST(ToolGet, PrintsEveryPublishedUpdateAndExitsByTheFinalState) {
    test::TTempDir dir;
    test::WriteFile(dir / "srv/a.zip", std::string(1000, 'a'));
    TStaticServer server(dir / "srv");
    ASSERT_TRUE(server.Start());
    fs::create_directories(dir / "out");
    // A temporary file an earlier run of the same download left, and one of
    // another download.
    test::WriteFile(dir / "out/a.zip.00000000000000aa.tmp", "cut off");
    test::WriteFile(dir / "out/b.zip.00000000000000bb.tmp", "someone else's");
    const std::string digest = Sha256Hex(std::string(1000, 'a'));
    struct Case {
        const char* path;
        std::string options;
        const char* output;
        int exitCode;
        const char* error; // in stderr
    } cases[] = {
        {"/a.zip", "", "1 0\n1 100\n2 100\n", 0, ""},
        {"/missing.zip", "", "1 0\n3 0\n", 1, ""},
        {"/a.zip", " --sha256 " + Sha256Hex("other"), "1 0\n1 100\n3 100\n", 1,
         "文件校验失败：a.zip"},
        {"/a.zip", " --sha256 " + digest, "1 0\n1 100\n2 100\n", 0, ""},
    };
    for (const auto& c : cases) {
        fs::path out = dir / (std::string("out") + c.path);
        fs::remove(out);
        TProgramRun run =
            RunTool("get '" + server.BaseUrl() + c.path + "' '" + out.string() + "'" + c.options,
                    dir.Path());
        EXPECT_NE(run.Err.find(c.error), std::string::npos) << run.Err;
        EXPECT_EQ(run.Out, c.output) << c.path;
        EXPECT_EQ(run.Exit, c.exitCode) << c.path;
        EXPECT_EQ(fs::exists(out), c.exitCode == 0) << c.path;
    }
    EXPECT_EQ(test::ReadFile(dir / "out/a.zip"), std::string(1000, 'a'));
    EXPECT_EQ(FilesIn(dir / "out"), (std::vector<fs::path>{"a.zip", "b.zip.00000000000000bb.tmp"}));
    EXPECT_EQ(RunTool("get only-one-argument", dir.Path()).Exit, 2);
    EXPECT_EQ(RunTool("get http://h/a.zip x.zip --sha256 123", dir.Path()).Exit, 2);
}

// `get` with the program's own limits against every misbehaving server, all at
// once: each ends failed, leaving neither the package nor a temporary file.
// The times go to the output; the lowest-speed window bounds the silent ones.
TEST(ToolGet, EveryFaultEndsFailedWithNothingLeft) {
    using test::TFault;
    const std::pair<const char*, TFault> faults[] = {
        {"a accepts, never answers", TFault::Silent},
        {"b headers, then stalls", TFault::HeadersThenStall},
        {"c announces more than it sends", TFault::ShortBody},
        {"d resets mid-body", TFault::ResetMidBody},
        {"d' chunked body cut mid-chunk", TFault::ChunkCut},
        {"e redirects in a loop", TFault::RedirectLoop},
        {"f announces 2 GB, sends a little", TFault::HugeLength},
        {"g endless body without a length", TFault::Endless},
        {"h one byte every 2 s", TFault::Trickle},
    };
    test::TTempDir dir;
    std::vector<std::unique_ptr<test::TFaultServer>> servers;
    std::vector<std::thread> runs;
    std::vector<TProgramRun> results(std::size(faults));
    std::vector<double> seconds(std::size(faults));
    for (std::size_t i = 0; i < std::size(faults); ++i) {
        servers.push_back(std::make_unique<test::TFaultServer>(faults[i].second));
        servers.back()->TrickleMs = 2000;
        fs::create_directories(dir / std::to_string(i));
        const std::string command = "get '" + servers.back()->Url() + "' '" +
                                    (dir / std::to_string(i) / "p.zip").string() + "'";
        runs.emplace_back([&, i, command] {
            const auto start = std::chrono::steady_clock::now();
            results[i] = RunTool(command, dir / std::to_string(i));
            seconds[i] =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        });
    }
    for (auto& t : runs)
        t.join();
    for (std::size_t i = 0; i < std::size(faults); ++i) {
        std::printf("get, %-34s exit %d after %.2f s, %llu body bytes sent\n", faults[i].first,
                    results[i].Exit, seconds[i],
                    static_cast<unsigned long long>(servers[i]->BodyBytesSent()));
        EXPECT_EQ(results[i].Exit, 1) << faults[i].first;
        EXPECT_TRUE(FilesIn(dir / std::to_string(i)).empty()) << faults[i].first;
    }
}

// `get` killed in the middle of a download: the package never appears under
// its name; the temporary file the kill leaves goes with the next download.
TEST(ToolGet, KilledMidDownloadLeavesNoPackageUnderItsName) {
    test::TTempDir dir;
    test::WriteFile(dir / "srv/big.zip", std::string(4 << 20, 'k'));
    TStaticServer server(dir / "srv");
    ASSERT_TRUE(server.Start());
    server.SetFaults({.SlowDelayMs = 5, .SlowChunk = 16 * 1024});
    fs::create_directories(dir / "out");
    const fs::path out = dir / "out/big.zip";
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::execl(VELMORA_TOOL, VELMORA_TOOL, "get", (server.BaseUrl() + "/big.zip").c_str(),
                out.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    // Killed once part of the body is on disk.
    bool started = false;
    for (int i = 0; i < 2000 && !started; ++i) {
        for (const auto& name : FilesIn(dir / "out"))
            if (name.extension() == ".part" && fs::file_size(dir / "out" / name) > 0)
                started = true;
        std::this_thread::sleep_for(5ms);
    }
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    EXPECT_TRUE(started);
    EXPECT_FALSE(fs::exists(out));
    EXPECT_EQ(FilesIn(dir / "out"), (std::vector<fs::path>{"big.zip.part", "big.zip.resume"}));
    const std::uint64_t kept = fs::file_size(dir / "out/big.zip.part");

    // The next run continues from what the killed one had written.
    server.SetFaults({});
    TProgramRun run =
        RunTool("get '" + server.BaseUrl() + "/big.zip' '" + out.string() + "'", dir.Path());
    EXPECT_EQ(run.Exit, 0);
    EXPECT_NE(run.Out.find("resume " + std::to_string(kept) + "\n"), std::string::npos) << run.Out;
    EXPECT_EQ(FilesIn(dir / "out"), std::vector<fs::path>{"big.zip"});
    EXPECT_TRUE(test::ReadFile(out) == std::string(4 << 20, 'k'));
}

} // namespace
} // namespace velmora::test
#endif
