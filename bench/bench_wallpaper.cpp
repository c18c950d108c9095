// Benchmarks of the wallpaper search core: the picture store's MD5 over a
// large file, and extraction of results from large and crafted result pages.
//   bench_wallpaper md5 FILE             digest, then milliseconds
//   bench_wallpaper generate DIR         writes the pages below into DIR
//   bench_wallpaper page sogou|youdao BYTES FILE   one result page of about
//                                        BYTES bytes, half results, half script
//   bench_wallpaper extract sogou|youdao FILE RUNS   median milliseconds
#include "install/CodePage.h"
#include "wallpaper/uMD5.h"
#include "wallpaper/uSearchEngines.h"

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
using Clock = std::chrono::steady_clock;

namespace {

double Ms(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double, std::milli>(b - a).count();
}

int Md5(const char* path) {
    std::FILE* f = std::fopen(path, "rb");
    if (!f)
        return 2;
    std::vector<char> buf(1 << 20);
    auto t0 = Clock::now();
    TMD5Context ctx;
    MD5Init(ctx);
    for (std::size_t n; (n = std::fread(buf.data(), 1, buf.size(), f)) > 0;)
        MD5Update(ctx, buf.data(), n);
    std::string hex = MD5Hex(MD5Final(ctx));
    auto t1 = Clock::now();
    std::fclose(f);
    std::cout << hex << ' ' << Ms(t0, t1) << '\n';
    return 0;
}

void Write(const fs::path& p, const std::string& bytes) {
    std::ofstream(p, std::ios::binary) << bytes;
}

std::string Filler(std::size_t bytes) {
    std::string s = "<script>var cfg = {};\n";
    while (s.size() < bytes)
        s += "cfg.item" + std::to_string(s.size()) + " = '风景壁纸 高清 1920x1080';\n";
    return s + "</script>\n";
}

std::string SogouPage(std::size_t target) {
    std::string s = "<html><head><title>风景 - 搜狗图片</title>" + Filler(target / 2) +
                    "</head><body>\n<div id=\"content1\"><ul class=\"piclist2\">\n";
    for (int n = 0; s.size() < target; ++n)
        s += "<li><a href=\"/pics/detail?id=" + std::to_string(n) +
             "\" target=\"_blank\" onclick=\"phb('http://img.example/full/" + std::to_string(n) +
             ".jpg','风景')\"><!--thumb_beg--><img src=\"http://img.example/thumb/" +
             std::to_string(n) +
             ".jpg\" alt=\"风景\" /><!--thumb_end--></a>\n<p>1920x1080 "
             "风景壁纸</p></li>\n";
    s += "</ul>\n<p class=\"pagebar\"><a href=\"/pics?page=1\">[1]</a> 2 <a "
         "href=\"/pics?page=3\">[3]</a></p></div></body></html>\n";
    return Utf8ToCp936(s);
}

std::string YoudaoPage(std::size_t target, bool crafted) {
    std::string s = "<!DOCTYPE html><html><head><meta charset=\"utf-8\">" +
                    Filler(crafted ? 0 : target / 2) + "</head><body>\n<div id=\"resultLists\">\n";
    for (int n = 0; s.size() < target; ++n) {
        if (crafted) {
            // Chained ".*" runs with nothing that completes the item.
            std::string block = "<tbody><center>";
            while (block.size() < target / 16)
                block += "<a href=\"x\"logci('a','b','c' src=\"q\" ";
            s += block + "</tbody>\n";
            continue;
        }
        s += "<tbody><tr><td>\n<center><a href=\"http://image.youdao.com/view?id=" +
             std::to_string(n) + "\" onclick=\"logci('img','http://img.example/full/" +
             std::to_string(n) + ".jpg')\"><img src=\"http://img.example/thumb/" +
             std::to_string(n) +
             ".jpg\" width=\"150\" height=\"100\"/></a></center>\n"
             "<div class=\"title\">风景壁纸</div></td></tr></tbody>\n";
    }
    return s + "<div id=\"hiddenSummary23\" style=\"display:none;\"></div>"
               "<div id=\"pagination\"><a href=\"/search?q=x&start=24\">2</a></div></body></html>";
}

std::string CraftedSogouPage(std::size_t target) {
    std::string s = "<div id=\"content1\"><ul class=\"piclist2\">";
    while (s.size() < target) {
        std::string block = "<li><a href=";
        while (block.size() < target / 16)
            block += " onclick=\"phb('x' <!--thumb_beg--><img src=\"";
        s += block + "</li>";
    }
    return s + "<p class=\"pagebar\">1 <a href=\"/pics?page=2\">2</a></p></div>";
}

int Generate(const fs::path& dir) {
    fs::create_directories(dir);
    Write(dir / "sogou.html",
          SogouPage((2 << 20) + (2 << 20) / 12)); // UTF-8 size; stored in code page 936
    Write(dir / "youdao.html", YoudaoPage(2 << 20, false));
    Write(dir / "sogou-crafted.html", CraftedSogouPage(1 << 20));
    Write(dir / "youdao-crafted.html", YoudaoPage(1 << 20, true));
    return 0;
}

int Extract(const std::string& service, const char* path, int runs) {
    std::ifstream in(path, std::ios::binary);
    const std::string page((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<double> times;
    std::size_t found = 0;
    for (int i = 0; i < runs; ++i) {
        auto t0 = Clock::now();
        TServicePage r = service == "sogou" ? ExtractSogouPage(page) : ExtractYoudaoPage(page);
        auto t1 = Clock::now();
        found = r.Results.size();
        times.push_back(Ms(t0, t1));
    }
    std::sort(times.begin(), times.end());
    std::cout << times[times.size() / 2] << ' ' << found << '\n';
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const std::string verb = argc > 1 ? argv[1] : "";
    if (verb == "md5" && argc == 3)
        return Md5(argv[2]);
    if (verb == "generate" && argc == 3)
        return Generate(argv[2]);
    if (verb == "page" && argc == 5) {
        const std::size_t bytes = std::stoul(argv[3]);
        Write(argv[4],
              std::string(argv[2]) == "sogou" ? SogouPage(bytes) : YoudaoPage(bytes, false));
        return 0;
    }
    if (verb == "extract" && argc == 5)
        return Extract(argv[2], argv[3], std::max(1, std::atoi(argv[4])));
    std::cerr << "usage: bench_wallpaper md5 FILE | generate DIR | page sogou|youdao BYTES FILE | "
                 "extract sogou|youdao FILE RUNS\n";
    return 2;
}
