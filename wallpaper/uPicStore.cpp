#include "wallpaper/uPicStore.h"

#include "catalog/uWinHttp.h"
#include "install/CodePage.h"
#include "install/uFolders.h"
#include "install/uPubFunc.h"
#include "platform/ISystem.h"
#include "platform/util/Ascii.h"
#include "platform/util/Files.h"
#include "wallpaper/uMD5.h"

#include <regex>
#include <stdexcept>
#include <system_error>

namespace velmora {

namespace fs = std::filesystem;

const char* const MsgCannotDownloadPicture = "无法下载指定地址\"%s\"的图片";
const char* const MsgCannotLoadPicture = "无法加载指定地址\"%s\"的图片";
const char* const MsgWallpaperSet = "设置桌面壁纸成功";

namespace {

std::string WithAddress(const char* format, const std::string& address) {
    std::string text = format;
    text.replace(text.find("%s"), 2, address);
    return text;
}

bool IsBmpName(const fs::path& p) {
    return EqualsIgnoreCaseAscii(p.extension().string(), ".bmp");
}

} // namespace

std::string PictureFileName(const std::string& address) {
    return MD5String(address) + ".bmp";
}

std::string LegacyPictureFileName(const std::string& address) {
    if (!IsValidUtf8(address))
        return {};
    const std::string cp936 = Utf8ToCp936(address);
    // "?" stands for what the code page lacks: the name is then ambiguous.
    if (cp936 == address || Cp936ToUtf8(cp936) != address)
        return {};
    return MD5String(cp936) + ".bmp";
}

TPicStore::TPicStore(const fs::path& exePath)
    : FTempDir(exePath / "temp"), FFavoritesDir(exePath / "favorites") {}

TPicStore::TPicStore(fs::path tempDir, fs::path favoritesDir)
    : FTempDir(std::move(tempDir)), FFavoritesDir(std::move(favoritesDir)) {}

fs::path TPicStore::FindLocalPicture(const std::string& address) const {
    const std::string name = PictureFileName(address);
    const std::string legacy = LegacyPictureFileName(address);
    std::error_code ec;
    for (const fs::path& dir : {FFavoritesDir, FTempDir}) {
        for (const std::string* n : {&name, &legacy}) {
            if (n->empty())
                continue;
            fs::path p = dir / *n;
            if (fs::is_regular_file(p, ec))
                return p;
        }
    }
    return {};
}

std::string PicFetchMessage(const TPicFetchResult& result, const std::string& address) {
    switch (result.Status) {
    case pfsDownloadFailed:
        return WithAddress(MsgCannotDownloadPicture, address);
    case pfsNotAPicture:
        return WithAddress(MsgCannotLoadPicture, address);
    default:
        return {};
    }
}

TPicFetchResult TPicStore::DownloadFullPicture(TWinHttp& http, const std::string& address,
                                               IPictureConverter& converter,
                                               const std::function<bool()>& stillWanted) const {
    if (fs::path local = FindLocalPicture(address); !local.empty())
        return {pfsStored, local};
    if (http.MaxBodyBytes == 0 || http.MaxBodyBytes > MaxPictureBytes)
        http.MaxBodyBytes = MaxPictureBytes;
    try {
        TMemoryStream stream;
        http.SetReferer(address);
        // A picture cut short is no picture.
        if (!http.GetStream(address, stream) || stream.Size() == 0)
            return {pfsDownloadFailed};
        std::optional<std::string> bmp = converter.ToBmp(stream.Take());
        if (!bmp)
            return {pfsNotAPicture};
        if (stillWanted && !stillWanted())
            return {pfsDropped};
        try {
            return {pfsStored, StorePicture(address, *bmp)};
        } catch (const std::exception& e) {
            return {pfsWriteFailed, {}, e.what()};
        }
    } catch (const std::exception&) {
        // The client's progress report ended it, or memory ran out.
        return {stillWanted && !stillWanted() ? pfsDropped : pfsDownloadFailed};
    }
}

fs::path TPicStore::FetchFullPicture(TWinHttp& http, const std::string& address,
                                     IPictureConverter& converter) const {
    TPicFetchResult result = DownloadFullPicture(http, address, converter);
    if (result.Status == pfsWriteFailed)
        throw std::runtime_error(result.Error);
    if (std::string text = PicFetchMessage(result, address); !text.empty())
        ShowMessageBox(text, "错误", mkError);
    return result.Path;
}

fs::path TPicStore::StorePicture(const std::string& address, const std::string& bmp) const {
    fs::create_directories(FTempDir);
    const fs::path target = FTempDir / PictureFileName(address);
    if (std::error_code ec = WriteFileAtomically(target, bmp))
        throw fs::filesystem_error("cannot store the picture", target, ec);
    return target;
}

bool SetDesktopWallpaper(ISystem& system, const fs::path& winDir, const fs::path& picture) {
    if (!RequireSystemFolder(winDir))
        return false;
    const fs::path target = winDir / "WallpaperTemp.bmp";
    std::error_code ec;
    if (!fs::is_regular_file(picture, ec))
        return false;
    // The copy replaces the one an earlier wallpaper left: the record keeps it.
    TChangeScope change(system, "设置壁纸");
    system.RecordFileBefore(target);
    if (CopyFileReplacing(picture, target))
        return false;
    SetWallpaper(system, target);
    ShowMessageBox(MsgWallpaperSet, "", mkInformation);
    return true;
}

std::string ScreenRectText(const TScreenRect& r) {
    return std::to_string(r.Width) + "x" + std::to_string(r.Height) + (r.X < 0 ? "" : "+") +
           std::to_string(r.X) + (r.Y < 0 ? "" : "+") + std::to_string(r.Y);
}

std::optional<TScreenRect> ParseScreenRect(const std::string& text) {
    static const std::regex form(R"(([0-9]{1,5})x([0-9]{1,5})([+-][0-9]{1,6})([+-][0-9]{1,6}))");
    std::smatch m;
    if (!std::regex_match(text, m, form))
        return std::nullopt;
    const TScreenRect r{std::stoi(m[3]), std::stoi(m[4]), std::stoi(m[1]), std::stoi(m[2])};
    if (r.Width <= 0 || r.Height <= 0)
        return std::nullopt;
    return r;
}

std::optional<std::vector<TScreenRect>> ParseScreenList(const std::string& text) {
    std::vector<TScreenRect> screens;
    for (std::size_t at = 0; at <= text.size();) {
        std::size_t comma = text.find(',', at);
        if (comma == std::string::npos)
            comma = text.size();
        const auto rect = ParseScreenRect(text.substr(at, comma - at));
        if (!rect)
            return std::nullopt;
        screens.push_back(*rect);
        at = comma + 1;
    }
    return screens;
}

namespace {
const char* const ScreenWallpapersKey = "Software\\Velmora\\ScreenWallpapers";
}

bool SetScreenDesktopWallpaper(ISystem& system, const fs::path& winDir,
                               const std::vector<TScreenRect>& screens, std::size_t screen,
                               const fs::path& picture, IPictureConverter& converter) {
    if (screen >= screens.size() || !RequireSystemFolder(winDir))
        return false;
    const fs::path copy = winDir / ("WallpaperScreen_" + ScreenRectText(screens[screen]) + ".bmp");
    std::error_code ec;
    if (!fs::is_regular_file(picture, ec))
        return false;
    // The screen's copy and the composed picture replace earlier ones: the
    // record keeps both.
    const fs::path composed = winDir / "WallpaperScreens.bmp";
    TChangeScope change(system, "设置显示器壁纸");
    system.RecordFileBefore(copy);
    system.RecordFileBefore(composed);
    if (CopyFileReplacing(picture, copy))
        return false;

    // Each screen's own picture, else the one set for all.
    std::string common;
    if (auto desktop = system.OpenCurrentUserKey("Control Panel\\Desktop", false))
        common = desktop->ReadString("Wallpaper").value_or("");
    if (!common.empty() && system.ResolvePath(common) == system.ResolvePath(composed))
        common.clear();
    auto remembered = system.OpenCurrentUserKey(ScreenWallpapersKey, true);
    if (remembered)
        remembered->WriteString(ScreenRectText(screens[screen]), copy.string());
    std::vector<fs::path> pictures;
    for (const TScreenRect& r : screens) {
        std::string own = remembered ? remembered->ReadString(ScreenRectText(r)).value_or("") : "";
        pictures.push_back(!own.empty() ? fs::path(own) : fs::path(common));
    }
    if (remembered)
        remembered->Close();

    const std::optional<std::string> bmp = converter.ComposeScreens(screens, pictures);
    if (!bmp)
        return false;
    if (std::error_code werr = WriteFileAtomically(composed, *bmp))
        throw fs::filesystem_error("cannot write the wallpaper", composed, werr);
    if (!system.SetScreenWallpaper({screens, screen, copy, composed}))
        return false;
    ShowMessageBox(MsgWallpaperSet, "", mkInformation);
    return true;
}

void TPicStore::ClearTempPictures(ISystem& system) const {
    std::error_code ec;
    fs::directory_iterator it(FTempDir, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        std::error_code entryError;
        if (it->is_directory(entryError) || !IsBmpName(it->path()))
            continue;
        system.DeleteFile(it->path());
    }
}

} // namespace velmora
