#include "tools/Pictures.h"

#include "tools/Helpers.h"

namespace velmora::tool {
namespace fs = std::filesystem;

namespace {

// Constant-initialised: set by the helper's static initialisation, read only
// once main runs.
const TPictureWork* GPictures = nullptr;

} // namespace

const TPictureWork* Pictures() {
    return GPictures;
}

void ProvidePictures(const TPictureWork& work) {
    GPictures = &work;
}

fs::path PictureHelper() {
    return FindHelper(PictureHelperName);
}

int RunInPictureHelper(const std::string& verb, const std::vector<std::string>& args,
                       const std::string& what) {
    return RunInHelper(PictureHelperName, verb, args, what);
}

} // namespace velmora::tool
