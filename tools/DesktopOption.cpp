#include "tools/DesktopOption.h"

#ifdef _WIN32
#include "platform/System.h"
#else
#include "platform/SimulatedSystem.h"
#include "platform/desktop/DesktopSettings.h"
#include "platform/desktop/DesktopSystem.h"
#endif

#include <algorithm>
#include <iostream>
#include <stdexcept>

namespace velmora::tool {

bool TakeDesktopFlag(TArgs& args) {
    const auto end = std::remove(args.begin(), args.end(), std::string("--desktop"));
    const bool found = end != args.end();
    args.erase(end, args.end());
    return found;
}

namespace {

std::unique_ptr<TRecordingSystem> Recorded(std::unique_ptr<ISystem> system,
                                           const std::filesystem::path& recordFolder,
                                           std::shared_ptr<ISettingsState> settings) {
    auto recording = CreateRecordingSystem(std::move(system), recordFolder, std::move(settings));
    if (const std::string problem = recording->RecordProblem(); !problem.empty())
        std::cout << problem << '\n';
    return recording;
}

} // namespace

#ifdef _WIN32
std::unique_ptr<TRecordingSystem> ToolSystem(const std::string& root, bool desktop) {
    if (!root.empty())
        throw std::runtime_error("--system names a simulated Windows; on Windows the tool works "
                                 "on this system");
    if (desktop)
        throw std::runtime_error("--desktop is for the Linux desktop");
    return Recorded(CreateSystem(), DefaultChangeRecordFolder(), nullptr);
}
#else
std::unique_ptr<TRecordingSystem> ToolSystem(const std::string& root, bool desktop) {
    const std::string simulatedRoot = root.empty() ? DefaultSimulatedRoot().string() : root;
    std::unique_ptr<ISystem> system = CreateSimulatedSystem(simulatedRoot);
    std::shared_ptr<ISettingsState> settings;
    if (desktop) {
        TDesktopOptions options = DesktopOptionsFromEnvironment();
        options.Notice = [](const std::string& text) { std::cout << text << '\n'; };
        settings = CreateDesktopSettingsState(options);
        system = CreateDesktopSystem(std::move(system), std::move(options));
    }
    return Recorded(std::move(system), ChangeRecordFolder(simulatedRoot), std::move(settings));
}
#endif

} // namespace velmora::tool
