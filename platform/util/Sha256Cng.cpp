// TSha256 over Windows' own cryptography (CNG, bcrypt.dll): a maintained,
// tested digest that ships with the system.
#include "platform/util/Sha256.h"

#include <windows.h>

#include <bcrypt.h>

#include <algorithm>
#include <stdexcept>

namespace velmora {

namespace {

constexpr ULONG DigestBytes = 32;

bool Ok(NTSTATUS status) {
    return status >= 0;
}

} // namespace

struct TSha256::TImpl {
    BCRYPT_ALG_HANDLE Algorithm = nullptr;
    BCRYPT_HASH_HANDLE Hash = nullptr;

    // A new digest. (A finished hash object is not used again: reusable ones
    // need Windows 8.)
    void Restart() {
        if (Hash)
            BCryptDestroyHash(Hash);
        Hash = nullptr;
        if (!Ok(BCryptCreateHash(Algorithm, &Hash, nullptr, 0, nullptr, 0, 0)))
            throw std::runtime_error("SHA-256 is not available");
    }
};

TSha256::TSha256() : F(std::make_unique<TImpl>()) {
    if (!Ok(BCryptOpenAlgorithmProvider(&F->Algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0)))
        throw std::runtime_error("SHA-256 is not available");
    try {
        F->Restart();
    } catch (...) {
        BCryptCloseAlgorithmProvider(F->Algorithm, 0);
        throw;
    }
}

TSha256::~TSha256() {
    if (F->Hash)
        BCryptDestroyHash(F->Hash);
    if (F->Algorithm)
        BCryptCloseAlgorithmProvider(F->Algorithm, 0);
}

void TSha256::Update(const void* data, std::size_t size) {
    auto* p = static_cast<PUCHAR>(const_cast<void*>(data));
    // BCryptHashData takes at most 4 GB - 1 at a time.
    while (size > 0) {
        const ULONG n = static_cast<ULONG>(std::min<std::size_t>(size, 1u << 30));
        if (!Ok(BCryptHashData(F->Hash, p, n, 0)))
            throw std::runtime_error("SHA-256 update failed");
        p += n;
        size -= n;
    }
}

std::string TSha256::HexDigest() {
    UCHAR digest[DigestBytes];
    if (!Ok(BCryptFinishHash(F->Hash, digest, DigestBytes, 0)))
        throw std::runtime_error("SHA-256 failed");
    F->Restart();
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(DigestBytes * 2);
    for (UCHAR b : digest) {
        hex += digits[b >> 4];
        hex += digits[b & 15];
    }
    return hex;
}

} // namespace velmora
