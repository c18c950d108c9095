#pragma once
// Shared pieces of the fuzz targets: a message sink that shows nothing, and a
// scratch file for parsers that read from a path.
#include "install/uPubFunc.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace velmora::fuzz {

// Messages a parser shows for bad input are answered without a window.
class TSilentMessages : public IMessageSink {
public:
    TSilentMessages() { SetMessageSink(this); }
    int Show(const TMessageRequest&) override { return 7; } // IDNO to questions
};

inline std::string_view Bytes(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// A file of this process under the temporary folder, rewritten per input.
inline const std::string& ScratchFile(const char* tag) {
    static const std::string path = [tag] {
        const char* tmp = std::getenv("TMPDIR");
        return std::string(tmp && *tmp ? tmp : "/tmp") + "/velmora-fuzz-" + tag + "-" +
               std::to_string(::getpid());
    }();
    return path;
}

inline bool WriteScratch(const std::string& path, std::string_view bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

// Ends the run as a crash: the fuzzer keeps the input that broke a property.
[[noreturn]] inline void Violated(const char* what) {
    std::fprintf(stderr, "property violated: %s\n", what);
    std::abort();
}

} // namespace velmora::fuzz
