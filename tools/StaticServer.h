#pragma once
// A static file server for a catalogue folder, on cpp-httplib. It serves the
// demo catalogue for `velmora-tool serve`, where the query addresses of the
// three search services get the demo's result pages (tools/SearchRoutes.h), and
// is the HTTP fixture of the tests, with fault modes that real servers show now
// and then.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace httplib {
class Server;
}

namespace velmora {

struct TServerFaults {
    bool NoContentLength = false; // end the body by closing the connection
    std::int64_t CutAfter = -1;   // announce the full length, send this many bytes, close
    int SlowDelayMs = 0;          // pause after every SlowChunk bytes
    std::size_t SlowChunk = 1024;
    // Requests for part of a file ("Range: bytes=N-"), which the server
    // otherwise answers as a real one does (206, or the whole file with 200
    // when If-Range names another version of it):
    bool IgnoreRange = false;         // always the whole file, 200
    bool IgnoreIfRange = false;       // 206 of the file as it is now, whatever If-Range says
    bool RangeNotSatisfiable = false; // 416 to every range request
};

struct TLoggedRequest {
    std::string Path;    // decoded path as the server saw it
    std::string Target;  // raw request target, query included
    std::string Version; // "HTTP/1.0" …
    std::map<std::string, std::string> Headers; // names lower-case
};

class TStaticServer {
public:
    explicit TStaticServer(std::filesystem::path root);
    ~TStaticServer();
    TStaticServer(const TStaticServer&) = delete;
    TStaticServer& operator=(const TStaticServer&) = delete;

    // Binds (port 0 picks a free one) and serves on a thread of its own.
    // Returns false when the address cannot be bound.
    bool Start(const std::string& bindAddress = "127.0.0.1", int port = 0);
    // Binds and serves on the calling thread until Stop().
    bool Run(const std::string& bindAddress, int port);
    void Stop();

    int Port() const { return FPort; }
    std::string BaseUrl() const; // "http://127.0.0.1:PORT"

    void SetFaults(const TServerFaults& faults);
    // Answers requests for `from` (decoded path) with a redirect to `to`.
    void AddRedirect(const std::string& from, const std::string& to, int status = 302);
    // Answers requests for `path` with this status and body instead of a file.
    void AddStatus(const std::string& path, int status, const std::string& body = {});
    // Requests for `path` get no answer, the connection open and silent,
    // until Release (or Stop): a server that accepts and never answers.
    void Hold(const std::string& path);
    // Answers the held requests for `path` (every path when empty) and holds
    // it no more.
    void Release(const std::string& path = {});

    std::vector<TLoggedRequest> Requests() const;
    std::size_t RequestCount(const std::string& path) const;
    void ClearRequests();

private:
    void Setup();

    std::filesystem::path FRoot;
    std::unique_ptr<httplib::Server> FServer;
    std::thread FThread;
    int FPort = 0;
    std::string FBind = "127.0.0.1";

    mutable std::mutex FLock;
    TServerFaults FFaults;
    std::map<std::string, std::pair<std::string, int>> FRedirects;
    std::map<std::string, std::pair<int, std::string>> FStatuses;
    std::vector<TLoggedRequest> FRequests;
    std::set<std::string> FHeld;
    std::condition_variable FReleased;
    bool FStopping = false;
};

// The validator the server gives a file (its ETag): changes with its size or
// its modification time.
std::string FileETag(const std::filesystem::path& file);

// Maps a decoded request path to a file below root, or an empty path when the
// request would leave the folder or names no regular file.
std::filesystem::path ResolveServedFile(const std::filesystem::path& root, const std::string& path);

} // namespace velmora
