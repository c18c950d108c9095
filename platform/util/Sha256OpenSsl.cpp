// TSha256 over OpenSSL's libcrypto (EVP): a maintained, tested digest.
#include "platform/util/Sha256.h"

#include <openssl/evp.h>

#include <new>
#include <stdexcept>

namespace velmora {

struct TSha256::TImpl {
    EVP_MD_CTX* Ctx = nullptr;
};

namespace {

void Restart(EVP_MD_CTX* ctx) {
    if (EVP_DigestInit_ex(ctx, EVP_sha256(), nullptr) != 1)
        throw std::runtime_error("SHA-256 is not available");
}

} // namespace

TSha256::TSha256() : F(std::make_unique<TImpl>()) {
    F->Ctx = EVP_MD_CTX_new();
    if (!F->Ctx)
        throw std::bad_alloc();
    Restart(F->Ctx);
}

TSha256::~TSha256() {
    EVP_MD_CTX_free(F->Ctx);
}

void TSha256::Update(const void* data, std::size_t size) {
    if (size > 0 && EVP_DigestUpdate(F->Ctx, data, size) != 1)
        throw std::runtime_error("SHA-256 update failed");
}

std::string TSha256::HexDigest() {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(F->Ctx, digest, &length) != 1)
        throw std::runtime_error("SHA-256 failed");
    Restart(F->Ctx);
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(length * 2);
    for (unsigned int i = 0; i < length; ++i) {
        hex += digits[digest[i] >> 4];
        hex += digits[digest[i] & 15];
    }
    return hex;
}

} // namespace velmora
