#include "catalog/uCatalog.h"

#include "catalog/uFetch.h"
#include "catalog/uWinHttp.h"
#include "install/CodePage.h"
#include "install/uPubFunc.h"
#include "platform/util/Ascii.h"
#include "platform/util/Files.h"
#include "platform/util/Sha256.h"

#include <nlohmann/json.hpp>

#include <array>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <unordered_map>

namespace velmora {
namespace fs = std::filesystem;
using nlohmann::json;

const char* const PackageExt[2] = {".themepack", ".zip"};
const char* const MsgNoCatalog = "无法获取配置文件，程序将退出";
const char* const MsgCatalogError = "读取配置出错，程序无法正常运行";
const char* const MsgVerifyFailed = "文件校验失败：%s";
const char* const ThemeHeaderFormat = "主题名称 (共:%d个主题)";

namespace {

constexpr std::size_t MaxNameBytes = 255;

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

// The optional "sha256" and "size" members of an item; a malformed one counts
// as missing, as any member the program does not know.
TPackageCheck CheckMembers(const json& obj) {
    TPackageCheck check;
    if (!obj.is_object())
        return check;
    if (auto it = obj.find("sha256");
        it != obj.end() && it->is_string() && IsSha256Hex(it->get_ref<const std::string&>()))
        check.Sha256 = LowerAscii(it->get_ref<const std::string&>());
    if (auto it = obj.find("size"); it != obj.end() && it->is_number_unsigned())
        check.Size = it->get<std::uint64_t>();
    return check;
}

const json* ArrayMember(const json& obj, const char* key) {
    if (!obj.is_object())
        return nullptr;
    auto it = obj.find(key);
    return it != obj.end() && it->is_array() ? &*it : nullptr;
}

bool HasUtf8Mark(std::string_view text) {
    return text.substr(0, 3) == "\xEF\xBB\xBF";
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
    const fs::path cache = folders.CacheDir.empty() ? folders.ExePath / "cache" : folders.CacheDir;
    return cache / CategoryFolder(tag);
}

fs::path CatalogCopyFile(const TFolderFields& folders) {
    return (folders.CacheDir.empty() ? folders.ExePath : folders.CacheDir) / "config.txt";
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

namespace {

// The folders an item's package and installed files are looked for in,
// worked out once per load rather than once per item.
// A system folder that could not be resolved stays empty, and nothing is
// looked for in it (not in the working folder instead).
struct TItemFolders {
    explicit TItemFolders(const TFolderFields& f)
        : Cache{CacheFolder(f, 0).string(),
                {},
                CacheFolder(f, 2).string(),
                CacheFolder(f, 3).string()},
          Themes(Below(f.WinDir, "Resources/Themes")), UserThemes(f.UserThemesDir.string()),
          Cursors(Below(f.WinDir, "Cursors")), System(f.SysDir.string()) {}
    static std::string Below(const fs::path& base, const char* rel) {
        return base.empty() ? std::string() : (base / rel).lexically_normal().string();
    }
    std::string Cache[4];
    std::string Themes, UserThemes, Cursors, System;
};

// A name in a folder, and whether it must be a folder itself.
struct TProbe {
    const std::string* Folder;
    std::string Name;
    bool IsFolder;
};

TProbe PackageProbe(const TItemFolders& folders, int tag, const TCatalogItem& item) {
    return {&folders.Cache[tag], item.Name + PackageExt[item.IsZip ? 1 : 0], false};
}

std::optional<TProbe> InstalledProbe(const TItemFolders& folders, int tag,
                                     const TCatalogItem& item) {
    switch (tag) {
    case tagTheme:
        if (item.IsZip)
            return TProbe{&folders.Themes, item.Name + ".theme", false};
        return TProbe{&folders.UserThemes, item.Name, true};
    case tagCursor:
        return TProbe{&folders.Cursors, item.Name, true};
    case tagScreenSave:
        return TProbe{&folders.System, item.Name + ".scr", false};
    default:
        return std::nullopt;
    }
}

// Names are found as Windows finds them: without regard to (ASCII) case.
std::string FoldedName(std::string_view name) {
    return LowerAscii(name);
}

// Answers probes by asking the file system each time.
class TDirectDisk {
public:
    bool Exists(const TProbe& p) {
        if (p.Folder->empty())
            return false;
        std::error_code ec;
        fs::path path = fs::path(*p.Folder) / p.Name;
        if (p.IsFolder ? fs::is_directory(path, ec) : fs::is_regular_file(path, ec))
            return true;
        const std::string wanted = FoldedName(p.Name);
        for (fs::directory_iterator it(*p.Folder, ec), end; !ec && it != end; it.increment(ec)) {
            std::error_code kindError;
            if (FoldedName(it->path().filename().string()) == wanted &&
                (p.IsFolder ? it->is_directory(kindError) : it->is_regular_file(kindError)))
                return true;
        }
        return false;
    }
};

// Answers probes from one listing per folder: a large catalogue asks about
// tens of thousands of names in the same handful of folders.
class TListedDisk {
public:
    bool Exists(const TProbe& p) {
        if (p.Folder->empty())
            return false;
        auto [it, added] = FListings.try_emplace(*p.Folder);
        if (added)
            List(*p.Folder, it->second);
        auto entry = it->second.find(FoldedName(p.Name));
        return entry != it->second.end() && entry->second == p.IsFolder;
    }

private:
    // name -> is a folder; names of other kinds are left out.
    using TListing = std::unordered_map<std::string, bool>;

    static void List(const fs::path& folder, TListing& listing) {
        std::error_code ec;
        for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
            std::error_code kindError;
            if (it->is_directory(kindError))
                listing.emplace(FoldedName(it->path().filename().string()), true);
            else if (it->is_regular_file(kindError))
                listing.emplace(FoldedName(it->path().filename().string()), false);
        }
    }

    std::unordered_map<std::string, TListing> FListings;
};

template <typename TDisk>
TCatalogRow AddItem(TDisk& disk, ICatalogSink& sink, const TItemFolders& folders, int tag,
                    TCatalogRow parent, bool isZip, std::string_view name,
                    const TPackageCheck& check = {}) {
    TCatalogItem item;
    item.Name = CutToCp936Bytes(name, MaxNameBytes);
    item.IsZip = isZip;
    item.Sha256 = check.Sha256;
    item.Size = check.Size;
    if (disk.Exists(PackageProbe(folders, tag, item)))
        item.State = dsDone;
    auto installed = InstalledProbe(folders, tag, item);
    item.Installed = installed && disk.Exists(*installed);
    return sink.AddRow(tag, parent, item);
}

} // namespace

bool IsItemInstalled(const TFolderFields& folders, int tag, const TCatalogItem& item) {
    const TItemFolders where(folders);
    const auto probe = InstalledProbe(where, tag, item);
    TDirectDisk disk;
    return probe && disk.Exists(*probe);
}

bool IsSafeItemName(std::string_view name) {
    if (name.empty() || name == "." || name == "..")
        return false;
    static const auto forbidden = [] {
        std::array<bool, 256> t{};
        for (int c = 0; c < 32; ++c)
            t[c] = true;
        for (unsigned char c : std::string_view("<>:\"/\\|?*"))
            t[c] = true;
        return t;
    }();
    for (unsigned char c : name)
        if (forbidden[c])
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
    if (upper.size() == 4 && (upper.starts_with("COM") || upper.starts_with("LPT")) &&
        upper[3] >= '1' && upper[3] <= '9')
        return false;
    return true;
}

TCatalogRow AddCatalogItem(ICatalogSink& sink, const TFolderFields& folders, int tag,
                           TCatalogRow parent, bool isZip, std::string_view name) {
    TDirectDisk disk;
    return AddItem(disk, sink, TItemFolders(folders), tag, parent, isZip, name);
}

namespace {

// The trimmed name in the ANSI code page, or empty when it is no usable name.
// A character the code page lacks turns into "?", which no file name may hold;
// a document decoded from the code page holds no such character.
std::string UsableName(const std::string& raw, bool decodedFromCp936) {
    std::string name = Trim(decodedFromCp936 ? raw : Cp936ToUtf8(Utf8ToCp936(raw)));
    return IsSafeItemName(name) ? name : std::string();
}

} // namespace

namespace {

// Collects the rows of a document instead of adding them to a list.
class TDocumentSink : public ICatalogSink {
public:
    explicit TDocumentSink(TCatalogDocument& doc) : FDoc(doc) {}
    TCatalogRow AddRow(int tag, TCatalogRow parent, const TCatalogItem& item) override {
        FDoc.Rows.push_back(TCatalogRecord{tag, parent, item});
        return static_cast<TCatalogRow>(FDoc.Rows.size() - 1);
    }
    void SetThemeHeader(const std::string& text) override {
        FDoc.ThemeHeader = text;
        FDoc.ThemeRows = FDoc.Rows.size();
    }

private:
    TCatalogDocument& FDoc;
};

} // namespace

TCatalogDocument ReadCatalogText(std::string_view text, const TFolderFields& folders) {
    TCatalogDocument doc;
    // The document is code page 936 unless it says it is UTF-8 with a mark.
    const bool utf8 = HasUtf8Mark(text);
    json parsed =
        json::parse(utf8 ? std::string(text.substr(3)) : Cp936ToUtf8(text), nullptr, false, true);
    const json* themes = parsed.is_discarded() ? nullptr : ArrayMember(parsed, "themes");
    if (!themes) {
        doc.Result = TLoadResult::ParseError;
        return doc;
    }

    TDocumentSink sink(doc);
    TListedDisk disk;
    const TItemFolders itemFolders(folders);
    int count = 0;
    for (const json& group : *themes) {
        std::string title = Trim(MemberText(group, "name"));
        if (title.empty())
            continue;
        TCatalogItem groupItem;
        groupItem.Name = CutToCp936Bytes(title, MaxNameBytes);
        TCatalogRow groupRow = sink.AddRow(tagTheme, NoRow, groupItem);
        if (const json* list = ArrayMember(group, "list")) {
            for (const json& entry : *list) {
                std::string name = UsableName(MemberText(entry, "name"), !utf8);
                if (name.empty())
                    continue;
                AddItem(disk, sink, itemFolders, tagTheme, groupRow, AsZipFlag(entry), name,
                        CheckMembers(entry));
                ++count;
            }
        }
    }
    char header[128];
    std::snprintf(header, sizeof header, ThemeHeaderFormat, count);
    sink.SetThemeHeader(header);

    for (auto [key, tag] :
         {std::pair{"cursors", tagCursor}, std::pair{"screensave", tagScreenSave}}) {
        if (const json* list = ArrayMember(parsed, key)) {
            for (const json& entry : *list) {
                // A name, or an object with the name and the package's check.
                std::string name = UsableName(
                    entry.is_object() ? MemberText(entry, "name") : AsText(entry), !utf8);
                if (!name.empty())
                    AddItem(disk, sink, itemFolders, tag, NoRow, true, name, CheckMembers(entry));
            }
        }
    }
    return doc;
}

TCatalogDocument FetchCatalog(TWinHttp& http, const std::string& base, const TFolderFields& folders,
                              std::chrono::milliseconds limit) {
    TMemoryStream stream;
    std::string text;
    TCatalogDocument none;
    none.Result = TLoadResult::NoCatalog;
    // An endless answer must not fill the memory.
    const std::uint64_t callerBound = http.MaxBodyBytes;
    http.MaxBodyBytes = MaxCatalogBytes;
    bool whole = false;
    try {
        whole = GetWithin(http, base + "/softdata/win7/config.txt", stream, limit);
    } catch (...) {
        http.MaxBodyBytes = callerBound;
        throw;
    }
    http.MaxBodyBytes = callerBound;
    if (whole)
        text = stream.Take();
    if (http.Cancelled && http.Cancelled())
        return none; // whoever asked is going away: nothing more is read
    if (text.empty() && ReadWholeFile(CatalogCopyFile(folders), text, MaxCatalogBytes))
        return none;
    return ReadCatalogText(text, folders);
}

std::string VerifyFailedText(const std::string& name) {
    std::string text = MsgVerifyFailed;
    text.replace(text.find("%s"), 2, name);
    return text;
}

bool PackageFileMatches(const fs::path& package, const TPackageCheck& check) {
    if (check.Size > 0) {
        std::error_code ec;
        const std::uintmax_t size = fs::file_size(package, ec);
        if (ec || size != check.Size)
            return false;
    }
    return check.Sha256.empty() || Sha256OfFile(package) == check.Sha256;
}

void ShowCatalogMessage(TLoadResult result) {
    if (result == TLoadResult::NoCatalog)
        ShowMessageBox(MsgNoCatalog, "", mkWarning);
    else if (result == TLoadResult::ParseError)
        ShowMessageBox(MsgCatalogError, "", mkInformation);
}

TCatalogFiller::TCatalogFiller(TCatalogDocument document) : FDoc(std::move(document)) {
    FHandles.resize(FDoc.Rows.size(), NoRow);
    // A document that did not load fills nothing, header included.
    FHeaderSet = FDoc.Result != TLoadResult::Loaded;
    if (FHeaderSet)
        FNext = FDoc.Rows.size();
}

bool TCatalogFiller::Fill(ICatalogSink& sink, std::size_t count) {
    for (std::size_t added = 0;;) {
        if (FNext == FDoc.ThemeRows && !FHeaderSet) {
            FHeaderSet = true;
            sink.SetThemeHeader(FDoc.ThemeHeader);
        }
        if (FNext == FDoc.Rows.size() || added == count)
            break;
        const TCatalogRecord& record = FDoc.Rows[FNext];
        const TCatalogRow parent = record.Parent >= 0 ? FHandles[record.Parent] : NoRow;
        FHandles[FNext] = sink.AddRow(record.Tag, parent, record.Item);
        ++FNext;
        ++added;
    }
    return Done();
}

TLoadResult LoadCatalogText(std::string_view text, const TFolderFields& folders,
                            ICatalogSink& sink) {
    TCatalogDocument doc = ReadCatalogText(text, folders);
    const TLoadResult result = doc.Result;
    ShowCatalogMessage(result);
    TCatalogFiller(std::move(doc)).Fill(sink, SIZE_MAX);
    return result;
}

TLoadResult LoadCatalog(TWinHttp& http, const std::string& base, const TFolderFields& folders,
                        ICatalogSink& sink) {
    TCatalogDocument doc = FetchCatalog(http, base, folders);
    const TLoadResult result = doc.Result;
    ShowCatalogMessage(result);
    TCatalogFiller(std::move(doc)).Fill(sink, SIZE_MAX);
    return result;
}

} // namespace velmora
