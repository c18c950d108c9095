#include "tools/DesktopOption.h"

#include "platform/SimulatedSystem.h"
#include "platform/desktop/DesktopSystem.h"

#include <algorithm>
#include <iostream>

namespace velmora::tool {

bool TakeDesktopFlag(TArgs& args) {
    const auto end = std::remove(args.begin(), args.end(), std::string("--desktop"));
    const bool found = end != args.end();
    args.erase(end, args.end());
    return found;
}

std::unique_ptr<ISystem> ToolSystem(const std::string& root, bool desktop) {
    std::unique_ptr<ISystem> system = CreateSimulatedSystem(root);
    if (!desktop)
        return system;
    TDesktopOptions options = DesktopOptionsFromEnvironment();
    options.Notice = [](const std::string& text) { std::cout << text << '\n'; };
    return CreateDesktopSystem(std::move(system), std::move(options));
}

} // namespace velmora::tool
