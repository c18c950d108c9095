// The entry-name safety check alone, with a property: a name it calls safe
// stays below the destination once its components are joined on.
#include "fuzz/FuzzSupport.h"
#include "install/uZip.h"

#include <filesystem>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    velmora::TZipEntry e;
    e.IsSymlink = (data[0] & 1) != 0;
    e.Name.assign(reinterpret_cast<const char*>(data + 1), size - 1);
    // As the listing splits a name.
    const std::size_t cut = e.Name.find_last_of("/\\");
    e.FolderPart = cut == std::string::npos ? std::string() : e.Name.substr(0, cut + 1);
    e.FileName = cut == std::string::npos ? e.Name : e.Name.substr(cut + 1);
    e.IsFolder = !e.Name.empty() && e.FileName.empty();
    if (!velmora::UnsafeEntryReason(e).empty())
        return 0;
    if (e.Name.find('\0') != std::string::npos)
        velmora::fuzz::Violated("a name with a NUL passed");
    namespace fs = std::filesystem;
    const fs::path dest = "/dest";
    fs::path target = dest;
    std::string part;
    for (std::size_t i = 0; i <= e.Name.size(); ++i) {
        if (i == e.Name.size() || e.Name[i] == '/' || e.Name[i] == '\\') {
            if (!part.empty() && part != ".")
                target /= part;
            part.clear();
        } else {
            part += e.Name[i];
        }
    }
    const fs::path normal = target.lexically_normal();
    const auto rel = normal.lexically_relative(dest);
    if (rel.empty() || *rel.begin() == "..")
        velmora::fuzz::Violated("a safe name leads out of the destination");
    return 0;
}
