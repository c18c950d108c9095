#pragma once
// The simulated backend's one class, shared by the files that implement it:
// SimulatedSystem.cpp (construction, folders), SimRegistry.cpp (registry
// keys, denied keys), SimFiles.cpp (attributes, short names, deletion) and
// SimShell.cpp (desktop, cursors, shell, themes, journal).
#include "platform/SimulatedSystem.h"
#include "platform/sim/CaseNames.h"
#include "platform/sim/RegFile.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>

namespace velmora::sim {

namespace fs = std::filesystem;

// The attributes a caller can set; the others follow from the file itself.
constexpr std::uint32_t KeptAttributes = faReadOnly | faHidden | faSysFile | faArchive;

// The journal, the denied keys and the file records are read only this far.
constexpr std::uintmax_t MaxStateFileBytes = 64 << 20;

// Registry names and values cannot hold a line break: the .reg text would split.
inline bool HasLineBreak(const std::string& s) {
    return s.find_first_of("\r\n") != std::string::npos;
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
    explicit TSimSystem(fs::path root);

    // --- TSimulatedSystem ---
    const fs::path& Root() const override { return FRoot; }
    fs::path RegistryFile() const override { return FRoot / "HKCU.reg"; }
    fs::path JournalFile() const override { return FRoot / "journal.log"; }
    fs::path DeniedFile() const { return FRoot / "HKCU.denied"; }
    fs::path FilesFile() const { return FRoot / "files.json"; }
    fs::path LockFile() const { return FRoot / ".lock"; }

    std::vector<std::string> Journal() const override;
    void SetKeyDenied(const std::string& subKey, bool denied) override;
    void SetUrlOpener(TUrlOpener opener) override { FOpener = std::move(opener); }
    void SetFolderPicker(TFolderPicker picker) override { FPicker = std::move(picker); }

    // --- Folders ---
    fs::path WindowsDirectory() const override { return FRoot / "Windows"; }
    fs::path SystemDirectory() const override { return FRoot / "Windows" / "System32"; }
    fs::path SpecialFolder(int csidl) const override;

    // --- Registry ---
    std::unique_ptr<IRegKey> OpenCurrentUserKey(const std::string& subKey, bool canCreate,
                                                long* error = nullptr) override;

    // Runs fn on the key's data under the lock; saves when fn returns true
    // and asks for it. False when the key is gone or denied.
    template <class Fn> bool WithKey(const std::string& key, bool save, Fn&& fn);

    // --- Desktop ---
    bool SystemParametersInfo(unsigned action, unsigned uiParam,
                              const std::optional<std::string>& pvParam, unsigned winIni) override;
    TCursorHandle LoadCursorFromFile(const fs::path& file) override;
    bool SetSystemCursor(TCursorHandle cursor, unsigned id) override;
    void DestroyCursor(TCursorHandle cursor) override;
    bool PostScreenSaveCommand() override;
    bool SetScreenWallpaper(const TScreenWallpaper& request) override;

    // --- Shell ---
    long ShellOpen(const std::string& target, std::uintptr_t = 0) override;
    void ShChangeNotify(long eventId, const fs::path& item) override;
    bool PathMakeSystemFolder(const fs::path& folder) override;
    bool CallShlwapiOrdinal633(std::uint32_t arg) override;
    std::optional<fs::path> BrowseForFolder(const std::string& text, const fs::path& root,
                                            const fs::path& initial,
                                            std::uintptr_t ownerWindow = 0) override;
    std::optional<std::string> ReadThemeFromPack(const fs::path& pack) override;

    // --- Files ---
    fs::path ResolvePath(const fs::path& path) override { return ResolveCase(path); }
    fs::path ShortPathName(const fs::path& path) override;
    fs::path LongPathName(const fs::path& path) override;
    std::uint32_t GetFileAttributes(const fs::path& path) override;
    bool SetFileAttributes(const fs::path& path, std::uint32_t attributes) override;
    bool DeleteFile(const fs::path& path) override;
    bool RemoveDirectory(const fs::path& path) override;

private:
    // --- registry (SimRegistry.cpp) ---
    void SeedRegistry();
    std::vector<std::string> DeniedKeys() const;
    bool IsDenied(const std::string& key) const;
    TRegFile LoadRegistry() const;
    void WriteDesktopValue(const std::string& name, const std::string& value);

    // --- journal and themes (SimShell.cpp) ---
    void AppendJournal(const std::string& line);
    bool ApplyTheme(const fs::path& theme);
    void ApplyThemePack(const fs::path& pack);

    // --- the file records: hidden/system attributes, short names (SimFiles.cpp) ---
    std::map<std::string, TFileRecord> LoadFiles() const;
    void SaveFiles(const std::map<std::string, TFileRecord>& files) const;
    TFileRecord& Record(std::map<std::string, TFileRecord>& files, const fs::path& p);
    std::string ShortComponent(std::map<std::string, TFileRecord>& files, const fs::path& folder,
                               const std::string& name, bool& changed);

    fs::path FRoot;
    mutable std::mutex FMutex;
    std::mutex FJournalMutex;
    std::map<TCursorHandle, fs::path> FCursors;
    TCursorHandle FNextCursor = 1;
    TUrlOpener FOpener;
    TFolderPicker FPicker;

    friend class TSimRegKey;
};

} // namespace velmora::sim
