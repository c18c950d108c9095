// MD5 of the picture store's names.
#include "install/CodePage.h"
#include "wallpaper/uMD5.h"
#include "wallpaper/uPicStore.h"

#include <gtest/gtest.h>

namespace velmora::test {
namespace {

TEST(MD5, Rfc1321Vectors) {
    const std::pair<std::string, std::string> vectors[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const auto& [text, digest] : vectors)
        EXPECT_EQ(MD5String(text), digest) << text;
}

// Padding edges (55, 56, 63, 64 bytes) and every way of cutting the input
// into two updates give the one-shot digest.
TEST(MD5, SplitUpdatesMatchOneShot) {
    std::string data;
    for (int i = 0; i < 200; ++i)
        data.push_back(static_cast<char>(i * 37 + 11));
    EXPECT_EQ(MD5String(std::string(56, 'a')), "3b0c8ac703f828b04c6c197006d17218");
    EXPECT_EQ(MD5String(std::string(64, 'a')), "014842d480b571495a4a0363793f7367");
    for (std::size_t len : {55u, 56u, 63u, 64u, 65u, 128u, 200u}) {
        const std::string whole = MD5String(std::string_view(data).substr(0, len));
        for (std::size_t cut = 0; cut <= len; ++cut) {
            TMD5Context ctx;
            MD5Init(ctx);
            MD5Update(ctx, data.data(), cut);
            MD5Update(ctx, data.data() + cut, len - cut);
            ASSERT_EQ(MD5Hex(MD5Final(ctx)), whole) << len << " cut at " << cut;
        }
    }
}

// The address's own bytes; the code page 936 bytes only for the name that
// earlier versions stored under.
TEST(PictureFileName, HashesTheAddressBytesAsTheyAre) {
    EXPECT_EQ(PictureFileName("abc"), "900150983cd24fb0d6963f7d28e17f72.bmp");
    EXPECT_EQ(PictureFileName(""), "d41d8cd98f00b204e9800998ecf8427e.bmp");
    const std::string address = "http://img.example/风景.jpg";
    EXPECT_EQ(PictureFileName(address), MD5String(address) + ".bmp");
    EXPECT_EQ(LegacyPictureFileName(address), MD5String(Utf8ToCp936(address)) + ".bmp");
}

} // namespace
} // namespace velmora::test
