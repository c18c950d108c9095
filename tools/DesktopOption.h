#pragma once
// "--desktop" for the verbs that change the desktop: the simulated Windows
// stays their record, and the Linux desktop backend also applies the effect
// to the running session. Its notices are printed as lines on standard
// output, like the program's messages.
#include "platform/ISystem.h"
#ifndef _WIN32
#include "platform/history/RecordingSystem.h"
#endif
#include "tools/Verbs.h"

#include <memory>
#include <string>

namespace velmora::tool {

// Removes every "--desktop" from args; true when there was one.
bool TakeDesktopFlag(TArgs& args);

#ifdef _WIN32
// On Windows the system itself; a simulated root and --desktop are refused.
std::unique_ptr<ISystem> ToolSystem(const std::string& root, bool desktop);
#else
// The simulated Windows at root (empty: its default root), wrapped by the
// desktop backend when asked, every change recorded in the change record kept
// beside it.
std::unique_ptr<TRecordingSystem> ToolSystem(const std::string& root, bool desktop);
#endif

} // namespace velmora::tool
