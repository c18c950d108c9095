#include "app/uUpdater.h"

#include <QDir>
#include <QFileInfo>
#include <QLibrary>

#include <string>

namespace velmora {

QString UpdaterLibraryPath(const QString& exeDir) {
#ifdef _WIN32
    return QDir(exeDir).filePath("Update.dll");
#else
    return QDir(exeDir).filePath("Update.so");
#endif
}

bool CallUpdater(const QString& libraryPath, std::uintptr_t ownerWindow, const std::string& url) {
    using TDoUpdate = void (*)(std::uintptr_t, const char*);
    // Only the file itself: no search along the library path for another one.
    if (!QFileInfo(libraryPath).isFile())
        return false;
    QLibrary library(QFileInfo(libraryPath).absoluteFilePath());
    auto doUpdate = reinterpret_cast<TDoUpdate>(library.resolve("DoUpdate"));
    if (!doUpdate)
        return false;
    doUpdate(ownerWindow, url.c_str());
    return true;
}

} // namespace velmora
