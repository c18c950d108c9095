#pragma once
// The system the program runs on: the Win32 backend on Windows, the simulated
// Windows at its default root elsewhere.
#include "platform/ISystem.h"

#include <memory>

namespace velmora {

std::unique_ptr<ISystem> CreateSystem();

} // namespace velmora
