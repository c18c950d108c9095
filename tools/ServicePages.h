#pragma once
// Result pages in the formats of the three image-search services, for the
// demo catalogue and the tests: Baidu's page with its data literal, Sogou's
// two layouts (code page 936) and Youdao's page (UTF-8). Arguments are UTF-8.
#include <string>
#include <vector>

namespace velmora::pages {

struct TPageItem {
    std::string Thumb; // thumbnail address
    std::string Pic;   // full-picture address
    std::string Title;
    int Width = 1920, Height = 1080;
};

// The object literal that a Baidu page's script assigns to imgdata, written
// the way that script writes it (unquoted keys, single quotes, trailing
// commas, comments): listNum, then one element per item; the elements at the
// positions in `withoutObjUrl` lack "objURL".
std::string BaiduLiteral(int listNum, const std::vector<TPageItem>& items,
                         const std::string& keyword, const std::vector<int>& withoutObjUrl = {});
// A Baidu result page around the literal; code page 936.
std::string BaiduPage(const std::string& literal, const std::string& keyword);

// One result block of a Sogou page (either layout); `id` goes into its link.
std::string SogouItem(const TPageItem& item, int id);
// Layout A: the blocks in "<div id="content1"><ul class="piclist2">", the bar
// in the pagebar paragraph. Code page 936.
std::string SogouPageA(const std::string& bar, const std::vector<std::string>& blocks,
                       const std::string& keyword);
// Layout B: the blocks in "<ul id="plist" class="vlcol5">", the bar in
// "<div class="p">". Code page 936.
std::string SogouPageB(const std::string& bar, const std::vector<std::string>& blocks,
                       const std::string& keyword);

std::string YoudaoItem(const TPageItem& item, int id);
// UTF-8, as the service sends it.
std::string YoudaoPage(const std::string& bar, const std::vector<std::string>& blocks,
                       const std::string& keyword);

} // namespace velmora::pages
