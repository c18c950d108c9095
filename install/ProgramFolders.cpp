#include "install/ProgramFolders.h"

#include "platform/util/UserFolders.h"

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

namespace velmora {
namespace fs = std::filesystem;

namespace {

// share/velmora of an installation whose program file is in <prefix>/bin.
fs::path InstalledShare(const fs::path& exeDir) {
    if (exeDir.filename() != "bin")
        return {};
    fs::path share = exeDir.parent_path() / "share" / "velmora";
    std::error_code ec;
    return fs::is_directory(share, ec) ? share : fs::path();
}

bool Writable(const fs::path& dir) {
#ifdef _WIN32
    (void)dir;
    return true; // a Windows copy keeps its own layout
#else
    // The effective user's rights, as an attempt to write would meet them.
    return ::faccessat(AT_FDCWD, dir.c_str(), W_OK, AT_EACCESS) == 0;
#endif
}

fs::path Below(const fs::path& base, const char* name) {
    return base.empty() ? fs::path() : base / name;
}

// Makes the folder and its missing parents, each for this user alone.
std::error_code MakePrivateFolder(const fs::path& dir) {
    std::error_code ec;
    if (fs::is_directory(dir, ec))
        return {};
    if (dir.has_parent_path() && dir.parent_path() != dir)
        if (std::error_code parent = MakePrivateFolder(dir.parent_path()))
            return parent;
    if (fs::create_directory(dir, ec))
        fs::permissions(dir, fs::perms::owner_all, fs::perm_options::replace, ec);
    else if (!ec && !fs::is_directory(dir, ec))
        ec = std::make_error_code(std::errc::not_a_directory);
    return ec;
}

} // namespace

TProgramFolders ChooseProgramFolders(const fs::path& exeDir) {
    std::error_code ec;
    const fs::path dir = fs::absolute(exeDir, ec).lexically_normal();
    TProgramFolders f;
    const fs::path share = InstalledShare(dir.has_filename() ? dir : dir.parent_path());
    f.Installed = !share.empty() || !Writable(dir);
    if (!f.Installed) {
        f.ExePath = dir;
        f.CacheDir = dir / "cache";
        f.TempDir = dir / "temp";
        f.Favorites = dir / "favorites";
        f.ConfigDir = dir;
        return f;
    }
    f.ExePath = share.empty() ? dir : share;
    f.CacheDir = Below(UserFolder(ufCache), "velmora");
    f.TempDir = Below(f.CacheDir, "temp");
    f.Favorites = Below(Below(UserFolder(ufData), "velmora"), "favorites");
    f.ConfigDir = Below(UserFolder(ufConfig), "velmora");
    return f;
}

std::optional<std::string> MakeProgramFolders(const TProgramFolders& folders) {
    // The program folder's own layout is made as it is needed, as it always was.
    if (!folders.Installed)
        return std::nullopt;
    for (const fs::path& dir : {folders.CacheDir, folders.Favorites, folders.ConfigDir}) {
        if (dir.empty())
            return std::string("无法创建用户文件夹: 找不到当前用户的主文件夹");
        if (std::error_code ec = MakePrivateFolder(dir))
            return "无法创建文件夹 " + dir.string() + ": " + ec.message();
    }
    return std::nullopt;
}

} // namespace velmora
