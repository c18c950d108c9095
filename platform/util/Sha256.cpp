// The parts of SHA-256 that do not depend on the system's implementation.
#include "platform/util/Sha256.h"

#include "platform/util/Files.h"

#include <cstdio>

namespace velmora {

std::string Sha256Hex(std::string_view bytes) {
    TSha256 sha;
    sha.Update(bytes.data(), bytes.size());
    return sha.HexDigest();
}

std::string Sha256OfFile(const std::filesystem::path& file) {
    std::FILE* f = OpenCFile(file, "rb");
    if (!f)
        return {};
    TSha256 sha;
    std::string buffer(1 << 20, '\0');
    bool ok = true;
    for (;;) {
        const std::size_t n = std::fread(buffer.data(), 1, buffer.size(), f);
        sha.Update(buffer.data(), n);
        if (n < buffer.size()) {
            ok = !std::ferror(f);
            break;
        }
    }
    std::fclose(f);
    return ok ? sha.HexDigest() : std::string();
}

bool IsSha256Hex(std::string_view text) {
    if (text.size() != 64)
        return false;
    for (char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')))
            return false;
    return true;
}

} // namespace velmora
