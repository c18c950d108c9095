#include "wallpaper/uPager.h"

#include "install/uPubFunc.h"
#include "platform/util/Ascii.h"
#include "wallpaper/uSearchEngines.h"

#include <charconv>

namespace velmora {

std::string WrapPage(const std::string& body) {
    // Selector, the white space after it, declaration block.
    static const char* const rules[7][3] = {
        {"body", "                             ",
         "{font-family:\"宋体\";margin:0;padding:0;font-size:12px}"},
        {".pagination", "\t\t\t\t\t\t\t\t\t\t\t",
         "{padding:0 3px 0 0;margin-left:3px;margin-top:5px;}"},
        {".pagination a", " \t\t\t\t\t\t\t\t\t\t",
         "{text-decoration: none;border: solid 1px #CCC;color: #000;}"},
        {".pagination a, .pagination span", " \t",
         "{display: block;float: left;padding: 0.3em 0.6em;margin-right: 3px;margin-bottom: "
         "4px;}"},
        {".pagination a:hover", "\t\t\t\t\t\t\t",
         "{border-color:#fd6d01;color:#000;text-decoration:none;}"},
        {".pagination .current-page", "\t\t\t\t",
         "{background: #efefef;color: #000;border: solid 1px #CCC;}"},
        {".pagination .current.prev, .pagination .current.next", "\t",
         "{color:#000;border-color:#CCC;background:#efefef;}"},
    };
    std::string page =
        "<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Transitional//EN\" "
        "\"http://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd\">"
        "<html xmlns=\"http://www.w3.org/1999/xhtml\">"
        "<head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\" />"
        "<meta http-equiv=\"X-UA-Compatible\" content=\"IE=EmulateIE7\" />"
        "<title>无标题文档</title>"
        "<style type=\"text/css\" media=\"screen\">";
    for (const auto& r : rules) {
        page += r[0];
        page += r[1];
        page += r[2];
    }
    page += "</style></head><body>";
    page += body;
    page += "</body></html>";
    return page;
}

std::string PagerPage(const std::string& fragment) {
    return WrapPage("<div class=\"pagination\">" + fragment + "</div>");
}

std::string BaiduPagerFragment(std::int32_t total, std::int32_t current) {
    // 64-bit arithmetic: the numbers come from a page and may be extreme.
    const std::int64_t c = current, t = total;
    std::int64_t start = c - 5;
    if (t - c < 10)
        start = t - 9;
    if (start <= 0)
        start = 1;
    auto link = [](std::int64_t page, const std::string& text) {
        return "<a href=\"" + std::to_string(page) + "\">" + text + "</a>";
    };
    std::string out;
    if (c > 1)
        out += link(c - 1, "上一页");
    for (std::int64_t p = start; p <= start + 9 && p <= t; ++p)
        out += p == c ? "<span class=\"current-page\"> " + std::to_string(p) + " </span>"
                      : link(p, std::to_string(p));
    if (c < t)
        out += link(c + 1, "下一页");
    return out;
}

namespace {

// A whole decimal number with an optional sign that fits 32 bits.
bool ReadInt32(const std::string& s, std::int32_t& value) {
    const char* first = s.data();
    const char* last = s.data() + s.size();
    if (first != last && *first == '+')
        ++first;
    if (first == last)
        return false;
    auto [ptr, ec] = std::from_chars(first, last, value);
    return ec == std::errc() && ptr == last;
}

} // namespace

TPagerFetch PagerTargetFetch(const std::string& target, const TSearchState& state,
                             const TServiceBases& bases) {
    TPagerFetch f;
    std::string url = LowerAscii(target);
    if (url == "about:blank") {
        f.Action = TPagerFetch::paLetThrough;
        return f;
    }
    if (url.rfind("about:blank", 0) == 0)
        url.erase(0, 11);
    else if (url.rfind("about:", 0) == 0)
        url.erase(0, 6);

    switch (state.FSearchKind) {
    case skBaidu: {
        std::int32_t page = 1;
        // Links are pages from 1 on; anything else asks for the first page.
        if (!ReadInt32(url, page) || page < 1)
            page = 1;
        f.Action = TPagerFetch::paBaidu;
        f.Page = page;
        f.Url = state.FBaiduQuery + "&pn=" + std::to_string((std::int64_t(page) - 1) * 15);
        break;
    }
    case skYoudao: {
        url = bases.Youdao + url;
        const std::string& key = state.FYoudaoKeyword;
        if (!key.empty()) {
            const std::string escaped = UrlEncode(key, false);
            for (std::size_t at = url.find(key); at != std::string::npos;
                 at = url.find(key, at + escaped.size())) {
                url.replace(at, key.size(), escaped);
            }
        }
        f.Action = TPagerFetch::paYoudao;
        f.Url = url;
        break;
    }
    case skSogou:
        f.Action = TPagerFetch::paSogou;
        f.Url = bases.Sogou + url;
        break;
    default:
        break;
    }
    return f;
}

} // namespace velmora
