// The simulated backend's registry: HKCU.reg, read and written whole under
// the lock for every change, and the keys made unreachable (HKCU.denied).
#include "platform/sim/SimSystem.h"
#include "platform/util/Ascii.h"
#include "platform/util/FileLock.h"
#include "platform/util/Files.h"

#include <algorithm>

namespace velmora::sim {

// --- the system's side ---

std::unique_ptr<IRegKey> TSimSystem::OpenCurrentUserKey(const std::string& subKey, bool canCreate,
                                                        long* error) {
    long dummy = 0;
    long& err = error ? *error : dummy;
    if (HasLineBreak(subKey)) {
        err = errInvalidParameter;
        return nullptr;
    }
    std::lock_guard lock(FMutex);
    TFileLock fileLock(LockFile());
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

template <class Fn> bool TSimSystem::WithKey(const std::string& key, bool save, Fn&& fn) {
    std::lock_guard lock(FMutex);
    TFileLock fileLock(LockFile());
    if (IsDenied(key))
        return false;
    TRegFile reg = LoadRegistry();
    TRegKeyData* data = reg.Find(key);
    if (!data || !fn(*data))
        return false;
    return !save || reg.Save(RegistryFile());
}

void TSimSystem::SetKeyDenied(const std::string& subKey, bool denied) {
    std::lock_guard lock(FMutex);
    TFileLock fileLock(LockFile());
    std::vector<std::string> keys = DeniedKeys();
    const std::string key = TRegFile::NormalKey(subKey);
    std::erase_if(keys, [&](const std::string& k) { return TRegFile::SameName(k, key); });
    if (denied)
        keys.push_back(key);
    std::string text;
    for (const auto& k : keys)
        text += k + "\n";
    // A failed write leaves the keys as they were, which the caller sees on
    // the next open.
    (void)WriteFileAtomically(DeniedFile(), text);
}

// The keys a fresh Windows profile already has.
void TSimSystem::SeedRegistry() {
    TRegFile reg;
    TRegKeyData& desktop = reg.Create("Control Panel\\Desktop");
    desktop.Values = {{"ScreenSaveActive", "1", false}, {"Wallpaper", "", false}};
    reg.Create("Control Panel\\Cursors").Values = {{"", "Windows Default", false}};
    reg.Create("Software\\Microsoft\\Windows\\CurrentVersion\\Themes");
    reg.Save(RegistryFile());
}

std::vector<std::string> TSimSystem::DeniedKeys() const {
    std::string text;
    if (ReadWholeFile(DeniedFile(), text, MaxStateFileBytes))
        return {};
    std::vector<std::string> keys = SplitLines(text);
    std::erase_if(keys, [](const std::string& k) { return k.empty(); });
    return keys;
}

bool TSimSystem::IsDenied(const std::string& key) const {
    for (const auto& d : DeniedKeys())
        if (TRegFile::IsWithin(key, d))
            return true;
    return false;
}

TRegFile TSimSystem::LoadRegistry() const {
    TRegFile reg;
    reg.Load(RegistryFile());
    return reg;
}

void TSimSystem::WriteDesktopValue(const std::string& name, const std::string& value) {
    if (auto key = OpenCurrentUserKey("Control Panel\\Desktop", true))
        key->WriteString(name, value);
}

// --- the keys ---

bool TSimRegKey::WriteString(const std::string& name, const std::string& value) {
    if (!FSystem || HasLineBreak(name))
        return false;
    return FSystem->WithKey(FPath, true, [&](TRegKeyData& key) {
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
    FSystem->WithKey(FPath, false, [&](TRegKeyData& key) {
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
    return FSystem->WithKey(FPath, true, [&](TRegKeyData& key) {
        return std::erase_if(key.Values, [&](const TRegValue& v) {
                   return TRegFile::SameName(v.Name, name);
               }) > 0;
    });
}

std::vector<std::string> TSimRegKey::ValueNames() const {
    std::vector<std::string> names;
    if (FSystem)
        FSystem->WithKey(FPath, false, [&](TRegKeyData& key) {
            for (const auto& v : key.Values)
                names.push_back(v.Name);
            return true;
        });
    return names;
}

} // namespace velmora::sim
