// The simulated backend's files: Windows attributes and 8.3 short names that
// a Linux file system cannot hold, kept per file in files.json and tied to
// the file's identity so that a later file of the same name does not inherit
// them.
#include "platform/sim/ShortName.h"
#include "platform/sim/SimSystem.h"
#include "platform/util/Ascii.h"
#include "platform/util/FileLock.h"
#include "platform/util/Files.h"

#include <nlohmann/json.hpp>

#include <set>

#ifdef _WIN32
#include "platform/sim/WinFileCalls.h"
#else
#include <fcntl.h>
#include <sys/stat.h>
#endif

namespace velmora::sim {

namespace {

std::string Key(const fs::path& p) {
    std::error_code ec;
    fs::path key = fs::absolute(p, ec).lexically_normal();
    // "dir/" names the folder "dir", as Windows reads it.
    if (!key.has_filename() && key.has_relative_path())
        key = key.parent_path();
#ifdef _WIN32
    // The file system itself ignores case there: so does the record's key.
    return LowerAscii(key.string());
#else
    return key.string();
#endif
}

// Device, inode and birth time: an inode number alone is soon reused by the
// next file created. On Windows the volume, the file index and the creation
// time.
bool Identity(const fs::path& p, std::uint64_t& dev, std::uint64_t& ino, std::uint64_t& born) {
#ifdef _WIN32
    return WinFileIdentity(p, dev, ino, born);
#else
    struct statx st {};
    if (::statx(AT_FDCWD, p.c_str(), AT_SYMLINK_NOFOLLOW, STATX_INO | STATX_BTIME, &st) != 0)
        return false;
    dev = (std::uint64_t(st.stx_dev_major) << 32) | st.stx_dev_minor;
    ino = st.stx_ino;
    born = (st.stx_mask & STATX_BTIME)
               ? std::uint64_t(st.stx_btime.tv_sec) * 1000000000u + st.stx_btime.tv_nsec
               : 0;
    return true;
#endif
}

constexpr fs::perms AnyWrite =
    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;

// The record of an existing path when it still belongs to that file.
TFileRecord* Valid(std::map<std::string, TFileRecord>& files, const fs::path& p) {
    auto it = files.find(Key(p));
    std::uint64_t dev = 0, ino = 0, born = 0;
    if (it == files.end() || !Identity(p, dev, ino, born) || it->second.Dev != dev ||
        it->second.Ino != ino || it->second.Born != born)
        return nullptr;
    return &it->second;
}

} // namespace

TFileRecord& TSimSystem::Record(std::map<std::string, TFileRecord>& files, const fs::path& p) {
    if (TFileRecord* r = Valid(files, p))
        return *r;
    TFileRecord& r = files[Key(p)];
    r = TFileRecord{};
    Identity(p, r.Dev, r.Ino, r.Born);
    return r;
}

std::map<std::string, TFileRecord> TSimSystem::LoadFiles() const {
    std::map<std::string, TFileRecord> files;
    std::string text;
    if (ReadWholeFile(FilesFile(), text, MaxStateFileBytes))
        return files;
    const auto doc = nlohmann::json::parse(text, nullptr, false);
    if (!doc.is_object() || !doc.contains("files") || !doc["files"].is_object())
        return files;
    for (const auto& [path, r] : doc["files"].items()) {
        if (!r.is_object())
            continue;
        TFileRecord rec;
        rec.Dev = r.value("dev", std::uint64_t{0});
        rec.Ino = r.value("ino", std::uint64_t{0});
        rec.Born = r.value("born", std::uint64_t{0});
        rec.HasAttr = r.contains("attr");
        rec.Attr = r.value("attr", std::uint32_t{0});
        rec.Short = r.value("short", std::string());
        files[path] = rec;
    }
    return files;
}

void TSimSystem::SaveFiles(const std::map<std::string, TFileRecord>& files) const {
    nlohmann::json doc;
    doc["files"] = nlohmann::json::object();
    std::error_code ec;
    for (const auto& [path, r] : files) {
        if (!fs::exists(fs::symlink_status(fs::path(path), ec)))
            continue; // gone: its record would only mislead a later file
        nlohmann::json j = {{"dev", r.Dev}, {"ino", r.Ino}, {"born", r.Born}};
        if (r.HasAttr)
            j["attr"] = r.Attr;
        if (!r.Short.empty())
            j["short"] = r.Short;
        doc["files"][path] = j;
    }
    // Unsaved records cost only attributes and short names, never a file.
    (void)WriteFileAtomically(FilesFile(), doc.dump(1));
}

std::uint32_t TSimSystem::GetFileAttributes(const fs::path& given) {
    const fs::path path = ResolvePath(given);
    std::error_code ec;
    const fs::file_status st = fs::symlink_status(path, ec);
    if (path.empty() || ec || !fs::exists(st))
        return faInvalid;
    std::uint32_t attr = 0;
    bool dir = fs::is_directory(st);
    if (fs::is_symlink(st)) {
        attr |= faReparsePoint;
        if (fs::is_directory(fs::status(path, ec)))
            dir = true;
    }
    if (dir)
        attr |= faDirectory;
    std::lock_guard lock(FMutex);
    TFileLock fileLock(LockFile());
    auto files = LoadFiles();
    if (const TFileRecord* r = Valid(files, path); r && r->HasAttr)
        attr |= r->Attr & (faHidden | faSysFile | faArchive | faReadOnly);
    else if (!dir)
        attr |= faArchive;
    // A plain file's read-only flag is its mode; a folder's is only a mark.
    if (fs::is_regular_file(st)) {
        attr &= ~faReadOnly;
        if ((st.permissions() & AnyWrite) == fs::perms::none)
            attr |= faReadOnly;
    }
    return attr == 0 ? faNormal : attr;
}

bool TSimSystem::SetFileAttributes(const fs::path& given, std::uint32_t attributes) {
    const fs::path path = ResolvePath(given);
    std::error_code ec;
    const fs::file_status st = fs::symlink_status(path, ec);
    if (path.empty() || ec || !fs::exists(st))
        return false;
    attributes &= KeptAttributes;
    if (fs::is_regular_file(st)) {
        const fs::perms mode = (attributes & faReadOnly)
                                   ? (st.permissions() & ~AnyWrite)
                                   : (st.permissions() | fs::perms::owner_write);
        fs::permissions(path, mode, fs::perm_options::replace, ec);
        if (ec)
            return false;
    }
    std::lock_guard lock(FMutex);
    TFileLock fileLock(LockFile());
    auto files = LoadFiles();
    TFileRecord& r = Record(files, path);
    r.HasAttr = true;
    r.Attr = attributes;
    SaveFiles(files);
    return true;
}

bool TSimSystem::DeleteFile(const fs::path& given) {
    const fs::path path = ResolvePath(given);
    std::error_code ec;
    const fs::file_status st = fs::symlink_status(path, ec);
    if (path.empty() || ec || !fs::exists(st) || fs::is_directory(st))
        return false;
    // Windows refuses to delete a read-only file; root on Linux would not.
    if (fs::is_regular_file(st) && (st.permissions() & AnyWrite) == fs::perms::none)
        return false;
    if (!fs::is_regular_file(st) && !fs::is_symlink(st) && (GetFileAttributes(path) & faReadOnly))
        return false;
    return fs::remove(path, ec) && !ec;
}

bool TSimSystem::RemoveDirectory(const fs::path& given) {
    const fs::path path = ResolvePath(given);
    std::error_code ec;
    const fs::file_status st = fs::symlink_status(path, ec);
    if (path.empty() || ec || !fs::exists(st))
        return false;
    // A link to a folder goes, not the folder it names; a folder only when empty.
    if (fs::is_symlink(st)) {
        if (!fs::is_directory(fs::status(path, ec)))
            return false;
    } else if (!fs::is_directory(st) || (GetFileAttributes(path) & faReadOnly)) {
        return false;
    }
    return fs::remove(path, ec) && !ec;
}

std::string TSimSystem::ShortComponent(std::map<std::string, TFileRecord>& files,
                                       const fs::path& folder, const std::string& name,
                                       bool& changed) {
    if (IsValidShortName(name))
        return name;
    const fs::path full = folder / name;
    if (TFileRecord* r = Valid(files, full); r && !r->Short.empty())
        return r->Short;
    // Names already taken in the folder: its 8.3 long names and the short
    // names given before.
    std::set<std::string> taken;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string n = it->path().filename().string();
        if (IsValidShortName(n))
            taken.insert(LowerAscii(n));
        else if (TFileRecord* r = Valid(files, it->path()); r && !r->Short.empty())
            taken.insert(LowerAscii(r->Short));
    }
    std::string shortName;
    for (unsigned n = 1;; ++n) {
        shortName = MakeShortName(name, n);
        if (!taken.count(LowerAscii(shortName)))
            break;
    }
    Record(files, full).Short = shortName;
    changed = true;
    return shortName;
}

fs::path TSimSystem::ShortPathName(const fs::path& given) {
    const fs::path path = ResolvePath(given);
    std::error_code ec;
    if (path.empty() || !fs::exists(fs::symlink_status(path, ec)))
        return {};
    const fs::path full = fs::absolute(path, ec).lexically_normal();
    std::lock_guard lock(FMutex);
    TFileLock fileLock(LockFile());
    auto files = LoadFiles();
    bool changed = false;
    fs::path longSoFar = full.root_path();
    fs::path out = full.root_path();
    for (const auto& part : full.relative_path()) {
        const std::string name = part.string();
        if (name.empty())
            continue;
        out /= ShortComponent(files, longSoFar, name, changed);
        longSoFar /= part;
    }
    if (changed)
        SaveFiles(files);
    return out;
}

fs::path TSimSystem::LongPathName(const fs::path& path) {
    std::error_code ec;
    if (path.empty())
        return {};
    const fs::path full = fs::absolute(path, ec).lexically_normal();
    std::lock_guard lock(FMutex);
    TFileLock fileLock(LockFile());
    auto files = LoadFiles();
    fs::path out = full.root_path();
    for (const auto& part : full.relative_path()) {
        const std::string name = part.string();
        if (name.empty())
            continue;
#ifndef _WIN32
        // On Windows the name as given may differ in case from the one on
        // disk: the folder is searched below instead.
        if (fs::exists(fs::symlink_status(out / part, ec))) {
            out /= part;
            continue;
        }
#endif
        bool found = false;
        for (fs::directory_iterator it(out, ec), end; !ec && it != end; it.increment(ec)) {
            TFileRecord* r = Valid(files, it->path());
            if (SameFileName(it->path().filename().string(), name) ||
                (r && TRegFile::SameName(r->Short, name))) {
                out = it->path();
                found = true;
                break;
            }
        }
        if (!found)
            return {};
    }
    return out;
}

} // namespace velmora::sim
