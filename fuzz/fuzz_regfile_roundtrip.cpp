// Save then load gives back exactly what was loaded, for every input the
// loader accepts: keys in order, value names, data and kinds.
#include "fuzz/FuzzSupport.h"
#include "platform/sim/RegFile.h"

namespace {

bool Same(const velmora::sim::TRegFile& a, const velmora::sim::TRegFile& b) {
    if (a.Keys.size() != b.Keys.size())
        return false;
    for (std::size_t i = 0; i < a.Keys.size(); ++i) {
        const auto& x = a.Keys[i];
        const auto& y = b.Keys[i];
        if (x.Path != y.Path || x.Values.size() != y.Values.size())
            return false;
        for (std::size_t j = 0; j < x.Values.size(); ++j)
            if (x.Values[j].Name != y.Values[j].Name || x.Values[j].Data != y.Values[j].Data ||
                x.Values[j].Raw != y.Values[j].Raw)
                return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    velmora::sim::TRegFile loaded;
    if (!loaded.Parse(std::string(velmora::fuzz::Bytes(data, size))))
        return 0;
    const std::string saved = loaded.Format();
    velmora::sim::TRegFile again;
    if (!again.Parse(saved))
        velmora::fuzz::Violated("a saved registry file does not load");
    if (!Same(loaded, again))
        velmora::fuzz::Violated("save then load changed the registry");
    if (again.Format() != saved)
        velmora::fuzz::Violated("a second save differs from the first");
    return 0;
}
