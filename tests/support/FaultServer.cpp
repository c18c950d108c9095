#include "tests/support/FaultServer.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstring>
#include <stdexcept>

namespace velmora::test {

namespace {

constexpr int PollMs = 20;

// The few socket calls that differ between the systems (Winsock's sockets
// are handles, which fit the int the server keeps).
#ifdef _WIN32
constexpr int SendFlags = 0;
int Poll(pollfd* p, int n, int ms) {
    return ::WSAPoll(p, static_cast<ULONG>(n), ms);
}
int AcceptSocket(int listen) {
    const SOCKET s = ::accept(static_cast<SOCKET>(listen), nullptr, nullptr);
    return s == INVALID_SOCKET ? -1 : static_cast<int>(s);
}
void CloseSocket(int fd) {
    ::closesocket(static_cast<SOCKET>(fd));
}
int OpenSocket() {
    static const bool started = [] {
        WSADATA data;
        return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    if (!started)
        return -1;
    const SOCKET s = ::socket(AF_INET, SOCK_STREAM, 0);
    return s == INVALID_SOCKET ? -1 : static_cast<int>(s);
}
#else
constexpr int SendFlags = MSG_NOSIGNAL;
int Poll(pollfd* p, int n, int ms) {
    return ::poll(p, static_cast<nfds_t>(n), ms);
}
int AcceptSocket(int listen) {
    return ::accept4(listen, nullptr, nullptr, SOCK_CLOEXEC);
}
void CloseSocket(int fd) {
    ::close(fd);
}
int OpenSocket() {
    return ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
}
#endif

template <typename T> int SetOption(int fd, int level, int name, const T& value) {
    return ::setsockopt(fd, level, name, reinterpret_cast<const char*>(&value), sizeof value);
}

} // namespace

bool ClientSeesFault(TFault fault) {
#ifdef _WIN32
    static const bool underWine =
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
    if (underWine)
        return fault != TFault::ChunkCut && fault != TFault::ResetMidBody;
#endif
    (void)fault;
    return true;
}

TFaultServer::TFaultServer(TFault fault) : FFault(fault) {
    FListen = OpenSocket();
    if (FListen < 0)
        throw std::runtime_error("socket");
    int one = 1;
    SetOption(FListen, SOL_SOCKET, SO_REUSEADDR, one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (::bind(FListen, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(FListen, 16) != 0 ||
        ::getsockname(FListen, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        CloseSocket(FListen);
        throw std::runtime_error("bind");
    }
    FPort = ntohs(addr.sin_port);
    FAcceptor = std::thread([this] { AcceptLoop(); });
}

TFaultServer::~TFaultServer() {
    FStop = true;
    FAcceptor.join();
    std::lock_guard lock(FLock);
    for (auto& t : FHandlers)
        t.join();
    CloseSocket(FListen);
}

std::string TFaultServer::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(FPort) + path;
}

void TFaultServer::AcceptLoop() {
    while (!FStop) {
        pollfd p{static_cast<decltype(pollfd::fd)>(FListen), POLLIN, 0};
        if (Poll(&p, 1, PollMs) <= 0)
            continue;
        int fd = AcceptSocket(FListen);
        if (fd < 0)
            continue;
        ++FConnections;
        std::lock_guard lock(FLock);
        FHandlers.emplace_back([this, fd] { Serve(fd); });
    }
}

bool TFaultServer::SendAll(int fd, const char* data, std::size_t size, bool body) {
    while (size > 0) {
        if (FStop)
            return false;
        pollfd p{static_cast<decltype(pollfd::fd)>(fd), POLLOUT, 0};
        if (Poll(&p, 1, PollMs) <= 0)
            continue;
        const long n =
            ::send(fd, data, static_cast<int>(std::min<std::size_t>(size, 1 << 20)), SendFlags);
        if (n <= 0)
            return false;
        if (body)
            FSent += static_cast<std::uint64_t>(n);
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool TFaultServer::Hold(int fd, int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!FStop && (ms < 0 || std::chrono::steady_clock::now() < end)) {
        pollfd p{static_cast<decltype(pollfd::fd)>(fd), POLLIN, 0};
        if (Poll(&p, 1, PollMs) > 0) {
            char buf[4096];
            if (::recv(fd, buf, sizeof buf, 0) <= 0)
                return false; // the client closed the connection
        }
    }
    return !FStop;
}

void TFaultServer::Serve(int fd) {
    // The request head, up to its blank line.
    std::string request;
    while (!FStop && request.find("\r\n\r\n") == std::string::npos && request.size() < 65536) {
        pollfd p{static_cast<decltype(pollfd::fd)>(fd), POLLIN, 0};
        if (Poll(&p, 1, PollMs) <= 0)
            continue;
        char buf[4096];
        const long n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0)
            break;
        request.append(buf, static_cast<std::size_t>(n));
    }
    const std::string body(5000, 'b');
    const auto head = [&](const std::string& fields) {
        std::string h =
            "HTTP/1.0 200 OK\r\nContent-Type: application/octet-stream\r\n" + fields + "\r\n";
        return SendAll(fd, h.data(), h.size());
    };
    switch (FFault) {
    case TFault::Silent:
        Hold(fd, -1);
        break;
    case TFault::HeadersThenStall:
        if (head("Content-Length: 10000\r\n"))
            Hold(fd, -1);
        break;
    case TFault::ShortBody:
        if (head("Content-Length: 10000\r\n"))
            SendAll(fd, body.data(), body.size(), true);
        break;
    case TFault::HugeLength:
        if (head("Content-Length: 2000000000\r\n"))
            SendAll(fd, body.data(), body.size(), true);
        break;
    case TFault::CleanNoLength:
        if (head(""))
            SendAll(fd, body.data(), body.size(), true);
        break;
    case TFault::ResetMidBody:
        if (head("") && SendAll(fd, body.data(), body.size(), true)) {
            // Closing with a zero linger time sends a reset instead of an end.
            linger l{1, 0};
            SetOption(fd, SOL_SOCKET, SO_LINGER, l);
        }
        break;
    case TFault::ChunkCut: {
        std::string h = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n"
                        "2710\r\n";
        if (SendAll(fd, h.data(), h.size()))
            SendAll(fd, body.data(), body.size(), true);
        break;
    }
    case TFault::RedirectLoop: {
        std::string h = "HTTP/1.0 302 Found\r\nLocation: /loop\r\nContent-Length: 0\r\n\r\n";
        SendAll(fd, h.data(), h.size());
        break;
    }
    case TFault::Endless: {
        const std::string block(64 * 1024, 'e');
        if (head(""))
            while (SendAll(fd, block.data(), block.size(), true)) {
            }
        break;
    }
    case TFault::Trickle:
        if (head(""))
            while (SendAll(fd, "t", 1, true) && Hold(fd, TrickleMs)) {
            }
        break;
    }
    CloseSocket(fd);
}

} // namespace velmora::test
