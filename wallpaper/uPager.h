#pragma once
// The pagination strip below the result grid: the HTML page written into it,
// the Baidu page links, and what a click on a link fetches.
#include "wallpaper/uWallpaperSizes.h"

#include <cstdint>
#include <string>

namespace velmora {

struct TServiceBases;
struct TSearchState;

// The complete strip page around body (UTF-8).
std::string WrapPage(const std::string& body);

// The page for a pagination fragment: WrapPage of the fragment in its
// "pagination" division. What ShowPager loads.
std::string PagerPage(const std::string& fragment);

// The Baidu links for `total` pages with `current` shown: at most ten numbers,
// starting five before the current one, pulled back to end on the last page,
// never before page 1; previous and next links where such pages exist.
std::string BaiduPagerFragment(std::int32_t total, std::int32_t current);

// What a navigation of the strip asks for.
struct TPagerFetch {
    enum TAction {
        paLetThrough, // the blank document the strip loads first
        paNothing,    // cancel, fetch nothing (no search yet)
        paBaidu,      // FetchBaidu(Url, first page = false) after FCurPage = Page
        paYoudao,
        paSogou,
    } Action = paNothing;
    std::string Url;
    std::int32_t Page = 0;
};

// The fetch a navigation to `target` runs, given the search state. Every
// target other than the blank document is cancelled by the caller.
TPagerFetch PagerTargetFetch(const std::string& target, const TSearchState& state,
                             const TServiceBases& bases);

} // namespace velmora
