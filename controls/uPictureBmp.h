#pragma once
// Picture bytes (JPEG, PNG, GIF, BMP …) to a stored BMP file, on the
// program's own picture decoder.
#include "wallpaper/uPicStore.h"

namespace velmora {

// Every screen's rectangle in device pixels of the virtual desktop, the
// primary screen first, as the running QGuiApplication lists them.
std::vector<TScreenRect> DesktopScreens();

class TQtPictureConverter : public IPictureConverter {
public:
    // The picture at its own size on a black background (what shows through
    // transparent pixels), as a 24-bit BMP; nothing when it does not decode.
    std::optional<std::string> ToBmp(const std::string& bytes) override;
    std::optional<std::string>
    ComposeScreens(const std::vector<TScreenRect>& screens,
                   const std::vector<std::filesystem::path>& pictures) override;
};

} // namespace velmora
