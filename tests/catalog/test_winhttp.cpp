#include "catalog/uWinHttp.h"
#include "tests/support/FaultServer.h"
#include "tests/support/TestSupport.h"
#include "tools/StaticServer.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace velmora::test {
namespace {

TEST(SplitUrl, Cases) {
    struct Case {
        const char* url;
        const char* host;
        const char* path;
        int port;
        bool secure;
    } cases[] = {
        {"http://example.com/a/b.txt", "example.com", "/a/b.txt", 80, false},
        {"HTTP://Example.com/a", "Example.com", "/a", 80, false},
        {"http://h:8080/x?y=1&z=2", "h", "/x?y=1&z=2", 8080, false},
        {"http://h:/x", "h", "/x", 80, false},
        {"http://h:abc/x", "h", "/x", 80, false},
        {"http://h", "h", "", 80, false},
        {"https://h/x", "h", "/x", 443, true},
        {"HTTPS://h:8443", "h", "", 8443, true},
        {"h/x", "h", "/x", 80, false},
    };
    for (const auto& c : cases) {
        TSplitUrl u = SplitUrl(c.url);
        EXPECT_EQ(u.Host, c.host) << c.url;
        EXPECT_EQ(u.ObjectPath, c.path) << c.url;
        EXPECT_EQ(u.Port, c.port) << c.url;
        EXPECT_EQ(u.Secure, c.secure) << c.url;
    }
}

struct TProgressCall {
    std::int64_t SoFar, Total;
};

class WinHttpTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::WriteFile(dir / "files/ten.bin", std::string(10000, 'x'));
        test::WriteFile(dir / "files/empty.bin", "");
        test::WriteFile(dir / "files/中 文.txt", "hello");
        ASSERT_TRUE(server.Start());
        http.OnProgress = [this](TWinHttp&, const std::string& url, std::int64_t sofar, std::int64_t total) {
            lastUrl = url;
            calls.push_back({sofar, total});
        };
    }
    std::string Url(const std::string& path) const { return server.BaseUrl() + path; }

    test::TTempDir dir;
    TStaticServer server{dir.Path()};
    TWinHttp http;
    std::vector<TProgressCall> calls;
    std::string lastUrl;
};

TEST_F(WinHttpTest, ReportsEveryBlockAndOnceMoreAfterTheLast) {
    EXPECT_EQ(http.GetString(Url("/files/ten.bin")), std::string(10000, 'x'));
    ASSERT_GE(calls.size(), 4u); // at least three blocks of at most 4096 bytes, then the final call
    std::int64_t previous = 0;
    for (std::size_t i = 0; i + 1 < calls.size(); ++i) {
        EXPECT_GT(calls[i].SoFar, previous);
        EXPECT_LE(calls[i].SoFar - previous, 4096);
        EXPECT_EQ(calls[i].Total, 10000);
        previous = calls[i].SoFar;
    }
    EXPECT_EQ(calls.back().SoFar, 10000);
    EXPECT_EQ(calls[calls.size() - 2].SoFar, 10000);
    EXPECT_EQ(lastUrl, Url("/files/ten.bin"));
}

TEST_F(WinHttpTest, EmptyBodyReportsOnceWithZero) {
    EXPECT_EQ(http.GetString(Url("/files/empty.bin")), "");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].SoFar, 0);
}

TEST_F(WinHttpTest, FailuresDeliverNothingAndNoProgress) {
    server.AddStatus("/gone", 404, "not here");
    server.AddStatus("/error", 500, "oops");
    server.AddRedirect("/loop", "/loop");
    TStaticServer closed{dir.Path()};
    ASSERT_TRUE(closed.Start());
    const std::string closedUrl = closed.BaseUrl() + "/files/ten.bin";
    closed.Stop();

    for (const std::string& url : {Url("/gone"), Url("/error"), Url("/loop"), Url("/missing.bin"), closedUrl,
                                   std::string("http://"), std::string("")}) {
        TMemoryStream stream;
        http.GetStream(url, stream);
        EXPECT_EQ(stream.Size(), 0u) << url;
    }
    EXPECT_TRUE(calls.empty());
}

TEST_F(WinHttpTest, FollowsRedirects) {
    server.AddRedirect("/old", "/files/ten.bin", 301);
    server.AddRedirect("/older", "/old", 302);
    EXPECT_EQ(http.GetString(Url("/older")).size(), 10000u);
}

TEST_F(WinHttpTest, WithoutContentLengthTheTotalIsZero) {
    server.SetFaults({.NoContentLength = true});
    EXPECT_EQ(http.GetString(Url("/files/ten.bin")).size(), 10000u);
    ASSERT_FALSE(calls.empty());
    for (const auto& c : calls)
        EXPECT_EQ(c.Total, 0);
    EXPECT_EQ(calls.back().SoFar, 10000);
}

TEST_F(WinHttpTest, BodyCutShortKeepsWhatArrived) {
    server.SetFaults({.CutAfter = 5000});
    TMemoryStream stream;
    http.GetStream(Url("/files/ten.bin"), stream);
    EXPECT_EQ(stream.Size(), 5000u);
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back().SoFar, 5000);
}

TEST_F(WinHttpTest, TimeoutEndsAStalledBody) {
    server.SetFaults({.SlowDelayMs = 1500, .SlowChunk = 1000});
    http.Timeout = 300;
    TMemoryStream stream;
    http.GetStream(Url("/files/ten.bin"), stream);
    EXPECT_LT(stream.Size(), 10000u);
}

TEST_F(WinHttpTest, SendsTheRequestAsConfigured) {
    EXPECT_EQ(http.GetString(Url("/files/%E4%B8%AD%20%E6%96%87.txt?q=1")), "hello");
    http.SetReferer("http://ref.example/");
    http.SetAccept("*.*");
    http.GetString(Url("/files/ten.bin"));
    http.GetString(Url("/files/empty.bin"));

    auto log = server.Requests();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].Version, "HTTP/1.0");
    EXPECT_EQ(log[0].Target, "/files/%E4%B8%AD%20%E6%96%87.txt?q=1");
    EXPECT_EQ(log[0].Headers["accept"], "text/html, */*");
    EXPECT_EQ(log[0].Headers.count("referer"), 0u);
    EXPECT_EQ(log[0].Headers.count("user-agent"), 0u);
    for (std::size_t i : {1u, 2u}) {
        EXPECT_EQ(log[i].Headers["referer"], "http://ref.example/");
        EXPECT_EQ(log[i].Headers["accept"], "*.*");
    }
}

// Addresses as UrlDecode leaves them (raw spaces and bytes) reach the server
// escaped; a decoded line break cannot add a header through the referrer.
TEST_F(WinHttpTest, SendsAnyAddressInAFormTheServerAccepts) {
    const std::string raw = Url("/files/中 文.txt?q=a b");
    http.SetReferer(raw + "\r\nX-Injected: 1");
    EXPECT_EQ(http.GetString(raw), "hello");
    auto log = server.Requests();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].Target, "/files/%E4%B8%AD%20%E6%96%87.txt?q=a%20b");
    EXPECT_EQ(log[0].Headers.count("x-injected"), 0u);
    // The test server undoes escapes in header values: the whole referrer
    // arrived as one header.
    EXPECT_EQ(log[0].Headers["referer"], raw + "\r\nX-Injected: 1");
}

TEST_F(WinHttpTest, HttpsIsNeverSentAsPlainHttp) {
    // The local server speaks plain HTTP only: a TLS handshake with it fails.
    EXPECT_EQ(http.GetString("https://127.0.0.1:" + std::to_string(server.Port()) + "/files/ten.bin"), "");
}

// Every way a transfer can go wrong ends the request as failed, however much
// arrived and whatever the headers announced; only a body without a length
// that ends in a clean close is whole.
TEST(WinHttpFaults, OnlyACleanEndIsAWholeBody) {
    using test::TFault;
    struct Case {
        TFault fault;
        bool whole;
    } cases[] = {
        {TFault::Silent, false},     {TFault::HeadersThenStall, false},
        {TFault::ShortBody, false},  {TFault::ResetMidBody, false},
        {TFault::ChunkCut, false},   {TFault::RedirectLoop, false},
        {TFault::HugeLength, false}, {TFault::Endless, false},
        {TFault::Trickle, false},    {TFault::CleanNoLength, true},
    };
    for (const auto& c : cases) {
        if (!test::ClientSeesFault(c.fault))
            continue;
        test::TFaultServer server(c.fault);
        server.TrickleMs = 100; // never silent for the time-out, yet far below the lowest speed
        TWinHttp http;
        http.Timeout = 500;
        http.LowSpeedWindow = 1500;
        http.MaxBodyBytes = 4 << 20; // the endless body
        TMemoryStream stream;
        EXPECT_EQ(http.GetStream(server.Url(), stream), c.whole) << int(c.fault);
        EXPECT_EQ(http.GetString(server.Url()).size(), c.whole ? 5000u : 0u) << int(c.fault);
    }
}

TEST(WinHttpFaults, GetStringBoundsAnEndlessAnswer) {
    test::TFaultServer server(test::TFault::Endless);
    TWinHttp http;
    EXPECT_EQ(http.GetString(server.Url()), "");
    EXPECT_LT(server.BodyBytesSent(), 64u << 20);
    EXPECT_EQ(http.MaxBodyBytes, 0u); // the caller's setting is left as it was
}

class TThrowingStream : public IByteStream {
public:
    void Write(const char*, std::size_t) override { throw std::runtime_error("disk full"); }
    std::uint64_t Size() const override { return 0; }
};

TEST_F(WinHttpTest, ErrorsOfTheStreamAndTheHandlerReachTheCaller) {
    TThrowingStream stream;
    EXPECT_THROW(
        {
            try {
                http.GetStream(Url("/files/ten.bin"), stream);
            } catch (const std::runtime_error& e) {
                EXPECT_STREQ(e.what(), "disk full");
                throw;
            }
        },
        std::runtime_error);

    http.OnProgress = [](TWinHttp&, const std::string&, std::int64_t, std::int64_t) {
        throw std::logic_error("stop");
    };
    EXPECT_THROW(http.GetString(Url("/files/ten.bin")), std::logic_error);
    EXPECT_THROW(http.GetString(Url("/files/empty.bin")), std::logic_error);
    // The client stays usable afterwards.
    http.OnProgress = nullptr;
    EXPECT_EQ(http.GetString(Url("/files/ten.bin")).size(), 10000u);
}

} // namespace
} // namespace velmora::test
