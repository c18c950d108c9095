#pragma once
// A system that is killed between the change record being written and the
// change being made, for the record's tests on every backend.
#include "platform/ISystem.h"

namespace velmora::test {

// Forwards everything, and ends the process through die (as a kill would)
// when the system is about to be asked to change the wallpaper or to reload
// the cursors.
class TKilledBeforeChange : public ISystem {
public:
    TKilledBeforeChange(ISystem& inner, void (*die)()) : FInner(inner), FDie(die) {}
    std::filesystem::path WindowsDirectory() const override { return FInner.WindowsDirectory(); }
    std::filesystem::path SystemDirectory() const override { return FInner.SystemDirectory(); }
    std::filesystem::path SpecialFolder(int csidl) const override {
        return FInner.SpecialFolder(csidl);
    }
    std::unique_ptr<IRegKey> OpenCurrentUserKey(const std::string& k, bool c, long* e) override {
        return FInner.OpenCurrentUserKey(k, c, e);
    }
    bool SystemParametersInfo(unsigned, unsigned, const std::optional<std::string>&,
                              unsigned) override {
        FDie();
        return false;
    }
    bool SetScreenWallpaper(const TScreenWallpaper&) override {
        FDie();
        return false;
    }
    TCursorHandle LoadCursorFromFile(const std::filesystem::path& f) override {
        return FInner.LoadCursorFromFile(f);
    }
    bool SetSystemCursor(TCursorHandle c, unsigned id) override {
        return FInner.SetSystemCursor(c, id);
    }
    void DestroyCursor(TCursorHandle c) override { FInner.DestroyCursor(c); }
    bool PostScreenSaveCommand() override { return FInner.PostScreenSaveCommand(); }
    long ShellOpen(const std::string& f, std::uintptr_t w) override {
        return FInner.ShellOpen(f, w);
    }
    void ShChangeNotify(long e, const std::filesystem::path& i) override {
        FInner.ShChangeNotify(e, i);
    }
    bool PathMakeSystemFolder(const std::filesystem::path& f) override {
        return FInner.PathMakeSystemFolder(f);
    }
    std::optional<std::string> ReadThemeFromPack(const std::filesystem::path& p) override {
        return FInner.ReadThemeFromPack(p);
    }
    bool CallShlwapiOrdinal633(std::uint32_t a) override { return FInner.CallShlwapiOrdinal633(a); }
    std::optional<std::filesystem::path> BrowseForFolder(const std::string& t,
                                                         const std::filesystem::path& r,
                                                         const std::filesystem::path& i,
                                                         std::uintptr_t w) override {
        return FInner.BrowseForFolder(t, r, i, w);
    }
    std::filesystem::path ResolvePath(const std::filesystem::path& p) override {
        return FInner.ResolvePath(p);
    }
    std::filesystem::path ShortPathName(const std::filesystem::path& p) override {
        return FInner.ShortPathName(p);
    }
    std::filesystem::path LongPathName(const std::filesystem::path& p) override {
        return FInner.LongPathName(p);
    }
    std::uint32_t GetFileAttributes(const std::filesystem::path& p) override {
        return FInner.GetFileAttributes(p);
    }
    bool SetFileAttributes(const std::filesystem::path& p, std::uint32_t a) override {
        return FInner.SetFileAttributes(p, a);
    }
    bool DeleteFile(const std::filesystem::path& p) override { return FInner.DeleteFile(p); }
    bool RemoveDirectory(const std::filesystem::path& p) override {
        return FInner.RemoveDirectory(p);
    }

private:
    ISystem& FInner;
    void (*FDie)();
};

} // namespace velmora::test
