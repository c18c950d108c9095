#pragma once
// Result pages shaped like those of the three search services, written by the
// tests. Baidu and Sogou pages are code page 936, Youdao pages UTF-8.
#include <string>
#include <vector>

namespace velmora::test {

// "http://img.example/thumb/N.jpg" and "http://img.example/full/N.jpg".
std::string ThumbUrl(int n);
std::string PicUrl(int n);

// A Baidu page whose script assigns `literal` (UTF-8) to imgdata.
std::string BaiduPage(const std::string& literal);
// The data literal of a Baidu page: listNum, then `count` elements written
// the way the page's script writes them (unquoted keys, single quotes,
// trailing commas, a comment); the elements in `withoutObjUrl` lack "objURL".
std::string BaiduLiteral(int listNum, int count, const std::vector<int>& withoutObjUrl = {});

// One Sogou result block of layout A or B.
std::string SogouItem(int n);
// Layout A: blocks between "<div id="content1"><ul class="piclist2">" and the
// pagebar paragraph with `bar`.
std::string SogouPageA(const std::string& bar, const std::vector<std::string>& blocks);
// Layout B: blocks in "<ul id="plist" class="vlcol5">", the bar in <div class="p">.
std::string SogouPageB(const std::string& bar, const std::vector<std::string>& blocks);
std::vector<std::string> SogouItems(int count);

std::string YoudaoItem(int n);
std::string YoudaoPage(const std::string& bar, const std::vector<std::string>& blocks);
std::vector<std::string> YoudaoItems(int count);

} // namespace velmora::test
