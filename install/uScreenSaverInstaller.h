#pragma once
// Screen savers: a ZIP package whose Name + ".scr" is unpacked into the system
// folder and made the current user's screen saver.
#include "install/uFolders.h"

#include <filesystem>
#include <string>

namespace velmora {

class ISystem;

extern const char* const MsgScreenSaverCancelled; // "取消屏保成功"

// Unpacks every entry into the system folder (replacing files) and makes
// package name without its last four characters + ".scr" the screen saver.
// False when that file is missing ("没有找到屏保文件") or the desktop key
// cannot be opened. ZIP errors propagate.
bool InstallScreenSaver(const std::filesystem::path& package, const TFolderFields& folders,
                        ISystem& system);

// The "取消屏保" link: clears the screen saver and says so when it could.
void CancelScreenSaver(ISystem& system);

// Clears the current screen saver (whichever it is) and, when that worked,
// deletes FSysDir + "\" + Name + ".scr" and sets installed to false.
void RemoveScreenSaver(const std::string& name, bool& installed, const TFolderFields& folders,
                       ISystem& system);

} // namespace velmora
