#include "install/uCursorInstaller.h"

#include "install/CodePage.h"
#include "install/uInstallers.h"
#include "install/uPubFunc.h"
#include "install/uZip.h"
#include "platform/ISystem.h"
#include "platform/uRegistry.h"
#include "platform/util/Ascii.h"
#include "platform/util/Files.h"

#include <cerrno>
#include <fstream>
#include <iterator>
#include <system_error>

namespace velmora {
namespace fs = std::filesystem;

const std::array<TCursorRole, CursorRoleCount> CursorRoles = {{
    {"pointer", "Arrow", ocrNormal},
    {"help", "Help", ocrHelp},
    {"work", "AppStarting", ocrAppStarting},
    {"busy", "Wait", ocrWait},
    {"Cross", "Crosshair", ocrCross},
    {"Text", "IBeam", ocrIBeam},
    {"Hand", "Hand", ocrHand},
    {"Unavailiable", "No", ocrNo},
    {"Vert", "SizeNS", ocrSizeNS},
    {"Horz", "SizeWE", ocrSizeWE},
    {"Dgn1", "SizeNWSE", ocrSizeNWSE},
    {"Dgn2", "SizeNESW", ocrSizeNESW},
    {"move", "SizeAll", ocrSizeAll},
    {"alternate", "NWPen", 32641},
    {"link", "UpArrow", ocrUp},
}};

const char* const CursorsKey = "Control Panel\\Cursors";
const char* const CursorSchemesKey = "Control Panel\\Cursors\\Schemes";

namespace {

// The value without its first and last character, whatever they are.
std::string StripEnds(std::string_view value) {
    auto isTrail = [](char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; };
    if (value.empty())
        return {};
    std::size_t first = 1;
    while (first < value.size() && isTrail(value[first]))
        ++first;
    std::size_t last = value.size() - 1;
    while (last > 0 && isTrail(value[last]))
        --last;
    return last > first ? std::string(value.substr(first, last - first)) : std::string();
}

std::string ReadSetupInf(const fs::path& file) {
    std::string text;
    const std::error_code ec = ReadWholeFile(file, text, MaxSetupInfBytes);
    if (ec == std::errc::file_too_large)
        throw EInstallError("Cannot read \"" + file.string() + "\": the file is too large");
    if (ec)
        throw std::system_error(ec, "Cannot open file \"" + file.string() + "\"");
    return text;
}

} // namespace

std::vector<std::string> ReadSchemeStrings(std::string_view infBytes) {
    std::string text;
    for (const auto& line : SplitLines(Cp936ToUtf8(infBytes)))
        text += line + "\r\n";
    std::string section = ExtractBetween(text, "[Strings]\r\n", "\r\n[", 0, true, true);

    std::vector<std::string> lines;
    for (const auto& line : SplitLines(LowerAscii(section))) {
        std::size_t eq = line.find('=');
        if (eq == std::string::npos) {
            lines.emplace_back("=");
            continue;
        }
        const std::string key = Trim(std::string_view(line).substr(0, eq));
        const std::string value = Trim(std::string_view(line).substr(eq + 1));
        lines.push_back(key + "=" + StripEnds(value));
    }
    return lines;
}

std::array<std::string, CursorRoleCount> SchemeRoleFiles(std::string_view infBytes) {
    std::vector<std::string> lines = ReadSchemeStrings(infBytes);
    std::array<std::string, CursorRoleCount> files;
    for (std::size_t r = 0; r < CursorRoleCount; ++r) {
        std::string key = LowerAscii(CursorRoles[r].Key);
        for (const auto& line : lines) {
            std::size_t eq = line.find('=');
            if (line.compare(0, eq, key) == 0 && eq == key.size()) {
                files[r] = line.substr(eq + 1);
                break;
            }
        }
    }
    return files;
}

std::string SchemeFolder(const TFolderFields& folders, const std::string& name) {
    return (folders.WinDir / "Cursors" / name).string() +
           static_cast<char>(fs::path::preferred_separator);
}

std::string SchemeRolePath(const std::string& schemeFolder, const std::string& file) {
    std::string rel = file;
    if (fs::path::preferred_separator != '\\')
        for (char& c : rel)
            if (c == '\\')
                c = static_cast<char>(fs::path::preferred_separator);
    return schemeFolder + rel;
}

bool InstallCursorScheme(const fs::path& package, const TFolderFields& folders, ISystem& system) {
    const std::string name = PackageItemName(package);
    TChangeScope change(system, "安装鼠标指针：" + name);
    // The name becomes a folder below the cursor folder, and the removal
    // deletes that folder: it must not be the cursor folder or its parent.
    if (!IsPlainItemName(name))
        throw EInstallError("Cannot install the cursor scheme \"" + package.string() +
                            "\": its name is not a usable folder name");
    if (!RequireSystemFolder(folders.WinDir))
        return false;
    const std::string folder = SchemeFolder(folders, name);

    TZipFile zip(package);
    const auto inf = FindRootFile(zip.Entries(), SetupInfName);
    ExtractPackage(system, zip, folder, omAlways);
    const auto files = SchemeRoleFiles(
        ReadSetupInf(system.ResolvePath(fs::path(folder) / (inf ? ExtractedPath(zip.Entries()[*inf])
                                                                : std::string(SetupInfName)))));

    TRegistry reg(system);
    if (!reg.OpenKey(CursorsKey, true))
        return false;
    std::string scheme;
    for (std::size_t r = 0; r < CursorRoleCount; ++r) {
        const TCursorRole& role = CursorRoles[r];
        if (files[r].empty()) {
            scheme += ",";
            reg.WriteString(role.ValueName, "");
            continue;
        }
        std::string path = SchemeRolePath(folder, files[r]);
        scheme += path + ",";
        reg.WriteString(role.ValueName, path);
        if (TCursorHandle cursor = system.LoadCursorFromFile(path)) {
            if (!system.SetSystemCursor(cursor, role.CursorId))
                system.DestroyCursor(cursor);
        }
    }
    reg.WriteString("", name);
    scheme.pop_back();
    reg.CloseKey();

    if (reg.OpenKey(CursorSchemesKey, true))
        reg.WriteString(name, scheme);
    reg.CloseKey();

    system.SystemParametersInfo(spiSetCursors, 0, std::nullopt, 0);
    return true;
}

void RemoveCursorScheme(const std::string& name, bool& installed, const TFolderFields& folders,
                        ISystem& system) {
    TChangeScope change(system, "卸载鼠标指针：" + name);
    if (IsPlainItemName(name)) {
        if (!RequireSystemFolder(folders.WinDir))
            return;
        DeleteFolderTree(system, folders.WinDir / "Cursors" / name);
        TRegistry reg(system);
        if (reg.OpenKey(CursorSchemesKey, true))
            reg.DeleteValue(name);
    }
    installed = false;
}

} // namespace velmora
