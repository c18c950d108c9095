#include "platform/util/UserFolders.h"

#include <cstdlib>

#ifndef _WIN32
#include <pwd.h>
#include <unistd.h>
#endif

namespace velmora {
namespace fs = std::filesystem;

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
#ifndef _WIN32
    if (const passwd* entry = ::getpwuid(::getuid());
        entry && entry->pw_dir && *entry->pw_dir && fs::path(entry->pw_dir).is_absolute())
        return entry->pw_dir;
#endif
    return {};
}

} // namespace

fs::path UserFolder(TUserFolder kind) {
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
}

} // namespace velmora
