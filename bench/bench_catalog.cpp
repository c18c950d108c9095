// Catalogue parsing benchmark.
//   bench_catalog generate DIR [ITEMS]  writes DIR/config.txt (code page 936)
//                                and DIR/config.utf8.json (the same in UTF-8):
//                                ITEMS items (default 120,000), five sixths
//                                themes in groups of 100, the rest cursor
//                                schemes and screen savers in equal parts
//   bench_catalog parse FILE [RUNS]  loads FILE as the program does and prints
//                                the median wall time in milliseconds
#include "catalog/uCatalog.h"
#include "install/CodePage.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

using namespace velmora;
namespace fs = std::filesystem;

namespace {

class TCountingSink : public ICatalogSink {
public:
    TCatalogRow AddRow(int, TCatalogRow, const TCatalogItem&) override { return Rows++; }
    void SetThemeHeader(const std::string&) override {}
    TCatalogRow Rows = 0;
};

std::string Document(long items) {
    const long themes = items * 5 / 6;
    const long groups = (themes + 99) / 100;
    const long others = (items - themes) / 2;
    std::string doc = "{\"themes\":[";
    for (long g = 0; g < groups; ++g) {
        doc += g ? ",{" : "{";
        doc += "\"name\":\"风景主题分组 " + std::to_string(g) + "\",\"list\":[";
        for (long i = 0; i < 100 && g * 100 + i < themes; ++i) {
            doc += i ? "," : "";
            doc += "{\"name\":\" 美丽的山水风光主题 " + std::to_string(g) + "-" +
                   std::to_string(i) + " \",\"iszip\":" + (i % 3 ? "true" : "false") + "}";
        }
        doc += "]}";
    }
    doc += "],\"cursors\":[";
    for (long i = 0; i < others; ++i)
        doc += (i ? ",\"" : "\"") + std::string("炫彩鼠标指针方案 ") + std::to_string(i) + "\"";
    doc += "],\"screensave\":[";
    for (long i = 0; i < items - themes - others; ++i)
        doc += (i ? ",\"" : "\"") + std::string("星空屏幕保护程序 ") + std::to_string(i) + "\"";
    doc += "]}";
    return doc;
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::string(argv[1]) == "generate") {
        fs::create_directories(argv[2]);
        std::string utf8 = Document(argc >= 4 ? std::stol(argv[3]) : 120000);
        std::ofstream(fs::path(argv[2]) / "config.utf8.json", std::ios::binary) << utf8;
        std::ofstream(fs::path(argv[2]) / "config.txt", std::ios::binary) << Utf8ToCp936(utf8);
        return 0;
    }
    if (argc >= 3 && std::string(argv[1]) == "parse") {
        std::ifstream in(argv[2], std::ios::binary);
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        int runs = argc >= 4 ? std::stoi(argv[3]) : 5;
        TFolderFields folders;
        folders.ExePath = fs::temp_directory_path() / "velmora-bench-catalog";
        folders.WinDir = folders.ExePath / "Windows";
        folders.SysDir = folders.WinDir / "System32";
        folders.UserThemesDir = folders.ExePath / "Themes";
        std::vector<double> ms;
        TCatalogRow rows = 0;
        for (int r = 0; r < runs; ++r) {
            TCountingSink sink;
            auto t0 = std::chrono::steady_clock::now();
            LoadCatalogText(text, folders, sink);
            ms.push_back(
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
                    .count());
            rows = sink.Rows;
        }
        std::sort(ms.begin(), ms.end());
        std::printf("%.1f\n", ms[ms.size() / 2]);
        std::fprintf(stderr, "rows: %lld\n", static_cast<long long>(rows));
        return 0;
    }
    std::cerr << "usage: bench_catalog generate DIR [ITEMS] | parse FILE [RUNS]\n";
    return 2;
}
