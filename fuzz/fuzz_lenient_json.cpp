// The lenient front end for the script object literal of the Baidu page. It
// passes most garbage on for the JSON parser to refuse; what it must never do
// is change the meaning of text that already is strict JSON.
#include "fuzz/FuzzSupport.h"
#include "wallpaper/uLenientJson.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = velmora::fuzz::Bytes(data, size);
    const nlohmann::json lenient = velmora::ParseLenientJson(text);
    const nlohmann::json strict = nlohmann::json::parse(text, nullptr, false);
    if (!strict.is_discarded() && lenient != strict)
        velmora::fuzz::Violated("strict JSON read differently by the lenient front end");
    return 0;
}
