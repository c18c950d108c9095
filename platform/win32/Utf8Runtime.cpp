// The program's narrow strings are UTF-8 on every system. On Windows the C
// runtime's multibyte conversions follow the ANSI code page (the "C" locale
// of msvcrt even takes each byte as one character), and std::filesystem
// converts between narrow and wide names through them: "主题" built from
// UTF-8 would name a different file. These definitions replace the C
// runtime's for this program, so that every narrow <-> wide conversion of the
// standard library (paths, codecvt) is UTF-8 <-> UTF-16.
//
// Linked into every executable (see platform/CMakeLists.txt) so that they are
// found before the runtime's own.
#include <cwchar>

namespace {

// mbstate_t of msvcrt is an int: it keeps a pending high surrogate.
unsigned& Pending(mbstate_t* state) {
    static_assert(sizeof(mbstate_t) >= sizeof(unsigned));
    return *reinterpret_cast<unsigned*>(state);
}

} // namespace

extern "C" {

// Up to 4 bytes per UTF-16 unit pair; the standard library sizes its buffers
// by this.
// Both the function and its import pointer: a static library that calls the
// function directly (Qt's) must not pull in the runtime's own definition.
int __cdecl ___mb_cur_max_func() {
    return 4;
}
int(__cdecl* __imp____mb_cur_max_func)() = ___mb_cur_max_func;

size_t __cdecl mbrtowc(wchar_t* out, const char* in, size_t n, mbstate_t* state) {
    static mbstate_t internal{};
    if (!state)
        state = &internal;
    if (!in)
        return 0;
    if (n == 0)
        return static_cast<size_t>(-2);
    const auto c = static_cast<unsigned char>(in[0]);
    unsigned cp;
    size_t len;
    if (c < 0x80) {
        cp = c;
        len = 1;
    } else if (c >= 0xC2 && c <= 0xDF) {
        cp = c & 0x1F;
        len = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        cp = c & 0x0F;
        len = 3;
    } else {
        // Four-byte characters need two UTF-16 units, which one call cannot
        // give; they and invalid bytes are an encoding error.
        return static_cast<size_t>(-1);
    }
    for (size_t i = 1; i < len; ++i) {
        if (i >= n)
            return static_cast<size_t>(-2);
        const auto t = static_cast<unsigned char>(in[i]);
        if ((t & 0xC0) != 0x80)
            return static_cast<size_t>(-1);
        cp = (cp << 6) | (t & 0x3F);
    }
    if ((len == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))))
        return static_cast<size_t>(-1);
    if (out)
        *out = static_cast<wchar_t>(cp);
    Pending(state) = 0;
    return cp == 0 ? 0 : len;
}

size_t __cdecl wcrtomb(char* out, wchar_t wc, mbstate_t* state) {
    static mbstate_t internal{};
    if (!state)
        state = &internal;
    char scratch[8];
    if (!out) {
        out = scratch;
        wc = L'\0';
    }
    unsigned cp = static_cast<unsigned>(wc) & 0xFFFF;
    unsigned& pending = Pending(state);
    if (cp >= 0xD800 && cp <= 0xDBFF) {
        if (pending)
            return static_cast<size_t>(-1);
        pending = cp;
        return 0;
    }
    if (cp >= 0xDC00 && cp <= 0xDFFF) {
        if (!pending)
            return static_cast<size_t>(-1);
        cp = 0x10000 + ((pending - 0xD800) << 10) + (cp - 0xDC00);
        pending = 0;
    } else if (pending) {
        return static_cast<size_t>(-1);
    }
    if (cp < 0x80) {
        out[0] = static_cast<char>(cp);
        return 1;
    }
    if (cp < 0x800) {
        out[0] = static_cast<char>(0xC0 | (cp >> 6));
        out[1] = static_cast<char>(0x80 | (cp & 0x3F));
        return 2;
    }
    if (cp < 0x10000) {
        out[0] = static_cast<char>(0xE0 | (cp >> 12));
        out[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out[2] = static_cast<char>(0x80 | (cp & 0x3F));
        return 3;
    }
    out[0] = static_cast<char>(0xF0 | (cp >> 18));
    out[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out[3] = static_cast<char>(0x80 | (cp & 0x3F));
    return 4;
}

// The rest of the runtime's multibyte family lives beside its mbrtowc in one
// object; defining them here keeps that object (and its second mbrtowc) out.
size_t __cdecl mbrlen(const char* in, size_t n, mbstate_t* state) {
    static mbstate_t internal{};
    return mbrtowc(nullptr, in, n, state ? state : &internal);
}

size_t __cdecl mbsrtowcs(wchar_t* out, const char** in, size_t len, mbstate_t* state) {
    static mbstate_t internal{};
    if (!state)
        state = &internal;
    const char* s = *in;
    size_t written = 0;
    while (!out || written < len) {
        wchar_t wc = 0;
        const size_t n = mbrtowc(&wc, s, 4, state);
        if (n == static_cast<size_t>(-1) || n == static_cast<size_t>(-2)) {
            if (out)
                *in = s;
            return static_cast<size_t>(-1);
        }
        if (out)
            out[written] = wc;
        if (n == 0) {
            if (out)
                *in = nullptr;
            return written;
        }
        s += n;
        ++written;
    }
    *in = s;
    return written;
}

} // extern "C"
