#pragma once
// The Linux session's settings the desktop backend changes, named so that
// the change record can keep and put back their values:
//   gsettings:SCHEMA:KEY        a GSettings string key
//   xfconf:CHANNEL:PROPERTY     an XFCE setting (xfconf-query)
//   kde:FILE:GROUP:KEY          a KDE configuration value (kreadconfig)
//   gio-metadata:FOLDER         a folder's metadata::custom-icon
// KDE keeps its wallpaper in the shell's own configuration, which cannot be
// read back: it is not recorded.
#include "platform/desktop/DesktopSystem.h"
#include "platform/history/SettingsState.h"

#include <memory>

namespace velmora {

std::shared_ptr<ISettingsState> CreateDesktopSettingsState(const TDesktopOptions& options);

} // namespace velmora
