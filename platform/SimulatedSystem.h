#pragma once
// The simulated Windows: a folder stands in for the machine. Layout below the
// root, created on first use:
//   Windows/, Windows/System32/, Windows/Resources/Themes/, Windows/Cursors/,
//   AppData/Local/ (CSIDL_LOCAL_APPDATA), AppData/Local/Microsoft/Windows/Themes/
//   HKCU.reg      the current user's registry (.reg text, written atomically)
//   journal.log   one line per effect on the desktop
//   files.json    hidden/system attributes and short names the backend keeps
//   history/      the person's record of the desktop's changes (kept by
//                 platform/history, not by this backend)
#include "platform/ISystem.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace velmora {

class TSimulatedSystem;

// Hands an http(s) address to the desktop; true when it was accepted.
using TUrlOpener = std::function<bool(const std::string& url)>;

// What the folder picker is asked: its text, the top of its tree and the
// folder to preselect (both empty or existing folders), and the owner window.
struct TFolderPickRequest {
    std::string Text;
    std::filesystem::path Root;
    std::filesystem::path Initial;
    std::uintptr_t OwnerWindow = 0;
};
// Shows a folder picker; the chosen folder, or nothing when cancelled.
using TFolderPicker =
    std::function<std::optional<std::filesystem::path>(const TFolderPickRequest&)>;

// The default root: $XDG_DATA_HOME/velmora/windows, or
// ~/.local/share/velmora/windows.
std::filesystem::path DefaultSimulatedRoot();

// Where the change record of the simulated Windows at root is kept.
std::filesystem::path ChangeRecordFolder(const std::filesystem::path& root);

// A simulated system on its own root folder (created when missing).
std::unique_ptr<TSimulatedSystem> CreateSimulatedSystem(const std::filesystem::path& root);

// Keys it opens must not outlive it. Several instances (and processes) may
// share one root: every registry and file-record change is a locked
// read-modify-write of the files above.
class TSimulatedSystem : public ISystem {
public:
    virtual const std::filesystem::path& Root() const = 0;
    virtual std::filesystem::path RegistryFile() const = 0;
    virtual std::filesystem::path JournalFile() const = 0;
    // The journal's lines, oldest first.
    virtual std::vector<std::string> Journal() const = 0;
    // Makes a key (and the keys below it) impossible to open or create, as a
    // key whose access is denied on Windows. Kept with the registry.
    virtual void SetKeyDenied(const std::string& subKey, bool denied) = 0;
    // Replaces the desktop's opener (xdg-open) for http(s) addresses.
    virtual void SetUrlOpener(TUrlOpener opener) = 0;
    // The picker BrowseForFolder shows (the user interface installs its
    // dialog); without one the picker is cancelled at once.
    virtual void SetFolderPicker(TFolderPicker picker) = 0;
};

} // namespace velmora
