#pragma once
// The Linux desktop backend: the simulated Windows stays the program's own
// record (files, registry values, journal), and the effects also go to the
// running freedesktop session: the wallpaper, cursor schemes converted to
// Xcursor themes and switched on (and back when removed), folder icons for
// Linux file managers. What has no counterpart here is said in a notice.
#include "platform/ISystem.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

namespace velmora {

// Shows one notice to the user (a message box in the program, a line in the
// tool).
using TDesktopNotice = std::function<void(const std::string& text)>;

struct TDesktopOptions {
    std::string CurrentDesktop;     // as XDG_CURRENT_DESKTOP names it
    std::filesystem::path DataHome; // $XDG_DATA_HOME: icons/, velmora/wallpapers/
    TDesktopNotice Notice;
};

// XDG_CURRENT_DESKTOP and the user's data folder; no notice sink.
TDesktopOptions DesktopOptionsFromEnvironment();

// Wraps another system (the simulated Windows); every call goes to it first.
std::unique_ptr<ISystem> CreateDesktopSystem(std::unique_ptr<ISystem> inner,
                                             TDesktopOptions options);

} // namespace velmora
