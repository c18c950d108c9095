#include "catalog/uResume.h"

#include "catalog/uStream.h"
#include "platform/util/Files.h"

#include <nlohmann/json.hpp>

#include <string_view>

namespace velmora {
namespace fs = std::filesystem;

namespace {

constexpr std::string_view PartSuffix = ".part";
constexpr std::string_view RecordSuffix = ".resume";
// A record is a line or two; anything larger is not one.
constexpr std::uintmax_t MaxRecordBytes = 64 * 1024;

fs::path WithSuffix(const fs::path& package, std::string_view suffix) {
    fs::path p = package;
    p += std::string(suffix);
    return p;
}

} // namespace

fs::path PartialFile(const fs::path& package) {
    return WithSuffix(package, PartSuffix);
}

fs::path ResumeRecordFile(const fs::path& package) {
    return WithSuffix(package, RecordSuffix);
}

bool ReadResumeRecord(const fs::path& package, TResumeRecord& out) {
    std::string text;
    if (ReadWholeFile(ResumeRecordFile(package), text, MaxRecordBytes))
        return false;
    const auto doc = nlohmann::json::parse(text, nullptr, false);
    if (!doc.is_object())
        return false;
    const auto url = doc.find("url"), validator = doc.find("validator"), size = doc.find("size");
    if (url == doc.end() || !url->is_string() || validator == doc.end() ||
        !validator->is_string() || size == doc.end() || !size->is_number_unsigned())
        return false;
    out = {url->get<std::string>(), validator->get<std::string>(), size->get<std::uint64_t>()};
    return true;
}

std::error_code WriteResumeRecord(const fs::path& package, const TResumeRecord& record) {
    const nlohmann::json doc = {
        {"url", record.Url}, {"validator", record.Validator}, {"size", record.Size}};
    return WriteFileAtomically(ResumeRecordFile(package),
                               doc.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
}

void RemovePartial(const fs::path& package) {
    std::error_code ignored;
    fs::remove(PartialFile(package), ignored);
    fs::remove(ResumeRecordFile(package), ignored);
}

std::uint64_t ResumableOffset(const fs::path& package, const std::string& url,
                              std::uint64_t expectedSize, TResumeRecord& record) {
    record = {};
    if (!ReadResumeRecord(package, record))
        return 0;
    std::error_code ec;
    const fs::path part = PartialFile(package);
    if (!fs::is_regular_file(part, ec) || fs::is_symlink(part, ec))
        return 0;
    const std::uintmax_t have = fs::file_size(part, ec);
    if (ec || have == 0 || record.Url != url || record.Validator.empty() || record.Size == 0 ||
        have >= record.Size || (expectedSize > 0 && record.Size != expectedSize))
        return 0;
    return have;
}

std::size_t SweepPartialDownloads(const fs::path& folder,
                                  const std::function<bool(const std::string& package)>& listed,
                                  std::chrono::seconds keepTime) {
    std::size_t removed = 0;
    const auto now = fs::file_time_type::clock::now();
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        std::string package;
        fs::path other;
        if (name.size() > PartSuffix.size() && name.ends_with(PartSuffix)) {
            package = name.substr(0, name.size() - PartSuffix.size());
            other = ResumeRecordFile(folder / package);
        } else if (name.size() > RecordSuffix.size() && name.ends_with(RecordSuffix)) {
            package = name.substr(0, name.size() - RecordSuffix.size());
            other = PartialFile(folder / package);
        } else {
            continue;
        }
        std::error_code kindError;
        if (!it->is_regular_file(kindError) || it->is_symlink(kindError))
            continue;
        if (IsLockedByWriter(PartialFile(folder / package)))
            continue; // a running download is writing it
        // Both files go by the age of the data.
        std::error_code timeError;
        const auto written = fs::last_write_time(PartialFile(folder / package), timeError);
        const bool keep = !timeError && now - written < keepTime &&
                          fs::is_regular_file(other, kindError) && (!listed || listed(package));
        if (keep)
            continue;
        std::error_code removeError;
        if (fs::remove(it->path(), removeError))
            ++removed;
    }
    return removed;
}

} // namespace velmora
