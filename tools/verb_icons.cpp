// velmora-tool icons: the icon library as the folder-icon page lists it.
// velmora-tool folder-icon set|restore: the page's two buttons on a folder.
#include "install/uFolderIcon.h"
#include "install/uPubFunc.h"
#include "tools/DesktopOption.h"
#include "tools/ToolCommon.h"
#include "tools/Verbs.h"
#include "platform/util/Ascii.h"

#include <nlohmann/json.hpp>

#include <iostream>

namespace velmora::tool {
namespace {

using json = nlohmann::ordered_json;

// The program's messages go to stdout as their bare text.
class TStdoutTextSink : public IMessageSink {
public:
    int Show(const TMessageRequest& r) override {
        std::cout << r.Text << '\n';
        return r.Kind == mkQuestion ? IDNO : IDOK;
    }
};

// The listed spelling of a name, as Windows finds it without regard to case;
// nothing for a name the list lacks (so no path outside the library).
std::optional<std::string> Listed(const std::vector<std::string>& list, const std::string& name) {
    for (const auto& entry : list)
        if (entry == name)
            return entry;
    for (const auto& entry : list)
        if (LowerAscii(entry) == LowerAscii(name))
            return entry;
    return std::nullopt;
}

} // namespace

int VerbIcons(const TArgs& args) {
    auto parsed = ParseArgs(args, {"exe-dir", "system"});
    if (!parsed || !parsed->Positional.empty())
        return UsageError("usage: icons [--exe-dir DIR] [--system DIR]");
    auto system = ToolSystem(parsed->Get("system", ""), false);
    const auto exe = ToolExePath(*parsed);
    json doc = {{"library", IconLibraryFolder(exe).string()}, {"categories", json::array()}};
    for (const std::string& category : LoadIconCategoryNames(*system, exe))
        doc["categories"].push_back(
            {{"name", category}, {"icons", ListCategoryIcons(exe, category)}});
    std::cout << doc.dump(2, ' ', false, json::error_handler_t::replace) << '\n';
    return 0;
}

int VerbFolderIcon(const TArgs& given) {
    TArgs args = given;
    const bool desktop = TakeDesktopFlag(args);
    const char* usage = "usage: folder-icon set DIR --category C --icon NAME [--exe-dir DIR] "
                        "[--system DIR] [--desktop] | folder-icon restore DIR [--system DIR] "
                        "[--desktop]";
    auto parsed = ParseArgs(args, {"category", "icon", "exe-dir", "system"});
    if (!parsed || parsed->Positional.size() != 2)
        return UsageError(usage);
    const std::string& action = parsed->Positional[0];
    const std::string& dir = parsed->Positional[1];
    if (action != "set" && action != "restore")
        return UsageError(usage);
    if (action == "restore" &&
        (parsed->Get("category") || parsed->Get("icon") || parsed->Get("exe-dir")))
        return UsageError(usage);

    auto system = ToolSystem(parsed->Get("system", ""), desktop);
    TStdoutTextSink messages;
    IMessageSink* previous = SetMessageSink(&messages);
    TFolderIconResult result;
    try {
        if (action == "restore") {
            result = RestoreFolderIcon(*system, dir);
        } else {
            // What the page would have focused and selected: only names of the library.
            const auto exe = ToolExePath(*parsed);
            std::optional<std::string> category, icon;
            if (auto c = parsed->Get("category"))
                category = Listed(LoadIconCategoryNames(*system, exe), *c);
            if (auto i = parsed->Get("icon"); i && category)
                icon = Listed(ListCategoryIcons(exe, *category), *i);
            else if (i)
                icon = *i; // no category: the page's own message for that
            result = SetFolderIcon(*system, dir, exe, category, icon);
        }
    } catch (...) {
        SetMessageSink(previous);
        throw;
    }
    SetMessageSink(previous);
    return result == TFolderIconResult::Done ? 0 : 2;
}

} // namespace velmora::tool
