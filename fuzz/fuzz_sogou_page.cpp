// The Sogou result page (code page 936): result blocks and the pagination bar.
#include "fuzz/FuzzSupport.h"
#include "wallpaper/uSearchEngines.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const velmora::TServicePage page = velmora::ExtractSogouPage(velmora::fuzz::Bytes(data, size));
    velmora::MarkCurrentPage(page.Pager);
    return 0;
}
