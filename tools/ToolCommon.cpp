#include "tools/ToolCommon.h"

#include "install/ProgramFolders.h"
#include "wallpaper/uPicStore.h"

#include <iostream>

#ifdef _WIN32
#include "platform/win32/WideText.h"

#include <windows.h>

#include <shellapi.h>
#endif

namespace velmora::tool {

std::optional<std::string> TParsedArgs::Get(const std::string& name) const {
    auto it = Options.find(name);
    if (it == Options.end())
        return std::nullopt;
    return it->second;
}

std::string TParsedArgs::Get(const std::string& name, const std::string& fallback) const {
    return Get(name).value_or(fallback);
}

std::optional<TParsedArgs> ParseArgs(const std::vector<std::string>& args,
                                     const std::vector<std::string>& known) {
    TParsedArgs r;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a.rfind("--", 0) != 0 || a.size() == 2) {
            r.Positional.push_back(a);
            continue;
        }
        std::string name = a.substr(2);
        bool ok = false;
        for (const auto& k : known)
            ok = ok || k == name;
        if (!ok || i + 1 >= args.size())
            throw EUsage((ok ? "missing value for '" : "unknown option '") + a +
                         "' (see velmora-tool --help)");
        r.Options[name] = args[++i];
    }
    return r;
}

int UsageError(const std::string& message) {
    std::cerr << "velmora-tool: " << message << '\n';
    return 2;
}

#ifdef _WIN32
std::vector<std::string> CommandLineUtf8() {
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> args;
    for (int i = 0; wide && i < count; ++i)
        args.push_back(Utf8(wide[i]));
    LocalFree(wide);
    return args;
}
#endif

namespace {

// The folder of this program file.
std::filesystem::path OwnFolder() {
#ifdef _WIN32
    std::wstring name(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
        if (n == 0)
            return {};
        if (n < name.size()) {
            name.resize(n);
            return std::filesystem::path(name).parent_path();
        }
        name.resize(name.size() * 2);
    }
#else
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec)
        return {};
    // An installed helper (tools/Helpers.h) in PREFIX/libexec/velmora runs
    // for the tool in PREFIX/bin.
    std::filesystem::path dir = self.parent_path();
    const std::filesystem::path helperDir = VELMORA_HELPER_DIR;
    std::filesystem::path prefix = dir;
    for (auto it = helperDir.end(); it != helperDir.begin();) {
        if (prefix.filename() != *--it)
            return dir;
        prefix = prefix.parent_path();
    }
    return prefix / "bin";
#endif
}

// Where this tool is installed, decided as the program decides for itself.
TProgramFolders OwnFolders() {
    const std::filesystem::path dir = OwnFolder();
    return dir.empty() ? TProgramFolders() : ChooseProgramFolders(dir);
}

} // namespace

std::filesystem::path ToolExePath(const TParsedArgs& args) {
    if (auto dir = args.Get("exe-dir"))
        return std::filesystem::path(*dir) / "";
    const TProgramFolders own = OwnFolders();
    return (own.Installed ? own.ExePath : std::filesystem::path(".")) / "";
}

std::filesystem::path ToolCacheDir(const TParsedArgs& args) {
    if (args.Get("exe-dir"))
        return {};
    const TProgramFolders own = OwnFolders();
    return own.Installed ? own.CacheDir : std::filesystem::path();
}

bool ScreensOption(const TParsedArgs& parsed, std::vector<TScreenRect>& screens) {
    screens.clear();
    const auto list = parsed.Get("screens");
    if (!list)
        return true;
    auto given = ParseScreenList(*list);
    if (!given) {
        UsageError("--screens: give WxH+X+Y for each screen, the primary first, separated by "
                   "commas");
        return false;
    }
    screens = *given;
    return true;
}

} // namespace velmora::tool
