#include "platform/sim/CaseNames.h"

#include <string>

namespace velmora::sim {

namespace fs = std::filesystem;

bool SameFileName(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
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
