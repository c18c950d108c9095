#include "platform/history/RecordingSystem.h"

#include "platform/util/Ascii.h"
#include "platform/util/Files.h"

#include <algorithm>
#include <set>
#include <stdexcept>
#include <system_error>

namespace velmora {
namespace fs = std::filesystem;

namespace {

constexpr const char* DesktopKey = "Control Panel\\Desktop";
constexpr const char* CursorsKey = "Control Panel\\Cursors";
constexpr const char* ThemesKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Themes";
// A change made outside any action the program names.
constexpr const char* OtherChangeText = "桌面更改";
// File items the desktop settings name: put back after the calls of a
// restore, which may replace them again.
constexpr const char* SettingsFileMark = "settings";
// A file item's value where a folder stands (made by an extraction since).
constexpr const char* FolderValue = "folder";

// The system cursors' values, as SPI_SETCURSORS reloads them.
constexpr const char* CursorValueNames[] = {
    "",   "Arrow",  "Help",   "AppStarting", "Wait",     "Crosshair", "IBeam", "Hand",
    "No", "SizeNS", "SizeWE", "SizeNWSE",    "SizeNESW", "SizeAll",   "NWPen", "UpArrow"};

TStateItem Registry(const std::string& key, const std::string& name) {
    return {TStateKind::skRegistry, key, name, std::nullopt};
}

bool IsThemeFile(const std::string& fileOrUrl) {
    const std::string ext = LowerAscii(fs::path(fileOrUrl).extension().string());
    return ext == ".theme" || ext == ".themepack";
}

class TRecorder;

class TRecordingKey : public IRegKey {
public:
    TRecordingKey(TRecorder& owner, std::string subKey, std::unique_ptr<IRegKey> inner)
        : FOwner(owner), FSubKey(std::move(subKey)), FInner(std::move(inner)) {}

    bool WriteString(const std::string& name, const std::string& value) override;
    std::optional<std::string> ReadString(const std::string& name) const override {
        return FInner->ReadString(name);
    }
    bool DeleteValue(const std::string& name) override;
    std::vector<std::string> ValueNames() const override { return FInner->ValueNames(); }
    void Close() override { FInner->Close(); }

private:
    void Capture(const std::string& name);

    TRecorder& FOwner;
    std::string FSubKey;
    std::unique_ptr<IRegKey> FInner;
};

class TRecorder : public TRecordingSystem {
public:
    TRecorder(std::unique_ptr<ISystem> inner, const fs::path& folder,
              std::shared_ptr<ISettingsState> settings)
        : FInner(std::move(inner)), FRecord(folder), FSettings(std::move(settings)) {
        FRecord.Entries(); // a damaged record is set aside (and said) at once
    }

    // --- the record -------------------------------------------------------
    void BeginChange(const std::string& description) override {
        if (FDepth++ == 0) {
            FText = description;
            FEntry.reset();
            FCaptured.clear();
        }
    }

    void EndChange() override {
        if (FDepth == 0 || --FDepth > 0)
            return;
        if (!FEntry)
            return;
        const std::int64_t id = *FEntry;
        std::vector<TStateItem> captured = std::move(FCaptured);
        FEntry.reset();
        FCaptured.clear();
        // Called from a scope's destructor: nothing may escape. An entry
        // whose end is not written still restores; only the check for
        // changes made by others since is skipped for it.
        try {
            for (TStateItem& item : captured)
                item.Value = Read(item, false);
            FRecord.AddAfter(id, captured);
        } catch (const std::exception&) {
        }
    }

    void RecordFileBefore(const fs::path& file) override {
        TChangeScope scope(*this, OtherChangeText);
        CaptureFile(file, {});
    }

    // Writes down the thing's present state, once per entry, before it changes.
    void Capture(TStateItem item) {
        for (const TStateItem& done : FCaptured)
            if (done.SameTarget(item))
                return;
        if (!FEntry)
            FEntry = FRecord.Begin(FText, FRestores);
        item.Value = Read(item, true);
        FRecord.AddPrior(*FEntry, item);
        FCaptured.push_back(std::move(item));
    }

    std::vector<TChangeEntry> History() override { return FRecord.Entries(); }
    std::string RecordProblem() override { return FRecord.Problem(); }

    TRestorePlan PlanRestore(const std::vector<TChangeEntry>& entries, std::int64_t id) override {
        return TChangeRecord::PlanRestore(
            entries, id, [this](const TStateItem& item) { return Read(item, false); });
    }

    bool Restore(std::int64_t id) override;
    ISystem& Inner() override { return *FInner; }

    // --- Folders and reads: passed through ---------------------------------
    fs::path WindowsDirectory() const override { return FInner->WindowsDirectory(); }
    fs::path SystemDirectory() const override { return FInner->SystemDirectory(); }
    fs::path SpecialFolder(int csidl) const override { return FInner->SpecialFolder(csidl); }

    std::unique_ptr<IRegKey> OpenCurrentUserKey(const std::string& subKey, bool canCreate,
                                                long* error) override {
        auto key = FInner->OpenCurrentUserKey(subKey, canCreate, error);
        if (!key)
            return nullptr;
        return std::make_unique<TRecordingKey>(*this, subKey, std::move(key));
    }

    bool SystemParametersInfo(unsigned action, unsigned uiParam,
                              const std::optional<std::string>& pvParam, unsigned winIni) override {
        TChangeScope scope(*this, OtherChangeText);
        if (action == spiSetDeskWallpaper) {
            for (const char* name : {"Wallpaper", "WallpaperStyle", "TileWallpaper"})
                Capture(Registry(DesktopKey, name));
            CaptureSettings(TSettingsCall::scWallpaper, {});
        } else if (action == spiSetScreenSaveActive) {
            Capture(Registry(DesktopKey, "ScreenSaveActive"));
        } else if (action == spiSetCursors) {
            CaptureSettings(TSettingsCall::scCursors, {});
        }
        return FInner->SystemParametersInfo(action, uiParam, pvParam, winIni);
    }

    // Writes the wallpaper values itself (the tiled composed picture where
    // there is no wallpaper per monitor).
    bool SetScreenWallpaper(const TScreenWallpaper& request) override {
        TChangeScope scope(*this, OtherChangeText);
        for (const char* name : {"Wallpaper", "WallpaperStyle", "TileWallpaper"})
            Capture(Registry(DesktopKey, name));
        CaptureSettings(TSettingsCall::scWallpaper, {});
        return FInner->SetScreenWallpaper(request);
    }

    TCursorHandle LoadCursorFromFile(const fs::path& file) override {
        return FInner->LoadCursorFromFile(file);
    }
    // The cursors in use follow the registry values the installers write.
    bool SetSystemCursor(TCursorHandle cursor, unsigned id) override {
        return FInner->SetSystemCursor(cursor, id);
    }
    void DestroyCursor(TCursorHandle cursor) override { FInner->DestroyCursor(cursor); }
    bool PostScreenSaveCommand() override { return FInner->PostScreenSaveCommand(); }

    long ShellOpen(const std::string& fileOrUrl, std::uintptr_t ownerWindow) override {
        if (!IsThemeFile(fileOrUrl))
            return FInner->ShellOpen(fileOrUrl, ownerWindow);
        // The theme handler writes these itself, out of sight of this layer.
        TChangeScope scope(*this, OtherChangeText);
        for (const char* name : {"Wallpaper", "WallpaperStyle", "TileWallpaper", "SCRNSAVE.EXE"})
            Capture(Registry(DesktopKey, name));
        for (const char* name : CursorValueNames)
            Capture(Registry(CursorsKey, name));
        for (const char* name : {"CurrentTheme", "DisplayName"})
            Capture(Registry(ThemesKey, name));
        CaptureSettings(TSettingsCall::scTheme, {});
        return FInner->ShellOpen(fileOrUrl, ownerWindow);
    }

    void ShChangeNotify(long eventId, const fs::path& item) override {
        if (eventId == shcneUpdateImage) {
            TChangeScope scope(*this, OtherChangeText);
            CaptureSettings(TSettingsCall::scFolderIcon, item);
            FInner->ShChangeNotify(eventId, item);
            return;
        }
        FInner->ShChangeNotify(eventId, item);
    }

    bool PathMakeSystemFolder(const fs::path& folder) override {
        TChangeScope scope(*this, OtherChangeText);
        Capture(
            {TStateKind::skAttributes, NormalPath(FInner->ResolvePath(folder)).string(), {}, {}});
        return FInner->PathMakeSystemFolder(folder);
    }
    std::optional<std::string> ReadThemeFromPack(const fs::path& pack) override {
        return FInner->ReadThemeFromPack(pack);
    }
    bool CallShlwapiOrdinal633(std::uint32_t arg) override {
        return FInner->CallShlwapiOrdinal633(arg);
    }
    std::optional<fs::path> BrowseForFolder(const std::string& text, const fs::path& root,
                                            const fs::path& initial,
                                            std::uintptr_t ownerWindow) override {
        return FInner->BrowseForFolder(text, root, initial, ownerWindow);
    }

    fs::path ResolvePath(const fs::path& path) override { return FInner->ResolvePath(path); }
    fs::path ShortPathName(const fs::path& path) override { return FInner->ShortPathName(path); }
    fs::path LongPathName(const fs::path& path) override { return FInner->LongPathName(path); }
    std::uint32_t GetFileAttributes(const fs::path& path) override {
        return FInner->GetFileAttributes(path);
    }
    // Files are part of the desktop only within an action that changes it
    // (the program also tidies its own folders with these calls).
    bool SetFileAttributes(const fs::path& path, std::uint32_t attributes) override {
        if (FDepth == 0)
            return FInner->SetFileAttributes(path, attributes);
        Capture({TStateKind::skAttributes, NormalPath(FInner->ResolvePath(path)).string(), {}, {}});
        return FInner->SetFileAttributes(path, attributes);
    }
    bool DeleteFile(const fs::path& path) override {
        if (FDepth > 0)
            CaptureFile(path, {});
        return FInner->DeleteFile(path);
    }
    bool RemoveDirectory(const fs::path& path) override {
        if (FDepth > 0) {
            CaptureFolder(path);
            CaptureSettings(TSettingsCall::scRemoveFolder, path);
        }
        return FInner->RemoveDirectory(path);
    }

private:
    // A file and its attributes; a folder is not kept (its files are, as
    // they are deleted one by one).
    void CaptureFile(const fs::path& given, const std::string& mark) {
        const fs::path file = NormalPath(FInner->ResolvePath(given));
        std::error_code ec;
        if (fs::is_directory(fs::symlink_status(file, ec)))
            return;
        Capture({TStateKind::skFile, file.string(), mark, {}});
        Capture({TStateKind::skAttributes, file.string(), {}, {}});
    }

    // Makes the folder and the missing ones above it, each recorded as not
    // there before (so that undoing this restore takes them back).
    void MakeFolders(const fs::path& folder) {
        std::vector<fs::path> missing;
        std::error_code ec;
        for (fs::path p = NormalPath(folder); !p.empty() && !fs::exists(fs::symlink_status(p, ec));
             p = p.parent_path()) {
            missing.push_back(p);
            if (p == p.parent_path())
                break;
        }
        for (auto it = missing.rbegin(); it != missing.rend(); ++it)
            CaptureFolder(*it);
        fs::create_directories(folder, ec);
    }

    // A folder about to be removed, so that going back makes it again.
    void CaptureFolder(const fs::path& given) {
        const fs::path folder = NormalPath(FInner->ResolvePath(given));
        Capture({TStateKind::skFile, folder.string(), {}, {}});
        Capture({TStateKind::skAttributes, folder.string(), {}, {}});
    }

    void CaptureSettings(TSettingsCall call, const fs::path& item) {
        if (!FSettings)
            return;
        const TTouchedSettings touched = FSettings->Touched(call, item);
        for (const fs::path& file : touched.Files)
            CaptureFile(file, SettingsFileMark);
        for (const std::string& name : touched.Settings)
            Capture({TStateKind::skSetting, name, {}, {}});
    }

    // The thing as it is now; a file as its content's name (kept in the
    // record when store).
    std::optional<std::string> Read(const TStateItem& item, bool store) {
        switch (item.Kind) {
        case TStateKind::skRegistry: {
            auto key = FInner->OpenCurrentUserKey(item.Key, false);
            return key ? key->ReadString(item.Name) : std::nullopt;
        }
        case TStateKind::skFile: {
            std::error_code ec;
            const fs::file_status status = fs::symlink_status(item.Key, ec);
            if (!fs::exists(status))
                return std::nullopt;
            if (fs::is_directory(status))
                return std::string(FolderValue);
            std::string bytes;
            if (const std::error_code read =
                    ReadWholeFile(item.Key, bytes, TChangeRecord::MaxFileBytes))
                throw std::runtime_error("Cannot keep a copy of \"" + item.Key +
                                         "\" before changing it: " + read.message());
            return store ? FRecord.StoreContent(bytes) : ContentName(bytes);
        }
        case TStateKind::skAttributes: {
            const std::uint32_t a = FInner->GetFileAttributes(item.Key);
            return a == faInvalid ? std::nullopt : std::optional<std::string>(std::to_string(a));
        }
        case TStateKind::skSetting:
            return FSettings ? FSettings->ReadSetting(item.Key) : std::nullopt;
        }
        return std::nullopt;
    }

    void PutBackFile(const TStateItem& item) {
        const fs::path file = item.Key;
        std::error_code ec;
        if (item.Value == FolderValue) {
            MakeFolders(file);
            return;
        }
        // A folder that was not there (made by an extraction) goes once
        // emptied; the caller removes those last.
        if (fs::is_directory(fs::symlink_status(file, ec)))
            return;
        CaptureFile(item.Key, item.Name);
        const bool there = fs::exists(fs::symlink_status(file, ec));
        if (there)
            FInner->SetFileAttributes(file, faNormal); // read-only would refuse both
        if (!item.Value) {
            if (there)
                FInner->DeleteFile(file);
            return;
        }
        const std::optional<std::string> bytes = FRecord.Content(*item.Value);
        if (!bytes)
            throw std::runtime_error("The change record lacks the copy of \"" + item.Key + "\"");
        MakeFolders(file.parent_path());
        if (const std::error_code written = WriteFileAtomically(file, *bytes))
            throw std::runtime_error("Cannot write \"" + item.Key + "\": " + written.message());
    }

    std::unique_ptr<ISystem> FInner;
    TChangeRecord FRecord;
    std::shared_ptr<ISettingsState> FSettings;
    int FDepth = 0;
    std::string FText;
    std::optional<std::int64_t> FEntry;
    std::optional<std::int64_t> FRestores;
    std::vector<TStateItem> FCaptured;

    friend class TRecordingKey;
};

void TRecordingKey::Capture(const std::string& name) {
    FOwner.Capture(Registry(FSubKey, name));
}

bool TRecordingKey::WriteString(const std::string& name, const std::string& value) {
    TChangeScope scope(FOwner, OtherChangeText);
    Capture(name);
    return FInner->WriteString(name, value);
}

bool TRecordingKey::DeleteValue(const std::string& name) {
    TChangeScope scope(FOwner, OtherChangeText);
    Capture(name);
    return FInner->DeleteValue(name);
}

bool TRecorder::Restore(std::int64_t id) {
    const std::vector<TChangeEntry> entries = History();
    const TRestorePlan plan = PlanRestore(entries, id);
    if (!plan.Entry)
        return false;
    FRestores = id;
    struct TResetRestores {
        std::optional<std::int64_t>& Value;
        ~TResetRestores() { Value.reset(); }
    } reset{FRestores};
    TChangeScope scope(*this, RestoreEntryText(plan.Entry->Text));

    bool wallpaper = false, cursors = false, screenSaver = false;
    std::vector<fs::path> iconFolders;
    std::vector<std::string> madeFolders;
    // Registry values first: the calls below read them.
    for (const TStateItem& item : plan.Items) {
        if (item.Kind != TStateKind::skRegistry)
            continue;
        auto key = OpenCurrentUserKey(item.Key, true, nullptr);
        if (!key)
            continue;
        if (item.Value)
            key->WriteString(item.Name, *item.Value);
        else if (key->ReadString(item.Name))
            key->DeleteValue(item.Name);
        const std::string k = LowerAscii(item.Key), n = LowerAscii(item.Name);
        wallpaper =
            wallpaper || (k == LowerAscii(DesktopKey) &&
                          (n == "wallpaper" || n == "wallpaperstyle" || n == "tilewallpaper"));
        screenSaver = screenSaver || (k == LowerAscii(DesktopKey) &&
                                      (n == "scrnsave.exe" || n == "screensaveactive"));
        cursors = cursors || k == LowerAscii(CursorsKey);
    }
    // Cursor files put back (a scheme that was uninstalled) are loaded again.
    const std::string cursorFolder =
        LowerAscii((FInner->WindowsDirectory() / "Cursors" / "").lexically_normal().string());
    for (const TStateItem& item : plan.Items)
        if (item.Kind == TStateKind::skFile && item.Name != SettingsFileMark) {
            PutBackFile(item);
            cursors =
                cursors ||
                LowerAscii(fs::path(item.Key).lexically_normal().string()).rfind(cursorFolder, 0) ==
                    0;
            if (LowerAscii(fs::path(item.Key).filename().string()) == "desktop.ini")
                iconFolders.push_back(fs::path(item.Key).parent_path());
            std::error_code ec;
            if (!item.Value && fs::is_directory(fs::symlink_status(item.Key, ec)))
                madeFolders.push_back(item.Key);
        }
    // Deepest first; a folder something else put files in stays.
    std::sort(madeFolders.begin(), madeFolders.end(),
              [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
    for (const std::string& folder : madeFolders)
        RemoveDirectory(folder);
    for (const TStateItem& item : plan.Items) {
        std::error_code ec;
        if (item.Kind == TStateKind::skAttributes && item.Value &&
            fs::exists(fs::symlink_status(item.Key, ec)))
            SetFileAttributes(item.Key, static_cast<std::uint32_t>(std::stoul(*item.Value)));
    }

    // The same calls that made the changes let the desktop take them up.
    if (wallpaper) {
        auto key = FInner->OpenCurrentUserKey(DesktopKey, false);
        const std::string picture = key ? key->ReadString("Wallpaper").value_or("") : "";
        SystemParametersInfo(spiSetDeskWallpaper, 0, picture, spifUpdateIniFile);
    }
    if (cursors)
        SystemParametersInfo(spiSetCursors, 0, std::nullopt, 0);
    if (screenSaver) {
        auto key = FInner->OpenCurrentUserKey(DesktopKey, false);
        const bool active = !key || key->ReadString("ScreenSaveActive").value_or("1") != "0";
        SystemParametersInfo(spiSetScreenSaveActive, active ? 1 : 0, std::nullopt,
                             spifSendWinIniChange);
    }
    for (const fs::path& folder : iconFolders) {
        FInner->CallShlwapiOrdinal633(47);
        for (long event : {shcneUpdateImage, shcneUpdateItem, shcneAssocChanged})
            ShChangeNotify(event, folder);
    }

    // Last the desktop's own settings, exactly as they were (the calls above
    // may have set them from the registry in their own way).
    for (const TStateItem& item : plan.Items)
        if (item.Kind == TStateKind::skSetting && FSettings) {
            Capture(item);
            FSettings->WriteSetting(item.Key, item.Value);
        }
    for (const TStateItem& item : plan.Items)
        if (item.Kind == TStateKind::skFile && item.Name == SettingsFileMark)
            PutBackFile(item);
    return true;
}

} // namespace

std::string RestoreEntryText(const std::string& restoredText) {
    return "还原到“" + restoredText + "”之前";
}

std::unique_ptr<TRecordingSystem> CreateRecordingSystem(std::unique_ptr<ISystem> inner,
                                                        const fs::path& recordFolder,
                                                        std::shared_ptr<ISettingsState> settings) {
    return std::make_unique<TRecorder>(std::move(inner), recordFolder, std::move(settings));
}

} // namespace velmora
