#pragma once
// The picture work of velmora-tool: the desktop as a PNG, a JPEG wallpaper
// turned into its BMP copy, one screen's wallpaper composed into the
// desktop's, the previews publish makes. It needs a picture decoder and text
// drawing (Qt Gui), which the verbs that only move data must not load:
// velmora-tool and velmora-tool-core have none of it, and hand a command
// line that needs pictures to velmora-tool-pictures, the same tool with the
// picture work linked in (tools/Helpers.h).
#include <filesystem>
#include <string>
#include <vector>

#include "platform/ISystem.h"

namespace velmora {
class IPictureConverter;
}

namespace velmora::tool {

struct TDesktopState;
struct TPreviewRequest;

struct TPictureWork {
    // Writes the PNG of the desktop; false with why.
    bool (*DrawDesktop)(const TDesktopState& state, const std::filesystem::path& png,
                        std::string& why, std::vector<TScreenRect> screens);
    // The screens of the display the process runs on; empty without one.
    std::vector<TScreenRect> (*DisplayScreens)();
    // A publish preview as JPEG bytes, or empty with why.
    std::string (*MakePreview)(const TPreviewRequest& request, std::string& why);
    // Decodes pictures into BMP files and composes screens.
    IPictureConverter& Converter;
};

// The picture work of this process: null in velmora-tool, set in the helper.
const TPictureWork* Pictures();
// Called once by the helper, before main.
void ProvidePictures(const TPictureWork& work);

// The helper program when it can be found, else empty.
std::filesystem::path PictureHelper();

// Runs "velmora-tool VERB ARGS" in the helper, which takes the place of this
// process (its output, exit status and process id are the tool's). Returns
// only when there is no helper to run: 2, after a message that `what`
// (e.g. "--png") needs it.
int RunInPictureHelper(const std::string& verb, const std::vector<std::string>& args,
                       const std::string& what);

} // namespace velmora::tool
