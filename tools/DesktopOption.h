#pragma once
// "--desktop" for the verbs that change the desktop: the simulated Windows
// stays their record, and the Linux desktop backend also applies the effect
// to the running session. Its notices are printed as lines on standard
// output, like the program's messages.
#include "platform/ISystem.h"
#include "tools/Verbs.h"

#include <memory>
#include <string>

namespace velmora::tool {

// Removes every "--desktop" from args; true when there was one.
bool TakeDesktopFlag(TArgs& args);

// The simulated Windows at root (empty: its default root), wrapped by the
// desktop backend when asked. On Windows the system itself; root and desktop
// are refused there.
std::unique_ptr<ISystem> ToolSystem(const std::string& root, bool desktop);

} // namespace velmora::tool
