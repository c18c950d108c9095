#pragma once
// nginx serving a folder on 127.0.0.1, as a publisher would serve a catalogue.
// The test starts it as a single process of its own user (no master, no
// switch of user, so it works as root and as anyone else) on a free loopback
// port, with a configuration, pid file, logs and temporary folders all in a
// folder of its own; nothing under /etc or /var is read or written. Stopped
// with the object.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <sys/types.h>

namespace velmora::test {

struct TNginxOptions {
    std::string LimitRate; // nginx's limit_rate per answer ("2m"); empty: none
};

// One line of the access log.
struct TNginxRequest {
    int Status = 0;
    std::uint64_t BodyBytes = 0; // body bytes the server sent
    std::string Range;           // the request's Range header, or empty
    std::string IfRange;         // its If-Range header, or empty
    std::string Request;         // "GET /path HTTP/1.0"
};

class TNginx {
public:
    // `folder` holds the configuration and logs; `root` is the folder served.
    TNginx(std::filesystem::path folder, std::filesystem::path root, TNginxOptions options = {});
    ~TNginx();
    TNginx(const TNginx&) = delete;
    TNginx& operator=(const TNginx&) = delete;

    // Whether the nginx program is installed.
    static bool Installed();
    // Starts nginx and waits until it answers; false (with Error()) when it
    // does not start.
    bool Start();
    void Stop();

    std::string BaseUrl() const;
    std::vector<TNginxRequest> Requests() const;
    // The error log, for a message when something went wrong.
    std::string Error() const;

private:
    std::filesystem::path FFolder, FRoot;
    TNginxOptions FOptions;
    int FPort = 0;
    pid_t FPid = -1;
};

} // namespace velmora::test
