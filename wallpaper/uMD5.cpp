#include "wallpaper/uMD5.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace velmora {
namespace {

inline std::uint32_t Rotl(std::uint32_t x, int n) {
    return (x << n) | (x >> (32 - n));
}

[[maybe_unused]] inline std::uint32_t LoadLE(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

#define MD5_STEP(f, a, b, c, d, x, t, s)                                                           \
    a += f(b, c, d) + (x) + (t);                                                                   \
    a = Rotl(a, s) + b;

#define MD5_F(x, y, z) ((z) ^ ((x) & ((y) ^ (z))))
#define MD5_G(x, y, z) ((y) ^ ((z) & ((x) ^ (y))))
#define MD5_H(x, y, z) ((x) ^ (y) ^ (z))
#define MD5_I(x, y, z) ((y) ^ ((x) | ~(z)))

// Processes whole 64-byte blocks; the rounds are written out so the compiler
// keeps every word in a register.
void Transform(std::uint32_t state[4], const std::uint8_t* data, std::size_t blocks) {
    std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    for (; blocks > 0; --blocks, data += 64) {
        std::uint32_t x[16];
        if constexpr (std::endian::native == std::endian::little) {
            std::memcpy(x, data, 64);
        } else {
            for (int i = 0; i < 16; ++i)
                x[i] = LoadLE(data + 4 * i);
        }
        const std::uint32_t aa = a, bb = b, cc = c, dd = d;

        MD5_STEP(MD5_F, a, b, c, d, x[0], 0xd76aa478, 7)
        MD5_STEP(MD5_F, d, a, b, c, x[1], 0xe8c7b756, 12)
        MD5_STEP(MD5_F, c, d, a, b, x[2], 0x242070db, 17)
        MD5_STEP(MD5_F, b, c, d, a, x[3], 0xc1bdceee, 22)
        MD5_STEP(MD5_F, a, b, c, d, x[4], 0xf57c0faf, 7)
        MD5_STEP(MD5_F, d, a, b, c, x[5], 0x4787c62a, 12)
        MD5_STEP(MD5_F, c, d, a, b, x[6], 0xa8304613, 17)
        MD5_STEP(MD5_F, b, c, d, a, x[7], 0xfd469501, 22)
        MD5_STEP(MD5_F, a, b, c, d, x[8], 0x698098d8, 7)
        MD5_STEP(MD5_F, d, a, b, c, x[9], 0x8b44f7af, 12)
        MD5_STEP(MD5_F, c, d, a, b, x[10], 0xffff5bb1, 17)
        MD5_STEP(MD5_F, b, c, d, a, x[11], 0x895cd7be, 22)
        MD5_STEP(MD5_F, a, b, c, d, x[12], 0x6b901122, 7)
        MD5_STEP(MD5_F, d, a, b, c, x[13], 0xfd987193, 12)
        MD5_STEP(MD5_F, c, d, a, b, x[14], 0xa679438e, 17)
        MD5_STEP(MD5_F, b, c, d, a, x[15], 0x49b40821, 22)

        MD5_STEP(MD5_G, a, b, c, d, x[1], 0xf61e2562, 5)
        MD5_STEP(MD5_G, d, a, b, c, x[6], 0xc040b340, 9)
        MD5_STEP(MD5_G, c, d, a, b, x[11], 0x265e5a51, 14)
        MD5_STEP(MD5_G, b, c, d, a, x[0], 0xe9b6c7aa, 20)
        MD5_STEP(MD5_G, a, b, c, d, x[5], 0xd62f105d, 5)
        MD5_STEP(MD5_G, d, a, b, c, x[10], 0x02441453, 9)
        MD5_STEP(MD5_G, c, d, a, b, x[15], 0xd8a1e681, 14)
        MD5_STEP(MD5_G, b, c, d, a, x[4], 0xe7d3fbc8, 20)
        MD5_STEP(MD5_G, a, b, c, d, x[9], 0x21e1cde6, 5)
        MD5_STEP(MD5_G, d, a, b, c, x[14], 0xc33707d6, 9)
        MD5_STEP(MD5_G, c, d, a, b, x[3], 0xf4d50d87, 14)
        MD5_STEP(MD5_G, b, c, d, a, x[8], 0x455a14ed, 20)
        MD5_STEP(MD5_G, a, b, c, d, x[13], 0xa9e3e905, 5)
        MD5_STEP(MD5_G, d, a, b, c, x[2], 0xfcefa3f8, 9)
        MD5_STEP(MD5_G, c, d, a, b, x[7], 0x676f02d9, 14)
        MD5_STEP(MD5_G, b, c, d, a, x[12], 0x8d2a4c8a, 20)

        MD5_STEP(MD5_H, a, b, c, d, x[5], 0xfffa3942, 4)
        MD5_STEP(MD5_H, d, a, b, c, x[8], 0x8771f681, 11)
        MD5_STEP(MD5_H, c, d, a, b, x[11], 0x6d9d6122, 16)
        MD5_STEP(MD5_H, b, c, d, a, x[14], 0xfde5380c, 23)
        MD5_STEP(MD5_H, a, b, c, d, x[1], 0xa4beea44, 4)
        MD5_STEP(MD5_H, d, a, b, c, x[4], 0x4bdecfa9, 11)
        MD5_STEP(MD5_H, c, d, a, b, x[7], 0xf6bb4b60, 16)
        MD5_STEP(MD5_H, b, c, d, a, x[10], 0xbebfbc70, 23)
        MD5_STEP(MD5_H, a, b, c, d, x[13], 0x289b7ec6, 4)
        MD5_STEP(MD5_H, d, a, b, c, x[0], 0xeaa127fa, 11)
        MD5_STEP(MD5_H, c, d, a, b, x[3], 0xd4ef3085, 16)
        MD5_STEP(MD5_H, b, c, d, a, x[6], 0x04881d05, 23)
        MD5_STEP(MD5_H, a, b, c, d, x[9], 0xd9d4d039, 4)
        MD5_STEP(MD5_H, d, a, b, c, x[12], 0xe6db99e5, 11)
        MD5_STEP(MD5_H, c, d, a, b, x[15], 0x1fa27cf8, 16)
        MD5_STEP(MD5_H, b, c, d, a, x[2], 0xc4ac5665, 23)

        MD5_STEP(MD5_I, a, b, c, d, x[0], 0xf4292244, 6)
        MD5_STEP(MD5_I, d, a, b, c, x[7], 0x432aff97, 10)
        MD5_STEP(MD5_I, c, d, a, b, x[14], 0xab9423a7, 15)
        MD5_STEP(MD5_I, b, c, d, a, x[5], 0xfc93a039, 21)
        MD5_STEP(MD5_I, a, b, c, d, x[12], 0x655b59c3, 6)
        MD5_STEP(MD5_I, d, a, b, c, x[3], 0x8f0ccc92, 10)
        MD5_STEP(MD5_I, c, d, a, b, x[10], 0xffeff47d, 15)
        MD5_STEP(MD5_I, b, c, d, a, x[1], 0x85845dd1, 21)
        MD5_STEP(MD5_I, a, b, c, d, x[8], 0x6fa87e4f, 6)
        MD5_STEP(MD5_I, d, a, b, c, x[15], 0xfe2ce6e0, 10)
        MD5_STEP(MD5_I, c, d, a, b, x[6], 0xa3014314, 15)
        MD5_STEP(MD5_I, b, c, d, a, x[13], 0x4e0811a1, 21)
        MD5_STEP(MD5_I, a, b, c, d, x[4], 0xf7537e82, 6)
        MD5_STEP(MD5_I, d, a, b, c, x[11], 0xbd3af235, 10)
        MD5_STEP(MD5_I, c, d, a, b, x[2], 0x2ad7d2bb, 15)
        MD5_STEP(MD5_I, b, c, d, a, x[9], 0xeb86d391, 21)

        a += aa;
        b += bb;
        c += cc;
        d += dd;
    }
    state[0] = a;
    state[1] = b;
    state[2] = c;
    state[3] = d;
}

#undef MD5_STEP
#undef MD5_F
#undef MD5_G
#undef MD5_H
#undef MD5_I

} // namespace

void MD5Init(TMD5Context& ctx) {
    ctx.State[0] = 0x67452301;
    ctx.State[1] = 0xefcdab89;
    ctx.State[2] = 0x98badcfe;
    ctx.State[3] = 0x10325476;
    ctx.Length = 0;
}

void MD5Update(TMD5Context& ctx, const void* data, std::size_t size) {
    auto p = static_cast<const std::uint8_t*>(data);
    std::size_t used = static_cast<std::size_t>(ctx.Length % 64);
    ctx.Length += size;
    if (used > 0) {
        std::size_t take = std::min<std::size_t>(64 - used, size);
        std::memcpy(ctx.Buffer + used, p, take);
        p += take;
        size -= take;
        if (used + take < 64)
            return;
        Transform(ctx.State, ctx.Buffer, 1);
    }
    if (size >= 64) {
        Transform(ctx.State, p, size / 64);
        p += size / 64 * 64;
        size %= 64;
    }
    if (size > 0)
        std::memcpy(ctx.Buffer, p, size);
}

TMD5Digest MD5Final(TMD5Context& ctx) {
    const std::uint64_t bits = ctx.Length * 8;
    static const std::uint8_t pad[64] = {0x80};
    std::size_t used = static_cast<std::size_t>(ctx.Length % 64);
    MD5Update(ctx, pad, used < 56 ? 56 - used : 120 - used);
    std::uint8_t tail[8];
    for (int i = 0; i < 8; ++i)
        tail[i] = static_cast<std::uint8_t>(bits >> (8 * i));
    MD5Update(ctx, tail, 8);
    TMD5Digest out;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            out[4 * i + j] = static_cast<std::uint8_t>(ctx.State[i] >> (8 * j));
    return out;
}

std::string MD5Hex(const TMD5Digest& digest) {
    static const char* digits = "0123456789abcdef";
    std::string s;
    s.reserve(32);
    for (std::uint8_t b : digest) {
        s.push_back(digits[b >> 4]);
        s.push_back(digits[b & 15]);
    }
    return s;
}

std::string MD5String(std::string_view bytes) {
    TMD5Context ctx;
    MD5Init(ctx);
    MD5Update(ctx, bytes.data(), bytes.size());
    return MD5Hex(MD5Final(ctx));
}

} // namespace velmora
