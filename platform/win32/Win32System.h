#pragma once
// The Win32 backend: the real calls, in their wide-character forms, so that
// names outside the ANSI code page survive.
#include "platform/ISystem.h"

#include <memory>

namespace velmora {

std::unique_ptr<ISystem> CreateWin32System();

} // namespace velmora
