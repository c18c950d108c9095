#include "platform/history/ChangeRecord.h"

#include "platform/util/Ascii.h"
#include "platform/util/FileLock.h"
#include "platform/util/Files.h"
#include "platform/util/Sha256.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <map>
#include <set>
#include <stdexcept>

namespace velmora {
namespace fs = std::filesystem;
using json = nlohmann::json;

const char* StateKindName(TStateKind kind) {
    switch (kind) {
    case TStateKind::skRegistry:
        return "reg";
    case TStateKind::skFile:
        return "file";
    case TStateKind::skAttributes:
        return "attr";
    case TStateKind::skSetting:
        return "setting";
    }
    return "reg";
}

namespace {

std::optional<TStateKind> KindOf(const std::string& name) {
    for (TStateKind k : {TStateKind::skRegistry, TStateKind::skFile, TStateKind::skAttributes,
                         TStateKind::skSetting})
        if (name == StateKindName(k))
            return k;
    return std::nullopt;
}

json ItemJson(const TStateItem& item) {
    json j = {{"kind", StateKindName(item.Kind)}, {"key", item.Key}};
    if (!item.Name.empty())
        j["name"] = item.Name;
    j["value"] = item.Value ? json(*item.Value) : json(nullptr);
    return j;
}

TStateItem ItemFrom(const json& j) {
    const auto kind = KindOf(j.at("kind").get<std::string>());
    if (!kind)
        throw std::runtime_error("unknown kind");
    TStateItem item;
    item.Kind = *kind;
    item.Key = j.at("key").get<std::string>();
    item.Name = j.value("name", std::string());
    const json& v = j.at("value");
    if (!v.is_null())
        item.Value = v.get<std::string>();
    return item;
}

bool IsContentName(const std::string& name) {
    return name.size() == 64 && std::all_of(name.begin(), name.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
           });
}

// Registry values are set apart by name without regard to case.
std::string TargetOf(const TStateItem& item) {
    std::string t = StateKindName(item.Kind);
    t += '\n';
    if (item.Kind == TStateKind::skRegistry)
        t += LowerAscii(item.Key) + '\n' + LowerAscii(item.Name);
    else
        t += item.Key;
    return t;
}

} // namespace

bool TStateItem::SameTarget(const TStateItem& other) const {
    return TargetOf(*this) == TargetOf(other);
}

std::string ContentName(std::string_view bytes) {
    return Sha256Hex(bytes);
}

std::string DescribeState(const TStateItem& item) {
    switch (item.Kind) {
    case TStateKind::skRegistry:
        return "注册表 " + item.Key + "\\" + (item.Name.empty() ? "(默认)" : item.Name);
    case TStateKind::skFile:
        return "文件 " + item.Key;
    case TStateKind::skAttributes:
        return "文件属性 " + item.Key;
    case TStateKind::skSetting:
        return "桌面设置 " + item.Key;
    }
    return item.Key;
}

TChangeRecord::TChangeRecord(fs::path folder) : FFolder(std::move(folder)) {}

std::vector<TChangeEntry> TChangeRecord::Entries() {
    std::error_code ec;
    fs::create_directories(FFolder, ec);
    TFileLock lock(FFolder / "record.lock");
    return Load(true);
}

std::vector<TChangeEntry> TChangeRecord::Load(bool setAside) {
    std::string text;
    const fs::path file = RecordFile();
    std::error_code ec;
    if (!fs::exists(file, ec))
        return {};
    std::vector<TChangeEntry> entries;
    std::map<std::int64_t, std::size_t> byId;
    std::size_t lineNo = 0;
    try {
        if (const std::error_code read = ReadWholeFile(file, text, 64u << 20))
            throw std::runtime_error(read.message());
        if (!text.empty() && text.back() != '\n')
            throw std::runtime_error("the last line is cut short");
        std::size_t at = 0;
        while (at < text.size()) {
            const std::size_t end = text.find('\n', at);
            const std::string_view line(text.data() + at, end - at);
            at = end + 1;
            ++lineNo;
            if (line.empty())
                continue;
            const json j = json::parse(line);
            if (j.contains("entry")) {
                TChangeEntry e;
                e.Id = j.at("entry").get<std::int64_t>();
                e.Time = j.at("time").get<std::int64_t>();
                e.Text = j.at("text").get<std::string>();
                if (j.contains("restores"))
                    e.Restores = j.at("restores").get<std::int64_t>();
                if (byId.count(e.Id) || (!entries.empty() && e.Id <= entries.back().Id))
                    throw std::runtime_error("entry ids out of order");
                byId[e.Id] = entries.size();
                entries.push_back(std::move(e));
            } else if (j.contains("prior")) {
                entries.at(byId.at(j.at("prior").get<std::int64_t>())).Prior.push_back(ItemFrom(j));
            } else if (j.contains("after")) {
                TChangeEntry& e = entries.at(byId.at(j.at("after").get<std::int64_t>()));
                for (const json& item : j.at("items"))
                    e.After.push_back(ItemFrom(item));
                e.Finished = true;
            }
            // Lines of a kind a later version writes are skipped.
        }
    } catch (const std::exception& e) {
        if (!setAside)
            throw;
        const auto stamp = std::chrono::system_clock::now().time_since_epoch().count();
        fs::path aside = FFolder / ("record.damaged-" + std::to_string(stamp) + ".jsonl");
        fs::rename(file, aside, ec);
        FProblem = "桌面更改记录已损坏（第 " + std::to_string(lineNo) + " 行：" + e.what() +
                   "），已移到“" + aside.string() + "”，重新开始记录。";
        return {};
    }
    return entries;
}

void TChangeRecord::AppendLine(const std::string& line) {
    // The whole line is on disk before the change is made.
    if (const std::error_code ec = AppendToFileDurably(RecordFile(), line + "\n"))
        throw std::runtime_error("Cannot write the change record \"" + RecordFile().string() +
                                 "\": " + ec.message());
}

void TChangeRecord::Compact(std::vector<TChangeEntry>& entries,
                            std::optional<std::int64_t> keepFrom) {
    if (entries.size() < MaxEntries)
        return;
    auto drop = entries.end() - (MaxEntries - 1);
    // A restore still needs the entries it goes back through.
    while (keepFrom && drop != entries.begin() && (drop - 1)->Id >= *keepFrom)
        --drop;
    if (drop == entries.begin())
        return;
    entries.erase(entries.begin(), drop);
    std::string text;
    std::set<std::string> kept;
    auto keep = [&](const TStateItem& item) {
        if (item.Kind == TStateKind::skFile && item.Value)
            kept.insert(*item.Value);
    };
    for (const TChangeEntry& e : entries) {
        json head = {{"entry", e.Id}, {"time", e.Time}, {"text", e.Text}};
        if (e.Restores)
            head["restores"] = *e.Restores;
        text += head.dump() + "\n";
        for (const TStateItem& item : e.Prior) {
            json j = ItemJson(item);
            j["prior"] = e.Id;
            text += j.dump() + "\n";
            keep(item);
        }
        if (e.Finished) {
            json items = json::array();
            for (const TStateItem& item : e.After) {
                items.push_back(ItemJson(item));
                keep(item);
            }
            text += json{{"after", e.Id}, {"items", items}}.dump() + "\n";
        }
    }
    if (const std::error_code ec = WriteFileAtomically(RecordFile(), text))
        throw std::runtime_error("Cannot write the change record: " + ec.message());
    std::error_code ec;
    for (fs::directory_iterator it(FFolder / "files", ec), end; !ec && it != end; it.increment(ec))
        if (!kept.count(it->path().filename().string()))
            fs::remove(it->path(), ec);
}

std::int64_t TChangeRecord::Begin(const std::string& text, std::optional<std::int64_t> restores) {
    std::error_code ec;
    fs::create_directories(FFolder, ec);
    TFileLock lock(FFolder / "record.lock");
    // Entry lines are told by their start (the keys are written sorted), so
    // the record is read whole only when it is full.
    std::string bytes;
    std::size_t count = 0;
    std::int64_t last = 0;
    if (!ReadWholeFile(RecordFile(), bytes, 64u << 20)) {
        constexpr std::string_view head = "{\"entry\":";
        for (std::size_t at = 0; at < bytes.size();) {
            std::size_t end = bytes.find('\n', at);
            if (end == std::string::npos)
                end = bytes.size();
            if (std::string_view(bytes).substr(at, head.size()) == head) {
                ++count;
                const json j = json::parse(bytes.begin() + at, bytes.begin() + end, nullptr, false);
                if (j.is_object() && j["entry"].is_number_integer())
                    last = std::max(last, j["entry"].get<std::int64_t>());
            }
            at = end + 1;
        }
    }
    if (count >= MaxEntries) {
        std::vector<TChangeEntry> entries = Load(true);
        Compact(entries, restores);
        last = entries.empty() ? 0 : entries.back().Id;
    }
    const std::int64_t id = last + 1;
    const auto now = std::chrono::duration_cast<std::chrono::seconds>(
                         std::chrono::system_clock::now().time_since_epoch())
                         .count();
    json head = {{"entry", id}, {"time", now}, {"text", text}};
    if (restores)
        head["restores"] = *restores;
    AppendLine(head.dump());
    return id;
}

void TChangeRecord::AddPrior(std::int64_t id, const TStateItem& item) {
    TFileLock lock(FFolder / "record.lock");
    json j = ItemJson(item);
    j["prior"] = id;
    AppendLine(j.dump());
}

void TChangeRecord::AddAfter(std::int64_t id, const std::vector<TStateItem>& items) {
    TFileLock lock(FFolder / "record.lock");
    json list = json::array();
    for (const TStateItem& item : items)
        list.push_back(ItemJson(item));
    AppendLine(json{{"after", id}, {"items", list}}.dump());
}

std::string TChangeRecord::StoreContent(std::string_view bytes) {
    const std::string name = ContentName(bytes);
    const fs::path file = FFolder / "files" / name;
    std::error_code ec;
    fs::create_directories(file.parent_path(), ec);
    // A file already there under its name holds these bytes (unless damaged:
    // then it is written again).
    std::string existing;
    if (fs::exists(file, ec) && !ReadWholeFile(file, existing, MaxFileBytes) &&
        ContentName(existing) == name)
        return name;
    if (const std::error_code written = WriteFileAtomically(file, bytes))
        throw std::runtime_error("Cannot keep a copy of a replaced file: " + written.message());
    return name;
}

std::optional<std::string> TChangeRecord::Content(const std::string& name) const {
    if (!IsContentName(name))
        return std::nullopt;
    std::string bytes;
    if (ReadWholeFile(FFolder / "files" / name, bytes, MaxFileBytes) || ContentName(bytes) != name)
        return std::nullopt;
    return bytes;
}

TRestorePlan TChangeRecord::PlanRestore(const std::vector<TChangeEntry>& entries, std::int64_t id,
                                        const TStateReader& current) {
    TRestorePlan plan;
    for (const TChangeEntry& e : entries)
        if (e.Id == id)
            plan.Entry = &e;
    if (!plan.Entry)
        return plan;
    // The earliest value from the entry on wins; the latest finished entry
    // touching a thing says how the program left it.
    std::map<std::string, std::size_t> index;
    std::map<std::string, std::optional<std::optional<std::string>>> leftAs;
    for (const TChangeEntry& e : entries) {
        if (e.Id < id)
            continue;
        for (const TStateItem& item : e.Prior) {
            const std::string target = TargetOf(item);
            if (!index.count(target)) {
                index[target] = plan.Items.size();
                plan.Items.push_back(item);
            }
            leftAs[target].reset(); // unknown unless this entry finished
            if (e.Finished)
                for (const TStateItem& after : e.After)
                    if (TargetOf(after) == target)
                        leftAs[target] = after.Value;
        }
    }
    for (const TStateItem& item : plan.Items) {
        const auto& left = leftAs[TargetOf(item)];
        if (left && current(item) != *left)
            plan.Conflicts.push_back({item, DescribeState(item)});
    }
    return plan;
}

} // namespace velmora
