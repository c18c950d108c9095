#include "platform/sim/CaseNames.h"

#include "platform/util/Ascii.h"

#include <string>

namespace velmora::sim {

namespace fs = std::filesystem;

bool SameFileName(std::string_view a, std::string_view b) {
    return EqualsIgnoreCaseAscii(a, b);
}

fs::path ResolveCase(const fs::path& path) {
    std::error_code ec;
    if (path.empty() || fs::exists(fs::symlink_status(path, ec)))
        return path;
    fs::path out = path.root_path();
    const fs::path relative = path.relative_path();
    auto part = relative.begin();
    const auto end = relative.end();
    for (; part != end; ++part) {
        const std::string name = part->string();
        if (name.empty() || name == "." || name == ".." ||
            fs::exists(fs::symlink_status(out / *part, ec))) {
            out /= *part;
            continue;
        }
        std::string found;
        const fs::path folder = out.empty() ? fs::path(".") : out;
        for (fs::directory_iterator it(folder, ec), stop; !ec && it != stop; it.increment(ec)) {
            const std::string candidate = it->path().filename().string();
            if (SameFileName(candidate, name) && (found.empty() || candidate < found))
                found = candidate;
        }
        if (found.empty())
            break;
        out /= found;
    }
    for (; part != end; ++part)
        out /= *part;
    return out;
}

} // namespace velmora::sim
