// velmora-tool desktop: what the simulated desktop shows, as JSON, and with
// --png as a picture (drawn by the picture helper).
#include "tools/DesktopOption.h"
#ifndef _WIN32
#include "platform/SimulatedSystem.h"
#endif
#include "tools/DesktopState.h"
#include "tools/ToolCommon.h"
#include "tools/Verbs.h"

#include "tools/Pictures.h"

#include <iostream>

namespace velmora::tool {

int VerbDesktop(const TArgs& args) {
    auto parsed = ParseArgs(args, {"system", "png", "screens"});
    if (!parsed || !parsed->Positional.empty())
        return UsageError("usage: desktop [--system DIR] [--png FILE] [--screens WxH+X+Y,...]");
    std::vector<TScreenRect> screens;
    if (!ScreensOption(*parsed, screens))
        return 2;
    const TPictureWork* pictures = Pictures();
    if (parsed->Get("png") && !pictures)
        return RunInPictureHelper("desktop", args, "--png");
#ifdef _WIN32
    auto system = ToolSystem(parsed->Get("system", ""), false);
#else
    // Reading changes nothing: the simulated Windows itself, whose journal
    // lists the folders given an icon.
    auto system = CreateSimulatedSystem(parsed->Get("system", DefaultSimulatedRoot().string()));
#endif
    const TDesktopState state = ReadDesktopState(*system);
    std::cout << DesktopJson(state) << '\n';
    if (auto png = parsed->Get("png")) {
        std::string why;
        if (screens.empty())
            screens = pictures->DisplayScreens();
        if (!pictures->DrawDesktop(state, *png, why, screens))
            return UsageError(why);
    }
    return 0;
}

} // namespace velmora::tool
