#include "tools/SearchRoutes.h"

#include "install/CodePage.h"
#include "install/uPubFunc.h"

#include <charconv>
#include <map>

namespace velmora {

namespace fs = std::filesystem;

namespace {

struct TService {
    const char* Path;
    const char* Folder;
    const char* KeywordParam;
    const char* PageParam;
    bool PageIsOffset;
    const char* ContentType;
};

constexpr TService Services[] = {
    {"/i", "baidu", "word", "pn", true, "text/html; charset=gbk"},
    {"/search", "youdao", "q", "start", true, "text/html; charset=utf-8"},
    {"/pics", "sogou", "query", "page", false, "text/html; charset=gbk"},
};

constexpr int PerPage = 15;

// name → decoded bytes; a value with a bad escape is left out.
std::map<std::string, std::string> QueryParams(const std::string& query) {
    std::map<std::string, std::string> params;
    std::size_t from = 0;
    while (from <= query.size()) {
        std::size_t end = query.find('&', from);
        if (end == std::string::npos)
            end = query.size();
        const std::string pair = query.substr(from, end - from);
        const std::size_t eq = pair.find('=');
        try {
            const std::string name = UrlDecode(pair.substr(0, eq));
            if (!params.count(name))
                params[name] =
                    eq == std::string::npos ? std::string() : UrlDecode(pair.substr(eq + 1));
        } catch (const EConvertError&) {
        }
        from = end + 1;
    }
    return params;
}

bool ReadNumber(const std::string& text, long long& value) {
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && ptr == text.data() + text.size() && value >= 0;
}

// The keyword of a query value: UTF-8, without a trailing " WIDTHxHEIGHT".
std::string Keyword(const std::string& bytes) {
    std::string text = IsValidUtf8(bytes) ? bytes : Cp936ToUtf8(bytes);
    const std::size_t space = text.find_last_of(' ');
    if (space != std::string::npos) {
        const std::string size = text.substr(space + 1);
        const std::size_t x = size.find('x');
        long long w = 0, h = 0;
        if (x != std::string::npos && ReadNumber(size.substr(0, x), w) &&
            ReadNumber(size.substr(x + 1), h))
            text.erase(space);
    }
    return Trim(text);
}

// A keyword that can name a folder of its own.
bool UsableKeyword(const std::string& keyword) {
    return !keyword.empty() && keyword != "." && keyword != ".." &&
           keyword.find_first_of(std::string("/\\\0", 3)) == std::string::npos;
}

} // namespace

std::optional<TSearchRoute> RouteSearchQuery(const fs::path& root, const std::string& path,
                                             const std::string& query) {
    for (const TService& s : Services) {
        if (path != s.Path)
            continue;
        const fs::path folder = root / "search" / s.Folder;
        std::error_code ec;
        if (!fs::is_directory(folder, ec))
            return std::nullopt;
        const auto params = QueryParams(query);
        long long page = 1;
        if (auto it = params.find(s.PageParam); it != params.end()) {
            long long n = 0;
            if (!ReadNumber(it->second, n))
                page = 0; // no page of ours
            else
                page = s.PageIsOffset ? n / PerPage + 1 : n;
        }
        const auto key = params.find(s.KeywordParam);
        const std::string keyword = key == params.end() ? std::string() : Keyword(key->second);
        if (page >= 1 && UsableKeyword(keyword)) {
            const fs::path file = folder / keyword / (std::to_string(page) + ".html");
            if (fs::is_regular_file(file, ec))
                return TSearchRoute{file, s.ContentType};
        }
        return TSearchRoute{folder / "empty.html", s.ContentType};
    }
    return std::nullopt;
}

} // namespace velmora
