#include "tests/support/FaultServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <stdexcept>

namespace velmora::test {

namespace {

constexpr int PollMs = 20;

} // namespace

TFaultServer::TFaultServer(TFault fault) : FFault(fault) {
    FListen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (FListen < 0)
        throw std::runtime_error("socket");
    int one = 1;
    ::setsockopt(FListen, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (::bind(FListen, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(FListen, 16) != 0 ||
        ::getsockname(FListen, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        ::close(FListen);
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
    ::close(FListen);
}

std::string TFaultServer::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(FPort) + path;
}

void TFaultServer::AcceptLoop() {
    while (!FStop) {
        pollfd p{FListen, POLLIN, 0};
        if (::poll(&p, 1, PollMs) <= 0)
            continue;
        int fd = ::accept4(FListen, nullptr, nullptr, SOCK_CLOEXEC);
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
        pollfd p{fd, POLLOUT, 0};
        if (::poll(&p, 1, PollMs) <= 0)
            continue;
        ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
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
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, PollMs) > 0) {
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
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, PollMs) <= 0)
            continue;
        char buf[4096];
        ssize_t n = ::recv(fd, buf, sizeof buf, 0);
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
            ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
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
    ::close(fd);
}

} // namespace velmora::test
