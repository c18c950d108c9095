#include "tools/ToolCommon.h"
#include "tools/Verbs.h"

namespace velmora::tool {

int VerbPackage(const TArgs&) {
    return UsageError("package: not available in this build");
}

} // namespace velmora::tool
