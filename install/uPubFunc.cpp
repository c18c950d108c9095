#include "install/uPubFunc.h"

#include "install/CodePage.h"
#include "platform/util/Ascii.h"

#include <atomic>
#include <cctype>
#include <cstdio>
#include <iostream>

namespace velmora {

const char* const MessageKindTitles[4] = {"提示", "询问", "警告", "错误"};
const unsigned MessageKindStyles[4] = {0x40, 0x24, 0x30, 0x10};

namespace {

class TStderrSink : public IMessageSink {
public:
    int Show(const TMessageRequest& r) override {
        std::cerr << r.Title << ": " << r.Text << '\n';
        return r.Kind == mkQuestion ? IDNO : IDOK;
    }
};

TStderrSink g_stderrSink;
std::atomic<IMessageSink*> g_sink{nullptr};

bool IsHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
int HexValue(char c) {
    return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
}

// Byte offset of the n-th UTF-8 character (n counted from 0), or npos.
size_t Utf8Offset(std::string_view s, size_t n) {
    size_t i = 0;
    while (n > 0 && i < s.size()) {
        ++i;
        while (i < s.size() && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80)
            ++i;
        --n;
    }
    return n == 0 ? i : std::string_view::npos;
}

} // namespace

IMessageSink* SetMessageSink(IMessageSink* sink) {
    return g_sink.exchange(sink);
}

int ShowMessageBox(const std::string& text, const std::string& caption, TMessageKind kind) {
    TMessageRequest r;
    r.Text = text;
    r.Title = caption.empty() ? MessageKindTitles[kind] : caption;
    r.Kind = kind;
    r.Style = MessageKindStyles[kind];
    IMessageSink* sink = g_sink.load();
    return (sink ? sink : &g_stderrSink)->Show(r);
}

std::string ExtractBetween(std::string_view source, std::string_view startMarker,
                           std::string_view endMarker, unsigned startPos, bool ignoreCase,
                           bool allowMissingEnd) {
    if (source.empty())
        return {};
    // ASCII lowering keeps every byte offset of UTF-8 text, so positions found
    // in the search copy are positions in the source.
    std::string copy = ignoreCase ? LowerAscii(source) : std::string(source);
    std::string start = ignoreCase ? LowerAscii(startMarker) : std::string(startMarker);
    std::string end = ignoreCase ? LowerAscii(endMarker) : std::string(endMarker);

    size_t cursor = 0;
    if (startPos > 1) {
        cursor = Utf8Offset(copy, startPos - 1);
        if (cursor == std::string_view::npos || cursor >= copy.size())
            return {};
    }
    if (!start.empty()) {
        size_t at = copy.find(start, cursor);
        if (at == std::string::npos)
            return {};
        cursor = at + start.size();
    }
    size_t stop = copy.size();
    if (!end.empty()) {
        size_t at = copy.find(end, cursor);
        if (at != std::string::npos)
            stop = at;
        else if (!allowMissingEnd)
            return {};
    }
    return std::string(source.substr(cursor, stop - cursor));
}

std::string Trim(std::string_view text) {
    return std::string(TrimView(text));
}

std::string EscapeUrlForRequest(std::string_view url) {
    static const char* hex = "0123456789ABCDEF";
    auto isHex = [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; };
    std::string out;
    out.reserve(url.size());
    for (std::size_t i = 0; i < url.size(); ++i) {
        const auto c = static_cast<unsigned char>(url[i]);
        const bool validEscape =
            c == '%' && i + 2 < url.size() && isHex(url[i + 1]) && isHex(url[i + 2]);
        const bool unsafe =
            c <= 0x20 || c >= 0x7F || (c == '%' && !validEscape) ||
            std::string_view("\"<>\\^`{|}").find(static_cast<char>(c)) != std::string_view::npos;
        if (!unsafe) {
            out.push_back(static_cast<char>(c));
            continue;
        }
        out.push_back('%');
        out.push_back(hex[c >> 4]);
        out.push_back(hex[c & 15]);
    }
    return out;
}

std::string UrlEncode(std::string_view text, bool utf8Mode) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    auto put = [&](unsigned char b) {
        out.push_back('%');
        out.push_back(hex[b >> 4]);
        out.push_back(hex[b & 15]);
    };
    size_t i = 0;
    while (i < text.size()) {
        auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                c == '.' || c == '_')
                out.push_back(static_cast<char>(c));
            else
                put(c);
            ++i;
            continue;
        }
        size_t n = (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 1;
        if (i + n > text.size())
            n = text.size() - i;
        std::string_view ch = text.substr(i, n);
        i += n;
        // A character beyond the basic plane is two UTF-16 units, each of
        // which the code page lacks: two question marks.
        if (n == 4) {
            put('?');
            put('?');
            continue;
        }
        std::string ansi = Utf8ToCp936(ch);
        if (ansi.size() < 2) {
            for (unsigned char b : ansi)
                put(b);
            continue;
        }
        for (unsigned char b : utf8Mode ? std::string(ch) : ansi)
            put(b);
    }
    return out;
}

std::string UrlDecode(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '%') {
            if (text.size() - i < 3 || !IsHex(text[i + 1]) || !IsHex(text[i + 2]))
                throw EConvertError("Invalid hex digit in URL");
            out.push_back(static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2])));
            i += 2;
        } else if (c == '+') {
            out.push_back(' ');
        } else {
            out.push_back(c);
        }
    }
    return out;
}

} // namespace velmora
