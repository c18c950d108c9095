#include "tools/Helpers.h"

#include "tools/ToolCommon.h"

#include <cerrno>
#include <cstdio>
#include <system_error>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace velmora::tool {
namespace fs = std::filesystem;

fs::path FindHelper(const char* name) {
#ifdef _WIN32
    (void)name;
    return {};
#else
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (ec || self.empty())
        return {};
    // Beside the tool in the build tree; once installed, in the helpers'
    // folder of the prefix (bin/../libexec/velmora).
    for (const fs::path& candidate : {self.parent_path() / name, self.parent_path().parent_path() /
                                                                     VELMORA_HELPER_DIR / name}) {
        if (access(candidate.c_str(), X_OK) == 0 && fs::is_regular_file(candidate, ec))
            return candidate;
    }
    return {};
#endif
}

int RunInHelper(const char* name, const std::string& verb, const std::vector<std::string>& args,
                const std::string& what) {
#ifndef _WIN32
    const fs::path helper = FindHelper(name);
    if (!helper.empty()) {
        std::vector<std::string> all{helper.string(), verb};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& a : all)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        std::fflush(stdout);
        std::fflush(stderr);
        execv(helper.c_str(), argv.data());
        return UsageError(what + " needs the helper " + helper.string() +
                          ", which cannot be run: " + std::generic_category().message(errno));
    }
    return UsageError(what + " needs the helper " + name +
                      ", which is not installed beside velmora-tool (nor in its " +
                      VELMORA_HELPER_DIR + " folder)");
#else
    (void)name;
    (void)verb;
    (void)args;
    return UsageError(what + " needs the picture library, which this build of velmora-tool "
                             "leaves out");
#endif
}

} // namespace velmora::tool
