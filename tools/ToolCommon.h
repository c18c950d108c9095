#pragma once
// Argument handling shared by the verbs of velmora-tool.
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

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

#ifdef _WIN32
// The program's command line as UTF-8 arguments, the program name first.
std::vector<std::string> CommandLineUtf8();
#endif

} // namespace velmora::tool
