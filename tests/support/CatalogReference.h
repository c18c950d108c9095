#pragma once
// A second reader of catalogue documents, built on a general JSON library
// (the whole document as a tree, then the rows taken from it), that the
// program's one-pass reader is checked against: both must give the same rows
// for any input. Rows are compared as text, one line per row.
#include "catalog/uCatalog.h"
#include "install/CodePage.h"
#include "install/uPubFunc.h"
#include "platform/util/Ascii.h"
#include "platform/util/Sha256.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <string>
#include <string_view>

namespace velmora::test {

inline std::string DescribeRow(int tag, std::int64_t parent, const TCatalogItem& item) {
    return std::to_string(tag) + " " + std::to_string(parent) + " " + (item.IsZip ? "zip" : "-") +
           " " + std::to_string(item.Size) + " " + item.Sha256 + " [" + item.Name + "]\n";
}

// The rows, the theme header and where it goes, or "parse error".
inline std::string DescribeCatalog(const TCatalogDocument& doc) {
    if (doc.Result != TLoadResult::Loaded)
        return "parse error\n";
    std::string out;
    for (std::size_t i = 0; i < doc.Rows.size(); ++i) {
        if (i == doc.ThemeRows)
            out += "header " + doc.ThemeHeader + "\n";
        out += DescribeRow(doc.Rows[i].Tag, doc.Rows[i].Parent, doc.Rows[i].Item);
    }
    if (doc.ThemeRows == doc.Rows.size())
        out += "header " + doc.ThemeHeader + "\n";
    return out;
}

namespace reference {
using nlohmann::json;

inline std::string AsText(const json& v) {
    if (v.is_string())
        return v.get<std::string>();
    if (v.is_number() || v.is_boolean())
        return v.dump();
    return {};
}

inline std::string MemberText(const json& obj, const char* key) {
    if (!obj.is_object())
        return {};
    auto it = obj.find(key);
    return it == obj.end() ? std::string() : AsText(*it);
}

inline bool ZipFlag(const json& obj) {
    if (!obj.is_object())
        return false;
    auto it = obj.find("iszip");
    if (it == obj.end() || it->is_null())
        return false;
    if (it->is_boolean())
        return it->get<bool>();
    if (it->is_number())
        return it->get<double>() != 0.0;
    if (it->is_string())
        return !it->get_ref<const std::string&>().empty();
    return true;
}

inline void CheckMembers(const json& obj, TCatalogItem& item) {
    if (!obj.is_object())
        return;
    if (auto it = obj.find("sha256");
        it != obj.end() && it->is_string() && IsSha256Hex(it->get_ref<const std::string&>()))
        item.Sha256 = LowerAscii(it->get_ref<const std::string&>());
    if (auto it = obj.find("size"); it != obj.end() && it->is_number_unsigned())
        item.Size = it->get<std::uint64_t>();
}

inline const json* ArrayMember(const json& obj, const char* key) {
    if (!obj.is_object())
        return nullptr;
    auto it = obj.find(key);
    return it != obj.end() && it->is_array() ? &*it : nullptr;
}

inline std::string UsableName(const std::string& raw, bool fromCp936) {
    std::string name = Trim(fromCp936 ? raw : Cp936ToUtf8(Utf8ToCp936(raw)));
    return IsSafeItemName(name) ? CutToCp936Bytes(name, 255) : std::string();
}

} // namespace reference

// What the rows of `text` are, described as DescribeCatalog does (no file is
// cached or installed).
inline std::string ReferenceCatalog(std::string_view text) {
    using namespace reference;
    const bool utf8 = text.substr(0, 3) == "\xEF\xBB\xBF";
    const json parsed =
        json::parse(utf8 ? std::string(text.substr(3)) : Cp936ToUtf8(text), nullptr, false, true);
    const json* themes = parsed.is_discarded() ? nullptr : ArrayMember(parsed, "themes");
    if (!themes)
        return "parse error\n";
    std::string out;
    std::int64_t rows = 0;
    int count = 0;
    for (const json& group : *themes) {
        const std::string title = Trim(MemberText(group, "name"));
        if (title.empty())
            continue;
        TCatalogItem groupItem;
        groupItem.Name = CutToCp936Bytes(title, 255);
        out += DescribeRow(tagTheme, -1, groupItem);
        const std::int64_t groupRow = rows++;
        if (const json* list = ArrayMember(group, "list"))
            for (const json& entry : *list) {
                TCatalogItem item;
                item.Name = UsableName(MemberText(entry, "name"), !utf8);
                if (item.Name.empty())
                    continue;
                item.IsZip = ZipFlag(entry);
                CheckMembers(entry, item);
                out += DescribeRow(tagTheme, groupRow, item);
                ++rows;
                ++count;
            }
    }
    char header[128];
    std::snprintf(header, sizeof header, ThemeHeaderFormat, count);
    out += "header " + std::string(header) + "\n";
    for (auto [key, tag] :
         {std::pair{"cursors", tagCursor}, std::pair{"screensave", tagScreenSave}})
        if (const json* list = ArrayMember(parsed, key))
            for (const json& entry : *list) {
                TCatalogItem item;
                item.Name = UsableName(
                    entry.is_object() ? MemberText(entry, "name") : AsText(entry), !utf8);
                if (item.Name.empty())
                    continue;
                item.IsZip = true;
                CheckMembers(entry, item);
                out += DescribeRow(tag, -1, item);
            }
    return out;
}

} // namespace velmora::test
