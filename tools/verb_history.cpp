// velmora-tool history and restore: the change record of the desktop, as the
// window's "还原桌面更改…" shows it, and a restore to before one entry.
#include "tools/DesktopOption.h"
#include "tools/ToolCommon.h"
#include "tools/Verbs.h"

#include <nlohmann/json.hpp>

#include <iostream>

namespace velmora::tool {
namespace {

using json = nlohmann::ordered_json;

json ItemJson(const TStateItem& item) {
    json j = {{"kind", StateKindName(item.Kind)}, {"key", item.Key}};
    if (item.Kind == TStateKind::skRegistry)
        j["name"] = item.Name;
    j["value"] = item.Value ? json(*item.Value) : json(nullptr);
    return j;
}

} // namespace

int VerbHistory(const TArgs& args) {
    TArgs rest = args;
    const bool desktop = TakeDesktopFlag(rest);
    auto parsed = ParseArgs(rest, {"system"});
    if (!parsed || !parsed->Positional.empty())
        return UsageError("history [--system DIR] [--desktop]");
    auto system = ToolSystem(parsed->Get("system", ""), desktop);
    const std::vector<TChangeEntry> entries = system->History();
    json list = json::array();
    // Newest first, as the window lists them.
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        json prior = json::array();
        for (const TStateItem& item : it->Prior)
            prior.push_back(ItemJson(item));
        json e = {{"id", it->Id}, {"time", it->Time}, {"text", it->Text}};
        e["restores"] = it->Restores ? json(*it->Restores) : json(nullptr);
        e["finished"] = it->Finished;
        e["prior"] = prior;
        list.push_back(e);
    }
    std::cout << list.dump(2) << '\n';
    return 0;
}

int VerbRestore(const TArgs& args) {
    TArgs rest = args;
    const bool desktop = TakeDesktopFlag(rest);
    auto parsed = ParseArgs(rest, {"system", "force"});
    long long id = 0;
    try {
        if (!parsed || parsed->Positional.size() != 1)
            throw std::invalid_argument("usage");
        id = std::stoll(parsed->Positional[0]);
    } catch (const std::exception&) {
        return UsageError("restore ID [--system DIR] [--desktop] [--force yes]");
    }
    auto system = ToolSystem(parsed->Get("system", ""), desktop);
    const std::vector<TChangeEntry> entries = system->History();
    const TRestorePlan plan = system->PlanRestore(entries, id);
    if (!plan.Entry) {
        std::cerr << "velmora-tool: no entry " << id << " in the change record\n";
        return 2;
    }
    // What someone else changed since is not overwritten unasked.
    if (!plan.Conflicts.empty() && parsed->Get("force", "") != "yes") {
        std::cout << "以下内容在之后被其他程序更改过：\n";
        for (const TRestoreConflict& c : plan.Conflicts)
            std::cout << "  " << c.Description << '\n';
        std::cout << "没有还原；要仍然还原，请加上 --force yes。\n";
        return 3;
    }
    system->Restore(id);
    std::cout << "已还原到“" << plan.Entry->Text << "”之前。\n";
    return 0;
}

} // namespace velmora::tool
