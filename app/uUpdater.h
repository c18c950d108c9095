#pragma once
// Calls the external updater: DoUpdate(owner window, descriptor URL) of the
// updater library, loaded at the moment of the call.
#include <QString>

#include <cstdint>
#include <string>

namespace velmora {

// The updater library beside the program ("Update.dll" on Windows).
QString UpdaterLibraryPath(const QString& exeDir);

// Loads the library and calls DoUpdate. A missing library, or one without
// DoUpdate, is skipped silently: the program runs without its updater.
// Returns whether DoUpdate was called.
bool CallUpdater(const QString& libraryPath, std::uintptr_t ownerWindow, const std::string& url);

} // namespace velmora
