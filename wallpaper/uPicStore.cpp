#include "wallpaper/uPicStore.h"

#include "catalog/uWinHttp.h"
#include "install/CodePage.h"
#include "install/uFolders.h"
#include "install/uPubFunc.h"
#include "platform/ISystem.h"
#include "platform/util/Ascii.h"
#include "platform/util/Files.h"
#include "wallpaper/uMD5.h"

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
    return MD5String(Utf8ToCp936(address)) + ".bmp";
}

TPicStore::TPicStore(const fs::path& exePath)
    : FTempDir(exePath / "temp"), FFavoritesDir(exePath / "favorites") {}

TPicStore::TPicStore(fs::path tempDir, fs::path favoritesDir)
    : FTempDir(std::move(tempDir)), FFavoritesDir(std::move(favoritesDir)) {}

fs::path TPicStore::FindLocalPicture(const std::string& address) const {
    const std::string name = PictureFileName(address);
    std::error_code ec;
    for (const fs::path& dir : {FFavoritesDir, FTempDir}) {
        fs::path p = dir / name;
        if (fs::is_regular_file(p, ec))
            return p;
    }
    return {};
}

fs::path TPicStore::FetchFullPicture(TWinHttp& http, const std::string& address,
                                     IPictureConverter& converter) const {
    if (fs::path local = FindLocalPicture(address); !local.empty())
        return local;
    TMemoryStream stream;
    bool failed = false;
    try {
        http.SetReferer(address);
        failed = !http.GetStream(address, stream); // a picture cut short is no picture
    } catch (const std::exception&) {
        failed = true;
    }
    if (failed || stream.Size() == 0) {
        ShowMessageBox(WithAddress(MsgCannotDownloadPicture, address), "错误", mkError);
        return {};
    }
    std::optional<std::string> bmp = converter.ToBmp(stream.Data());
    if (!bmp) {
        ShowMessageBox(WithAddress(MsgCannotLoadPicture, address), "错误", mkError);
        return {};
    }
    return StorePicture(address, *bmp);
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
    if (!fs::is_regular_file(picture, ec) ||
        !fs::copy_file(picture, target, fs::copy_options::overwrite_existing, ec) || ec)
        return false;
    SetWallpaper(system, target);
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
