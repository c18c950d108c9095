#include "platform/SimulatedSystem.h"
#include "tests/platform/Conformance.h"

namespace velmora::test {

std::vector<TBackendCase> ConformanceBackends() {
    return {{"Simulated", [](const std::filesystem::path& scratch) -> std::unique_ptr<ISystem> {
                 return CreateSimulatedSystem(scratch / "root");
             }}};
}

} // namespace velmora::test
