#pragma once
// The results of a wallpaper search: the result record and the result manager
// that collects a page's results before they replace the shown ones.
#include <cstddef>
#include <string>
#include <vector>

namespace velmora {

// One search result. Texts are UTF-8 and each holds at most 255 bytes in code
// page 936 (the program's short strings); longer texts are cut when stored,
// never in the middle of a character.
struct TPicInfo {
    std::string Title;
    std::string ThumbUrl;
    std::string PicUrl; // as the result page gave it, %-escapes included
    bool Downloaded = false;
};

constexpr std::size_t PicInfoTextBytes = 255;

TPicInfo MakePicInfo(const std::string& title, const std::string& thumbUrl,
                     const std::string& picUrl, bool downloaded);

// Results per grid row.
constexpr int ResultsPerRow = 5;

class TSearchManager {
public:
    virtual ~TSearchManager() = default;

    // Appends a result to the pending list.
    void AddResult(const std::string& title, const std::string& thumbUrl, const std::string& picUrl,
                   bool downloaded);
    void ClearPending() { FPending.clear(); }
    const std::vector<TPicInfo>& Pending() const { return FPending; }

    // Replaces the shown results by the pending ones, empties the pending list
    // and returns the number of rows now shown. The result window overrides
    // ShowResults to fill its grid and start loading thumbnails.
    int LoadInto();

    // The results of the last LoadInto.
    const std::vector<TPicInfo>& Shown() const { return FShown; }

protected:
    virtual void ShowResults(const std::vector<TPicInfo>& results) { (void)results; }

private:
    std::vector<TPicInfo> FPending;
    std::vector<TPicInfo> FShown;
};

} // namespace velmora
