#pragma once
// MD5 (RFC 1321) of the picture store's file names. The program carries its
// own routine: the names must not depend on which crypto library a build has.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace velmora {

using TMD5Digest = std::array<std::uint8_t, 16>;

struct TMD5Context {
    std::uint32_t State[4];
    std::uint64_t Length; // bytes added so far
    std::uint8_t Buffer[64];
};

void MD5Init(TMD5Context& ctx);
void MD5Update(TMD5Context& ctx, const void* data, std::size_t size);
TMD5Digest MD5Final(TMD5Context& ctx);

// The 16 digest bytes in order, each as high then low half, lowercase.
std::string MD5Hex(const TMD5Digest& digest);
// MD5Hex of the bytes as they stand.
std::string MD5String(std::string_view bytes);

} // namespace velmora
