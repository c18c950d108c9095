#pragma once
// Argument handling shared by the verbs of velmora-tool.
#include <filesystem>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/ISystem.h"

namespace velmora::tool {

// Positional arguments and "--name value" options. An option not in `known`,
// or one without its value, throws EUsage: main says it in one line and
// exits with 2.
struct EUsage : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct TParsedArgs {
    std::vector<std::string> Positional;
    std::map<std::string, std::string> Options;

    std::optional<std::string> Get(const std::string& name) const;
    std::string Get(const std::string& name, const std::string& fallback) const;
};

std::optional<TParsedArgs> ParseArgs(const std::vector<std::string>& args,
                                     const std::vector<std::string>& known);

// Prints "velmora-tool: <message>" on stderr and returns 2.
int UsageError(const std::string& message);

#ifdef _WIN32
// The program's command line as UTF-8 arguments, the program name first.
std::vector<std::string> CommandLineUtf8();
#endif

// The program folder the verbs read the icon library and the cache from:
// --exe-dir when given; for an installed tool the installation's share
// folder; otherwise the working folder.
std::filesystem::path ToolExePath(const TParsedArgs& args);
// The download cache beside it: the user's own cache for an installed tool
// without --exe-dir, empty (below the program folder) otherwise.
std::filesystem::path ToolCacheDir(const TParsedArgs& args);
// The screens of "--screens WxH+X+Y,...": none when the option is not given;
// false (after a usage message) when it is not such a list.
bool ScreensOption(const TParsedArgs& parsed, std::vector<TScreenRect>& screens);

} // namespace velmora::tool
