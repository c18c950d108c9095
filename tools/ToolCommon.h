#pragma once
// Argument handling shared by the verbs of velmora-tool.
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/ISystem.h"

namespace velmora::tool {

// Positional arguments and "--name value" options. Options not in `known`
// make Parse fail with a message on stderr.
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

// The screens of "--screens WxH+X+Y,...": none when the option is not given;
// false (after a usage message) when it is not such a list.
bool ScreensOption(const TParsedArgs& parsed, std::vector<TScreenRect>& screens);

} // namespace velmora::tool
