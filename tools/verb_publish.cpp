// velmora-tool publish: a folder of packages becomes a catalogue any static
// web server can serve; with --check, a published folder is verified.
#include "tools/Pictures.h"
#include "tools/ToolCommon.h"
#include "tools/Verbs.h"
#include "tools/publish/Publish.h"

#include <algorithm>
#include <iostream>

namespace velmora::tool {

int VerbPublish(const TArgs& args) {
    const char* usage = "usage: publish SRC OUT [--check] | publish OUT --check";
    TArgs rest = args;
    const auto flag = std::find(rest.begin(), rest.end(), "--check");
    const bool check = flag != rest.end();
    if (check)
        rest.erase(flag);
    auto parsed = ParseArgs(rest, {});
    if (!parsed)
        return UsageError(usage);
    const auto& pos = parsed->Positional;
    if (check && (pos.size() == 1 || pos.size() == 2))
        return CheckPublished(pos.back(), std::cout, std::cerr);
    if (check || pos.size() != 2)
        return UsageError(usage);
    // Previews are drawn by the picture helper; without one, a package that
    // lacks its preview is left out with a message.
    if (!Pictures() && !PictureHelper().empty())
        return RunInPictureHelper("publish", args, "making previews");
    TPreviewMaker maker;
    if (Pictures())
        maker = Pictures()->MakePreview;
    return Publish(pos[0], pos[1], maker, std::cout, std::cerr);
}

} // namespace velmora::tool
