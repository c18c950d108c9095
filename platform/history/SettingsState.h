#pragma once
// Settings of the desktop outside the system the program records through
// (the Linux session's GSettings keys, cursor theme, folder metadata): a
// backend that changes them says which ones a call touches, and reads and
// writes them, so that the change record can keep and put back their values.
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace velmora {

// The calls that reach such settings.
enum class TSettingsCall { scWallpaper, scCursors, scTheme, scFolderIcon, scRemoveFolder };

struct TTouchedSettings {
    std::vector<std::string> Settings;        // names ReadSetting understands
    std::vector<std::filesystem::path> Files; // files the call replaces or removes
};

class ISettingsState {
public:
    virtual ~ISettingsState() = default;
    // What the call (on item, a path where it has one) may change.
    virtual TTouchedSettings Touched(TSettingsCall call, const std::filesystem::path& item) = 0;
    // Nothing when the setting is unset or cannot be read.
    virtual std::optional<std::string> ReadSetting(const std::string& name) = 0;
    // Nothing resets (removes) the setting. False when it could not be written.
    virtual bool WriteSetting(const std::string& name, const std::optional<std::string>& value) = 0;
};

} // namespace velmora
