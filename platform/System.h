#pragma once
// The system the program runs on: the Win32 backend on Windows, the simulated
// Windows at its default root elsewhere.
#include "platform/ISystem.h"

#include <filesystem>
#include <memory>

namespace velmora {

std::unique_ptr<ISystem> CreateSystem();

// Where the person's record of the desktop's changes is kept: beside the
// system CreateSystem gives (platform/history).
std::filesystem::path DefaultChangeRecordFolder();

} // namespace velmora
