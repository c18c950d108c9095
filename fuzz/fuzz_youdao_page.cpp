// The Youdao result page (UTF-8): result blocks and the pagination division.
#include "fuzz/FuzzSupport.h"
#include "wallpaper/uSearchEngines.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    velmora::ExtractYoudaoPage(velmora::fuzz::Bytes(data, size));
    return 0;
}
