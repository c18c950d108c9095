#pragma once
// The previews `velmora-tool publish` makes when a package comes without a
// usable one, drawn with Qt's picture decoder: a theme's from its wallpaper,
// a cursor scheme's as a sheet of its cursors with their role names, a
// screen saver's as a card with its name; a publisher's picture of another
// size or format is converted. Only the tool's GUI build has it.
#include "tools/publish/Publish.h"

namespace velmora::tool {

// A 400 x 300 JPEG, or empty with why.
std::string MakePublishPreview(const TPreviewRequest& request, std::string& why);

} // namespace velmora::tool
