#pragma once
// velmora-tool runs the verbs that fetch (get, search, md5name) itself,
// linked against no more than they need, so that a download costs little
// more memory than curl's. The verbs that read catalogues and packages,
// install, serve or publish run in velmora-tool-core, the whole tool without Qt; pictures in
// velmora-tool-pictures, the whole tool with its picture work. Each takes
// the place of the process that hands it the command line. The helpers lie
// beside the tool (the build tree) or in the installation's libexec/velmora
// folder. The Windows build is one program with no helpers.
#include <filesystem>
#include <string>
#include <vector>

namespace velmora::tool {

constexpr const char* CoreHelperName = "velmora-tool-core";
constexpr const char* PictureHelperName = "velmora-tool-pictures";

// The helper program when it can be found, else empty.
std::filesystem::path FindHelper(const char* name);

// Runs "velmora-tool VERB ARGS" in the helper, which takes the place of this
// process (its output, exit status and process id are the tool's). Returns
// only when there is no helper to run: 2, after a message that `what` (e.g.
// "--png") needs it.
int RunInHelper(const char* name, const std::string& verb, const std::vector<std::string>& args,
                const std::string& what);

} // namespace velmora::tool
