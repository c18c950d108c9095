// velmora-tool package: a dry run of the installers over a package, for
// publishers who check it before they upload it. Writes nothing.
#include "install/PackageCheck.h"
#include "install/uZip.h"
#include "tools/ToolCommon.h"
#include "tools/Verbs.h"

#include <nlohmann/json.hpp>

#include <iostream>

namespace velmora::tool {

using json = nlohmann::ordered_json;

int VerbPackage(const TArgs& args) {
    const char* usage = "usage: package FILE --kind theme|cursor|screensave";
    auto parsed = ParseArgs(args, {"kind"});
    if (!parsed || parsed->Positional.size() != 1)
        return UsageError(usage);
    const auto kind = PackageKindOf(parsed->Get("kind", ""));
    if (!kind)
        return UsageError(usage);

    TPackageReport report;
    try {
        report = InspectPackage(parsed->Positional[0], *kind);
    } catch (const EZipError& e) {
        return UsageError(e.what());
    }

    json doc;
    doc["entries"] = report.Entries;
    doc["unsafe"] = report.Unsafe;
    if (*kind == TPackageKind::Theme) {
        doc["theme_file"] = report.ThemeFile;
    } else if (*kind == TPackageKind::Cursor) {
        doc["setup_inf"] = report.SetupInf;
        doc["roles"] = json::object();
        for (std::size_t r = 0; r < CursorRoleCount; ++r)
            doc["roles"][CursorRoles[r].ValueName] = report.Roles[r];
    } else {
        doc["scr_found"] = report.ScrFound;
    }
    if (!report.Error.empty())
        doc["error"] = report.Error;

    std::cout << doc.dump(2, ' ', false, json::error_handler_t::replace) << '\n';
    if (!report.Error.empty())
        return UsageError(report.Error);
    return report.Unsafe.empty() ? 0 : 3;
}

} // namespace velmora::tool
