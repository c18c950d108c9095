#include "tools/ServicePages.h"

#include "install/CodePage.h"

#include <algorithm>

namespace velmora::pages {

namespace {

// The text inside a single-quoted script string.
std::string ScriptQuoted(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == '\'' || c == '\\')
            out.push_back('\\');
        out.push_back(c);
    }
    return out;
}

} // namespace

std::string BaiduLiteral(int listNum, const std::vector<TPageItem>& items,
                         const std::string& keyword, const std::vector<int>& withoutObjUrl) {
    std::string s = "{\r\n  // 图片数据\r\n  listNum:" + std::to_string(listNum) +
                    ",\r\n  queryExt:'" + ScriptQuoted(keyword) + "',\r\n  data:[\r\n";
    for (std::size_t i = 0; i < items.size(); ++i) {
        const TPageItem& item = items[i];
        s += "    {thumbURL:'" + item.Thumb + "', middleURL:'', ";
        if (std::find(withoutObjUrl.begin(), withoutObjUrl.end(), static_cast<int>(i)) ==
            withoutObjUrl.end())
            s += "\"objURL\":\"" + item.Pic + "\", ";
        s += "fromPageTitle:'<strong>" + ScriptQuoted(item.Title) +
             "</strong> \\'壁纸\\'', width:" + std::to_string(item.Width) +
             ", height:" + std::to_string(item.Height) + ",},\r\n";
    }
    s += "    /* 末尾 */ {}\r\n  ],\r\n}";
    return s;
}

std::string BaiduPage(const std::string& literal, const std::string& keyword) {
    return Utf8ToCp936(
        "<!DOCTYPE html>\r\n<html><head><title>" + keyword +
        "_百度图片搜索</title></head>\r\n"
        "<body><div id=\"imgid\"></div>\r\n<script>var imgdata = " +
        literal + ";BD.IMG.model.ImageIndex.storeData(imgdata);</script>\r\n</body></html>\r\n");
}

std::string SogouItem(const TPageItem& item, int id) {
    return "<li><a href=\"/pics/detail?id=" + std::to_string(id) +
           "\" target=\"_blank\" onclick=\"phb('" + item.Pic + "','" + item.Title +
           "')\"><!--thumb_beg--><img src=\"" + item.Thumb + "\" alt=\"" + item.Title +
           "\" /><!--thumb_end--></a>\n<p>" + std::to_string(item.Width) + "x" +
           std::to_string(item.Height) + " " + item.Title + "</p></li>\n";
}

std::string SogouPageA(const std::string& bar, const std::vector<std::string>& blocks,
                       const std::string& keyword) {
    std::string s = "<html><head><title>" + keyword +
                    " - 搜狗图片</title></head><body>\r\n"
                    "<div id=\"content1\"><ul class=\"piclist2\">\r\n";
    for (const auto& b : blocks)
        s += b;
    s += "</ul>\r\n<p class=\"pagebar\">" + bar + "</p></div>\r\n</body></html>\r\n";
    return Utf8ToCp936(s);
}

std::string SogouPageB(const std::string& bar, const std::vector<std::string>& blocks,
                       const std::string& keyword) {
    std::string s = "<html><head><title>" + keyword +
                    " - 搜狗图片</title></head><body>\r\n"
                    "<ul id=\"plist\" class=\"vlcol5\">\r\n";
    for (const auto& b : blocks)
        s += b;
    s += "</ul>\r\n<div id=\"hint\">搜狗提示</div>\r\n<div class=\"p\">" + bar +
         "</div>\r\n</body></html>\r\n";
    return Utf8ToCp936(s);
}

std::string YoudaoItem(const TPageItem& item, int id) {
    return "<tbody><tr><td>\n<center><a href=\"/view?id=" + std::to_string(id) +
           "\" onclick=\"logci('img','" + item.Pic + "')\"><img src=\"" + item.Thumb +
           "\" width=\"150\" height=\"100\" alt=\"" + item.Title +
           "\"/></a></center>\n"
           "<div class=\"title\">" +
           item.Title + "</div></td></tr></tbody>\n";
}

std::string YoudaoPage(const std::string& bar, const std::vector<std::string>& blocks,
                       const std::string& keyword) {
    std::string s = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + keyword +
                    " - 有道图片</title></head><body>\n<div id=\"resultLists\">\n<table>\n";
    for (const auto& b : blocks)
        s += b;
    s += "</table>\n<div id=\"hiddenSummary23\" style=\"display:none;\">摘要</div>\n"
         "<div id=\"pagination\">" +
         bar + "</div>\n</body></html>\n";
    return s;
}

} // namespace velmora::pages
