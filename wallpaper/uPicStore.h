#pragma once
// The picture store of the wallpaper search: full pictures kept as BMP files
// named after the MD5 of their address, in temp\ (downloaded by the program,
// cleared when the search window goes) and favorites\ (filled by the user,
// never written by the store).
#include <filesystem>
#include <optional>
#include <string>

namespace velmora {

class ISystem;
class TWinHttp;

// The 32 lowercase hex digits of the MD5 of the address's code page 936
// bytes, then ".bmp".
std::string PictureFileName(const std::string& address);

// Turns downloaded picture bytes into a BMP file. The core has no picture
// decoder of its own; the user interface layer supplies one.
class IPictureConverter {
public:
    virtual ~IPictureConverter() = default;
    // The BMP file of the picture at its own size, or nothing when the bytes
    // are not a picture.
    virtual std::optional<std::string> ToBmp(const std::string& bytes) = 0;
};

extern const char* const MsgCannotDownloadPicture; // "%s": the address
extern const char* const MsgCannotLoadPicture;
extern const char* const MsgWallpaperSet; // "设置桌面壁纸成功"

// Copies the stored picture to winDir\WallpaperTemp.bmp (replacing it), makes
// that copy the wallpaper and says so. A failed copy changes nothing and shows
// nothing: false. A registry error of SetWallpaper passes on.
bool SetDesktopWallpaper(ISystem& system, const std::filesystem::path& winDir,
                         const std::filesystem::path& picture);

class TPicStore {
public:
    // exePath: the program folder.
    explicit TPicStore(const std::filesystem::path& exePath);
    // An installed copy's per-user folders.
    TPicStore(std::filesystem::path tempDir, std::filesystem::path favoritesDir);

    const std::filesystem::path& TempDir() const { return FTempDir; }
    const std::filesystem::path& FavoritesDir() const { return FFavoritesDir; }

    // The stored file of the address, favorites\ before temp\; empty when
    // neither holds it.
    std::filesystem::path FindLocalPicture(const std::string& address) const;

    // The stored file of the address, downloading and converting it first when
    // needed. On a failed download or bytes that are no picture, shows an
    // error box naming the address and returns an empty path. An error writing
    // the file passes on to the caller. The caller sets up `http` (time-out,
    // progress) and shows its own progress around the call.
    std::filesystem::path FetchFullPicture(TWinHttp& http, const std::string& address,
                                           IPictureConverter& converter) const;

    // Writes a BMP into temp\ under the address's name, creating the folder.
    // The file appears under its final name only when complete.
    std::filesystem::path StorePicture(const std::string& address, const std::string& bmp) const;

    // Deletes the "*.bmp" files of temp\ (any case of the extension) through
    // the system, so a file the system refuses to delete (read-only) is
    // skipped as on Windows. favorites\ is never touched.
    void ClearTempPictures(ISystem& system) const;

private:
    std::filesystem::path FTempDir;
    std::filesystem::path FFavoritesDir;
};

} // namespace velmora
