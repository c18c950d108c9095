#include "tools/StaticServer.h"

#include "platform/util/Ascii.h"
#include "tools/SearchRoutes.h"

#include <httplib.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <fstream>

namespace velmora {

namespace {

// Browsers render pages and pictures by their type; everything else is bytes.
const char* ContentType(const std::filesystem::path& file) {
    const std::string ext = LowerAscii(file.extension().string());
    if (ext == ".html" || ext == ".htm")
        return "text/html; charset=utf-8";
    if (ext == ".jpg" || ext == ".jpeg")
        return "image/jpeg";
    if (ext == ".png")
        return "image/png";
    if (ext == ".gif")
        return "image/gif";
    return "application/octet-stream";
}

// The first byte of "bytes=N-" or "bytes=N-M" (the rest of the file is sent
// either way), or -1 for anything else.
std::int64_t RangeStart(const std::string& header) {
    if (header.rfind("bytes=", 0) != 0)
        return -1;
    std::size_t pos = 6;
    std::int64_t v = 0;
    const std::size_t begin = pos;
    while (pos < header.size() && header[pos] >= '0' && header[pos] <= '9' && pos - begin < 18)
        v = v * 10 + (header[pos++] - '0');
    if (pos == begin || pos >= header.size() || header[pos] != '-')
        return -1;
    return v;
}

} // namespace
namespace fs = std::filesystem;

std::string FileETag(const fs::path& file) {
    std::error_code ec;
    const auto size = fs::file_size(file, ec);
    const auto time = fs::last_write_time(file, ec).time_since_epoch().count();
    char tag[64];
    std::snprintf(tag, sizeof tag, "\"%llx-%llx\"", static_cast<unsigned long long>(size),
                  static_cast<unsigned long long>(time));
    return tag;
}

fs::path ResolveServedFile(const fs::path& root, const std::string& path) {
    if (path.empty() || path[0] != '/' || path.find('\0') != std::string::npos)
        return {};
    fs::path rel;
    std::size_t start = 1;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos)
            end = path.size();
        std::string part = path.substr(start, end - start);
        if (part == ".." || part.find('\\') != std::string::npos)
            return {};
        if (!part.empty() && part != ".")
            rel /= part;
        start = end + 1;
    }
    if (rel.empty())
        return {};
    std::error_code ec;
    fs::path canonRoot = fs::canonical(root, ec);
    if (ec)
        return {};
    fs::path file = fs::canonical(canonRoot / rel, ec);
    if (ec || !fs::is_regular_file(file, ec))
        return {};
    // A link inside the folder must not lead outside it.
    auto [r, f] = std::mismatch(canonRoot.begin(), canonRoot.end(), file.begin(), file.end());
    if (r != canonRoot.end())
        return {};
    return file;
}

TStaticServer::TStaticServer(fs::path root)
    : FRoot(std::move(root)), FServer(std::make_unique<httplib::Server>()) {
    Setup();
}

TStaticServer::~TStaticServer() {
    Stop();
}

std::string TStaticServer::BaseUrl() const {
    return "http://" + FBind + ":" + std::to_string(FPort);
}

void TStaticServer::SetFaults(const TServerFaults& faults) {
    std::lock_guard lock(FLock);
    FFaults = faults;
}

void TStaticServer::AddRedirect(const std::string& from, const std::string& to, int status) {
    std::lock_guard lock(FLock);
    FRedirects[from] = {to, status};
}

void TStaticServer::AddStatus(const std::string& path, int status, const std::string& body) {
    std::lock_guard lock(FLock);
    FStatuses[path] = {status, body};
}

void TStaticServer::Hold(const std::string& path) {
    std::lock_guard lock(FLock);
    FHeld.insert(path);
}

void TStaticServer::Release(const std::string& path) {
    std::lock_guard lock(FLock);
    if (path.empty())
        FHeld.clear();
    else
        FHeld.erase(path);
    FReleased.notify_all();
}

std::vector<TLoggedRequest> TStaticServer::Requests() const {
    std::lock_guard lock(FLock);
    return FRequests;
}

std::size_t TStaticServer::RequestCount(const std::string& path) const {
    std::lock_guard lock(FLock);
    return static_cast<std::size_t>(std::count_if(FRequests.begin(), FRequests.end(),
                                                  [&](const auto& r) { return r.Path == path; }));
}

void TStaticServer::ClearRequests() {
    std::lock_guard lock(FLock);
    FRequests.clear();
}

void TStaticServer::Setup() {
    FServer->set_keep_alive_max_count(1);
    FServer->Get(".*", [this](const httplib::Request& req, httplib::Response& res) {
        TServerFaults faults;
        {
            std::unique_lock lock(FLock);
            TLoggedRequest logged{req.path, req.target, req.version, {}};
            for (const auto& [k, v] : req.headers) {
                logged.Headers[LowerAscii(k)] = v;
            }
            FRequests.push_back(std::move(logged));
            FReleased.wait(lock, [&] { return FStopping || !FHeld.contains(req.path); });
            faults = FFaults;
            if (auto it = FRedirects.find(req.path); it != FRedirects.end()) {
                res.set_redirect(it->second.first, it->second.second);
                return;
            }
            if (auto it = FStatuses.find(req.path); it != FStatuses.end()) {
                res.status = it->second.first;
                res.set_content(it->second.second, "text/html");
                return;
            }
        }
        // The demo's search services answer their query addresses by keyword
        // and page; everything else is a file.
        const std::size_t mark = req.target.find('?');
        const auto route = RouteSearchQuery(
            FRoot, req.path, mark == std::string::npos ? std::string() : req.target.substr(mark + 1));
        fs::path file = route ? route->File : ResolveServedFile(FRoot, req.path);
        if (file.empty()) {
            res.status = 404;
            res.set_content("Not Found", "text/plain");
            return;
        }
        std::error_code ec;
        const std::uint64_t size = fs::file_size(file, ec);
        if (ec) {
            res.status = 404;
            res.set_content("Not Found", "text/plain");
            return;
        }
        // Part of the file when asked for and still the same file. The server
        // decides about ranges itself: the library would cut the answer again
        // (and knows nothing of If-Range), so its parsed ranges are dropped;
        // the request object is the library's own, not a const one.
        const_cast<httplib::Request&>(req).ranges.clear();
        const std::string etag = FileETag(file);
        std::uint64_t first = 0;
        const std::int64_t asked = RangeStart(req.get_header_value("Range"));
        if (asked >= 0 && !faults.IgnoreRange) {
            const std::string ifRange = req.get_header_value("If-Range");
            if (faults.RangeNotSatisfiable || std::uint64_t(asked) >= size) {
                res.status = 416;
                res.set_header("Content-Range", "bytes */" + std::to_string(size));
                return;
            }
            if (ifRange.empty() || ifRange == etag || faults.IgnoreIfRange)
                first = static_cast<std::uint64_t>(asked);
        }
        res.set_header("ETag", etag);
        res.set_header("Accept-Ranges", "bytes");
        if (first > 0) {
            res.status = 206;
            res.set_header("Content-Range", "bytes " + std::to_string(first) + "-" +
                                                std::to_string(size - 1) + "/" +
                                                std::to_string(size));
        } else {
            res.status = 200;
        }
        auto in = std::make_shared<std::ifstream>(file, std::ios::binary);
        // CutAfter counts bytes of this answer's body.
        const std::uint64_t length = size - first;
        const std::uint64_t limit =
            faults.CutAfter >= 0
                ? std::min<std::uint64_t>(length, static_cast<std::uint64_t>(faults.CutAfter))
                : length;
        auto provide = [in, limit, faults, first](std::size_t offset, httplib::DataSink& sink) {
            if (offset >= limit)
                return false; // cut short: the connection closes before the announced end
            std::size_t chunk = faults.SlowDelayMs > 0 ? faults.SlowChunk : 64 * 1024;
            chunk = static_cast<std::size_t>(std::min<std::uint64_t>(chunk, limit - offset));
            std::string buf(chunk, '\0');
            in->seekg(static_cast<std::streamoff>(first + offset));
            in->read(buf.data(), static_cast<std::streamsize>(chunk));
            if (in->gcount() <= 0)
                return false;
            if (!sink.write(buf.data(), static_cast<std::size_t>(in->gcount())))
                return false;
            if (faults.SlowDelayMs > 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(faults.SlowDelayMs));
            return true;
        };
        const char* type = route ? route->ContentType : ContentType(file);
        if (faults.NoContentLength) {
            res.set_content_provider(type, [provide, limit](std::size_t offset, httplib::DataSink& sink) {
                if (offset >= limit) {
                    sink.done();
                    return true;
                }
                return provide(offset, sink);
            });
        } else {
            res.set_content_provider(
                static_cast<std::size_t>(length), type,
                [provide](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                    return provide(offset, sink);
                });
        }
    });
}

bool TStaticServer::Start(const std::string& bindAddress, int port) {
    FBind = bindAddress;
    FPort = port == 0 ? FServer->bind_to_any_port(bindAddress) : (FServer->bind_to_port(bindAddress, port) ? port : -1);
    if (FPort <= 0)
        return false;
    FThread = std::thread([this] { FServer->listen_after_bind(); });
    // stop() only takes effect once the accept loop runs.
    while (!FServer->is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return true;
}

bool TStaticServer::Run(const std::string& bindAddress, int port) {
    FBind = bindAddress;
    FPort = port;
    if (!FServer->bind_to_port(bindAddress, port))
        return false;
    return FServer->listen_after_bind();
}

void TStaticServer::Stop() {
    {
        // Held requests must end for the server's threads to.
        std::lock_guard lock(FLock);
        FStopping = true;
        FReleased.notify_all();
    }
    if (FServer)
        FServer->stop();
    if (FThread.joinable())
        FThread.join();
}

} // namespace velmora
