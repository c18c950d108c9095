#include "tools/ToolCommon.h"
#include "tools/Verbs.h"

namespace velmora::tool {

int VerbSearch(const TArgs&) {
    return UsageError("search: not available in this build");
}

int VerbMd5Name(const TArgs&) {
    return UsageError("md5name: not available in this build");
}

} // namespace velmora::tool
