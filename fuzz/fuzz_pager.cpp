// What a click in the pagination strip fetches: the link target as the
// browser reports it, against a search state taken from the first bytes.
#include "fuzz/FuzzSupport.h"
#include "wallpaper/uPager.h"
#include "wallpaper/uSearchEngines.h"

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 9)
        return 0;
    velmora::TSearchState state;
    state.FSearchKind = data[0] % 5 - 1; // one beyond the kinds on either side
    std::int32_t pages = 0, current = 0;
    std::memcpy(&pages, data + 1, 4);
    std::memcpy(&current, data + 5, 4);
    state.FPageCount = pages;
    state.FCurPage = current;
    state.FBaiduQuery = "http://baidu.invalid/search?word=%B7%E7";
    state.FYoudaoKeyword = "风景";
    static const velmora::TServiceBases bases{"http://baidu.invalid", "http://youdao.invalid",
                                              "http://sogou.invalid"};
    const std::string target(reinterpret_cast<const char*>(data + 9), size - 9);
    const velmora::TPagerFetch fetch = velmora::PagerTargetFetch(target, state, bases);
    if (fetch.Action == velmora::TPagerFetch::paBaidu && fetch.Page < 1)
        velmora::fuzz::Violated("a Baidu page before the first");
    // The strip itself for the same numbers, as the pager writes it.
    velmora::PagerPage(velmora::BaiduPagerFragment(pages % 100000, current % 100000));
    return 0;
}
