#pragma once
// The verbs of velmora-tool. Each takes the arguments after its name and
// returns the exit code.
#include <string>
#include <vector>

namespace velmora::tool {

using TArgs = std::vector<std::string>;

int VerbCatalog(const TArgs& args);
int VerbServe(const TArgs& args);
int VerbGet(const TArgs& args);
int VerbPackage(const TArgs& args);
int VerbSearch(const TArgs& args);
int VerbMd5Name(const TArgs& args);
int VerbIcons(const TArgs& args);
int VerbFolderIcon(const TArgs& args);
int VerbInstall(const TArgs& args);
int VerbUninstall(const TArgs& args);
int VerbWallpaper(const TArgs& args);
int VerbDesktop(const TArgs& args);
int VerbHistory(const TArgs& args);
int VerbRestore(const TArgs& args);
int VerbPublish(const TArgs& args);

} // namespace velmora::tool
