#pragma once
// "--desktop" for the verbs that change the desktop: the simulated Windows
// stays their record, and the Linux desktop backend also applies the effect
// to the running session. Its notices are printed as lines on standard
// output, like the program's messages.
#include "platform/ISystem.h"
#include "platform/history/RecordingSystem.h"
#include "tools/Verbs.h"

#include <memory>
#include <string>

namespace velmora::tool {

// Removes every "--desktop" from args; true when there was one.
bool TakeDesktopFlag(TArgs& args);

// The simulated Windows at root, wrapped by the desktop backend when asked,
// every change recorded in the change record kept beside it.
std::unique_ptr<TRecordingSystem> ToolSystem(const std::string& root, bool desktop);

} // namespace velmora::tool
