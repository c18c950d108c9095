#include "wallpaper/uSearchManager.h"

#include "install/CodePage.h"

namespace velmora {

TPicInfo MakePicInfo(const std::string& title, const std::string& thumbUrl,
                     const std::string& picUrl, bool downloaded) {
    TPicInfo info;
    info.Title = CutToCp936Bytes(title, PicInfoTextBytes);
    info.ThumbUrl = CutToCp936Bytes(thumbUrl, PicInfoTextBytes);
    info.PicUrl = CutToCp936Bytes(picUrl, PicInfoTextBytes);
    info.Downloaded = downloaded;
    return info;
}

void TSearchManager::AddResult(const std::string& title, const std::string& thumbUrl,
                               const std::string& picUrl, bool downloaded) {
    FPending.push_back(MakePicInfo(title, thumbUrl, picUrl, downloaded));
}

int TSearchManager::LoadInto() {
    FShown = std::move(FPending);
    FPending.clear();
    ShowResults(FShown);
    return static_cast<int>((FShown.size() + ResultsPerRow - 1) / ResultsPerRow);
}

} // namespace velmora
