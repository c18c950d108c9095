// velmora-tool: the command-line companion of Velmora, for catalogue
// publishers, maintainers and tests. Built on the core only.
#include "tools/Verbs.h"

#include <cstring>
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
    {"wallpaper", velmora::tool::VerbWallpaper, "wallpaper PICTURE [--screen N [--screens WxH+X+Y,...]] [--system DIR] [--desktop]"},
    {"desktop", velmora::tool::VerbDesktop, "desktop [--system DIR] [--png FILE] [--screens WxH+X+Y,...]"},
    {"history", velmora::tool::VerbHistory, "history [--system DIR] [--desktop]"},
    {"restore", velmora::tool::VerbRestore, "restore ID [--system DIR] [--desktop] [--force yes]"},
    {"publish", velmora::tool::VerbPublish, "publish SRC OUT [--check] | publish OUT --check"},
};

void PrintUsage(std::ostream& out) {
    out << "usage: velmora-tool VERB ...\n";
    for (const auto& v : Verbs)
        out << "  velmora-tool " << v.Usage << '\n';
    out << "  velmora-tool --help | --version\n"
           "Each verb also takes --help. See velmora-tool(1).\n";
}

bool IsHelp(const char* arg) {
    return std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        PrintUsage(std::cerr);
        return 2;
    }
    if (IsHelp(argv[1])) {
        PrintUsage(std::cout);
        return 0;
    }
    if (std::strcmp(argv[1], "--version") == 0 || std::strcmp(argv[1], "-V") == 0) {
        std::cout << "velmora-tool " VELMORA_VERSION "\n";
        return 0;
    }
    if (argv[1][0] == '-') {
        std::cerr << "velmora-tool: unknown option '" << argv[1] << "' (see velmora-tool --help)\n";
        return 2;
    }
    for (const auto& v : Verbs) {
        if (std::strcmp(argv[1], v.Name) == 0) {
            // VERB --help, wherever it stands before a "--".
            for (int i = 2; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
                if (IsHelp(argv[i])) {
                    std::cout << "usage: velmora-tool " << v.Usage << '\n';
                    return 0;
                }
            }
            try {
                return v.Run(velmora::tool::TArgs(argv + 2, argv + argc));
            } catch (const std::exception& e) {
                std::cerr << "velmora-tool: " << e.what() << '\n';
                return 2;
            }
        }
    }
    std::cerr << "velmora-tool: unknown verb '" << argv[1] << "' (see velmora-tool --help)\n";
    return 2;
}
