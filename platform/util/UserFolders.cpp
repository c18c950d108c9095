#include "platform/util/UserFolders.h"

#include <cstdlib>

#ifndef _WIN32
#include <pwd.h>
#include <unistd.h>
#endif

namespace velmora {
namespace fs = std::filesystem;

#ifndef _WIN32
namespace {

fs::path AbsoluteVariable(const char* name) {
    const char* value = std::getenv(name);
    if (!value || !*value || !fs::path(value).is_absolute())
        return {};
    return value;
}

fs::path HomeFolder() {
    if (fs::path home = AbsoluteVariable("HOME"); !home.empty())
        return home;
    if (const passwd* entry = ::getpwuid(::getuid());
        entry && entry->pw_dir && *entry->pw_dir && fs::path(entry->pw_dir).is_absolute())
        return entry->pw_dir;
    return {};
}

} // namespace
#endif

fs::path UserFolder(TUserFolder kind) {
#ifdef _WIN32
    // Windows' own per-user folders: the local one for what can be made
    // again, the roaming one for what the user keeps.
    const wchar_t* value = ::_wgetenv(kind == ufCache ? L"LOCALAPPDATA" : L"APPDATA");
    if (value && *value && fs::path(value).is_absolute())
        return value;
    return {};
#else
    static constexpr struct {
        const char* Variable;
        const char* BelowHome;
    } Bases[] = {
        {"XDG_CACHE_HOME", ".cache"},
        {"XDG_DATA_HOME", ".local/share"},
        {"XDG_CONFIG_HOME", ".config"},
    };
    if (fs::path set = AbsoluteVariable(Bases[kind].Variable); !set.empty())
        return set;
    const fs::path home = HomeFolder();
    return home.empty() ? fs::path() : home / Bases[kind].BelowHome;
#endif
}

} // namespace velmora
