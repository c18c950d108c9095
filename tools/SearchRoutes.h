#pragma once
// The demo's answers to the query addresses of the three image-search
// services. The demo catalogue holds result pages per service, keyword and
// page:
//
//   search/baidu/KEYWORD/PAGE.html    (query path /i, keyword "word", page from "pn")
//   search/youdao/KEYWORD/PAGE.html   (/search, "q", page from "start")
//   search/sogou/KEYWORD/PAGE.html    (/pics, "query", page "page")
//   search/SERVICE/empty.html         (an unknown keyword or page)
//
// PAGE counts from 1; "pn" and "start" are result offsets in steps of 15. The
// keyword is the query value without the wallpaper size the query may end
// in ("风景 1920x1080"), as code page 936 or UTF-8 bytes, kept in UTF-8.
#include <filesystem>
#include <optional>
#include <string>

namespace velmora {

struct TSearchRoute {
    std::filesystem::path File;
    const char* ContentType; // with the charset the page is written in
};

// The page answering a request for `path` with the raw query string `query`;
// nothing when the path is no service's query path or `root` holds no pages
// for that service.
std::optional<TSearchRoute> RouteSearchQuery(const std::filesystem::path& root,
                                             const std::string& path, const std::string& query);

} // namespace velmora
