#pragma once
// The catalogue: items of the three categories, their cache paths and server
// addresses, their installed state, and the loading of the catalogue document.
#include "install/uFolders.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

class TWinHttp;

enum TDownState : std::uint8_t { dsNone = 0, dsDownloading = 1, dsDone = 2, dsFailed = 3 };

// The record kept with every row of the catalogue lists.
struct TCatalogItem {
    std::string Name; // trimmed, at most 255 bytes in code page 936
    bool IsZip = false;
    TDownState State = dsNone;
    std::int32_t Progress = 0;
    bool Installed = false;
    // What the catalogue says the package is, when it says it: SHA-256 as 64
    // lower-case hexadecimal digits (else empty) and the size in bytes (else 0).
    std::string Sha256{};
    std::uint64_t Size = 0;
};

// What a downloaded package must be; empty members check nothing.
struct TPackageCheck {
    std::string Sha256; // lower-case hexadecimal
    std::uint64_t Size = 0;
};
inline TPackageCheck PackageCheckOf(const TCatalogItem& item) {
    return {item.Sha256, item.Size};
}

// "文件校验失败：%s" with the item's name: a package that is not what the
// catalogue published.
extern const char* const MsgVerifyFailed;
std::string VerifyFailedText(const std::string& name);

// Whether a package file is what the check asks for (size first, then the
// digest, read once); true when the check is empty.
bool PackageFileMatches(const std::filesystem::path& package, const TPackageCheck& check);

// Category numbers: the Tag of each catalogue list.
constexpr int tagTheme = 0;
constexpr int tagCursor = 2;
constexpr int tagScreenSave = 3;

// "theme", "cursor" or "screensave"; empty for any other tag.
std::string CategoryFolder(int tag);
// Indexed by IsZip.
extern const char* const PackageExt[2];

// The local copy of the catalogue read when the server gives none:
// ExePath/config.txt, or config.txt in an installed copy's per-user cache.
std::filesystem::path CatalogCopyFile(const TFolderFields& folders);
// Creates the cache folder of the category with every missing parent.
void EnsureCacheFolder(const TFolderFields& folders, int tag);

std::filesystem::path CacheFolder(const TFolderFields& folders, int tag);
std::filesystem::path PackageFile(const TFolderFields& folders, int tag, const TCatalogItem& item);
std::filesystem::path PreviewFile(const TFolderFields& folders, int tag, const TCatalogItem& item);
// Whether the item's installed file or folder is there now (as the lists
// mark rows when the catalogue is read).
bool IsItemInstalled(const TFolderFields& folders, int tag, const TCatalogItem& item);
std::string PackageUrl(const std::string& base, int tag, const TCatalogItem& item);
std::string PreviewUrl(const std::string& base, int tag, const TCatalogItem& item);

// A name that can safely be a file and folder name: not "." or "..", no
// characters Windows forbids in names, no reserved device name.
bool IsSafeItemName(std::string_view name);

// What the catalogue fills: the three lists of the main window.
using TCatalogRow = std::int64_t;
constexpr TCatalogRow NoRow = -1;

struct TCatalogRecord;

class ICatalogSink {
public:
    virtual ~ICatalogSink() = default;
    // Adds a row at the end of the list of `tag`, under `parent` (or at the
    // top level) and returns its handle.
    virtual TCatalogRow AddRow(int tag, TCatalogRow parent, const TCatalogItem& item) = 0;
    // Adds the items of `count` records in order at the end of the list of
    // `tag`, all under `parent`, and may take their items over; handles[i]
    // gets the row of records[i]. A list adds such a run at once; by default
    // one AddRow each.
    virtual void AddRows(int tag, TCatalogRow parent, TCatalogRecord* records, std::size_t count,
                         TCatalogRow* handles);
    // The first column header of the theme list.
    virtual void SetThemeHeader(const std::string& text) = 0;
};

enum class TLoadResult {
    Loaded,     // the lists are filled
    ParseError, // "读取配置出错，程序无法正常运行" was shown; the lists stay empty
    NoCatalog,  // "无法获取配置文件，程序将退出" was shown; the program must end
};

extern const char* const MsgNoCatalog;
extern const char* const MsgCatalogError;
extern const char* const ThemeHeaderFormat;

// Adds one item row with its cached and installed state.
TCatalogRow AddCatalogItem(ICatalogSink& sink, const TFolderFields& folders, int tag,
                           TCatalogRow parent, bool isZip, std::string_view name);

// The most of a catalogue document that is read, from the server or a kept
// copy. A million items of the usual form take about 50 MB; this leaves room
// for a million that also carry their digests and sizes, while a server that
// never stops sending cannot make the program take all the memory.
constexpr std::uintmax_t MaxCatalogBytes = std::uintmax_t(128) << 20;

// Fetches base + "/softdata/win7/config.txt" (or reads CatalogCopyFile when the
// server sends nothing) and fills the sink.
TLoadResult LoadCatalog(TWinHttp& http, const std::string& base, const TFolderFields& folders,
                        ICatalogSink& sink);

// The part of LoadCatalog after the text has arrived: decode, parse, fill.
TLoadResult LoadCatalogText(std::string_view text, const TFolderFields& folders,
                            ICatalogSink& sink);

// LoadCatalog in two halves, so that a window reads the catalogue on a worker
// and only fills its lists itself: the document is read (fetched, parsed, its
// items' cached and installed states looked up) without showing anything,
// then its message is shown or its rows added on the main thread.

// One row as the document gives it, before it is added to its list.
struct TCatalogRecord {
    int Tag = tagTheme;
    std::int64_t Parent = -1; // index of the group's record, or -1 at the top level
    TCatalogItem Item;
};

struct TCatalogDocument {
    TLoadResult Result = TLoadResult::Loaded;
    // Theme groups and items in document order, then cursor schemes, then
    // screen savers.
    std::vector<TCatalogRecord> Rows;
    std::size_t ThemeRows = 0; // the theme header is set once these are added
    std::string ThemeHeader;
};

TCatalogDocument ReadCatalogText(std::string_view text, const TFolderFields& folders);

// The server's document, else the local copy. `limit` bounds the request in
// all (0: the client's own waits only); an answer it cuts off counts as none.
// Once the client's Cancelled check says so, nothing more is read (NoCatalog).
TCatalogDocument FetchCatalog(TWinHttp& http, const std::string& base, const TFolderFields& folders,
                              std::chrono::milliseconds limit = {});

// The message of a document that did not load: MsgNoCatalog as a warning,
// MsgCatalogError as information; nothing for a loaded one.
void ShowCatalogMessage(TLoadResult result);

// Adds a loaded document's rows a slice at a time, so that a window can fill
// a large catalogue between its events.
class TCatalogFiller {
public:
    explicit TCatalogFiller(TCatalogDocument document);
    // Adds up to `count` more rows, setting the theme header after the theme
    // rows. Returns whether every row has been added.
    bool Fill(ICatalogSink& sink, std::size_t count);
    bool Done() const { return FNext == FDoc.Rows.size() && FHeaderSet; }
    std::size_t RowCount() const { return FDoc.Rows.size(); }

private:
    TCatalogDocument FDoc;
    std::vector<TCatalogRow> FHandles; // by record index: the row a group became
    std::size_t FNext = 0;
    bool FHeaderSet = false;
};

} // namespace velmora
