#include "install/uFileUtil.h"

#include <atomic>
#include <fstream>
#include <iterator>
#include <unistd.h>

namespace velmora {
namespace fs = std::filesystem;

bool ReadWholeFile(const fs::path& file, std::string& out) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

std::error_code WriteFileAtomically(const fs::path& target, std::string_view bytes) {
    static std::atomic<unsigned> counter{0};
    fs::path temporary = target;
    temporary += "." + std::to_string(::getpid()) + "." + std::to_string(counter++) + ".tmp";
    std::error_code ec;
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.flush();
        if (!out)
            ec = std::make_error_code(std::errc::io_error);
    }
    if (!ec)
        fs::rename(temporary, target, ec);
    if (ec) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
    }
    return ec;
}

} // namespace velmora
