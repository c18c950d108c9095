// velmora-tool serve: serves a catalogue folder over HTTP.
#include "tools/StaticServer.h"
#include "tools/ToolCommon.h"
#include "tools/Verbs.h"

#include <iostream>
#include <thread>
#ifdef _WIN32
#include <windows.h>
#else
#include <csignal>
#endif

namespace velmora::tool {

#ifdef _WIN32
namespace {
TStaticServer* RunningServer = nullptr;

// Ctrl+C, Ctrl+Break and closing the console end the server; Windows calls
// this on a thread of its own.
BOOL WINAPI OnConsoleStop(DWORD) {
    if (RunningServer)
        RunningServer->Stop();
    return TRUE;
}
} // namespace
#endif

int VerbServe(const TArgs& args) {
    auto parsed = ParseArgs(args, {"port", "bind"});
    if (!parsed || parsed->Positional.size() != 1)
        return UsageError("usage: serve DIR [--port P] [--bind ADDR]");
    std::filesystem::path dir = parsed->Positional[0];
    if (!std::filesystem::is_directory(dir))
        return UsageError("serve: not a folder: " + dir.string());
    int port = std::stoi(parsed->Get("port", "18080"));
    std::string bind = parsed->Get("bind", "127.0.0.1");

#ifdef _WIN32
    TStaticServer server(dir);
    RunningServer = &server;
    SetConsoleCtrlHandler(OnConsoleStop, TRUE);
#else
    // SIGINT and SIGTERM end the server from a waiting thread, not from a
    // signal handler, so that stopping needs nothing async-signal-safe.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    TStaticServer server(dir);
    std::thread([&server, stopSignals] {
        int sig = 0;
        sigwait(&stopSignals, &sig);
        server.Stop();
    }).detach();
#endif
    std::cerr << "velmora-tool: serving " << dir.string() << " on http://" << bind << ":" << port << '\n';
    const bool ran = server.Run(bind, port);
#ifdef _WIN32
    SetConsoleCtrlHandler(OnConsoleStop, FALSE);
    RunningServer = nullptr;
#endif
    if (!ran)
        return UsageError("serve: cannot listen on " + bind + ":" + std::to_string(port));
    return 0;
}

} // namespace velmora::tool
