#pragma once
// An HTTP server on 127.0.0.1 that misbehaves on purpose, written on plain
// sockets because the faults live below what an HTTP library lets a handler
// do: answering nothing, resetting the connection, lying about the length.
// Every connection gets the same behaviour; each runs on a thread of its own
// until it is done or the server stops.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace velmora::test {

enum class TFault {
    Silent,           // accepts, reads the request, never answers
    HeadersThenStall, // 200 with Content-Length 10000, then nothing
    ShortBody,        // announces 10000, sends 5000, closes
    ResetMidBody,     // no length, 5000 bytes, then a reset
    ChunkCut,         // chunked, a chunk of 10000 cut after 5000, closes
    RedirectLoop,     // 302 to itself, every time
    HugeLength,       // announces 2,000,000,000, sends 5000, closes
    Endless,          // no length, bytes as fast as they are taken, never ends
    Trickle,          // no length, one byte every TrickleMs
    CleanNoLength,    // no length, 5000 bytes, a clean close: a complete body
};

// Whether the HTTP client under test can tell the fault from a complete body.
// Wine's WinINet takes a connection closed in the middle of a chunk, or reset
// after the bytes sent, for the end of the body, so under Wine those two
// cannot fail the request; libcurl (and Windows itself) see every fault.
// Nothing WinINet gives tells them from a clean end under Wine: every
// InternetReadFile succeeds and the last returns 0 bytes, GetLastError stays
// 0, InternetQueryDataAvailable answers 0 bytes with success after it, as for
// a clean close; the chunk sizes and the final empty chunk never reach the
// caller (only "Transfer-Encoding: chunked" does), and neither body has a
// Content-Length to compare with.
bool ClientSeesFault(TFault fault);

class TFaultServer {
public:
    explicit TFaultServer(TFault fault);
    ~TFaultServer();
    TFaultServer(const TFaultServer&) = delete;
    TFaultServer& operator=(const TFaultServer&) = delete;

    std::string Url(const std::string& path = "/p.zip") const;
    int Connections() const { return FConnections.load(); }
    // Bytes of body sent over all connections.
    std::uint64_t BodyBytesSent() const { return FSent.load(); }
    std::atomic<int> TrickleMs{500}; // set by the test while the server runs

private:
    void AcceptLoop();
    void Serve(int fd);
    bool SendAll(int fd, const char* data, std::size_t size, bool body = false);
    // Waits until the server stops or the client goes; false when it went.
    bool Hold(int fd, int ms);

    TFault FFault;
    int FListen = -1;
    int FPort = 0;
    std::atomic<bool> FStop{false};
    std::atomic<int> FConnections{0};
    std::atomic<std::uint64_t> FSent{0};
    std::thread FAcceptor;
    std::mutex FLock;
    std::vector<std::thread> FHandlers;
};

} // namespace velmora::test
