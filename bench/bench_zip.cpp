// Package extraction: writes a theme-like package (pictures that do not
// compress, and bitmaps and text that do) and extracts it with the ZIP
// facility, timed in the program so that process start is not counted.
//   bench_zip make OUT [ENTRIES] [MB]
//   bench_zip extract ZIP DEST   (prints milliseconds)
#include "install/uZip.h"

#include <zip.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

int Make(const std::string& out, int entries, int megabytes) {
    int code = 0;
    zip_t* za = zip_open(out.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code);
    if (!za) {
        std::cerr << "cannot create " << out << '\n';
        return 1;
    }
    std::mt19937_64 rng(5);
    // Sizes vary around the mean that gives the requested archive size when
    // three entries in four are incompressible.
    const std::uint64_t mean = std::uint64_t(megabytes) * 1000000 * 4 / 3 / entries;
    std::vector<std::unique_ptr<std::string>> data; // alive until zip_close
    for (int i = 0; i < entries; ++i) {
        std::size_t size = static_cast<std::size_t>(mean / 2 + rng() % mean);
        auto bytes = std::make_unique<std::string>(size, '\0');
        const bool picture = i % 4 != 3;
        for (std::size_t j = 0; j < size; j += 8) {
            std::uint64_t v = picture ? rng() : (j / 64) * 0x0101010101010101ull;
            for (std::size_t k = 0; k < 8 && j + k < size; ++k)
                (*bytes)[j + k] = static_cast<char>(v >> (8 * k));
        }
        std::string name = "Theme/part" + std::to_string(i % 20) + "/item" + std::to_string(i) +
                           (picture ? ".jpg" : ".bmp");
        zip_source_t* src = zip_source_buffer(za, bytes->data(), bytes->size(), 0);
        if (!src || zip_file_add(za, name.c_str(), src, ZIP_FL_ENC_UTF_8) < 0) {
            std::cerr << "cannot add " << name << ": " << zip_strerror(za) << '\n';
            return 1;
        }
        data.push_back(std::move(bytes));
    }
    if (zip_close(za) != 0) {
        std::cerr << "cannot write " << out << ": " << zip_strerror(za) << '\n';
        return 1;
    }
    return 0;
}

int Extract(const std::string& file, const std::string& dest) {
    auto start = std::chrono::steady_clock::now();
    velmora::TZipFile(file).ExtractAll(dest, velmora::omAlways);
    auto ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start);
    std::cout << ms.count() << '\n';
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> a(argv + 1, argv + argc);
    try {
        if (a.size() >= 2 && a[0] == "make")
            return Make(a[1], a.size() > 2 ? std::atoi(a[2].c_str()) : 2000,
                        a.size() > 3 ? std::atoi(a[3].c_str()) : 65);
        if (a.size() == 3 && a[0] == "extract")
            return Extract(a[1], a[2]);
    } catch (const std::exception& e) {
        std::cerr << e.what() << '\n';
        return 1;
    }
    std::cerr << "usage: bench_zip make OUT [ENTRIES] [MB] | extract ZIP DEST\n";
    return 2;
}
