// velmora-fault-server FAULT: the tests' misbehaving HTTP server as a program,
// for clients that run outside the test process (velmora-tool.exe under Wine,
// scripts/test-win32-tool.sh). Prints its address, then serves until killed.
// velmora-fault-server slow DIR: the folder served as the test server serves
// it (ETag, Range, If-Range), 16 KB every 5 ms, so that a download can be
// killed half-way.
#include "tests/support/FaultServer.h"
#include "tools/StaticServer.h"

#include <chrono>
#include <cstring>
#include <iostream>
#include <thread>

int main(int argc, char** argv) {
    using velmora::test::TFault;
    const struct {
        const char* Name;
        TFault Fault;
    } faults[] = {
        {"silent", TFault::Silent},     {"stall", TFault::HeadersThenStall},
        {"short", TFault::ShortBody},   {"reset", TFault::ResetMidBody},
        {"chunkcut", TFault::ChunkCut}, {"redirect", TFault::RedirectLoop},
        {"huge", TFault::HugeLength},   {"endless", TFault::Endless},
        {"trickle", TFault::Trickle},   {"clean", TFault::CleanNoLength},
    };
    if (argc == 3 && std::strcmp(argv[1], "slow") == 0) {
        velmora::TStaticServer server(argv[2]);
        if (!server.Start())
            return 1;
        server.SetFaults({.SlowDelayMs = 5, .SlowChunk = 16 * 1024});
        std::cout << server.BaseUrl() << std::endl;
        for (;;)
            std::this_thread::sleep_for(std::chrono::hours(1));
    }
    for (const auto& f : faults) {
        if (argc == 2 && std::strcmp(argv[1], f.Name) == 0) {
            velmora::test::TFaultServer server(f.Fault);
            server.TrickleMs = 2000; // one byte every 2 s: far below the lowest speed
            std::cout << server.Url() << std::endl;
            for (;;)
                std::this_thread::sleep_for(std::chrono::hours(1));
        }
    }
    std::cerr << "usage: velmora-fault-server silent|stall|short|reset|chunkcut|redirect|huge|"
                 "endless|trickle|clean\n"
                 "       velmora-fault-server slow DIR\n";
    return 2;
}
