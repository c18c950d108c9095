// The simulated registry file: whatever the loader accepts it can write.
#include "fuzz/FuzzSupport.h"
#include "platform/sim/RegFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    velmora::sim::TRegFile reg;
    if (reg.Parse(std::string(velmora::fuzz::Bytes(data, size))))
        reg.Format();
    return 0;
}
