#pragma once
// The Win32 backend: the real calls, in their wide-character forms, so that
// names outside the ANSI code page survive.
#include "platform/ISystem.h"

#include <memory>
#include <string>

namespace velmora {

std::unique_ptr<ISystem> CreateWin32System();

// Whether the system has a wallpaper per monitor (Windows 8 and later); why
// not when it has none.
bool HasMonitorWallpaper(std::string* why = nullptr);

} // namespace velmora
