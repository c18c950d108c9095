#include "tools/Pictures.h"

#include "tools/ToolCommon.h"

#include <cstdio>
#include <system_error>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace velmora::tool {
namespace fs = std::filesystem;

namespace {

// Constant-initialised: set by the helper's static initialisation, read only
// once main runs.
const TPictureWork* GPictures = nullptr;

constexpr const char* HelperName = "velmora-tool-pictures";

} // namespace

const TPictureWork* Pictures() {
    return GPictures;
}

void ProvidePictures(const TPictureWork& work) {
    GPictures = &work;
}

fs::path PictureHelper() {
#ifdef _WIN32
    return {};
#else
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (ec || self.empty())
        return {};
    // Beside the tool in the build tree; once installed, in the helpers'
    // folder of the prefix (bin/../libexec/velmora).
    for (const fs::path& candidate :
         {self.parent_path() / HelperName,
          self.parent_path().parent_path() / VELMORA_HELPER_DIR / HelperName}) {
        if (access(candidate.c_str(), X_OK) == 0 && fs::is_regular_file(candidate, ec))
            return candidate;
    }
    return {};
#endif
}

int RunInPictureHelper(const std::string& verb, const std::vector<std::string>& args,
                       const std::string& what) {
#ifndef _WIN32
    const fs::path helper = PictureHelper();
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
        return UsageError(what + " needs the picture helper " + helper.string() +
                          ", which cannot be run: " + std::generic_category().message(errno));
    }
    return UsageError(what + " needs the picture helper " + HelperName +
                      ", which is not installed beside velmora-tool (nor in its " +
                      VELMORA_HELPER_DIR + " folder)");
#else
    (void)verb;
    (void)args;
    return UsageError(what + " needs the picture library, which this build of velmora-tool "
                             "leaves out");
#endif
}

} // namespace velmora::tool
