#include "wallpaper/uSearchEngines.h"

#include "install/CodePage.h"
#include "install/uPubFunc.h"
#include "wallpaper/uLenientJson.h"
#include "wallpaper/uPagePattern.h"
#include "wallpaper/uPager.h"
#include "wallpaper/uPicStore.h"
#include "wallpaper/uSearchManager.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace velmora {

const char* const MsgEnterKeyword = "请先输入关键字";
const char* const MsgNoWallpaper = "没有查找到壁纸";

TServiceBases TServiceBases::BuiltIn() {
    return {VELMORA_BAIDU_BASE, VELMORA_YOUDAO_BASE, VELMORA_SOGOU_BASE};
}

const std::string& TServiceBases::Of(int kind) const {
    return kind == skBaidu ? Baidu : kind == skYoudao ? Youdao : Sogou;
}

namespace {

void RemoveAll(std::string& s, std::string_view what) {
    std::string out;
    out.reserve(s.size());
    std::size_t from = 0;
    for (std::size_t at = s.find(what); at != std::string::npos; at = s.find(what, from)) {
        out.append(s, from, at - from);
        from = at + what.size();
    }
    out.append(s, from, std::string::npos);
    s = std::move(out);
}

// Patterns are written with "’" where the page has an apostrophe and compiled
// from their code page 936 bytes after it is put back.
std::string PatternBytes(std::string_view pattern) {
    constexpr std::string_view quote = "’";
    std::string out;
    out.reserve(pattern.size());
    for (std::size_t at; (at = pattern.find(quote)) != std::string_view::npos;) {
        out.append(pattern.substr(0, at));
        out.push_back('\'');
        pattern.remove_prefix(at + quote.size());
    }
    out.append(pattern);
    return Utf8ToCp936(out);
}

const TPagePattern& SogouBlock() {
    static const TPagePattern p(PatternBytes("<li>.*?</li>"), true);
    return p;
}
const TPagePattern& SogouItem() {
    static const TPagePattern p(
        PatternBytes(
            R"re(<a href=.*onclick="phb\(\’([^\’]*)[^"]*\)"><!--thumb_beg--><img src="([^\"]*)")re"),
        true);
    return p;
}
const TPagePattern& YoudaoBlock() {
    static const TPagePattern p(PatternBytes("<tbody>.*?</tbody>"), true);
    return p;
}
const TPagePattern& YoudaoItem() {
    static const TPagePattern p(
        PatternBytes(R"re(<center>.*<a href=".*"logci\(\’.*\’,\’(.*)\’\)">.*src="(.*)" width=)re"),
        true);
    return p;
}
const TPagePattern& CurrentPageNumber() {
    static const TPagePattern p(PatternBytes(R"re(</a>[ ]*([\d]+)|([\d]+)[ ]*<a)re"), false);
    return p;
}

// Up to 15 blocks of the region, each with its item (group 1 the picture,
// group 2 the thumbnail). A block the item pattern does not match, or whose
// match hits the bound, still counts, with empty addresses.
std::vector<TFoundPicture> CutResults(const std::string& region, const TPagePattern& block,
                                      const TPagePattern& item) {
    std::vector<TFoundPicture> found;
    std::size_t offset = 0;
    while (found.size() < static_cast<std::size_t>(ResultsPerPage)) {
        TPatternMatch b = block.Match(region, offset);
        if (!b.Matched)
            break;
        offset = b.End;
        TPatternMatch m = item.Match(std::string_view(region).substr(b.Start, b.End - b.Start));
        TFoundPicture r;
        if (m.Matched) {
            r.Pic = Cp936ToUtf8(m.Group(1));
            r.Thumb = Cp936ToUtf8(m.Group(2));
        }
        found.push_back(std::move(r));
    }
    return found;
}

std::string JsonText(const nlohmann::json& v) {
    if (v.is_string())
        return v.get<std::string>();
    if (v.is_null())
        return {};
    return v.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::int32_t JsonInt32(const nlohmann::json& v) {
    constexpr double lo = std::numeric_limits<std::int32_t>::min();
    constexpr double hi = std::numeric_limits<std::int32_t>::max();
    double d = 0;
    if (v.is_number()) {
        d = v.get<double>();
    } else if (v.is_string()) {
        const std::string& s = v.get_ref<const std::string&>();
        std::int64_t n = 0;
        auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), n);
        if (ec != std::errc() || ptr != s.data() + s.size())
            return 0;
        d = static_cast<double>(n);
    } else {
        return 0;
    }
    if (std::isnan(d))
        return 0;
    d = std::trunc(d);
    return static_cast<std::int32_t>(d < lo ? lo : d > hi ? hi : d);
}

} // namespace

std::string BaiduQuery(const std::string& base, const std::string& escaped,
                       const TWallpaperSize& size) {
    if (size.ServiceCode > 0)
        return base + "/i?tn=baiduimage&ct=201326592&cl=2&lm=-1&fr=&pv=&ic=0&se=1&s=1&sme=0&word=" +
               escaped + "&z=" + std::to_string(size.ServiceCode) + "&rn=15";
    return base +
           "/i?tn=baiduimage&ct=201326592&cl=2&lm=-1&fr=&pv=&ic=0&z=0&se=1&s=0&sme=0&rn=15&word=" +
           escaped + "+" + std::to_string(size.Width) + "x" + std::to_string(size.Height);
}

std::string YoudaoQuery(const std::string& base, const std::string& escaped,
                        const TWallpaperSize& size) {
    return base + "/search?q=" + escaped + "+" + std::to_string(size.Width) + "x" +
           std::to_string(size.Height);
}

std::string SogouQuery(const std::string& base, const std::string& escaped,
                       const TWallpaperSize& size) {
    return base + "/pics?query=" + escaped + "&mode=5&dheight=" + std::to_string(size.Height) +
           "&dwidth=" + std::to_string(size.Width) +
           "&page=1&mood=0&dm=4&di=" + std::to_string(size.ServiceCode);
}

TBaiduPage ParseBaiduPage(std::string_view page) {
    TBaiduPage r;
    const std::string text =
        ExtractBetween(page, "<script>var imgdata =", ";BD.IMG.model.ImageIndex.storeData");
    const nlohmann::json doc = ParseLenientJson(Cp936ToUtf8(text));
    if (!doc.is_object())
        return r;
    r.IsObject = true;
    if (auto it = doc.find("listNum"); it != doc.end())
        r.ListNum = JsonInt32(*it);
    auto data = doc.find("data");
    r.HasData = data != doc.end();
    if (!r.HasData || !data->is_array())
        return r;
    for (std::size_t i = 0; i < data->size(); ++i) {
        const nlohmann::json& e = (*data)[i];
        if (!e.is_object() || !e.contains("thumbURL") || !e.contains("objURL"))
            continue;
        r.Items.push_back({JsonText(e["thumbURL"]), JsonText(e["objURL"])});
        if (i >= static_cast<std::size_t>(ResultsPerPage - 1))
            break;
    }
    return r;
}

std::string MarkCurrentPage(const std::string& bar) {
    TPatternMatch m = CurrentPageNumber().Match(bar);
    if (!m.Matched)
        return bar;
    // The number sits at the end of the match (group 1) or at its start.
    const bool first = !m.Group(1).empty();
    const std::string number = first ? m.Group(1) : m.Group(2);
    const std::size_t at = first ? m.End - number.size() : m.Start;
    return bar.substr(0, at) + "<span class=\"current-page\">" + number + "</span>" +
           bar.substr(at + number.size());
}

TServicePage ExtractSogouPage(std::string_view page) {
    TServicePage r;
    std::string region;
    std::string bar = ExtractBetween(page, "<p class=\"pagebar\">", "</p></div>");
    if (!bar.empty()) {
        bar = Cp936ToUtf8(bar);
        region = ExtractBetween(page, "<div id=\"content1\"><ul class=\"piclist2\">",
                                "<p class=\"pagebar\">");
        RemoveAll(region, "\n");
        RemoveAll(region, "\r\n");
    } else {
        bar = Cp936ToUtf8(ExtractBetween(page, "<div class=\"p\">", "</div>"));
        for (std::string_view s : {"&nbsp;", "<strong>", "</strong>", "\r\n", "\t"})
            RemoveAll(bar, s);
        region = ExtractBetween(page, "<ul id=\"plist\" class=\"vlcol5\">", "<div id=\"hint\">");
        RemoveAll(region, "\n");
        RemoveAll(region, "\r");
        RemoveAll(region, "\r\n");
    }
    // Marked and cleaned as UTF-8: removing "[" from code page 936 bytes
    // could cut a character whose second byte is 0x5B.
    bar = MarkCurrentPage(bar);
    RemoveAll(bar, "[");
    RemoveAll(bar, "]");
    r.Pager = std::move(bar);
    r.Results = CutResults(region, SogouBlock(), SogouItem());
    return r;
}

TServicePage ExtractYoudaoPage(std::string_view utf8Page) {
    TServicePage r;
    const std::string page = Utf8ToCp936(utf8Page);
    r.Pager = Cp936ToUtf8(ExtractBetween(page, "<div id=\"pagination\">", "</div>"));
    std::string region = ExtractBetween(page, "<div id=\"resultLists\">",
                                        "<div id=\"hiddenSummary23\" style=\"display:none;\">");
    RemoveAll(region, "\n");
    RemoveAll(region, "\r\n");
    r.Results = CutResults(region, YoudaoBlock(), YoudaoItem());
    return r;
}

TWallpaperSearch::TWallpaperSearch(TServiceBases bases, TSearchManager& results, IPagerView& pager,
                                   const TPicStore* store, std::unique_ptr<IPageSource> source)
    : FBases(std::move(bases)), FResults(results), FPager(pager), FStore(store),
      FSource(source ? std::move(source) : std::make_unique<TBlockingPageSource>()) {}

bool TWallpaperSearch::StartSearch(int kind, const std::string& keyword, int sizeIndex) {
    if (kind != skBaidu && kind != skYoudao && kind != skSogou)
        return false;
    const std::string key = Trim(keyword);
    if (key.empty()) {
        ShowMessageBox(MsgEnterKeyword, "", mkInformation);
        return false;
    }
    if (OnSearchStarted)
        OnSearchStarted(kind);
    State.FSearchKind = kind;
    FPager.ClearPager();
    ApplyServiceCodes(kind);
    // No selection in the size list reads as the first entry.
    if (sizeIndex < 0 || sizeIndex >= WallpaperSizeCount)
        sizeIndex = 0;
    const TWallpaperSize& size = WallpaperSizes[static_cast<std::size_t>(sizeIndex)];
    const std::string escaped = UrlEncode(key, false);
    switch (kind) {
    case skBaidu:
        State.FBaiduQuery = BaiduQuery(FBases.Baidu, escaped, size);
        FetchBaidu(State.FBaiduQuery, true);
        break;
    case skYoudao:
        State.FYoudaoKeyword = key;
        FetchYoudao(YoudaoQuery(FBases.Youdao, escaped, size));
        break;
    default:
        FetchSogou(SogouQuery(FBases.Sogou, escaped, size));
        break;
    }
    return true;
}

void TWallpaperSearch::Fetch(int kind, const std::string& address, TPageHandler onPage) {
    FSource->Fetch(address, FBases.Of(kind) + "/", std::move(onPage));
}

void TWallpaperSearch::FetchBaidu(const std::string& address, bool firstPage) {
    Fetch(skBaidu, address,
          [this, firstPage](const std::string& page) { ShowBaiduPage(page, firstPage); });
}

void TWallpaperSearch::FetchYoudao(const std::string& address) {
    Fetch(skYoudao, address, [this](const std::string& page) { ShowYoudaoPage(page); });
}

void TWallpaperSearch::FetchSogou(const std::string& address) {
    Fetch(skSogou, address, [this](const std::string& page) { ShowSogouPage(page); });
}

bool TWallpaperSearch::IsDownloaded(const std::string& picture) const {
    return FStore && !FStore->FindLocalPicture(picture).empty();
}

void TWallpaperSearch::ShowResults(const std::vector<TFoundPicture>& found) {
    for (const auto& f : found)
        FResults.AddResult("", f.Thumb, f.Pic, IsDownloaded(f.Pic));
}

void TWallpaperSearch::ShowBaiduPage(std::string_view page, bool firstPage) {
    const TBaiduPage parsed = ParseBaiduPage(page);
    if (!parsed.IsObject) {
        ShowMessageBox(MsgNoWallpaper, "", mkInformation);
        return;
    }
    if (firstPage) {
        // A negative count is as good as none.
        if (parsed.ListNum <= 0 || !parsed.HasData) {
            ShowMessageBox(MsgNoWallpaper, "", mkInformation);
            return;
        }
        const std::int32_t n = parsed.ListNum;
        State.FPageCount = n / ResultsPerPage + (n % ResultsPerPage > 0 ? 1 : 0);
    }
    BuildBaiduPager(firstPage ? 1 : State.FCurPage);
    ShowResults(parsed.Items);
    if (FResults.LoadInto() == 0)
        State.FCurPage = 0;
    else if (firstPage)
        State.FCurPage = 1;
    if (State.FCurPage == 0)
        ShowMessageBox(MsgNoWallpaper, "", mkInformation);
}

void TWallpaperSearch::ShowSogouPage(std::string_view page) {
    ShowServicePage(ExtractSogouPage(page));
}

void TWallpaperSearch::ShowYoudaoPage(std::string_view page) {
    ShowServicePage(ExtractYoudaoPage(page));
}

void TWallpaperSearch::ShowServicePage(const TServicePage& page) {
    FPager.ShowPager(page.Pager);
    ShowResults(page.Results);
    if (FResults.LoadInto() == 0)
        ShowMessageBox(MsgNoWallpaper, "", mkInformation);
}

void TWallpaperSearch::BuildBaiduPager(std::int32_t current) {
    FPager.ShowPager(BaiduPagerFragment(State.FPageCount, current));
}

bool TWallpaperSearch::NavigatePager(const std::string& target) {
    const TPagerFetch f = PagerTargetFetch(target, State, FBases);
    switch (f.Action) {
    case TPagerFetch::paLetThrough:
        return false;
    case TPagerFetch::paBaidu:
        State.FCurPage = f.Page;
        FetchBaidu(f.Url, false);
        break;
    case TPagerFetch::paYoudao:
        FetchYoudao(f.Url);
        break;
    case TPagerFetch::paSogou:
        FetchSogou(f.Url);
        break;
    case TPagerFetch::paNothing:
        break;
    }
    return true;
}

} // namespace velmora
