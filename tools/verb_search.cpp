// velmora-tool search and md5name: the wallpaper search core on the command
// line. Query addresses, the results and pagination cut out of a saved result
// page, the Baidu page links, and the picture store's file names.
#include "install/uPubFunc.h"
#include "platform/util/Files.h"
#include "tools/ToolCommon.h"
#include "tools/Verbs.h"
#include "wallpaper/uPager.h"
#include "wallpaper/uPicStore.h"
#include "wallpaper/uSearchEngines.h"
#include "wallpaper/uSearchManager.h"

#include <nlohmann/json.hpp>

#include <charconv>
#include <iostream>

namespace velmora::tool {
namespace {

// A saved result page; real ones are some hundreds of kilobytes.
constexpr std::uintmax_t MaxPageFileBytes = 16 << 20;

using json = nlohmann::ordered_json;

const char* const Usage =
    "usage: search url --service baidu|youdao|sogou --keyword K --size INDEX "
    "[--screen WxH] | search extract --service S FILE | "
    "search pager --pages N --current C";

// Messages of the search go to stderr as their bare text.
class TStderrTextSink : public IMessageSink {
public:
    int Show(const TMessageRequest& r) override {
        std::cerr << r.Text << '\n';
        return IDOK;
    }
};

class TLastPager : public IPagerView {
public:
    void ClearPager() override { Fragment.clear(); }
    void ShowPager(const std::string& fragment) override { Fragment = fragment; }
    std::string Fragment;
};

int ServiceKind(const std::string& name) {
    if (name == "baidu")
        return skBaidu;
    if (name == "youdao")
        return skYoudao;
    if (name == "sogou")
        return skSogou;
    return skNone;
}

bool ReadInt(const std::string& text, int& value) {
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && ptr == text.data() + text.size();
}

int SearchUrl(const TParsedArgs& a) {
    const int kind = ServiceKind(a.Get("service", ""));
    int index = 0;
    if (kind == skNone || !a.Get("keyword") || !ReadInt(a.Get("size", ""), index) || index < 0 ||
        index >= WallpaperSizeCount)
        return UsageError(Usage);
    if (auto screen = a.Get("screen")) {
        const std::size_t x = screen->find('x');
        int w = 0, h = 0;
        if (x == std::string::npos || !ReadInt(screen->substr(0, x), w) ||
            !ReadInt(screen->substr(x + 1), h))
            return UsageError("--screen takes WIDTHxHEIGHT");
        SetDesktopSize(w, h);
    }
    const std::string key = Trim(*a.Get("keyword"));
    if (key.empty()) {
        std::cerr << MsgEnterKeyword << '\n';
        return 1;
    }
    ApplyServiceCodes(kind);
    const TServiceBases bases = TServiceBases::BuiltIn();
    const TWallpaperSize& size = WallpaperSizes[static_cast<std::size_t>(index)];
    const std::string escaped = UrlEncode(key, false);
    std::cout << (kind == skBaidu    ? BaiduQuery(bases.Baidu, escaped, size)
                  : kind == skYoudao ? YoudaoQuery(bases.Youdao, escaped, size)
                                     : SogouQuery(bases.Sogou, escaped, size))
              << '\n';
    return 0;
}

int SearchExtract(const TParsedArgs& a) {
    const int kind = ServiceKind(a.Get("service", ""));
    if (kind == skNone || a.Positional.size() != 2)
        return UsageError(Usage);
    std::string page;
    if (std::error_code ec = ReadWholeFile(a.Positional[1], page, MaxPageFileBytes))
        return UsageError("cannot read " + a.Positional[1] + ": " + ec.message());

    TStderrTextSink messages;
    IMessageSink* previous = SetMessageSink(&messages);
    TSearchManager results;
    TLastPager pager;
    TWallpaperSearch search(TServiceBases::BuiltIn(), results, pager, nullptr);
    json out = {{"results", json::array()}};
    if (kind == skBaidu)
        search.ShowBaiduPage(page, true);
    else if (kind == skYoudao)
        search.ShowYoudaoPage(page);
    else
        search.ShowSogouPage(page);
    SetMessageSink(previous);

    for (const TPicInfo& r : results.Shown())
        out["results"].push_back({{"thumb", r.ThumbUrl}, {"pic", r.PicUrl}});
    out["pager"] = pager.Fragment;
    if (kind == skBaidu)
        out["list_num"] = ParseBaiduPage(page).ListNum;
    std::cout << out.dump(2, ' ', false, json::error_handler_t::replace) << '\n';
    return 0;
}

int SearchPager(const TParsedArgs& a) {
    int pages = 0, current = 0;
    if (!ReadInt(a.Get("pages", ""), pages) || !ReadInt(a.Get("current", ""), current))
        return UsageError(Usage);
    std::cout << BaiduPagerFragment(pages, current) << '\n';
    return 0;
}

} // namespace

int VerbSearch(const TArgs& args) {
    auto parsed = ParseArgs(args, {"service", "keyword", "size", "screen", "pages", "current"});
    if (!parsed || parsed->Positional.empty())
        return UsageError(Usage);
    const std::string& what = parsed->Positional[0];
    if (what == "url" && parsed->Positional.size() == 1)
        return SearchUrl(*parsed);
    if (what == "extract")
        return SearchExtract(*parsed);
    if (what == "pager" && parsed->Positional.size() == 1)
        return SearchPager(*parsed);
    return UsageError(Usage);
}

int VerbMd5Name(const TArgs& args) {
    if (args.size() != 1)
        return UsageError("usage: md5name TEXT");
    std::cout << PictureFileName(args[0]) << '\n';
    return 0;
}

} // namespace velmora::tool
