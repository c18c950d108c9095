// A downloaded package against what the catalogue says of it. Apart from the
// catalogue's reader, so that a download alone does not link the parser.
#include "catalog/uCatalog.h"
#include "platform/util/Sha256.h"

namespace velmora {
namespace fs = std::filesystem;

const char* const MsgVerifyFailed = "文件校验失败：%s";

std::string VerifyFailedText(const std::string& name) {
    const std::string_view text = MsgVerifyFailed;
    const std::size_t at = text.find("%s");
    std::string result(text.substr(0, at));
    result += name;
    result += text.substr(at + 2);
    return result;
}

bool PackageFileMatches(const fs::path& package, const TPackageCheck& check) {
    if (check.Size > 0) {
        std::error_code ec;
        const std::uintmax_t size = fs::file_size(package, ec);
        if (ec || size != check.Size)
            return false;
    }
    return check.Sha256.empty() || Sha256OfFile(package) == check.Sha256;
}

} // namespace velmora
