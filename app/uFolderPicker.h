#pragma once
// The folder picker of the simulated Windows: a Qt folder dialog (not the
// desktop's own, so it opens offscreen and under Xvfb, and a test can answer
// it as a person would). The Win32 backend shows the shell's picker instead.
#include "platform/SimulatedSystem.h"

#include <filesystem>
#include <optional>

namespace velmora {

class ISystem;

// The object name of the dialog, for tests that answer it.
inline constexpr const char* FolderDialogName = "dlgBrowseFolder";

// Shows the modal folder dialog titled with the request's text, the initial
// folder selected in its parent when there is one.
std::optional<std::filesystem::path> ShowFolderDialog(const TFolderPickRequest& request);

// Gives the system this picker when it is the simulated Windows; other
// backends keep their own.
void InstallFolderPicker(ISystem& system);

} // namespace velmora
