// setup.inf of a cursor package: its [Strings] section and the role files.
#include "fuzz/FuzzSupport.h"
#include "install/uCursorInstaller.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view inf = velmora::fuzz::Bytes(data, size);
    velmora::ReadSchemeStrings(inf);
    velmora::SchemeRoleFiles(inf);
    return 0;
}
