#include "tools/ToolCommon.h"
#include "tools/Verbs.h"

namespace velmora::tool {

int VerbGet(const TArgs&) {
    return UsageError("get: not available in this build");
}

} // namespace velmora::tool
