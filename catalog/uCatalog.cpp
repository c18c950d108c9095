#include "catalog/uCatalog.h"

#include "catalog/CatalogParser.h"
#include "catalog/uFetch.h"
#include "catalog/uWinHttp.h"
#include "install/CodePage.h"
#include "install/uPubFunc.h"
#include "platform/util/Ascii.h"
#include "platform/util/Files.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <unordered_map>

namespace velmora {
namespace fs = std::filesystem;

const char* const PackageExt[2] = {".themepack", ".zip"};
const char* const MsgNoCatalog = "无法获取配置文件，程序将退出";
const char* const MsgCatalogError = "读取配置出错，程序无法正常运行";
const char* const ThemeHeaderFormat = "主题名称 (共:%d个主题)";

namespace {

constexpr std::size_t MaxNameBytes = 255;

fs::path ItemFile(const TFolderFields& folders, int tag, const std::string& name, const char* ext) {
    return CacheFolder(folders, tag) / (name + ext);
}

std::string ItemUrl(const std::string& base, int tag, const std::string& name, const char* ext) {
    return base + "/softdata/win7/res/" + CategoryFolder(tag) + "/" + UrlEncode(name, true) + ext;
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

// A name (the item's and an ending) in a folder, and whether it must be a
// folder itself.
struct TProbe {
    const std::string* Folder;
    std::string_view Name;
    const char* Ext;
    bool IsFolder;
    std::string FileName() const { return std::string(Name) + Ext; }
};

TProbe PackageProbe(const TItemFolders& folders, int tag, const TCatalogItem& item) {
    return {&folders.Cache[tag], item.Name, PackageExt[item.IsZip ? 1 : 0], false};
}

std::optional<TProbe> InstalledProbe(const TItemFolders& folders, int tag,
                                     const TCatalogItem& item) {
    switch (tag) {
    case tagTheme:
        if (item.IsZip)
            return TProbe{&folders.Themes, item.Name, ".theme", false};
        return TProbe{&folders.UserThemes, item.Name, "", true};
    case tagCursor:
        return TProbe{&folders.Cursors, item.Name, "", true};
    case tagScreenSave:
        return TProbe{&folders.System, item.Name, ".scr", false};
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
        const std::string name = p.FileName();
        fs::path path = fs::path(*p.Folder) / name;
        if (p.IsFolder ? fs::is_directory(path, ec) : fs::is_regular_file(path, ec))
            return true;
        const std::string wanted = FoldedName(name);
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
        // The folders are a handful of strings that stay put: the last one
        // asked about is found without hashing its path.
        if (p.Folder != FLastFolder) {
            auto [it, added] = FListings.try_emplace(*p.Folder);
            if (added)
                List(*p.Folder, it->second);
            FLastFolder = p.Folder;
            FLast = &it->second;
        }
        const TListing& listing = *FLast;
        if (listing.empty()) // no folder, or nothing in it: no name to make
            return false;
        FName.assign(p.Name);
        FName += p.Ext;
        for (char& c : FName)
            c = LowerAscii(c);
        auto entry = listing.find(FName);
        return entry != listing.end() && entry->second == p.IsFolder;
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
    const std::string* FLastFolder = nullptr;
    const TListing* FLast = nullptr;
    std::string FName;
};

// Sets the item's cached and installed states from the disk.
template <typename TDisk>
void LookUpItem(TDisk& disk, const TItemFolders& folders, int tag, TCatalogItem& item) {
    if (disk.Exists(PackageProbe(folders, tag, item)))
        item.State = dsDone;
    auto installed = InstalledProbe(folders, tag, item);
    item.Installed = installed && disk.Exists(*installed);
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
    return !IsWindowsDeviceName(name);
}

TCatalogRow AddCatalogItem(ICatalogSink& sink, const TFolderFields& folders, int tag,
                           TCatalogRow parent, bool isZip, std::string_view name) {
    TDirectDisk disk;
    TCatalogItem item;
    item.Name = CutToCp936Bytes(name, MaxNameBytes);
    item.IsZip = isZip;
    LookUpItem(disk, TItemFolders(folders), tag, item);
    return sink.AddRow(tag, parent, item);
}

TCatalogDocument ReadCatalogText(std::string_view text, const TFolderFields& folders) {
    TCatalogDocument doc;
    // The document is code page 936 unless it says it is UTF-8 with a mark.
    const bool utf8 = HasUtf8Mark(text);
    TParsedCatalog parsed;
    if (!ParseCatalog(utf8 ? text.substr(3) : text, !utf8, parsed)) {
        doc.Result = TLoadResult::ParseError;
        return doc;
    }
    doc.Rows = std::move(parsed.Themes);
    doc.ThemeRows = doc.Rows.size();
    char header[128];
    std::snprintf(header, sizeof header, ThemeHeaderFormat, parsed.ThemeItems);
    doc.ThemeHeader = header;
    doc.Rows.reserve(doc.Rows.size() + parsed.Cursors.size() + parsed.ScreenSavers.size());
    for (auto* list : {&parsed.Cursors, &parsed.ScreenSavers})
        doc.Rows.insert(doc.Rows.end(), std::make_move_iterator(list->begin()),
                        std::make_move_iterator(list->end()));

    TListedDisk disk;
    const TItemFolders itemFolders(folders);
    for (TCatalogRecord& record : doc.Rows)
        if (record.Tag != tagTheme || record.Parent >= 0) // groups are no items
            LookUpItem(disk, itemFolders, record.Tag, record.Item);
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

void ICatalogSink::AddRows(int tag, TCatalogRow parent, TCatalogRecord* records, std::size_t count,
                           TCatalogRow* handles) {
    for (std::size_t i = 0; i < count; ++i)
        handles[i] = AddRow(tag, parent, records[i].Item);
}

bool TCatalogFiller::Fill(ICatalogSink& sink, std::size_t count) {
    for (std::size_t added = 0;;) {
        if (FNext == FDoc.ThemeRows && !FHeaderSet) {
            FHeaderSet = true;
            sink.SetThemeHeader(FDoc.ThemeHeader);
        }
        if (FNext == FDoc.Rows.size() || added == count)
            break;
        // A run of rows of one list under one parent, ending where the
        // header is due.
        const TCatalogRecord& first = FDoc.Rows[FNext];
        const std::size_t stop = std::min(
            FNext < FDoc.ThemeRows ? FDoc.ThemeRows : FDoc.Rows.size(), FNext + (count - added));
        std::size_t end = FNext + 1;
        while (end < stop && FDoc.Rows[end].Tag == first.Tag &&
               FDoc.Rows[end].Parent == first.Parent)
            ++end;
        const TCatalogRow parent = first.Parent >= 0 ? FHandles[first.Parent] : NoRow;
        sink.AddRows(first.Tag, parent, &FDoc.Rows[FNext], end - FNext, &FHandles[FNext]);
        added += end - FNext;
        FNext = end;
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
