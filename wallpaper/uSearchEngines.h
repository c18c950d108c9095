#pragma once
// The wallpaper search on the three image-search services: query addresses,
// fetching a result page, cutting the results and the pagination out of it,
// and the search state that the pagination strip works from.
#include "wallpaper/uSearchFetch.h"
#include "wallpaper/uWallpaperSizes.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

class TPicStore;
class TSearchManager;

// Scheme and host of each service, without a trailing "/". Tests point them
// at a local server.
struct TServiceBases {
    std::string Baidu;
    std::string Youdao;
    std::string Sogou;
    // The bases the program was built with (the public hosts unless the
    // build points them elsewhere).
    static TServiceBases BuiltIn();
    const std::string& Of(int kind) const;
};

struct TSearchState {
    std::int32_t FSearchKind = skNone; // the service of the last search
    std::string FBaiduQuery;           // last Baidu query, without a page offset
    std::string FYoudaoKeyword;        // trimmed, unescaped keyword of the last Youdao search
    std::int32_t FPageCount = 0;       // Baidu pages of the last first-page Baidu fetch
    std::int32_t FCurPage = 0;         // current Baidu page from 1; 0 after an empty fetch
};

extern const char* const MsgEnterKeyword; // "请先输入关键字"
extern const char* const MsgNoWallpaper;  // "没有查找到壁纸"

// Results are asked for and taken in pages of this many.
constexpr int ResultsPerPage = 15;

// Query addresses. `escaped` is the keyword after UrlEncode in ANSI mode.
std::string BaiduQuery(const std::string& base, const std::string& escaped,
                       const TWallpaperSize& size);
std::string YoudaoQuery(const std::string& base, const std::string& escaped,
                        const TWallpaperSize& size);
std::string SogouQuery(const std::string& base, const std::string& escaped,
                       const TWallpaperSize& size);

// One result cut out of a page; UTF-8 addresses, empty when the item pattern
// did not match its block.
struct TFoundPicture {
    std::string Thumb;
    std::string Pic;
};

// What the Baidu page's data literal holds.
struct TBaiduPage {
    bool IsObject = false; // the literal parsed to an object
    bool HasData = false;  // it has a "data" member
    std::int32_t ListNum = 0;
    // The complete elements (with "thumbURL" and "objURL") of "data", at most
    // 15, ending at the first complete one at position 14 or later.
    std::vector<TFoundPicture> Items;
};

// page: the body as the service sends it (code page 936).
TBaiduPage ParseBaiduPage(std::string_view page);

// Results and the pagination fragment of a Sogou or Youdao page (UTF-8).
struct TServicePage {
    std::string Pager;
    std::vector<TFoundPicture> Results;
};

// page: code page 936.
TServicePage ExtractSogouPage(std::string_view page);
// page: UTF-8, as the service sends it.
TServicePage ExtractYoudaoPage(std::string_view page);

// Wraps the first bare page number of a Sogou pagination bar in the
// current-page span.
std::string MarkCurrentPage(const std::string& bar);

// Where the pagination fragment of a page goes.
class IPagerView {
public:
    virtual ~IPagerView() = default;
    virtual void ClearPager() = 0;
    virtual void ShowPager(const std::string& fragment) = 0;
};

// The search of the wallpaper window, without the window: it fetches the
// pages, hands results to the result manager and the pagination to the strip,
// and shows its messages through ShowMessageBox.
class TWallpaperSearch {
public:
    // store: where the downloaded flags are looked up; may be null. source:
    // how pages are fetched; null fetches them on the calling thread.
    TWallpaperSearch(TServiceBases bases, TSearchManager& results, IPagerView& pager,
                     const TPicStore* store, std::unique_ptr<IPageSource> source = nullptr);

    TSearchState State;

    // Called once a search has a keyword, before its page is fetched: the
    // window hides its advertisement and marks the service's button.
    std::function<void(int kind)> OnSearchStarted;

    // Runs a new search. False when the keyword is empty ("请先输入关键字"
    // was shown and nothing changed) or the kind is no service.
    bool StartSearch(int kind, const std::string& keyword, int sizeIndex);

    // Each fetches one page and shows it once it has arrived (at once when
    // the pages are fetched on the calling thread).
    void FetchBaidu(const std::string& address, bool firstPage);
    void FetchYoudao(const std::string& address);
    void FetchSogou(const std::string& address);

    // The part of each fetch after the request, on a page already at hand.
    void ShowBaiduPage(std::string_view page, bool firstPage);
    void ShowYoudaoPage(std::string_view page);
    void ShowSogouPage(std::string_view page);

    // ShowPager of the Baidu links for State.FPageCount pages.
    void BuildBaiduPager(std::int32_t current);

    // A navigation of the pagination strip; runs the fetch it asks for and
    // returns whether the navigation is cancelled.
    bool NavigatePager(const std::string& target);

    const TServiceBases& Bases() const { return FBases; }
    IPageSource& Source() { return *FSource; }

private:
    void ShowServicePage(const TServicePage& page);
    void Fetch(int kind, const std::string& address, TPageHandler onPage);
    void ShowResults(const std::vector<TFoundPicture>& found);
    bool IsDownloaded(const std::string& picture) const;

    TServiceBases FBases;
    TSearchManager& FResults;
    IPagerView& FPager;
    const TPicStore* FStore;
    std::unique_ptr<IPageSource> FSource;
};

} // namespace velmora
