// The Baidu result page (code page 936): the data literal cut out, parsed and
// read for its pictures.
#include "fuzz/FuzzSupport.h"
#include "wallpaper/uSearchEngines.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const velmora::TBaiduPage page = velmora::ParseBaiduPage(velmora::fuzz::Bytes(data, size));
    if (page.Items.size() > 15)
        velmora::fuzz::Violated("more than a page of results");
    return 0;
}
