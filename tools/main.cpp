// velmora-tool: the command-line companion of Velmora, for catalogue
// publishers, maintainers and tests. Built on the core only.
#include "tools/ToolCommon.h"
#include "tools/Verbs.h"

#include <exception>
#include <iostream>

namespace {

struct TVerb {
    const char* Name;
    int (*Run)(const velmora::tool::TArgs&);
    const char* Usage;
};

const TVerb Verbs[] = {
    {"catalog", velmora::tool::VerbCatalog, "catalog FILE [--base URL] [--exe-dir DIR] [--system DIR]"},
    {"serve", velmora::tool::VerbServe, "serve DIR [--port P] [--bind ADDR]"},
    {"get", velmora::tool::VerbGet, "get URL OUT"},
    {"package", velmora::tool::VerbPackage, "package FILE --kind theme|cursor|screensave"},
    {"search", velmora::tool::VerbSearch, "search url|extract|pager ..."},
    {"md5name", velmora::tool::VerbMd5Name, "md5name TEXT"},
    {"icons", velmora::tool::VerbIcons, "icons [--exe-dir DIR] [--system DIR]"},
    {"folder-icon", velmora::tool::VerbFolderIcon,
     "folder-icon set DIR --category C --icon NAME [--exe-dir DIR] [--system DIR] [--desktop] | "
     "folder-icon restore DIR [--system DIR] [--desktop]"},
    {"install", velmora::tool::VerbInstall,
     "install FILE --kind theme|cursor|screensave [--name NAME] [--system DIR] [--desktop]"},
    {"uninstall", velmora::tool::VerbUninstall,
     "uninstall NAME --kind theme|cursor|screensave [--system DIR] [--desktop]"},
    {"wallpaper", velmora::tool::VerbWallpaper, "wallpaper PICTURE [--system DIR] [--desktop]"},
    {"desktop", velmora::tool::VerbDesktop, "desktop [--system DIR] [--png FILE]"},
};

int Usage() {
    std::cerr << "usage: velmora-tool VERB ...\n";
    for (const auto& v : Verbs)
        std::cerr << "  velmora-tool " << v.Usage << '\n';
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    velmora::tool::TArgs all(argv, argv + argc);
#ifdef _WIN32
    // The arguments as UTF-8, as everywhere in the program; argv holds them
    // in the ANSI code page.
    all = velmora::tool::CommandLineUtf8();
#endif
    if (all.size() < 2)
        return Usage();
    for (const auto& v : Verbs) {
        if (all[1] == v.Name) {
            try {
                return v.Run(velmora::tool::TArgs(all.begin() + 2, all.end()));
            } catch (const std::exception& e) {
                std::cerr << "velmora-tool: " << e.what() << '\n';
                return 2;
            }
        }
    }
    return Usage();
}
