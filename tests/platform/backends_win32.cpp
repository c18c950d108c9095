#include "platform/win32/Win32System.h"
#include "tests/platform/Conformance.h"

namespace velmora::test {

std::vector<TBackendCase> ConformanceBackends() {
    return {{"Win32", [](const std::filesystem::path&) { return CreateWin32System(); }}};
}

} // namespace velmora::test
