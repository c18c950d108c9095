#include "platform/desktop/FolderIcon.h"

#include "platform/CodePage.h"

#include <gio/gio.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <vector>

namespace velmora::desktop {
namespace fs = std::filesystem;

namespace {

constexpr const char* CustomIcon = "metadata::custom-icon";
constexpr const char* EntryGroup = "[Desktop Entry]";

struct TUnref {
    void operator()(gpointer p) const { g_object_unref(p); }
};
using TFile = std::unique_ptr<GFile, TUnref>;

std::string ReadText(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

std::string ToUtf8(const std::string& bytes) {
    return IsValidUtf8(bytes) ? bytes : Cp936ToUtf8(bytes);
}

std::string Trim(std::string s) {
    const auto notSpace = [](unsigned char c) { return !std::isspace(c); };
    s.erase(s.begin(), std::find_if(s.begin(), s.end(), notSpace));
    s.erase(std::find_if(s.rbegin(), s.rend(), notSpace).base(), s.end());
    return s;
}

bool StartsWithKey(const std::string& line, const std::string& key) {
    if (line.size() <= key.size() || line[key.size()] != '=')
        return false;
    return g_ascii_strncasecmp(line.c_str(), key.c_str(), key.size()) == 0;
}

void WriteAtomically(const fs::path& file, const std::string& text) {
    const fs::path tmp = file.string() + ".velmora-tmp";
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        out << text;
        out.flush();
        if (!out) {
            std::error_code ec;
            fs::remove(tmp, ec);
            throw std::runtime_error("cannot write \"" + file.string() + "\"");
        }
    }
    fs::rename(tmp, file);
}

// Rewrites .directory with the icon set (or removed when icon is empty).
// False when the file could not be written.
bool UpdateDirectoryFile(const fs::path& folder, const std::string& icon, std::string& why) {
    const fs::path file = folder / ".directory";
    std::error_code ec;
    const bool existed = fs::exists(file, ec);
    if (!existed && icon.empty())
        return true;
    std::vector<std::string> lines = Lines(existed ? ReadText(file) : std::string());
    std::vector<std::string> out;
    bool inEntry = false, sawEntry = false, placed = false;
    for (const std::string& line : lines) {
        if (!line.empty() && line.front() == '[') {
            if (inEntry && !placed && !icon.empty()) {
                out.push_back("Icon=" + icon);
                placed = true;
            }
            inEntry = line == EntryGroup;
            sawEntry = sawEntry || inEntry;
        } else if (inEntry && StartsWithKey(line, "Icon")) {
            if (!icon.empty() && !placed) {
                out.push_back("Icon=" + icon);
                placed = true;
            }
            continue;
        }
        out.push_back(line);
    }
    if (!icon.empty() && !placed) {
        if (!sawEntry)
            out.push_back(EntryGroup);
        out.push_back("Icon=" + icon);
    }
    bool empty = true;
    std::string text;
    for (const std::string& line : out) {
        text += line + "\n";
        if (!line.empty() && line != EntryGroup)
            empty = false;
    }
    try {
        if (empty)
            fs::remove(file);
        else
            WriteAtomically(file, text);
    } catch (const std::exception& e) {
        why = std::string("KDE 的 .directory 文件无法写入：") + e.what();
        return false;
    }
    return true;
}

bool SetMetadata(const fs::path& folder, const char* uri, std::string& why) {
    TFile file(g_file_new_for_path(folder.c_str()));
    GError* error = nullptr;
    const bool done =
        uri ? g_file_set_attribute_string(file.get(), CustomIcon, uri, G_FILE_QUERY_INFO_NONE,
                                          nullptr, &error)
            : g_file_set_attribute(file.get(), CustomIcon, G_FILE_ATTRIBUTE_TYPE_INVALID, nullptr,
                                   G_FILE_QUERY_INFO_NONE, nullptr, &error);
    if (!done) {
        why = std::string("文件管理器的图标记录（GIO 元数据服务）不可用：") +
              (error ? error->message : "");
        g_clear_error(&error);
    }
    return done;
}

void Join(std::string& into, const std::string& more) {
    if (!more.empty())
        into += (into.empty() ? "" : "\n") + more;
}

} // namespace

std::optional<fs::path> DesktopIniIcon(const fs::path& folder) {
    std::error_code ec;
    const fs::path ini = folder / "desktop.ini";
    if (!fs::is_regular_file(ini, ec))
        return std::nullopt;
    std::optional<std::string> value;
    for (const std::string& line : Lines(ToUtf8(ReadText(ini)))) {
        if (StartsWithKey(line, "IconFile"))
            value = Trim(line.substr(9));
        else if (!value && StartsWithKey(line, "IconResource")) {
            std::string v = Trim(line.substr(13));
            value = v.substr(0, v.rfind(','));
        }
    }
    if (!value || value->empty())
        return std::nullopt;
    // desktop.ini is written with Windows separators; a name relative to
    // the folder counts from it. A file that is not there is no icon here.
    std::string native = *value;
    std::replace(native.begin(), native.end(), '\\', '/');
    for (const fs::path& candidate : {fs::path(*value), fs::path(native)}) {
        const fs::path icon = candidate.is_absolute() ? candidate : folder / candidate;
        if (fs::is_regular_file(icon, ec))
            return icon;
    }
    return std::nullopt;
}

TLinuxFolderIcon SetLinuxFolderIcon(const fs::path& folder, const fs::path& icon) {
    TLinuxFolderIcon result;
    const fs::path absolute = fs::absolute(icon);
    gchar* uri = g_filename_to_uri(absolute.c_str(), nullptr, nullptr);
    std::string why;
    result.Metadata = uri && SetMetadata(folder, uri, why);
    g_free(uri);
    Join(result.Message, why);
    why.clear();
    result.Directory = UpdateDirectoryFile(folder, absolute.string(), why);
    Join(result.Message, why);
    return result;
}

TLinuxFolderIcon ClearLinuxFolderIcon(const fs::path& folder) {
    TLinuxFolderIcon result;
    std::string why;
    // Nothing to clear is not a failure, with or without a metadata service.
    result.Metadata = !FolderMetadataIcon(folder) || SetMetadata(folder, nullptr, why);
    Join(result.Message, why);
    why.clear();
    result.Directory = UpdateDirectoryFile(folder, {}, why);
    Join(result.Message, why);
    return result;
}

std::optional<std::string> FolderMetadataIcon(const fs::path& folder) {
    TFile file(g_file_new_for_path(folder.c_str()));
    GFileInfo* info =
        g_file_query_info(file.get(), CustomIcon, G_FILE_QUERY_INFO_NONE, nullptr, nullptr);
    if (!info)
        return std::nullopt;
    std::optional<std::string> icon;
    if (const char* value = g_file_info_get_attribute_string(info, CustomIcon))
        icon = value;
    g_object_unref(info);
    return icon;
}

bool SetFolderMetadataIcon(const fs::path& folder, const std::optional<std::string>& uri,
                           std::string& why) {
    return SetMetadata(folder, uri ? uri->c_str() : nullptr, why);
}

} // namespace velmora::desktop
