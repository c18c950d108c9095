#include "tests/wallpaper/SearchPages.h"

#include "install/CodePage.h"

#include <algorithm>

namespace velmora::test {

std::string ThumbUrl(int n) {
    return "http://img.example/thumb/" + std::to_string(n) + ".jpg";
}
std::string PicUrl(int n) {
    return "http://img.example/full/" + std::to_string(n) + ".jpg";
}

std::string BaiduPage(const std::string& literal) {
    return Utf8ToCp936(
        "<!DOCTYPE html>\r\n<html><head><title>风景_百度图片搜索</title></head>\r\n"
        "<body><div id=\"imgid\"></div>\r\n<script>var imgdata = " +
        literal + ";BD.IMG.model.ImageIndex.storeData(imgdata);</script>\r\n</body></html>\r\n");
}

std::string BaiduLiteral(int listNum, int count, const std::vector<int>& withoutObjUrl) {
    std::string s = "{\r\n  // 图片数据\r\n  listNum:" + std::to_string(listNum) +
                    ",\r\n  queryExt:'风景',\r\n  data:[\r\n";
    for (int i = 0; i < count; ++i) {
        s += "    {thumbURL:'" + ThumbUrl(i) + "', middleURL:'', ";
        if (std::find(withoutObjUrl.begin(), withoutObjUrl.end(), i) == withoutObjUrl.end())
            s += "\"objURL\":\"" + PicUrl(i) + "\", ";
        s += "fromPageTitle:'<strong>风景</strong> \\'壁纸\\'', width:1920, height:1080,},\r\n";
    }
    s += "    /* 末尾 */ {}\r\n  ],\r\n}";
    return s;
}

std::string SogouItem(int n) {
    return "<li><a href=\"/pics/detail?id=" + std::to_string(n) +
           "\" target=\"_blank\" onclick=\"phb('" + PicUrl(n) + "','风景 " + std::to_string(n) +
           "')\"><!--thumb_beg--><img src=\"" + ThumbUrl(n) +
           "\" alt=\"风景\" /><!--thumb_end--></a>\n<p>1920x1080 风景壁纸</p></li>\n";
}

std::vector<std::string> SogouItems(int count) {
    std::vector<std::string> v;
    for (int i = 0; i < count; ++i)
        v.push_back(SogouItem(i));
    return v;
}

std::string SogouPageA(const std::string& bar, const std::vector<std::string>& blocks) {
    std::string s = "<html><head><title>风景 - 搜狗图片</title></head><body>\r\n"
                    "<div id=\"content1\"><ul class=\"piclist2\">\r\n";
    for (const auto& b : blocks)
        s += b;
    s += "</ul>\r\n<p class=\"pagebar\">" + bar + "</p></div>\r\n</body></html>\r\n";
    return Utf8ToCp936(s);
}

std::string SogouPageB(const std::string& bar, const std::vector<std::string>& blocks) {
    std::string s = "<html><head><title>风景 - 搜狗图片</title></head><body>\r\n"
                    "<ul id=\"plist\" class=\"vlcol5\">\r\n";
    for (const auto& b : blocks)
        s += b;
    s += "</ul>\r\n<div id=\"hint\">搜狗提示</div>\r\n<div class=\"p\">" + bar +
         "</div>\r\n</body></html>\r\n";
    return Utf8ToCp936(s);
}

std::string YoudaoItem(int n) {
    return "<tbody><tr><td>\n<center><a href=\"http://image.youdao.com/view?id=" +
           std::to_string(n) + "\" onclick=\"logci('img','" + PicUrl(n) + "')\"><img src=\"" +
           ThumbUrl(n) +
           "\" width=\"150\" height=\"100\" alt=\"风景\"/></a></center>\n"
           "<div class=\"title\">风景壁纸</div></td></tr></tbody>\n";
}

std::vector<std::string> YoudaoItems(int count) {
    std::vector<std::string> v;
    for (int i = 0; i < count; ++i)
        v.push_back(YoudaoItem(i));
    return v;
}

std::string YoudaoPage(const std::string& bar, const std::vector<std::string>& blocks) {
    std::string s = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>风景 - 有道图片"
                    "</title></head><body>\n<div id=\"resultLists\">\n<table>\n";
    for (const auto& b : blocks)
        s += b;
    s += "</table>\n<div id=\"hiddenSummary23\" style=\"display:none;\">摘要</div>\n"
         "<div id=\"pagination\">" +
         bar + "</div>\n</body></html>\n";
    return s;
}

} // namespace velmora::test
