#pragma once
// SHA-256: of packages, so that what is installed is what the catalogue
// published, and of the files the change record keeps, to name them by their
// content. One small interface; each system brings its own implementation of
// it (Sha256OpenSsl.cpp here, the system's own cryptography, Sha256Cng.cpp, on
// Windows).
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace velmora {

class TSha256 {
public:
    TSha256();
    ~TSha256();
    TSha256(const TSha256&) = delete;
    TSha256& operator=(const TSha256&) = delete;

    void Update(const void* data, std::size_t size);
    // The digest as 64 lower-case hexadecimal digits; the object then starts
    // a new digest.
    std::string HexDigest();

private:
    struct TImpl;
    std::unique_ptr<TImpl> F;
};

std::string Sha256Hex(std::string_view bytes);

// The digest of a whole file, or empty when it cannot be read.
std::string Sha256OfFile(const std::filesystem::path& file);

// Whether text is a digest as a catalogue writes it: 64 hexadecimal digits
// (either case).
bool IsSha256Hex(std::string_view text);

} // namespace velmora
