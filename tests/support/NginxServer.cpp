#include "tests/support/NginxServer.h"

#include "tests/support/TestSupport.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <sstream>
#include <thread>

namespace velmora::test {
namespace fs = std::filesystem;

namespace {

constexpr const char* NginxProgram = "/usr/sbin/nginx";

// A loopback port nobody listens on right now.
int FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return 0;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
        port = ntohs(addr.sin_port);
    ::close(fd);
    return port;
}

bool Answers(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::close(fd);
    return ok;
}

// The text between the next pair of double quotes from pos on.
std::string Quoted(const std::string& line, std::size_t& pos) {
    const std::size_t open = line.find('"', pos);
    const std::size_t close = open == std::string::npos ? open : line.find('"', open + 1);
    if (close == std::string::npos) {
        pos = line.size();
        return {};
    }
    pos = close + 1;
    std::string v = line.substr(open + 1, close - open - 1);
    return v == "-" ? std::string() : v;
}

} // namespace

TNginx::TNginx(fs::path folder, fs::path root, TNginxOptions options)
    : FFolder(std::move(folder)), FRoot(std::move(root)), FOptions(std::move(options)) {}

TNginx::~TNginx() {
    Stop();
}

bool TNginx::Installed() {
    return ::access(NginxProgram, X_OK) == 0;
}

bool TNginx::Start() {
    if (!Installed())
        return false;
    fs::create_directories(FFolder / "temp");
    // The port is free when chosen; another program may take it before
    // nginx binds it, so a start that fails is tried again on another.
    for (int attempt = 0; attempt < 5; ++attempt) {
        FPort = FreePort();
        const std::string dir = FFolder.string();
        std::ostringstream conf;
        conf << "daemon off;\nmaster_process off;\n"
             << "pid " << dir << "/nginx.pid;\n"
             << "error_log " << dir << "/error.log;\n"
             << "events { worker_connections 64; }\n"
             << "http {\n"
             << "  log_format velmora '$status $body_bytes_sent \"$http_range\" \"$http_if_range\" "
                "\"$request\"';\n"
             << "  access_log " << dir << "/access.log velmora;\n";
        for (const char* kind : {"client_body", "proxy", "fastcgi", "uwsgi", "scgi"})
            conf << "  " << kind << "_temp_path " << dir << "/temp/" << kind << ";\n";
        conf << "  default_type application/octet-stream;\n"
             << "  server {\n    listen 127.0.0.1:" << FPort << ";\n    root " << FRoot.string()
             << ";\n";
        if (!FOptions.LimitRate.empty())
            conf << "    limit_rate " << FOptions.LimitRate << ";\n";
        conf << "  }\n}\n";
        WriteFile(FFolder / "nginx.conf", conf.str());

        const std::string prefix = dir + "/", config = dir + "/nginx.conf",
                          errors = dir + "/error.log";
        FPid = ::fork();
        if (FPid < 0)
            return false;
        if (FPid == 0) {
            // -e: even the messages before the configuration is read go to
            // the test's folder, never to the system's log.
            ::execl(NginxProgram, NginxProgram, "-p", prefix.c_str(), "-c", config.c_str(), "-e",
                    errors.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        for (int i = 0; i < 500; ++i) {
            if (Answers(FPort))
                return true;
            int status = 0;
            if (::waitpid(FPid, &status, WNOHANG) == FPid) {
                FPid = -1;
                break; // it ended: the port was taken, or the configuration is bad
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        Stop();
    }
    return false;
}

void TNginx::Stop() {
    if (FPid <= 0)
        return;
    ::kill(FPid, SIGTERM);
    int status = 0;
    ::waitpid(FPid, &status, 0);
    FPid = -1;
}

std::string TNginx::BaseUrl() const {
    return "http://127.0.0.1:" + std::to_string(FPort);
}

std::vector<TNginxRequest> TNginx::Requests() const {
    std::vector<TNginxRequest> out;
    std::istringstream log(ReadFile(FFolder / "access.log"));
    for (std::string line; std::getline(log, line);) {
        TNginxRequest r;
        std::istringstream head(line);
        head >> r.Status >> r.BodyBytes;
        std::size_t pos = 0;
        r.Range = Quoted(line, pos);
        r.IfRange = Quoted(line, pos);
        r.Request = Quoted(line, pos);
        out.push_back(std::move(r));
    }
    return out;
}

std::string TNginx::Error() const {
    std::error_code ec;
    return fs::exists(FFolder / "error.log", ec) ? ReadFile(FFolder / "error.log") : std::string();
}

} // namespace velmora::test
