#include "platform/System.h"

#ifdef _WIN32
#include "platform/win32/Win32System.h"
#else
#include "platform/SimulatedSystem.h"
#endif

namespace velmora {

std::unique_ptr<ISystem> CreateSystem() {
#ifdef _WIN32
    return CreateWin32System();
#else
    return CreateSimulatedSystem(DefaultSimulatedRoot());
#endif
}

std::filesystem::path DefaultChangeRecordFolder() {
#ifdef _WIN32
    return std::filesystem::path(CreateWin32System()->SpecialFolder(csidlLocalAppData)) /
           "Velmora" / "history";
#else
    return ChangeRecordFolder(DefaultSimulatedRoot());
#endif
}

} // namespace velmora
