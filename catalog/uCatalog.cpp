#include "catalog/uCatalog.h"

#include "catalog/uWinHttp.h"
#include "install/CodePage.h"
#include "install/uPubFunc.h"

#include <nlohmann/json.hpp>

#include <array>
#include <cstdio>
#include <fstream>
#include <iterator>

namespace velmora {
namespace fs = std::filesystem;
using nlohmann::json;

const char* const PackageExt[2] = {".themepack", ".zip"};
const char* const MsgNoCatalog = "无法获取配置文件，程序将退出";
const char* const MsgCatalogError = "读取配置出错，程序无法正常运行";
const char* const ThemeHeaderFormat = "主题名称 (共:%d个主题)";

namespace {

constexpr std::size_t kMaxNameBytes = 255;

fs::path ItemFile(const TFolderFields& folders, int tag, const std::string& name, const char* ext) {
    return CacheFolder(folders, tag) / (name + ext);
}

std::string ItemUrl(const std::string& base, int tag, const std::string& name, const char* ext) {
    return base + "/softdata/win7/res/" + CategoryFolder(tag) + "/" + UrlEncode(name, true) + ext;
}

// A JSON value read as text: strings as they are, numbers and booleans in
// their written form; anything else is no name.
std::string AsText(const json& v) {
    if (v.is_string())
        return v.get<std::string>();
    if (v.is_number() || v.is_boolean())
        return v.dump();
    return {};
}

std::string MemberText(const json& obj, const char* key) {
    if (!obj.is_object())
        return {};
    auto it = obj.find(key);
    return it == obj.end() ? std::string() : AsText(*it);
}

// "iszip": null false, numbers true when not zero, strings true when not
// empty, objects and arrays true; missing false.
bool AsZipFlag(const json& obj) {
    if (!obj.is_object())
        return false;
    auto it = obj.find("iszip");
    if (it == obj.end())
        return false;
    const json& v = *it;
    switch (v.type()) {
    case json::value_t::null:
        return false;
    case json::value_t::boolean:
        return v.get<bool>();
    case json::value_t::number_integer:
    case json::value_t::number_unsigned:
    case json::value_t::number_float:
        return v.get<double>() != 0.0;
    case json::value_t::string:
        return !v.get_ref<const std::string&>().empty();
    default:
        return true;
    }
}

const json* ArrayMember(const json& obj, const char* key) {
    if (!obj.is_object())
        return nullptr;
    auto it = obj.find(key);
    return it != obj.end() && it->is_array() ? &*it : nullptr;
}

// The document is code page 936 unless it says it is UTF-8 with a mark.
std::string DecodeCatalogText(std::string_view text) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        return std::string(text.substr(3));
    return Cp936ToUtf8(text);
}

} // namespace

std::string CategoryFolder(int tag) {
    switch (tag) {
    case tagTheme:
        return "theme";
    case tagCursor:
        return "cursor";
    case tagScreenSave:
        return "screensave";
    default:
        return {};
    }
}

fs::path CacheFolder(const TFolderFields& folders, int tag) {
    return folders.ExePath / "cache" / CategoryFolder(tag);
}

void EnsureCacheFolder(const TFolderFields& folders, int tag) {
    fs::create_directories(CacheFolder(folders, tag));
}

fs::path PackageFile(const TFolderFields& folders, int tag, const TCatalogItem& item) {
    return ItemFile(folders, tag, item.Name, PackageExt[item.IsZip ? 1 : 0]);
}

fs::path PreviewFile(const TFolderFields& folders, int tag, const TCatalogItem& item) {
    return ItemFile(folders, tag, item.Name, ".jpg");
}

std::string PackageUrl(const std::string& base, int tag, const TCatalogItem& item) {
    return ItemUrl(base, tag, item.Name, PackageExt[item.IsZip ? 1 : 0]);
}

std::string PreviewUrl(const std::string& base, int tag, const TCatalogItem& item) {
    return ItemUrl(base, tag, item.Name, ".jpg");
}

bool IsInstalled(const TFolderFields& folders, int tag, const TCatalogItem& item) {
    std::error_code ec;
    switch (tag) {
    case tagTheme:
        if (item.IsZip)
            return fs::is_regular_file(folders.WinDir / "Resources" / "Themes" / (item.Name + ".theme"), ec);
        return fs::is_directory(folders.UserThemesDir / item.Name, ec);
    case tagCursor:
        return fs::is_directory(folders.WinDir / "Cursors" / item.Name, ec);
    case tagScreenSave:
        return fs::is_regular_file(folders.SysDir / (item.Name + ".scr"), ec);
    default:
        return false;
    }
}

bool IsSafeItemName(std::string_view name) {
    if (name.empty() || name == "." || name == "..")
        return false;
    for (unsigned char c : name)
        if (c < 32 || std::string_view("<>:\"/\\|?*").find(static_cast<char>(c)) != std::string_view::npos)
            return false;
    // Device names stay devices with any extension: "con.txt" is CON.
    std::string_view stem = name.substr(0, name.find('.'));
    while (!stem.empty() && stem.back() == ' ')
        stem.remove_suffix(1);
    std::string upper(stem);
    for (char& c : upper)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    static const std::array<const char*, 4> fixed = {"CON", "PRN", "AUX", "NUL"};
    for (const char* d : fixed)
        if (upper == d)
            return false;
    if (upper.size() == 4 && (upper.starts_with("COM") || upper.starts_with("LPT")) && upper[3] >= '1' &&
        upper[3] <= '9')
        return false;
    return true;
}

std::string TrimName(std::string_view text) {
    std::size_t b = 0, e = text.size();
    while (b < e && static_cast<unsigned char>(text[b]) <= ' ')
        ++b;
    while (e > b && static_cast<unsigned char>(text[e - 1]) <= ' ')
        --e;
    return std::string(text.substr(b, e - b));
}

TCatalogRow AddCatalogItem(ICatalogSink& sink, const TFolderFields& folders, int tag, TCatalogRow parent,
                           bool isZip, std::string_view name) {
    TCatalogItem item;
    item.Name = CutToCp936Bytes(name, kMaxNameBytes);
    item.IsZip = isZip;
    std::error_code ec;
    if (fs::is_regular_file(PackageFile(folders, tag, item), ec))
        item.State = dsDone;
    item.Installed = IsInstalled(folders, tag, item);
    return sink.AddRow(tag, parent, item);
}

namespace {

// The trimmed name in the ANSI code page, or empty when it is no usable name.
// A character the code page lacks turns into "?", which no file name may hold.
std::string UsableName(const std::string& raw) {
    std::string name = TrimName(Cp936ToUtf8(Utf8ToCp936(raw)));
    return IsSafeItemName(name) ? name : std::string();
}

} // namespace

TLoadResult LoadCatalogText(std::string_view text, const TFolderFields& folders, ICatalogSink& sink) {
    json doc = json::parse(DecodeCatalogText(text), nullptr, false, true);
    const json* themes = doc.is_discarded() ? nullptr : ArrayMember(doc, "themes");
    if (!themes) {
        ShowMessageBox(MsgCatalogError, "", mkInformation);
        return TLoadResult::ParseError;
    }

    int count = 0;
    for (const json& group : *themes) {
        std::string title = TrimName(MemberText(group, "name"));
        if (title.empty())
            continue;
        TCatalogItem groupItem;
        groupItem.Name = CutToCp936Bytes(title, kMaxNameBytes);
        TCatalogRow groupRow = sink.AddRow(tagTheme, NoRow, groupItem);
        if (const json* list = ArrayMember(group, "list")) {
            for (const json& entry : *list) {
                std::string name = UsableName(MemberText(entry, "name"));
                if (name.empty())
                    continue;
                AddCatalogItem(sink, folders, tagTheme, groupRow, AsZipFlag(entry), name);
                ++count;
            }
        }
    }
    char header[128];
    std::snprintf(header, sizeof header, ThemeHeaderFormat, count);
    sink.SetThemeHeader(header);

    for (auto [key, tag] : {std::pair{"cursors", tagCursor}, std::pair{"screensave", tagScreenSave}}) {
        if (const json* list = ArrayMember(doc, key)) {
            for (const json& entry : *list) {
                std::string name = UsableName(AsText(entry));
                if (!name.empty())
                    AddCatalogItem(sink, folders, tag, NoRow, true, name);
            }
        }
    }
    return TLoadResult::Loaded;
}

TLoadResult LoadCatalog(TWinHttp& http, const std::string& base, const TFolderFields& folders,
                        ICatalogSink& sink) {
    std::string text = http.GetString(base + "/softdata/win7/config.txt");
    if (text.empty()) {
        std::ifstream in(folders.ExePath / "config.txt", std::ios::binary);
        if (!in) {
            ShowMessageBox(MsgNoCatalog, "", mkWarning);
            return TLoadResult::NoCatalog;
        }
        text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return LoadCatalogText(text, folders, sink);
}

} // namespace velmora
