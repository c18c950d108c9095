#include "tests/wallpaper/SearchPages.h"

#include "tools/ServicePages.h"

namespace velmora::test {

std::string ThumbUrl(int n) {
    return "http://img.example/thumb/" + std::to_string(n) + ".jpg";
}
std::string PicUrl(int n) {
    return "http://img.example/full/" + std::to_string(n) + ".jpg";
}

namespace {

pages::TPageItem Item(int n) {
    return {ThumbUrl(n), PicUrl(n), "风景 " + std::to_string(n)};
}

} // namespace

std::string BaiduPage(const std::string& literal) {
    return pages::BaiduPage(literal, "风景");
}

std::string BaiduLiteral(int listNum, int count, const std::vector<int>& withoutObjUrl) {
    std::vector<pages::TPageItem> items;
    for (int i = 0; i < count; ++i)
        items.push_back(Item(i));
    return pages::BaiduLiteral(listNum, items, "风景", withoutObjUrl);
}

std::string SogouItem(int n) {
    return pages::SogouItem(Item(n), n);
}

std::vector<std::string> SogouItems(int count) {
    std::vector<std::string> v;
    for (int i = 0; i < count; ++i)
        v.push_back(SogouItem(i));
    return v;
}

std::string SogouPageA(const std::string& bar, const std::vector<std::string>& blocks) {
    return pages::SogouPageA(bar, blocks, "风景");
}

std::string SogouPageB(const std::string& bar, const std::vector<std::string>& blocks) {
    return pages::SogouPageB(bar, blocks, "风景");
}

std::string YoudaoItem(int n) {
    return pages::YoudaoItem(Item(n), n);
}

std::vector<std::string> YoudaoItems(int count) {
    std::vector<std::string> v;
    for (int i = 0; i < count; ++i)
        v.push_back(YoudaoItem(i));
    return v;
}

std::string YoudaoPage(const std::string& bar, const std::vector<std::string>& blocks) {
    return pages::YoudaoPage(bar, blocks, "风景");
}

} // namespace velmora::test
