#include "platform/desktop/XcursorTheme.h"

#include <X11/Xcursor/Xcursor.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <system_error>

namespace velmora::desktop {
namespace fs = std::filesystem;

// The X names first; then the CSS cursor names; then the hash names older
// toolkits ask for.
const std::array<TXcursorRole, 15> XcursorRoles = {{
    {"Arrow", "left_ptr", {"default", "arrow", "top_left_arrow", "left_arrow"}},
    {"Help",
     "question_arrow",
     {"help", "whats_this", "left_ptr_help", "d9ce0ab605698f320427677b458ad60b",
      "5c6cd98b3f3ebcb1f9c7f1c204630408"}},
    {"AppStarting",
     "left_ptr_watch",
     {"progress", "half-busy", "3ecb610c1bf2410f44200f48c40d3599",
      "08e8e1c95fe2fc01f976f1e063a24ccd", "00000000000000020006000e7e9ffc3f"}},
    {"Wait", "watch", {"wait", "clock"}},
    {"Crosshair", "crosshair", {"cross", "tcross", "cross_reverse", "diamond_cross"}},
    {"IBeam", "xterm", {"text", "ibeam"}},
    {"Hand",
     "hand2",
     {"pointer", "hand", "hand1", "pointing_hand", "e29285e634086352946a0e7090d73106",
      "9d800788f1b08800ae810202380a0822"}},
    {"No",
     "crossed_circle",
     {"not-allowed", "no-drop", "forbidden", "circle", "dnd-no-drop",
      "03b6e0fcb3499374a867c041f52298f0"}},
    {"SizeNS",
     "sb_v_double_arrow",
     {"ns-resize", "row-resize", "size_ver", "v_double_arrow", "n-resize", "s-resize", "top_side",
      "bottom_side", "split_v", "00008160000006810000408080010102",
      "2870a09082c103050810ffdffffe0204"}},
    {"SizeWE",
     "sb_h_double_arrow",
     {"ew-resize", "col-resize", "size_hor", "h_double_arrow", "e-resize", "w-resize", "left_side",
      "right_side", "split_h", "028006030e0e7ebffc7f7070c0600140",
      "14fef782d02440884392942c11205230"}},
    {"SizeNWSE",
     "bd_double_arrow",
     {"nwse-resize", "size_fdiag", "nw-resize", "se-resize", "top_left_corner",
      "bottom_right_corner", "c7088f0f3e6c8088236ef8e1e3e70000"}},
    {"SizeNESW",
     "fd_double_arrow",
     {"nesw-resize", "size_bdiag", "ne-resize", "sw-resize", "top_right_corner",
      "bottom_left_corner", "fcf1c3c7cd4491d801f1e1c78f100000"}},
    {"SizeAll",
     "fleur",
     {"move", "all-scroll", "size_all", "4498f0e0c1937ffe01fd06f973665830",
      "9081237383d90e509aa00f00170e968f"}},
    {"NWPen", "pencil", {"draft"}},
    {"UpArrow", "center_ptr", {"up_arrow", "sb_up_arrow"}},
}};

namespace {

constexpr const char* PreviousKey = "X-Velmora-Previous=";

int NominalOf(const TCursorImage& image) {
    return std::max(image.Width, image.Height);
}

// Nearest neighbour keeps the hard pixel edges of cursor art.
TCursorImage Scaled(const TCursorImage& src, int num, int den) {
    TCursorImage out;
    out.Width = src.Width * num / den;
    out.Height = src.Height * num / den;
    out.HotX = std::min(src.HotX * num / den, out.Width - 1);
    out.HotY = std::min(src.HotY * num / den, out.Height - 1);
    out.Pixels.resize(static_cast<std::size_t>(out.Width) * out.Height);
    for (int y = 0; y < out.Height; ++y)
        for (int x = 0; x < out.Width; ++x)
            out.Pixels[static_cast<std::size_t>(y) * out.Width + x] =
                src.Pixels[static_cast<std::size_t>(y * den / num) * src.Width + x * den / num];
    return out;
}

// The frame's image of a nominal size, or the closest one.
const TCursorImage& ImageOfSize(const std::vector<TCursorImage>& frame, int nominal) {
    const TCursorImage* best = &frame.front();
    for (const TCursorImage& image : frame)
        if (std::abs(NominalOf(image) - nominal) < std::abs(NominalOf(*best) - nominal))
            best = &image;
    return *best;
}

std::string ReadText(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteText(const fs::path& file, const std::string& text) {
    const fs::path tmp = file.string() + ".tmp";
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        out << text;
        out.flush();
        if (!out)
            throw std::runtime_error("cannot write \"" + file.string() + "\"");
    }
    fs::rename(tmp, file);
}

std::optional<std::string> RecordedPrevious(const fs::path& themeDir) {
    std::istringstream in(ReadText(themeDir / "index.theme"));
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.rfind(PreviousKey, 0) == 0)
            return line.substr(std::char_traits<char>::length(PreviousKey));
    }
    return std::nullopt;
}

std::string IndexTheme(const std::string& name, const std::string& previous) {
    std::string text =
        "[Icon Theme]\nName=" + name + "\nComment=Windows cursor scheme converted by Velmora\n";
    // Roles the scheme leaves out come from the theme it replaces.
    if (!previous.empty())
        text += "Inherits=" + previous + "\n";
    return text + PreviousKey + previous + "\n";
}

std::string Temporary(const fs::path& iconsDir, const std::string& name, const char* what) {
    return (iconsDir / ("." + name + "." + what + "-" + std::to_string(getpid()))).string();
}

} // namespace

std::vector<TXcursorImage> XcursorImagesOf(const TDecodedCursor& cursor) {
    if (cursor.Frames.empty() || cursor.Steps.empty())
        throw std::runtime_error("cursor has no pictures");
    std::set<int> sizes;
    for (const auto& frame : cursor.Frames)
        for (const TCursorImage& image : frame)
            sizes.insert(NominalOf(image));

    std::vector<TXcursorImage> out;
    auto addSize = [&](int nominal, int num, int den) {
        for (const TCursorStep& step : cursor.Steps) {
            const TCursorImage& source =
                ImageOfSize(cursor.Frames[step.Frame], nominal * den / num);
            TXcursorImage x;
            x.NominalSize = nominal;
            x.DelayMs = (step.Jiffies * 1000 + 30) / 60;
            x.Image = num == den ? source : Scaled(source, num, den);
            out.push_back(std::move(x));
        }
    };
    for (int nominal : sizes)
        addSize(nominal, 1, 1);
    if (sizes.size() == 1) {
        const int base = *sizes.begin();
        addSize(base * 3 / 2, 3, 2);
        addSize(base * 2, 2, 1);
    }
    return out;
}

void WriteXcursorFile(const std::vector<TXcursorImage>& images, const fs::path& file) {
    std::unique_ptr<XcursorImages, decltype(&XcursorImagesDestroy)> set(
        XcursorImagesCreate(static_cast<int>(images.size())), &XcursorImagesDestroy);
    if (!set)
        throw std::runtime_error("out of memory for the cursor images");
    for (const TXcursorImage& x : images) {
        XcursorImage* image = XcursorImageCreate(x.Image.Width, x.Image.Height);
        if (!image)
            throw std::runtime_error("out of memory for a cursor image");
        set->images[set->nimage++] = image;
        image->size = static_cast<XcursorDim>(x.NominalSize);
        image->xhot = static_cast<XcursorDim>(x.Image.HotX);
        image->yhot = static_cast<XcursorDim>(x.Image.HotY);
        image->delay = x.DelayMs;
        std::copy(x.Image.Pixels.begin(), x.Image.Pixels.end(), image->pixels);
    }
    const fs::path tmp = file.string() + ".tmp";
    FILE* out = std::fopen(tmp.c_str(), "wb");
    if (!out)
        throw std::runtime_error("cannot create \"" + tmp.string() + "\"");
    const bool saved = XcursorFileSaveImages(out, set.get()) == XcursorTrue;
    const bool closed = std::fclose(out) == 0;
    if (!saved || !closed) {
        std::error_code ec;
        fs::remove(tmp, ec);
        throw std::runtime_error("cannot write \"" + file.string() + "\"");
    }
    fs::rename(tmp, file);
}

bool IsUsableThemeName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.front() != '.' &&
           name.find_first_of("/\\\n\r") == std::string::npos;
}

TThemeWritten WriteXcursorTheme(const fs::path& iconsDir, const std::string& name,
                                const std::vector<TRoleFile>& roles,
                                const std::string& previousTheme) {
    if (!IsUsableThemeName(name))
        throw std::runtime_error("\"" + name + "\" cannot be a cursor theme name");
    const fs::path final = iconsDir / name;
    std::error_code ec;
    if (fs::exists(fs::symlink_status(final, ec)) && !PreviousThemeOf(iconsDir, name))
        throw std::runtime_error("\"" + final.string() +
                                 "\" belongs to another cursor or icon theme; it is left alone");

    const fs::path work = Temporary(iconsDir, name, "new");
    fs::remove_all(work, ec);
    fs::create_directories(work / "cursors");
    TThemeWritten written;
    try {
        for (const TXcursorRole& role : XcursorRoles) {
            auto it = std::find_if(roles.begin(), roles.end(), [&](const TRoleFile& r) {
                return r.ValueName == role.ValueName;
            });
            if (it == roles.end() || it->File.empty())
                continue;
            try {
                std::ifstream in(it->File, std::ios::binary);
                if (!in)
                    throw ECursorFormat("the file cannot be opened");
                const std::string bytes((std::istreambuf_iterator<char>(in)),
                                        std::istreambuf_iterator<char>());
                WriteXcursorFile(XcursorImagesOf(DecodeCursorFile(bytes)),
                                 work / "cursors" / role.XName);
            } catch (const std::exception& e) {
                written.Problems.push_back(std::string(role.ValueName) + " (" +
                                           it->File.filename().string() + "): " + e.what());
                continue;
            }
            for (const char* alias : role.Aliases)
                fs::create_symlink(role.XName, work / "cursors" / alias);
            ++written.Converted;
        }
        WriteText(work / "index.theme", IndexTheme(name, previousTheme));

        const fs::path old = Temporary(iconsDir, name, "old");
        fs::remove_all(old, ec);
        if (fs::exists(final, ec))
            fs::rename(final, old);
        fs::rename(work, final);
        fs::remove_all(old, ec);
    } catch (...) {
        fs::remove_all(work, ec);
        throw;
    }
    return written;
}

std::optional<std::string> PreviousThemeOf(const fs::path& iconsDir, const std::string& name) {
    if (!IsUsableThemeName(name))
        return std::nullopt;
    return RecordedPrevious(iconsDir / name);
}

std::optional<std::string> RemoveXcursorTheme(const fs::path& iconsDir, const std::string& name) {
    std::optional<std::string> previous = PreviousThemeOf(iconsDir, name);
    if (!previous)
        return std::nullopt;
    std::error_code ec;
    fs::remove_all(iconsDir / name, ec);
    if (ec)
        return std::nullopt;
    // Keep the chain of previous themes whole.
    for (const auto& entry : fs::directory_iterator(iconsDir, ec)) {
        const std::string other = entry.path().filename().string();
        if (PreviousThemeOf(iconsDir, other) != name)
            continue;
        std::string text = ReadText(entry.path() / "index.theme");
        const std::string from = PreviousKey + name + "\n";
        const std::string inherit = "Inherits=" + name + "\n";
        if (auto at = text.find(from); at != std::string::npos)
            text.replace(at, from.size(), PreviousKey + *previous + "\n");
        if (auto at = text.find(inherit); at != std::string::npos)
            text.replace(at, inherit.size(),
                         previous->empty() ? std::string() : "Inherits=" + *previous + "\n");
        try {
            WriteText(entry.path() / "index.theme", text);
        } catch (const std::exception&) {
            // The other theme keeps a stale record; switching back to a
            // missing theme falls to the toolkit's default.
        }
    }
    return previous;
}

} // namespace velmora::desktop
