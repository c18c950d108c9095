// velmora-tool package: a dry run of the installers over a package, for
// publishers who check it before they upload it. Writes nothing.
#include "install/uCursorInstaller.h"
#include "install/uInstallers.h"
#include "install/uThemeInstaller.h"
#include "install/uZip.h"
#include "tools/ToolCommon.h"
#include "tools/Verbs.h"

#include <nlohmann/json.hpp>

#include <iostream>
#include <memory>

namespace velmora::tool {
namespace {

using json = nlohmann::ordered_json;
namespace fs = std::filesystem;

// The root entry the installers would find under this exact name; the last
// one wins, as the extraction replaces earlier copies.
const TZipEntry* FindRootEntry(const TZipFile& zip, const std::string& fileName,
                               std::size_t* index = nullptr) {
    const TZipEntry* found = nullptr;
    const auto& entries = zip.Entries();
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (entries[i].FolderPart.empty() && !entries[i].IsFolder &&
            entries[i].FileName == fileName) {
            found = &entries[i];
            if (index)
                *index = i;
        }
    return found;
}

} // namespace

int VerbPackage(const TArgs& args) {
    const char* usage = "usage: package FILE --kind theme|cursor|screensave";
    auto parsed = ParseArgs(args, {"kind"});
    if (!parsed || parsed->Positional.size() != 1)
        return UsageError(usage);
    const std::string kind = parsed->Get("kind", "");
    if (kind != "theme" && kind != "cursor" && kind != "screensave")
        return UsageError(usage);
    const fs::path file = parsed->Positional[0];

    std::unique_ptr<TZipFile> zip;
    try {
        zip = std::make_unique<TZipFile>(file);
    } catch (const EZipError& e) {
        return UsageError(e.what());
    }

    json doc;
    doc["entries"] = json::array();
    for (const auto& e : zip->Entries())
        doc["entries"].push_back(e.Name);
    const auto unsafe = zip->UnsafeEntries();
    doc["unsafe"] = unsafe;

    // Every entry is decompressed, as the installer would, under its bounds.
    std::string error;
    try {
        zip->Verify();
    } catch (const EZipError& e) {
        error = e.what();
    }

    if (kind == "theme") {
        doc["theme_file"] = FindRootThemeFile(zip->Entries());
    } else if (kind == "cursor") {
        std::array<std::string, CursorRoleCount> files;
        std::size_t index = 0;
        const bool hasInf = FindRootEntry(*zip, "setup.inf", &index) != nullptr;
        if (hasInf) {
            try {
                files = SchemeRoleFiles(zip->ReadEntry(index, MaxSetupInfBytes));
            } catch (const EZipError& e) {
                if (error.empty())
                    error = e.what();
            }
        }
        doc["setup_inf"] = hasInf;
        doc["roles"] = json::object();
        for (std::size_t r = 0; r < CursorRoleCount; ++r)
            doc["roles"][CursorRoles[r].ValueName] = files[r];
    } else {
        doc["scr_found"] = FindRootEntry(*zip, PackageItemName(file) + ".scr") != nullptr;
    }
    if (!error.empty())
        doc["error"] = error;

    std::cout << doc.dump(2, ' ', false, json::error_handler_t::replace) << '\n';
    if (!error.empty())
        return UsageError(error);
    return unsafe.empty() ? 0 : 3;
}

} // namespace velmora::tool
