#pragma once
// The picture store of the wallpaper search: full pictures kept as BMP files
// named after the MD5 of their address, in temp\ (downloaded by the program,
// cleared when the search window goes) and favorites\ (filled by the user,
// never written by the store).
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/ISystem.h"

namespace velmora {

class TWinHttp;

// The 32 lowercase hex digits of the MD5 of the address's bytes as they are
// (after UrlDecode they may be code page 936 or any bytes), then ".bmp".
// Different addresses never share a name.
std::string PictureFileName(const std::string& address);

// The name earlier versions stored the address under: the MD5 of the
// address converted from UTF-8 to code page 936. Only given when that
// conversion loses nothing and gives other bytes than the address (so that no
// two addresses meet under it); empty otherwise.
std::string LegacyPictureFileName(const std::string& address);

// Turns downloaded picture bytes into a BMP file. The core has no picture
// decoder of its own; the user interface layer supplies one.
class IPictureConverter {
public:
    virtual ~IPictureConverter() = default;
    // The BMP file of the picture at its own size, or nothing when the bytes
    // are not a picture.
    virtual std::optional<std::string> ToBmp(const std::string& bytes) = 0;
    // The BMP of the virtual desktop for a tiled wallpaper: as large as the
    // screens' bounding box, each screen's picture (a file; empty or
    // unreadable: black) stretched over its rectangle, placed so that tiling
    // from the primary screen's corner (0, 0) puts it on its screen. Nothing
    // when it cannot be made.
    virtual std::optional<std::string>
    ComposeScreens(const std::vector<TScreenRect>& screens,
                   const std::vector<std::filesystem::path>& pictures) = 0;
};

extern const char* const MsgCannotDownloadPicture; // "%s": the address
extern const char* const MsgCannotLoadPicture;
extern const char* const MsgWallpaperSet; // "设置桌面壁纸成功"

// Copies the stored picture to winDir\WallpaperTemp.bmp (replacing it), makes
// that copy the wallpaper and says so. A failed copy changes nothing and shows
// nothing: false. A registry error of SetWallpaper passes on.
bool SetDesktopWallpaper(ISystem& system, const std::filesystem::path& winDir,
                         const std::filesystem::path& picture);

enum TPicFetchStatus {
    pfsStored,         // Path: the stored file (found or downloaded)
    pfsDownloadFailed, // nothing (whole) arrived, or more than the bound
    pfsNotAPicture,    // the bytes do not decode
    pfsWriteFailed,    // temp\ or the file could not be written; Error says why
    pfsDropped,        // nobody wants it any more: nothing was written
};

struct TPicFetchResult {
    TPicFetchStatus Status = pfsDownloadFailed;
    std::filesystem::path Path{};
    std::string Error{};
};

// The message a failed fetch shows (caption "错误"), or empty when it shows
// none (stored, dropped; a write error goes to the default error box).
std::string PicFetchMessage(const TPicFetchResult& result, const std::string& address);

// Gives one screen its own wallpaper, keeping the others': a copy in the
// Windows folder per screen (named by the screen's rectangle), remembered in
// the current user's registry, the composed picture of all screens beside
// them, both handed to the system (ISystem::SetScreenWallpaper), then the
// message. A screen without a picture of its own shows the wallpaper that
// was set for all. False, silently, when the picture cannot be copied or
// the screen is not one of `screens`.
bool SetScreenDesktopWallpaper(ISystem& system, const std::filesystem::path& winDir,
                               const std::vector<TScreenRect>& screens, std::size_t screen,
                               const std::filesystem::path& picture, IPictureConverter& converter);

// "WxH+X+Y", and back (nothing when the text is not one).
std::string ScreenRectText(const TScreenRect& rect);
std::optional<TScreenRect> ParseScreenRect(const std::string& text);
// A comma-separated list of them, the primary screen first; nothing when any
// is not one or the list is empty.
std::optional<std::vector<TScreenRect>> ParseScreenList(const std::string& text);

class TPicStore {
public:
    // The most a full picture may be: far above any wallpaper, and an endless
    // answer must not fill the memory.
    static constexpr std::uint64_t MaxPictureBytes = std::uint64_t(256) << 20;

    // exePath: the program folder.
    explicit TPicStore(const std::filesystem::path& exePath);
    // An installed copy's per-user folders.
    TPicStore(std::filesystem::path tempDir, std::filesystem::path favoritesDir);

    const std::filesystem::path& TempDir() const { return FTempDir; }
    const std::filesystem::path& FavoritesDir() const { return FFavoritesDir; }

    // The stored file of the address, favorites\ before temp\, each under the
    // address's name and then under its legacy name; empty when none holds it.
    std::filesystem::path FindLocalPicture(const std::string& address) const;

    // The stored file of the address, downloading and converting it first when
    // needed. On a failed download or bytes that are no picture, shows an
    // error box naming the address and returns an empty path; a picture
    // larger than MaxPictureBytes (or the client's own lower bound) is a
    // failed download. An error writing
    // the file passes on to the caller. The caller sets up `http` (time-out,
    // progress) and shows its own progress around the call.
    std::filesystem::path FetchFullPicture(TWinHttp& http, const std::string& address,
                                           IPictureConverter& converter) const;

    // FetchFullPicture without its messages, for a worker thread: what became
    // of the picture. `stillWanted` (when given) is asked before the file is
    // written; false stores nothing. Never throws.
    TPicFetchResult DownloadFullPicture(TWinHttp& http, const std::string& address,
                                        IPictureConverter& converter,
                                        const std::function<bool()>& stillWanted = {}) const;

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
