// velmora-tool catalog: reads a catalogue document as the program does and
// prints the items it would list, with their paths, addresses and states.
#include "catalog/ServerBase.h"
#include "catalog/uCatalog.h"
#include "install/uFolders.h"
#include "install/uPubFunc.h"
#include "tools/DesktopOption.h"
#include "platform/util/Files.h"
#include "tools/ToolCommon.h"
#include "tools/Verbs.h"

#include <nlohmann/json.hpp>

#include <iostream>

namespace velmora::tool {
namespace {

using json = nlohmann::ordered_json;

// Messages of the loader go to stderr as their bare text.
class TStderrTextSink : public IMessageSink {
public:
    int Show(const TMessageRequest& r) override {
        std::cerr << r.Text << '\n';
        return r.Kind == mkQuestion ? IDNO : IDOK;
    }
};

class TJsonCatalogSink : public ICatalogSink {
public:
    TJsonCatalogSink(const TFolderFields& folders, std::string base) : FFolders(folders), FBase(std::move(base)) {}

    TCatalogRow AddRow(int tag, TCatalogRow parent, const TCatalogItem& item) override {
        if (tag == tagTheme && parent == NoRow) {
            Doc["themes"].push_back({{"group", item.Name}, {"items", json::array()}});
            return static_cast<TCatalogRow>(Doc["themes"].size() - 1);
        }
        json j = {{"name", item.Name},
                  {"iszip", item.IsZip},
                  {"package_url", PackageUrl(FBase, tag, item)},
                  {"preview_url", PreviewUrl(FBase, tag, item)},
                  {"package_file", PackageFile(FFolders, tag, item).string()},
                  {"preview_file", PreviewFile(FFolders, tag, item).string()},
                  {"state", static_cast<int>(item.State)},
                  {"installed", item.Installed}};
        // What the catalogue says the package must be, when it says it.
        if (!item.Sha256.empty())
            j["sha256"] = item.Sha256;
        if (item.Size > 0)
            j["size"] = item.Size;
        if (tag == tagTheme)
            Doc["themes"][static_cast<std::size_t>(parent)]["items"].push_back(std::move(j));
        else
            Doc[tag == tagCursor ? "cursors" : "screensave"].push_back(std::move(j));
        return NoRow;
    }
    void SetThemeHeader(const std::string&) override {}

    json Doc = {{"theme_count", 0}, {"themes", json::array()}, {"cursors", json::array()}, {"screensave", json::array()}};

private:
    const TFolderFields& FFolders;
    std::string FBase;
};

} // namespace

int VerbCatalog(const TArgs& args) {
    auto parsed = ParseArgs(args, {"base", "exe-dir", "system"});
    if (!parsed || parsed->Positional.size() != 1)
        return UsageError("usage: catalog FILE [--base URL] [--exe-dir DIR] [--system DIR]");

    TStderrTextSink messages;
    IMessageSink* previous = SetMessageSink(&messages);

    std::string text;
    if (ReadWholeFile(parsed->Positional[0], text, MaxCatalogBytes)) {
        ShowMessageBox(MsgNoCatalog, "", mkWarning);
        SetMessageSink(previous);
        return 2;
    }

    auto system = ToolSystem(parsed->Get("system", ""), false);
    TFolderFields folders = MakeFolderFields(*system, ToolExePath(*parsed));
    folders.CacheDir = ToolCacheDir(*parsed);

    std::string error;
    const std::optional<std::string> base = ChooseServerBase(parsed->Get("base"), error);
    if (!base) {
        SetMessageSink(previous);
        return UsageError(error);
    }
    TJsonCatalogSink sink(folders, *base);
    TLoadResult result = LoadCatalogText(text, folders, sink);
    SetMessageSink(previous);
    if (result != TLoadResult::Loaded)
        return 2;

    int count = 0;
    for (const auto& group : sink.Doc["themes"])
        count += static_cast<int>(group["items"].size());
    sink.Doc["theme_count"] = count;
    std::cout << sink.Doc.dump(2, ' ', false, json::error_handler_t::replace) << '\n';
    return 0;
}

} // namespace velmora::tool
