#pragma once
// The record of the desktop's changes: before the program changes anything of
// the desktop it writes down what that thing was, one entry per action of the
// person ("应用主题：…"), so that any entry can be undone later. Kept per user
// in one folder:
//   record.jsonl   one JSON object a line, appended and flushed line by line
//   files/         the replaced files, once each, named by their SHA-256
// A record that cannot be read is renamed aside and a new one begun.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

enum class TStateKind {
    skRegistry,   // Key: the subkey of HKEY_CURRENT_USER, Name: the value
    skFile,       // Key: the path; Value: the content's name in files/
    skAttributes, // Key: the path; Value: the attributes in decimal
    skSetting,    // Key: a desktop setting's name (see ISettingsState)
};

// One thing the desktop holds and what it held; no Value: it was missing.
struct TStateItem {
    TStateKind Kind = TStateKind::skRegistry;
    std::string Key;
    std::string Name;
    std::optional<std::string> Value;
    // The same thing (registry names match without regard to ASCII case).
    bool SameTarget(const TStateItem& other) const;
};

struct TChangeEntry {
    std::int64_t Id = 0;
    std::int64_t Time = 0; // seconds since 1970 (UTC)
    std::string Text;
    std::optional<std::int64_t> Restores; // the entry a restore went back before
    std::vector<TStateItem> Prior;        // as it was before the change
    std::vector<TStateItem> After;        // as the change left it
    bool Finished = false;                // After was written (the action ended)
};

// Something that was changed again, by someone else, since the program
// changed it last.
struct TRestoreConflict {
    TStateItem Item;         // what restoring would write back
    std::string Description; // the thing in words
};

struct TRestorePlan {
    const TChangeEntry* Entry = nullptr; // nothing: no entry of that id
    std::vector<TStateItem> Items;       // what to write back, in the order first met
    std::vector<TRestoreConflict> Conflicts;
};

// How a thing reads now, in the form TStateItem::Value has (a file as its
// content's name); nothing when missing.
using TStateReader = std::function<std::optional<std::string>(const TStateItem&)>;

class TChangeRecord {
public:
    static constexpr std::size_t MaxEntries = 200;
    static constexpr std::uintmax_t MaxFileBytes = 256u << 20;

    explicit TChangeRecord(std::filesystem::path folder);

    const std::filesystem::path& Folder() const { return FFolder; }
    std::filesystem::path RecordFile() const { return FFolder / "record.jsonl"; }

    // The entries, oldest first. A damaged record is renamed aside (and
    // Problem() says so): the entries are then none.
    std::vector<TChangeEntry> Entries();
    // The last damage found, empty when none.
    const std::string& Problem() const { return FProblem; }

    // Appends a new entry and returns its id; drops the oldest entries
    // beyond MaxEntries (and the files only they kept).
    std::int64_t Begin(const std::string& text, std::optional<std::int64_t> restores);
    void AddPrior(std::int64_t id, const TStateItem& item);
    void AddAfter(std::int64_t id, const std::vector<TStateItem>& items);

    // Keeps the bytes under their content's name and returns it.
    std::string StoreContent(std::string_view bytes);
    std::optional<std::string> Content(const std::string& name) const;

    // Which things to write back to stand before entry id: for each thing
    // touched by that entry or a later one, the value before the earliest of
    // them; conflicts where the thing no longer reads as the program left it.
    static TRestorePlan PlanRestore(const std::vector<TChangeEntry>& entries, std::int64_t id,
                                    const TStateReader& current);

private:
    std::vector<TChangeEntry> Load(bool setAside);
    void AppendLine(const std::string& line);
    void Compact(std::vector<TChangeEntry>& entries, std::optional<std::int64_t> keepFrom);

    std::filesystem::path FFolder;
    std::string FProblem;
};

// The kind as the record writes it ("reg", "file", "attr", "setting").
const char* StateKindName(TStateKind kind);

// The content's name of some bytes (SHA-256, lower-case hex).
std::string ContentName(std::string_view bytes);

// A thing in words for the restore list ("注册表 Control Panel\Desktop\Wallpaper").
std::string DescribeState(const TStateItem& item);

} // namespace velmora
