#include "catalog/CatalogParser.h"

#include "install/CodePage.h"
#include "install/uPubFunc.h"
#include "platform/util/Ascii.h"
#include "platform/util/Sha256.h"
#include "platform/util/Utf8.h"

#include <nlohmann/json.hpp>

#include <charconv>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

namespace velmora {
namespace {

constexpr std::size_t MaxNameBytes = 255;

enum TScalarKind : std::uint8_t { skNone, skString, skNumber, skTrue, skFalse, skNull, skOther };

// A value as the rows need it: a scalar's text, or only its kind.
struct TScalar {
    TScalarKind Kind = skNone;
    std::string_view Text; // a string's decoded text or a number's token
    bool NumberIsFloat = false;
};

bool IsAscii(std::string_view s) {
    for (unsigned char c : s)
        if (c >= 0x80)
            return false;
    return true;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// The length of the well-formed UTF-8 character s starts with (s[0] >= 0x80),
// 0 when it is not one; the same ranges a strict JSON reader accepts.
std::size_t Utf8CharLen(const unsigned char* s, std::size_t left) {
    const unsigned char c = s[0];
    std::size_t n;
    unsigned char lo = 0x80, hi = 0xBF;
    if (c >= 0xC2 && c <= 0xDF)
        n = 2;
    else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        if (c == 0xE0)
            lo = 0xA0;
        else if (c == 0xED)
            hi = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        if (c == 0xF0)
            lo = 0x90;
        else if (c == 0xF4)
            hi = 0x8F;
    } else
        return 0;
    if (left < n || s[1] < lo || s[1] > hi)
        return 0;
    for (std::size_t i = 2; i < n; ++i)
        if (s[i] < 0x80 || s[i] > 0xBF)
            return 0;
    return n;
}

// Whether a number token (well-formed) is a finite double; an out-of-range
// one is too large (not finite) when its first significant digit stands
// above the units.
bool IsFiniteNumber(std::string_view token, double* value) {
    double v = 0;
    const auto [end, ec] = std::from_chars(token.data(), token.data() + token.size(), v);
    (void)end;
    if (ec == std::errc()) {
        if (value)
            *value = v;
        return true;
    }
    std::size_t i = token[0] == '-' ? 1 : 0;
    // The power of ten of the first digit that is not zero.
    long long magnitude = 0;
    long long intDigits = 0;
    long long first = -1;
    for (; i < token.size() && IsDigit(token[i]); ++i, ++intDigits)
        if (first < 0 && token[i] != '0')
            first = intDigits;
    bool found = first >= 0;
    if (found)
        magnitude = intDigits - 1 - first;
    if (i < token.size() && token[i] == '.')
        for (long long place = 1; ++i < token.size() && IsDigit(token[i]); ++place)
            if (!found && token[i] != '0') {
                found = true;
                magnitude = -place;
            }
    if (!found) {
        if (value)
            *value = 0;
        return true;
    }
    if (i < token.size()) { // the exponent, saturated
        ++i;
        const bool negative = token[i] == '-';
        if (token[i] == '+' || token[i] == '-')
            ++i;
        long long exponent = 0;
        for (; i < token.size(); ++i)
            exponent = std::min<long long>(exponent * 10 + (token[i] - '0'), 1LL << 40);
        magnitude += negative ? -exponent : exponent;
    }
    if (magnitude > 0)
        return false;
    if (value)
        *value = 0; // too small: zero
    return true;
}

class TParser {
public:
    TParser(std::string_view text, bool cp936)
        : FAt(text.data()), FEnd(text.data() + text.size()), FCp936(cp936) {}

    bool Read(TParsedCatalog& out);

private:
    // The next byte, or -1 at the end of the text.
    int Peek() const { return FAt < FEnd ? static_cast<unsigned char>(*FAt) : -1; }
    // Where a token starts a NUL byte ends the text, as for a C string.
    int PeekToken() const {
        return FAt < FEnd && *FAt != '\0' ? static_cast<unsigned char>(*FAt) : -1;
    }

    bool Space();
    bool Expect(char c) {
        if (!Space() || PeekToken() != c)
            return false;
        ++FAt;
        return true;
    }
    bool String(std::string& buffer, std::string_view& text);
    bool Number(std::string_view& token, bool& isFloat);
    bool Literal(const char* word, std::size_t size);
    // Any value, read only for its form.
    bool SkipValue();
    // A value: its text and kind when a scalar; containers are skipped.
    bool Scalar(TScalar& value);
    // The members of an object whose '{' is next; `member` reads each value.
    template <typename TMember> bool Members(TMember member);
    // The elements of an array whose '[' is next.
    template <typename TElement> bool Elements(TElement element);
    bool ThemeGroup(TParsedCatalog& out);
    // An item's members; `withZip`: "iszip" counts.
    bool Item(std::vector<TCatalogRecord>& rows, int tag, bool withZip);
    void AddItem(std::vector<TCatalogRecord>& rows, int tag, std::string_view raw, bool isZip);
    // The trimmed name in the code page, empty when it is no usable name.
    std::string_view UsableName(std::string_view raw);

    const char* FAt;
    const char* FEnd;
    const bool FCp936;
    std::string FKey, FText, FName, FSkip, FRoundTrip;
    std::vector<char> FOpen; // the closing brackets SkipValue waits for
    // What the current item has said so far.
    bool FZip = false;
    std::string FSha256;
    std::uint64_t FSize = 0;
};

bool TParser::Space() {
    for (;;) {
        while (FAt < FEnd && (*FAt == ' ' || *FAt == '\t' || *FAt == '\n' || *FAt == '\r'))
            ++FAt;
        if (FAt == FEnd || *FAt != '/')
            return true;
        ++FAt;
        if (Peek() == '/') {
            while (++FAt < FEnd && *FAt != '\n' && *FAt != '\r' && *FAt != '\0') {
            }
            if (FAt < FEnd)
                ++FAt;
        } else if (Peek() == '*') {
            ++FAt;
            for (;;) {
                if (FAt == FEnd || *FAt == '\0')
                    return false;
                if (*FAt++ == '*' && FAt < FEnd && *FAt == '/') {
                    ++FAt;
                    break;
                }
            }
        } else {
            return false;
        }
    }
}

bool TParser::String(std::string& buffer, std::string_view& text) {
    ++FAt; // the opening quote
    const char* start = FAt;
    bool buffered = false;
    for (;;) {
        const char* run = FAt;
        while (FAt < FEnd) {
            const auto c = static_cast<unsigned char>(*FAt);
            if (c < 0x20 || c == '"' || c == '\\' || c >= 0x80)
                break;
            ++FAt;
        }
        if (buffered)
            buffer.append(run, FAt);
        if (FAt == FEnd)
            return false;
        const auto c = static_cast<unsigned char>(*FAt);
        if (c == '"') {
            text = buffered ? std::string_view(buffer) : std::string_view(start, FAt - start);
            ++FAt;
            return true;
        }
        if (c < 0x20)
            return false;
        if (c >= 0x80) {
            if (FCp936) {
                if (!buffered) {
                    buffer.assign(start, FAt);
                    buffered = true;
                }
                FAt += AppendCp936Run(buffer, std::string_view(FAt, FEnd - FAt));
            } else {
                const std::size_t n =
                    Utf8CharLen(reinterpret_cast<const unsigned char*>(FAt), FEnd - FAt);
                if (n == 0)
                    return false;
                if (buffered)
                    buffer.append(FAt, n);
                FAt += n;
            }
            continue;
        }
        // An escape.
        if (!buffered) {
            buffer.assign(start, FAt);
            buffered = true;
        }
        if (++FAt == FEnd)
            return false;
        switch (*FAt++) {
        case '"':
            buffer += '"';
            break;
        case '\\':
            buffer += '\\';
            break;
        case '/':
            buffer += '/';
            break;
        case 'b':
            buffer += '\b';
            break;
        case 'f':
            buffer += '\f';
            break;
        case 'n':
            buffer += '\n';
            break;
        case 'r':
            buffer += '\r';
            break;
        case 't':
            buffer += '\t';
            break;
        case 'u': {
            auto hex4 = [this](char32_t& unit) {
                if (FEnd - FAt < 4)
                    return false;
                unit = 0;
                for (int i = 0; i < 4; ++i) {
                    const char h = *FAt++;
                    const int d = IsDigit(h)             ? h - '0'
                                  : h >= 'a' && h <= 'f' ? h - 'a' + 10
                                  : h >= 'A' && h <= 'F' ? h - 'A' + 10
                                                         : -1;
                    if (d < 0)
                        return false;
                    unit = unit * 16 + static_cast<char32_t>(d);
                }
                return true;
            };
            char32_t unit = 0;
            if (!hex4(unit) || (unit >= 0xDC00 && unit <= 0xDFFF))
                return false;
            if (unit >= 0xD800 && unit <= 0xDBFF) {
                char32_t low = 0;
                if (FEnd - FAt < 2 || FAt[0] != '\\' || FAt[1] != 'u')
                    return false;
                FAt += 2;
                if (!hex4(low) || low < 0xDC00 || low > 0xDFFF)
                    return false;
                unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
            }
            AppendUtf8(buffer, unit);
            break;
        }
        default:
            return false;
        }
    }
}

bool TParser::Number(std::string_view& token, bool& isFloat) {
    const char* start = FAt;
    isFloat = false;
    if (Peek() == '-')
        ++FAt;
    if (Peek() == '0') {
        ++FAt;
    } else if (FAt < FEnd && *FAt >= '1' && *FAt <= '9') {
        while (FAt < FEnd && IsDigit(*FAt))
            ++FAt;
    } else {
        return false;
    }
    if (Peek() == '.') {
        ++FAt;
        if (FAt == FEnd || !IsDigit(*FAt))
            return false;
        while (FAt < FEnd && IsDigit(*FAt))
            ++FAt;
        isFloat = true;
    }
    if (Peek() == 'e' || Peek() == 'E') {
        ++FAt;
        if (Peek() == '+' || Peek() == '-')
            ++FAt;
        if (FAt == FEnd || !IsDigit(*FAt))
            return false;
        while (FAt < FEnd && IsDigit(*FAt))
            ++FAt;
        isFloat = true;
    }
    token = std::string_view(start, FAt - start);
    if (!isFloat) {
        // An integer out of the 64-bit range is read as a double.
        std::uint64_t u = 0;
        std::int64_t s = 0;
        const char* b = token.data();
        const char* e = b + token.size();
        const bool fits = token[0] == '-' ? std::from_chars(b, e, s).ec == std::errc()
                                          : std::from_chars(b, e, u).ec == std::errc();
        if (fits)
            return true;
        isFloat = true;
    }
    // A number too large for a double is an error, as in any strict reader.
    return IsFiniteNumber(token, nullptr);
}

bool TParser::Literal(const char* word, std::size_t size) {
    if (static_cast<std::size_t>(FEnd - FAt) < size || std::memcmp(FAt, word, size) != 0)
        return false;
    FAt += size;
    return true;
}

bool TParser::Scalar(TScalar& value) {
    if (!Space())
        return false;
    switch (PeekToken()) {
    case '"':
        value.Kind = skString;
        return String(FText, value.Text);
    case '{':
    case '[':
        value.Kind = skOther;
        return SkipValue();
    case 't':
        value.Kind = skTrue;
        return Literal("true", 4);
    case 'f':
        value.Kind = skFalse;
        return Literal("false", 5);
    case 'n':
        value.Kind = skNull;
        return Literal("null", 4);
    default:
        value.Kind = skNumber;
        return Number(value.Text, value.NumberIsFloat);
    }
}

bool TParser::SkipValue() {
    FOpen.clear();
    std::string_view ignored;
    bool isFloat = false;
    // An object member's name and its colon.
    const auto skipKey = [&] {
        return Space() && PeekToken() == '"' && String(FSkip, ignored) && Expect(':');
    };
    for (;;) {
        // A value.
        if (!Space())
            return false;
        switch (const int token = PeekToken()) {
        case '{':
        case '[': {
            const char close = token == '{' ? '}' : ']';
            ++FAt;
            if (!Space())
                return false;
            if (PeekToken() == close) {
                ++FAt;
                break;
            }
            FOpen.push_back(close);
            if (close == '}' && !skipKey())
                return false;
            continue;
        }
        case '"':
            if (!String(FSkip, ignored))
                return false;
            break;
        case 't':
            if (!Literal("true", 4))
                return false;
            break;
        case 'f':
            if (!Literal("false", 5))
                return false;
            break;
        case 'n':
            if (!Literal("null", 4))
                return false;
            break;
        default:
            if (!Number(ignored, isFloat))
                return false;
            break;
        }
        // After a value: the containers it ends, then a comma or the end.
        for (;;) {
            if (FOpen.empty())
                return true;
            if (!Space())
                return false;
            const int c = PeekToken();
            if (c == FOpen.back()) {
                ++FAt;
                FOpen.pop_back();
                continue;
            }
            if (c != ',')
                return false;
            ++FAt;
            if (FOpen.back() == '}' && !skipKey())
                return false;
            break;
        }
    }
}

template <typename TMember> bool TParser::Members(TMember member) {
    ++FAt; // '{'
    if (!Space())
        return false;
    if (PeekToken() == '}') {
        ++FAt;
        return true;
    }
    for (;;) {
        std::string_view key;
        if (!Space() || PeekToken() != '"' || !String(FKey, key) || !Expect(':'))
            return false;
        if (!member(key))
            return false;
        if (!Space())
            return false;
        const int c = PeekToken();
        ++FAt;
        if (c == '}')
            return true;
        if (c != ',')
            return false;
    }
}

template <typename TElement> bool TParser::Elements(TElement element) {
    ++FAt; // '['
    if (!Space())
        return false;
    if (PeekToken() == ']') {
        ++FAt;
        return true;
    }
    for (;;) {
        if (!Space() || !element())
            return false;
        if (!Space())
            return false;
        const int c = PeekToken();
        ++FAt;
        if (c == ']')
            return true;
        if (c != ',')
            return false;
    }
}

// A scalar read as a name: strings as they are, numbers and booleans in
// their written form, anything else no name.
void NameText(const TScalar& value, std::string& out) {
    switch (value.Kind) {
    case skString:
        out.assign(value.Text);
        break;
    case skNumber:
        // The shortest form of the number, as a JSON writer puts it.
        if (value.NumberIsFloat || value.Text == "-0")
            out = nlohmann::json::parse(value.Text).dump();
        else
            out.assign(value.Text);
        break;
    case skTrue:
        out = "true";
        break;
    case skFalse:
        out = "false";
        break;
    default:
        out.clear();
        break;
    }
}

// "iszip": null false, numbers true when not zero, strings true when not
// empty, objects and arrays true.
bool ZipFlag(const TScalar& value) {
    switch (value.Kind) {
    case skTrue:
    case skOther:
        return true;
    case skString:
        return !value.Text.empty();
    case skNumber: {
        if (!value.NumberIsFloat)
            return value.Text.find_first_of("123456789") != std::string_view::npos;
        double v = 0;
        IsFiniteNumber(value.Text, &v);
        return v != 0.0;
    }
    default:
        return false;
    }
}

std::string_view TParser::UsableName(std::string_view raw) {
    std::string_view name = TrimView(raw);
    if (!FCp936 && !IsAscii(name)) {
        // Characters the code page lacks turn into "?", which no safe name holds.
        FRoundTrip = Cp936ToUtf8(Utf8ToCp936(name));
        name = TrimView(FRoundTrip);
    }
    return IsSafeItemName(name) ? name : std::string_view();
}

void TParser::AddItem(std::vector<TCatalogRecord>& rows, int tag, std::string_view raw,
                      bool isZip) {
    const std::string_view name = UsableName(raw);
    if (name.empty())
        return;
    TCatalogRecord& record = rows.emplace_back();
    record.Tag = tag;
    record.Item.Name =
        name.size() > MaxNameBytes ? CutToCp936Bytes(name, MaxNameBytes) : std::string(name);
    record.Item.IsZip = isZip;
    record.Item.Sha256 = FSha256;
    record.Item.Size = FSize;
}

bool TParser::Item(std::vector<TCatalogRecord>& rows, int tag, bool withZip) {
    FName.clear();
    FZip = false;
    FSha256.clear();
    FSize = 0;
    const bool ok = Members([&](std::string_view key) {
        TScalar value;
        if (!Scalar(value))
            return false;
        if (key == "name") {
            NameText(value, FName);
        } else if (key == "iszip") {
            FZip = ZipFlag(value);
        } else if (key == "sha256") {
            if (value.Kind == skString && IsSha256Hex(value.Text))
                FSha256 = LowerAscii(value.Text);
            else
                FSha256.clear();
        } else if (key == "size") {
            FSize = 0;
            if (value.Kind == skNumber && !value.NumberIsFloat && value.Text[0] != '-')
                std::from_chars(value.Text.data(), value.Text.data() + value.Text.size(), FSize);
        }
        return true;
    });
    if (ok)
        AddItem(rows, tag, FName, withZip ? FZip : true);
    return ok;
}

bool TParser::ThemeGroup(TParsedCatalog& out) {
    // The group's row comes first; its items follow it straight away and
    // all go again when the group has no title.
    std::vector<TCatalogRecord>& rows = out.Themes;
    const std::size_t groupAt = rows.size();
    rows.emplace_back().Tag = tagTheme;
    std::string title;
    const bool ok = Members([&](std::string_view key) {
        if (key == "list") {
            rows.resize(groupAt + 1);
            if (!Space())
                return false;
            if (PeekToken() != '[')
                return SkipValue();
            return Elements([&] {
                if (PeekToken() == '{')
                    return Item(rows, tagTheme, true);
                return SkipValue();
            });
        }
        TScalar value;
        if (!Scalar(value))
            return false;
        if (key == "name")
            NameText(value, title);
        return true;
    });
    if (!ok)
        return false;
    const std::string_view trimmed = TrimView(title);
    if (trimmed.empty()) {
        rows.resize(groupAt);
        return true;
    }
    rows[groupAt].Item.Name = trimmed.size() > MaxNameBytes ? CutToCp936Bytes(trimmed, MaxNameBytes)
                                                            : std::string(trimmed);
    for (std::size_t i = groupAt + 1; i < rows.size(); ++i)
        rows[i].Parent = static_cast<std::int64_t>(groupAt);
    out.ThemeItems += static_cast<int>(rows.size() - groupAt - 1);
    return true;
}

bool TParser::Read(TParsedCatalog& out) {
    // A byte order mark more is passed over, as a JSON reader does.
    if (!FCp936 && FEnd - FAt >= 3 && std::memcmp(FAt, "\xEF\xBB\xBF", 3) == 0)
        FAt += 3;
    if (FCp936 && FAt < FEnd && static_cast<unsigned char>(*FAt) >= 0x80) {
        std::string first;
        const std::size_t used = AppendCp936Run(first, std::string_view(FAt, FEnd - FAt));
        if (first.starts_with("\xEF\xBB\xBF"))
            FAt += used > 0 && first.size() == 3 ? used : 0;
    }
    bool themes = false;
    if (!Space() || PeekToken() != '{')
        return false;
    const bool ok = Members([&](std::string_view key) {
        std::vector<TCatalogRecord>* list = key == "cursors"      ? &out.Cursors
                                            : key == "screensave" ? &out.ScreenSavers
                                                                  : nullptr;
        const bool isThemes = key == "themes";
        if (!list && !isThemes)
            return SkipValue();
        if (isThemes) {
            out.Themes.clear();
            out.ThemeItems = 0;
        } else {
            list->clear();
        }
        if (!Space())
            return false;
        const bool isArray = PeekToken() == '[';
        if (isThemes)
            themes = isArray;
        if (!isArray)
            return SkipValue();
        if (isThemes)
            return Elements([&] { return PeekToken() == '{' ? ThemeGroup(out) : SkipValue(); });
        const int tag = list == &out.Cursors ? tagCursor : tagScreenSave;
        return Elements([&] {
            if (PeekToken() == '{')
                return Item(*list, tag, false);
            TScalar value;
            if (!Scalar(value))
                return false;
            FSha256.clear();
            FSize = 0;
            NameText(value, FName);
            AddItem(*list, tag, FName, true);
            return true;
        });
    });
    return ok && themes && Space() && PeekToken() == -1;
}

} // namespace

bool ParseCatalog(std::string_view text, bool cp936, TParsedCatalog& out) {
    out = {};
    if (TParser(text, cp936).Read(out))
        return true;
    out = {};
    return false;
}

} // namespace velmora
