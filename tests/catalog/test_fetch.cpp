// Requests on a worker with the answer handed to the main thread: what arrives,
// what is stored, and that an abandoned request neither answers nor holds up
// the end of the program.
#include "catalog/uFetch.h"
#include "tests/support/TestSupport.h"
#include "tools/StaticServer.h"

#include <gtest/gtest.h>

#include <optional>
#include <thread>

namespace velmora::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class FetchTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server.Start()); }
    void TearDown() override {
        dispatcher->Shutdown();
        workers->Abandon();
        EXPECT_TRUE(workers->WaitIdle(10s));
    }

    // Fetches on a worker and runs the main loop until the answer is in.
    std::optional<TFetchResult> FetchAndWait(TFetchRequest request) {
        std::optional<TFetchResult> answer;
        std::thread::id answeredOn;
        if (!FetchAsync(std::move(request), dispatcher, workers, [&](TFetchResult& r) {
                answeredOn = std::this_thread::get_id();
                answer = std::move(r);
            }))
            return std::nullopt;
        dispatcher->RunUntil([&] { return answer.has_value(); }, 30s);
        EXPECT_EQ(answeredOn, std::this_thread::get_id());
        return answer;
    }

    test::TTempDir dir;
    TStaticServer server{dir / "srv"};
    std::shared_ptr<TLoopDispatcher> dispatcher = std::make_shared<TLoopDispatcher>();
    std::shared_ptr<TWorkerGroup> workers = TWorkerGroup::Create();
};

TEST_F(FetchTest, AnswersOnTheMainThreadAndStoresOnlyWhatArrived) {
    test::WriteFile(dir / "srv/p.jpg", "picture");
    test::WriteFile(dir / "srv/big.jpg", std::string(5000, 'b'));
    struct Case {
        const char* path;
        std::uint64_t maxBytes;
        const char* body;
        bool saved;
    } cases[] = {
        {"/p.jpg", 0, "picture", true},
        {"/missing.jpg", 0, "", false},
        {"/big.jpg", 4096, "", false}, // far larger than asked for: nothing
    };
    for (const Case& c : cases) {
        const fs::path target = dir / "cache/deep" / (std::string(c.path + 1) + ".saved");
        auto answer = FetchAndWait({server.BaseUrl() + c.path, {}, c.maxBytes, target});
        ASSERT_TRUE(answer) << c.path;
        EXPECT_EQ(answer->Body, c.body) << c.path;
        EXPECT_EQ(answer->Saved, c.saved) << c.path;
        EXPECT_EQ(fs::exists(target), c.saved) << c.path;
    }
    EXPECT_EQ(test::ReadFile(dir / "cache/deep/p.jpg.saved"), "picture");
}

TEST_F(FetchTest, ALimitCutsASilentServerShort) {
    test::WriteFile(dir / "srv/late.txt", "too late");
    server.Hold("/late.txt");
    const auto start = std::chrono::steady_clock::now();
    auto answer = FetchAndWait({.Url = server.BaseUrl() + "/late.txt", .Limit = 300ms});
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->Body, "");
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    server.Release();
}

TEST_F(FetchTest, AnAbandonedRequestEndsAtOnceAndNeverAnswers) {
    test::WriteFile(dir / "srv/never.jpg", "never");
    server.Hold("/never.jpg");
    bool answered = false;
    ASSERT_TRUE(FetchAsync({server.BaseUrl() + "/never.jpg", {}, 0, dir / "never.jpg"}, dispatcher,
                           workers, [&](TFetchResult&) { answered = true; }));
    // The server gives no signal when a request arrives; look now and then.
    for (int i = 0; i < 10000 && server.RequestCount("/never.jpg") == 0; ++i)
        std::this_thread::sleep_for(1ms);
    ASSERT_EQ(server.RequestCount("/never.jpg"), 1u);
    // The owner closes: its dispatcher refuses, its workers are told to stop.
    dispatcher->Shutdown();
    workers->Abandon();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(workers->WaitIdle(10s));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    server.Release();
    dispatcher->RunPending();
    EXPECT_FALSE(answered);
    EXPECT_FALSE(fs::exists(dir / "never.jpg"));
    // An abandoned group starts nothing more.
    EXPECT_FALSE(FetchAsync({.Url = server.BaseUrl() + "/never.jpg"}, dispatcher, workers,
                            [&](TFetchResult&) { answered = true; }));
}

} // namespace
} // namespace velmora::test
