// The .cur and .ani header checks the simulated system applies before a
// cursor file loads.
#include "fuzz/FuzzSupport.h"
#include "platform/sim/CursorFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    velmora::sim::IsValidCursorData(velmora::fuzz::Bytes(data, size));
    return 0;
}
