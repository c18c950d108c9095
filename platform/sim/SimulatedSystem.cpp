// The simulated Windows backend: a folder stands in for the machine.
#include "platform/SimulatedSystem.h"

#include "platform/sim/AtomicFile.h"
#include "platform/sim/CursorFile.h"
#include "platform/sim/RegFile.h"
#include "platform/sim/ShortName.h"
#include "platform/sim/ThemePack.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdlib>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <set>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace velmora {

namespace fs = std::filesystem;
using sim::TRegFile;
using sim::TRegKeyData;

fs::path DefaultSimulatedRoot() {
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data && *data && fs::path(data).is_absolute())
        return fs::path(data) / "velmora" / "windows";
    const char* home = std::getenv("HOME");
    if (home && *home)
        return fs::path(home) / ".local" / "share" / "velmora" / "windows";
    return fs::temp_directory_path() / "velmora" / "windows";
}

namespace {

constexpr std::uint32_t KeptAttributes = faReadOnly | faHidden | faSysFile | faArchive;
constexpr std::uintmax_t MaxCursorFile = 16u << 20;

std::string LowerAscii(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

bool HasLineBreak(const std::string& s) {
    return s.find_first_of("\r\n") != std::string::npos;
}

// One journal line: control characters would split it, so they are escaped.
std::string JournalText(std::string_view s) {
    std::string out;
    for (char c : s) {
        if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else
            out += c;
    }
    return out;
}

std::string Hex(long v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "0x%lX", static_cast<unsigned long>(v));
    return buf;
}

// The system cursor ids Windows defines (OCR_*), the obsolete ones included:
// the cursor scheme table uses 32641.
bool IsKnownCursorId(unsigned id) {
    return (id >= ocrNormal && id <= ocrUp) || id == 32631 || (id >= 32640 && id <= ocrHelp);
}

bool FindOnPath(const char* program) {
    const char* path = std::getenv("PATH");
    if (!path)
        return false;
    std::string_view rest(path);
    while (!rest.empty()) {
        const std::size_t colon = std::min(rest.find(':'), rest.size());
        const fs::path candidate = fs::path(std::string(rest.substr(0, colon))) / program;
        if (::access(candidate.c_str(), X_OK) == 0)
            return true;
        rest.remove_prefix(std::min(colon + 1, rest.size()));
    }
    return false;
}

// The desktop's opener, started detached so that it never waits on us.
bool OpenWithXdg(const std::string& url) {
    if (!FindOnPath("xdg-open"))
        return false;
    const pid_t child = ::fork();
    if (child < 0)
        return false;
    if (child == 0) {
        ::setsid();
        if (::fork() == 0) {
            const int null = ::open("/dev/null", O_RDWR);
            if (null >= 0) {
                ::dup2(null, 0);
                ::dup2(null, 1);
                ::dup2(null, 2);
            }
            ::execlp("xdg-open", "xdg-open", url.c_str(), static_cast<char*>(nullptr));
        }
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return true;
}

struct TFileRecord {
    std::uint64_t Dev = 0;
    std::uint64_t Ino = 0;
    std::uint64_t Born = 0;
    bool HasAttr = false;
    std::uint32_t Attr = 0;
    std::string Short;
};

class TSimSystem;

class TSimRegKey final : public IRegKey {
public:
    TSimRegKey(TSimSystem& system, std::string path) : FSystem(&system), FPath(std::move(path)) {}
    bool WriteString(const std::string& name, const std::string& value) override;
    std::optional<std::string> ReadString(const std::string& name) const override;
    bool DeleteValue(const std::string& name) override;
    std::vector<std::string> ValueNames() const override;
    void Close() override { FSystem = nullptr; }

private:
    TSimSystem* FSystem;
    std::string FPath;
};

class TSimSystem final : public TSimulatedSystem {
public:
    explicit TSimSystem(fs::path root) : FRoot(std::move(root)) {
        std::error_code ec;
        FRoot = fs::absolute(FRoot, ec).lexically_normal();
        for (const char* sub :
             {"Windows/System32", "Windows/Resources/Themes", "Windows/Cursors",
              "AppData/Local/Microsoft/Windows/Themes", "AppData/Roaming", "Desktop", "Documents"})
            fs::create_directories(FRoot / sub, ec);
        if (!fs::exists(RegistryFile(), ec))
            SeedRegistry();
    }

    // --- TSimulatedSystem ---
    const fs::path& Root() const override { return FRoot; }
    fs::path RegistryFile() const override { return FRoot / "HKCU.reg"; }
    fs::path JournalFile() const override { return FRoot / "journal.log"; }
    fs::path DeniedFile() const { return FRoot / "HKCU.denied"; }
    fs::path FilesFile() const { return FRoot / "files.json"; }
    fs::path LockFile() const { return FRoot / ".lock"; }

    std::vector<std::string> Journal() const override {
        std::string text;
        std::vector<std::string> lines;
        if (!sim::ReadWholeFile(JournalFile(), text))
            return lines;
        std::size_t pos = 0;
        while (pos < text.size()) {
            const std::size_t end = std::min(text.find('\n', pos), text.size());
            lines.push_back(text.substr(pos, end - pos));
            pos = end + 1;
        }
        return lines;
    }

    void SetKeyDenied(const std::string& subKey, bool denied) override {
        std::lock_guard lock(FMutex);
        sim::TFileLock fileLock(LockFile());
        std::vector<std::string> keys = DeniedKeys();
        const std::string key = TRegFile::NormalKey(subKey);
        std::erase_if(keys, [&](const std::string& k) { return TRegFile::SameName(k, key); });
        if (denied)
            keys.push_back(key);
        std::string text;
        for (const auto& k : keys)
            text += k + "\n";
        sim::WriteFileAtomically(DeniedFile(), text);
    }

    void SetUrlOpener(TUrlOpener opener) override { FOpener = std::move(opener); }

    // --- Folders ---
    fs::path WindowsDirectory() const override { return FRoot / "Windows"; }
    fs::path SystemDirectory() const override { return FRoot / "Windows" / "System32"; }
    fs::path SpecialFolder(int csidl) const override {
        switch (csidl) {
        case 0:  // CSIDL_DESKTOP
        case 16: // CSIDL_DESKTOPDIRECTORY
            return FRoot / "Desktop";
        case 5: // CSIDL_PERSONAL
            return FRoot / "Documents";
        case 26: // CSIDL_APPDATA
            return FRoot / "AppData" / "Roaming";
        case csidlLocalAppData:
            return FRoot / "AppData" / "Local";
        case 36: // CSIDL_WINDOWS
            return WindowsDirectory();
        case 37: // CSIDL_SYSTEM
            return SystemDirectory();
        default:
            return {};
        }
    }

    // --- Registry ---
    std::unique_ptr<IRegKey> OpenCurrentUserKey(const std::string& subKey, bool canCreate,
                                                long* error = nullptr) override {
        long dummy = 0;
        long& err = error ? *error : dummy;
        if (HasLineBreak(subKey)) {
            err = errInvalidParameter;
            return nullptr;
        }
        std::lock_guard lock(FMutex);
        sim::TFileLock fileLock(LockFile());
        const std::string key = TRegFile::NormalKey(subKey);
        if (IsDenied(key)) {
            err = errAccessDenied;
            return nullptr;
        }
        TRegFile reg = LoadRegistry();
        TRegKeyData* found = reg.Find(key);
        if (!found) {
            if (!canCreate) {
                err = errFileNotFound;
                return nullptr;
            }
            reg.Create(key);
            if (!reg.Save(RegistryFile())) {
                err = errAccessDenied;
                return nullptr;
            }
            found = reg.Find(key);
        }
        err = errSuccess;
        return std::make_unique<TSimRegKey>(*this, found->Path);
    }

    // Runs fn on the key's data under the lock; saves when fn returns true
    // and asks for it. False when the key is gone or denied.
    template <class Fn> bool WithKey(const std::string& key, bool save, Fn&& fn) {
        std::lock_guard lock(FMutex);
        sim::TFileLock fileLock(LockFile());
        if (IsDenied(key))
            return false;
        TRegFile reg = LoadRegistry();
        TRegKeyData* data = reg.Find(key);
        if (!data || !fn(*data))
            return false;
        return !save || reg.Save(RegistryFile());
    }

    // --- Desktop ---
    bool SystemParametersInfo(unsigned action, unsigned uiParam,
                              const std::optional<std::string>& pvParam, unsigned winIni) override {
        if (action != spiSetScreenSaveActive && action != spiSetDeskWallpaper &&
            action != spiSetCursors)
            return false;
        if (action == spiSetDeskWallpaper) {
            if (!pvParam)
                return false;
            std::error_code ec;
            if (!pvParam->empty() && !fs::is_regular_file(fs::path(*pvParam), ec))
                return false;
        }
        AppendJournal("SystemParametersInfo action=" + std::to_string(action) +
                      " uiParam=" + std::to_string(uiParam) + " winIni=" + std::to_string(winIni) +
                      " pvParam=" + (pvParam ? *pvParam : std::string("null")));
        if (winIni & spifUpdateIniFile) {
            if (action == spiSetDeskWallpaper)
                WriteDesktopValue("Wallpaper", *pvParam);
            else if (action == spiSetScreenSaveActive)
                WriteDesktopValue("ScreenSaveActive", uiParam ? "1" : "0");
        }
        return true;
    }

    TCursorHandle LoadCursorFromFile(const fs::path& file) override {
        std::error_code ec;
        const auto size = fs::file_size(file, ec);
        if (ec || size > MaxCursorFile)
            return 0;
        std::string bytes;
        if (!sim::ReadWholeFile(file, bytes) || !sim::IsValidCursorData(bytes))
            return 0;
        std::lock_guard lock(FMutex);
        const TCursorHandle h = FNextCursor++;
        FCursors[h] = fs::absolute(file, ec).lexically_normal();
        return h;
    }

    bool SetSystemCursor(TCursorHandle cursor, unsigned id) override {
        fs::path file;
        {
            std::lock_guard lock(FMutex);
            auto it = FCursors.find(cursor);
            if (it == FCursors.end() || !IsKnownCursorId(id))
                return false;
            file = it->second;
            FCursors.erase(it);
        }
        AppendJournal("SetSystemCursor id=" + std::to_string(id) + " file=" + file.string());
        return true;
    }

    void DestroyCursor(TCursorHandle cursor) override {
        std::lock_guard lock(FMutex);
        FCursors.erase(cursor);
    }

    bool PostScreenSaveCommand() override {
        std::string saver;
        if (auto key = OpenCurrentUserKey("Control Panel\\Desktop", false))
            saver = key->ReadString("SCRNSAVE.EXE").value_or("");
        AppendJournal("ScreenSaverStarted file=" + saver);
        return true;
    }

    // --- Shell ---
    long ShellOpen(const std::string& target, std::uintptr_t = 0) override {
        const std::string lower = LowerAscii(target);
        if (lower.rfind("http://", 0) == 0 || lower.rfind("https://", 0) == 0) {
            AppendJournal("ShellOpen " + target);
            const bool ok = FOpener ? FOpener(target) : OpenWithXdg(target);
            return ok ? seOk : 31; // SE_ERR_NOASSOC
        }
        const fs::path path(target);
        std::error_code ec;
        if (target.empty() || !fs::exists(fs::symlink_status(path, ec)))
            return errFileNotFound;
        AppendJournal("ShellOpen " + target);
        const std::string ext = LowerAscii(path.extension().string());
        if (ext == ".theme")
            ApplyTheme(path);
        else if (ext == ".themepack")
            ApplyThemePack(path);
        return seOk;
    }

    void ShChangeNotify(long eventId, const fs::path& item) override {
        AppendJournal("SHChangeNotify event=" + Hex(eventId) + " item=" + item.string());
    }

    bool PathMakeSystemFolder(const fs::path& folder) override {
        std::error_code ec;
        if (!fs::is_directory(fs::symlink_status(folder, ec)))
            return false;
        const std::uint32_t attr = GetFileAttributes(folder);
        if (attr == faInvalid || !SetFileAttributes(folder, (attr & KeptAttributes) | faSysFile))
            return false;
        AppendJournal("PathMakeSystemFolder " + folder.string());
        return true;
    }

    bool CallShlwapiOrdinal633(std::uint32_t arg) override {
        AppendJournal("Shlwapi633 arg=" + std::to_string(arg));
        return true;
    }

    // --- Files ---
    fs::path ShortPathName(const fs::path& path) override;
    fs::path LongPathName(const fs::path& path) override;
    std::uint32_t GetFileAttributes(const fs::path& path) override;
    bool SetFileAttributes(const fs::path& path, std::uint32_t attributes) override;
    bool DeleteFile(const fs::path& path) override;
    bool RemoveDirectory(const fs::path& path) override;

private:
    // The keys a fresh Windows profile already has.
    void SeedRegistry() {
        TRegFile reg;
        TRegKeyData& desktop = reg.Create("Control Panel\\Desktop");
        desktop.Values = {{"ScreenSaveActive", "1", false}, {"Wallpaper", "", false}};
        reg.Create("Control Panel\\Cursors").Values = {{"", "Windows Default", false}};
        reg.Create("Software\\Microsoft\\Windows\\CurrentVersion\\Themes");
        reg.Save(RegistryFile());
    }

    std::vector<std::string> DeniedKeys() const {
        std::vector<std::string> keys;
        std::string text;
        if (!sim::ReadWholeFile(DeniedFile(), text))
            return keys;
        std::size_t pos = 0;
        while (pos < text.size()) {
            const std::size_t end = std::min(text.find('\n', pos), text.size());
            if (end > pos)
                keys.push_back(text.substr(pos, end - pos));
            pos = end + 1;
        }
        return keys;
    }

    bool IsDenied(const std::string& key) const {
        for (const auto& d : DeniedKeys())
            if (TRegFile::IsWithin(key, d))
                return true;
        return false;
    }

    TRegFile LoadRegistry() const {
        TRegFile reg;
        reg.Load(RegistryFile());
        return reg;
    }

    void WriteDesktopValue(const std::string& name, const std::string& value) {
        if (auto key = OpenCurrentUserKey("Control Panel\\Desktop", true))
            key->WriteString(name, value);
    }

    void AppendJournal(const std::string& line) {
        std::lock_guard lock(FJournalMutex);
        const std::string text = JournalText(line) + "\n";
        const int fd =
            ::open(JournalFile().c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (fd < 0)
            return;
        // One write per line so that lines of several writers never interleave.
        [[maybe_unused]] const ssize_t n = ::write(fd, text.data(), text.size());
        ::close(fd);
    }

    // Windows records the applied theme; a theme it cannot record fails.
    bool ApplyTheme(const fs::path& theme) {
        auto key = OpenCurrentUserKey("Software\\Microsoft\\Windows\\CurrentVersion\\Themes", true);
        if (!key || !key->WriteString("CurrentTheme", theme.string())) {
            AppendJournal("ThemeFailed " + theme.string());
            return false;
        }
        AppendJournal("ThemeApplied " + theme.string());
        return true;
    }

    // Unpacks into the user theme folder under the pack's name, then applies
    // the theme inside, as Windows' theme handler does.
    void ApplyThemePack(const fs::path& pack) {
        const fs::path themes =
            SpecialFolder(csidlLocalAppData) / "Microsoft" / "Windows" / "Themes";
        const fs::path dest = themes / pack.stem();
        std::string why;
        if (!sim::UnpackThemePack(pack, dest, why)) {
            AppendJournal("ThemePackFailed " + pack.string() + ": " + why);
            return;
        }
        AppendJournal("ThemePackUnpacked " + dest.string());
        const fs::path theme = sim::FindThemeFile(dest);
        if (theme.empty()) {
            AppendJournal("ThemePackFailed " + pack.string() + ": no .theme file inside");
            return;
        }
        ApplyTheme(theme);
    }

    // --- the file records (hidden/system attributes, short names) ---
    std::map<std::string, TFileRecord> LoadFiles() const;
    void SaveFiles(const std::map<std::string, TFileRecord>& files) const;
    static std::string Key(const fs::path& p) {
        std::error_code ec;
        return fs::absolute(p, ec).lexically_normal().string();
    }
    // Device, inode and birth time: an inode number alone is soon reused by
    // the next file created.
    static bool Identity(const fs::path& p, std::uint64_t& dev, std::uint64_t& ino,
                         std::uint64_t& born) {
        struct statx st {};
        if (::statx(AT_FDCWD, p.c_str(), AT_SYMLINK_NOFOLLOW, STATX_INO | STATX_BTIME, &st) != 0)
            return false;
        dev = (std::uint64_t(st.stx_dev_major) << 32) | st.stx_dev_minor;
        ino = st.stx_ino;
        born = (st.stx_mask & STATX_BTIME)
                   ? std::uint64_t(st.stx_btime.tv_sec) * 1000000000u + st.stx_btime.tv_nsec
                   : 0;
        return true;
    }
    // The record of an existing path when it still belongs to that file.
    static TFileRecord* Valid(std::map<std::string, TFileRecord>& files, const fs::path& p) {
        auto it = files.find(Key(p));
        std::uint64_t dev = 0, ino = 0, born = 0;
        if (it == files.end() || !Identity(p, dev, ino, born) || it->second.Dev != dev ||
            it->second.Ino != ino || it->second.Born != born)
            return nullptr;
        return &it->second;
    }
    TFileRecord& Record(std::map<std::string, TFileRecord>& files, const fs::path& p) {
        if (TFileRecord* r = Valid(files, p))
            return *r;
        TFileRecord& r = files[Key(p)];
        r = TFileRecord{};
        Identity(p, r.Dev, r.Ino, r.Born);
        return r;
    }
    std::string ShortComponent(std::map<std::string, TFileRecord>& files, const fs::path& folder,
                               const std::string& name, bool& changed);

    fs::path FRoot;
    mutable std::mutex FMutex;
    std::mutex FJournalMutex;
    std::map<TCursorHandle, fs::path> FCursors;
    TCursorHandle FNextCursor = 1;
    TUrlOpener FOpener;

    friend class TSimRegKey;
};

// --- registry keys ---

bool TSimRegKey::WriteString(const std::string& name, const std::string& value) {
    if (!FSystem || HasLineBreak(name))
        return false;
    return FSystem->WithKey(FPath, true, [&](sim::TRegKeyData& key) {
        for (auto& v : key.Values)
            if (TRegFile::SameName(v.Name, name)) {
                v.Data = value;
                v.Raw = false;
                return true;
            }
        key.Values.push_back({name, value, false});
        return true;
    });
}

std::optional<std::string> TSimRegKey::ReadString(const std::string& name) const {
    std::optional<std::string> out;
    if (!FSystem)
        return out;
    FSystem->WithKey(FPath, false, [&](sim::TRegKeyData& key) {
        for (const auto& v : key.Values)
            if (TRegFile::SameName(v.Name, name) && !v.Raw)
                out = v.Data;
        return true;
    });
    return out;
}

bool TSimRegKey::DeleteValue(const std::string& name) {
    if (!FSystem)
        return false;
    return FSystem->WithKey(FPath, true, [&](sim::TRegKeyData& key) {
        return std::erase_if(key.Values, [&](const sim::TRegValue& v) {
                   return TRegFile::SameName(v.Name, name);
               }) > 0;
    });
}

std::vector<std::string> TSimRegKey::ValueNames() const {
    std::vector<std::string> names;
    if (FSystem)
        FSystem->WithKey(FPath, false, [&](sim::TRegKeyData& key) {
            for (const auto& v : key.Values)
                names.push_back(v.Name);
            return true;
        });
    return names;
}

// --- file records ---

std::map<std::string, TFileRecord> TSimSystem::LoadFiles() const {
    std::map<std::string, TFileRecord> files;
    std::string text;
    if (!sim::ReadWholeFile(FilesFile(), text))
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
    sim::WriteFileAtomically(FilesFile(), doc.dump(1));
}

std::uint32_t TSimSystem::GetFileAttributes(const fs::path& path) {
    struct stat st {};
    if (path.empty() || ::lstat(path.c_str(), &st) != 0)
        return faInvalid;
    std::uint32_t attr = 0;
    bool dir = S_ISDIR(st.st_mode);
    if (S_ISLNK(st.st_mode)) {
        attr |= faReparsePoint;
        struct stat target {};
        if (::stat(path.c_str(), &target) == 0 && S_ISDIR(target.st_mode))
            dir = true;
    }
    if (dir)
        attr |= faDirectory;
    std::lock_guard lock(FMutex);
    sim::TFileLock fileLock(LockFile());
    auto files = LoadFiles();
    if (const TFileRecord* r = Valid(files, path); r && r->HasAttr)
        attr |= r->Attr & (faHidden | faSysFile | faArchive | faReadOnly);
    else if (!dir)
        attr |= faArchive;
    // A plain file's read-only flag is its mode; a folder's is only a mark.
    if (S_ISREG(st.st_mode)) {
        attr &= ~faReadOnly;
        if ((st.st_mode & 0222) == 0)
            attr |= faReadOnly;
    }
    return attr == 0 ? faNormal : attr;
}

bool TSimSystem::SetFileAttributes(const fs::path& path, std::uint32_t attributes) {
    struct stat st {};
    if (path.empty() || ::lstat(path.c_str(), &st) != 0)
        return false;
    attributes &= KeptAttributes;
    if (S_ISREG(st.st_mode)) {
        const mode_t mode =
            (attributes & faReadOnly) ? (st.st_mode & ~mode_t(0222)) : (st.st_mode | S_IWUSR);
        if (::chmod(path.c_str(), mode & 07777) != 0)
            return false;
    }
    std::lock_guard lock(FMutex);
    sim::TFileLock fileLock(LockFile());
    auto files = LoadFiles();
    TFileRecord& r = Record(files, path);
    r.HasAttr = true;
    r.Attr = attributes;
    SaveFiles(files);
    return true;
}

bool TSimSystem::DeleteFile(const fs::path& path) {
    struct stat st {};
    if (path.empty() || ::lstat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode))
        return false;
    // Windows refuses to delete a read-only file; root on Linux would not.
    if (S_ISREG(st.st_mode) && (st.st_mode & 0222) == 0)
        return false;
    if (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode) && (GetFileAttributes(path) & faReadOnly))
        return false;
    return ::unlink(path.c_str()) == 0;
}

bool TSimSystem::RemoveDirectory(const fs::path& path) {
    struct stat st {};
    if (path.empty() || ::lstat(path.c_str(), &st) != 0)
        return false;
    if (S_ISLNK(st.st_mode)) {
        struct stat target {};
        if (::stat(path.c_str(), &target) != 0 || !S_ISDIR(target.st_mode))
            return false;
        return ::unlink(path.c_str()) == 0;
    }
    if (!S_ISDIR(st.st_mode) || (GetFileAttributes(path) & faReadOnly))
        return false;
    return ::rmdir(path.c_str()) == 0;
}

std::string TSimSystem::ShortComponent(std::map<std::string, TFileRecord>& files,
                                       const fs::path& folder, const std::string& name,
                                       bool& changed) {
    if (sim::IsValidShortName(name))
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
        if (sim::IsValidShortName(n))
            taken.insert(LowerAscii(n));
        else if (TFileRecord* r = Valid(files, it->path()); r && !r->Short.empty())
            taken.insert(LowerAscii(r->Short));
    }
    std::string shortName;
    for (unsigned n = 1;; ++n) {
        shortName = sim::MakeShortName(name, n);
        if (!taken.count(LowerAscii(shortName)))
            break;
    }
    Record(files, full).Short = shortName;
    changed = true;
    return shortName;
}

fs::path TSimSystem::ShortPathName(const fs::path& path) {
    std::error_code ec;
    if (path.empty() || !fs::exists(fs::symlink_status(path, ec)))
        return {};
    const fs::path full = fs::absolute(path, ec).lexically_normal();
    std::lock_guard lock(FMutex);
    sim::TFileLock fileLock(LockFile());
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
    sim::TFileLock fileLock(LockFile());
    auto files = LoadFiles();
    fs::path out = full.root_path();
    for (const auto& part : full.relative_path()) {
        const std::string name = part.string();
        if (name.empty())
            continue;
        if (fs::exists(fs::symlink_status(out / part, ec))) {
            out /= part;
            continue;
        }
        bool found = false;
        for (fs::directory_iterator it(out, ec), end; !ec && it != end; it.increment(ec)) {
            TFileRecord* r = Valid(files, it->path());
            if (r && TRegFile::SameName(r->Short, name)) {
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

} // namespace

std::unique_ptr<TSimulatedSystem> CreateSimulatedSystem(const fs::path& root) {
    return std::make_unique<TSimSystem>(root);
}

} // namespace velmora
