#include "tools/DesktopOption.h"

#include "platform/SimulatedSystem.h"
#include "platform/desktop/DesktopSettings.h"
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

std::unique_ptr<TRecordingSystem> ToolSystem(const std::string& root, bool desktop) {
    std::unique_ptr<ISystem> system = CreateSimulatedSystem(root);
    std::shared_ptr<ISettingsState> settings;
    if (desktop) {
        TDesktopOptions options = DesktopOptionsFromEnvironment();
        options.Notice = [](const std::string& text) { std::cout << text << '\n'; };
        settings = CreateDesktopSettingsState(options);
        system = CreateDesktopSystem(std::move(system), std::move(options));
    }
    auto recording =
        CreateRecordingSystem(std::move(system), ChangeRecordFolder(root), std::move(settings));
    if (const std::string problem = recording->RecordProblem(); !problem.empty())
        std::cout << problem << '\n';
    return recording;
}

} // namespace velmora::tool
