#pragma once
// "--desktop" for the verbs that change the desktop: the simulated Windows
// stays their record, and the Linux desktop backend also applies the effect
// to the running session. Its notices are printed as lines on standard
// output, like the program's messages.
#include "platform/history/RecordingSystem.h"
#include "tools/Verbs.h"

#include <memory>
#include <string>

namespace velmora::tool {

// Removes every "--desktop" from args; true when there was one.
bool TakeDesktopFlag(TArgs& args);

// The system the verbs change, every change recorded in the person's change
// record. Here the simulated Windows at root (empty: its default root),
// wrapped by the desktop backend when asked, its record kept beside it. On
// Windows the system itself, its record the program's own (a simulated root
// and --desktop are refused).
std::unique_ptr<TRecordingSystem> ToolSystem(const std::string& root, bool desktop);

} // namespace velmora::tool
