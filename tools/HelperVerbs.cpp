// The verbs velmora-tool hands to velmora-tool-core (tools/Helpers.h): each
// one's libraries (the installers' archive readers, the desktop session, the
// HTTP server) stay out of the process of a download. A new verb gets its
// line here, or its file in velmora-tool's own list (tools/CMakeLists.txt).
#include "tools/Helpers.h"
#include "tools/Verbs.h"

namespace velmora::tool {
namespace {

int InCore(const char* verb, const TArgs& args) {
    return RunInHelper(CoreHelperName, verb, args, std::string("velmora-tool ") + verb);
}

} // namespace

int VerbCatalog(const TArgs& args) {
    return InCore("catalog", args);
}
int VerbServe(const TArgs& args) {
    return InCore("serve", args);
}
int VerbPackage(const TArgs& args) {
    return InCore("package", args);
}
int VerbIcons(const TArgs& args) {
    return InCore("icons", args);
}
int VerbFolderIcon(const TArgs& args) {
    return InCore("folder-icon", args);
}
int VerbInstall(const TArgs& args) {
    return InCore("install", args);
}
int VerbUninstall(const TArgs& args) {
    return InCore("uninstall", args);
}
int VerbWallpaper(const TArgs& args) {
    return InCore("wallpaper", args);
}
int VerbDesktop(const TArgs& args) {
    return InCore("desktop", args);
}
int VerbHistory(const TArgs& args) {
    return InCore("history", args);
}
int VerbRestore(const TArgs& args) {
    return InCore("restore", args);
}
int VerbPublish(const TArgs& args) {
    return InCore("publish", args);
}

} // namespace velmora::tool
