// velmora-demo: writes the demo catalogue folder, laid out as the catalogue
// server's paths, with real packages: theme ZIPs with a .theme file and its
// wallpaper, one theme pack (a cabinet), cursor schemes with .cur and .ani
// files and a setup.inf, screen savers, and 400 x 300 JPEG previews. Beside
// the catalogue it writes the answers of the three image-search services for
// a few keywords, in each service's own page format, with JPEG thumbnails and
// full pictures of several sizes that `velmora-tool serve` serves with them.
//
//   velmora-demo DIR [--base URL]
//
// URL is where the folder will be served (the pictures' addresses in the
// result pages); the build's catalogue server base by default.
#include "install/CodePage.h"
#include "install/uPubFunc.h"
#include "tools/ServicePages.h"

#include <QBuffer>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>

#include <libgcab.h>
#include <zip.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using velmora::Utf8ToCp936;

namespace {

struct TTheme {
    const char* Name;
    bool IsZip;
    QColor From, To;
};

struct TGroup {
    const char* Title;
    std::vector<TTheme> Themes;
};

const std::vector<TGroup> Groups = {
    {"风景", {{"山水之间", true, {40, 110, 160}, {170, 210, 230}},
              {"秋日森林", true, {150, 70, 20}, {240, 190, 90}},
              {"海边日落", false, {230, 100, 60}, {60, 40, 110}}}},
    {"动漫", {{"星空少女", true, {20, 20, 70}, {120, 80, 170}}}},
    {"简约", {{"纯色时光", true, {90, 90, 90}, {220, 220, 220}}}},
};
const std::vector<const char*> Cursors = {"水晶指针", "极简黑白"};
const std::vector<const char*> Savers = {"星空漫游", "时钟"};

void WriteBytes(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
}

std::string Encode(const QImage& image, const char* format, int quality = 85) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, format, quality))
        throw std::runtime_error(std::string("cannot encode ") + format);
    return bytes.toStdString();
}

QImage Picture(int w, int h, const QColor& from, const QColor& to, const QString& caption) {
    QImage image(w, h, QImage::Format_RGB32);
    QPainter p(&image);
    QLinearGradient g(0, 0, w, h);
    g.setColorAt(0, from);
    g.setColorAt(1, to);
    p.fillRect(image.rect(), g);
    p.setPen(QColor(255, 255, 255, 60));
    for (int i = 0; i < 12; ++i)
        p.drawEllipse(QPoint(w * (i * 37 % 100) / 100, h * (i * 53 % 100) / 100), w / 8, w / 8);
    QFont font("Noto Sans CJK SC");
    font.setPixelSize(h / 9);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(image.rect(), Qt::AlignCenter, caption);
    return image;
}

// A ZIP archive written with libzip; entries in the order they are added.
class TZipWriter {
public:
    explicit TZipWriter(const fs::path& path) {
        fs::create_directories(path.parent_path());
        int error = 0;
        FZip = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
        if (!FZip)
            throw std::runtime_error("cannot create " + path.string());
    }
    ~TZipWriter() {
        if (FZip)
            zip_discard(FZip);
    }
    void Add(const std::string& name, std::string bytes) {
        FKeep.push_back(std::move(bytes));
        zip_source_t* src = zip_source_buffer(FZip, FKeep.back().data(), FKeep.back().size(), 0);
        if (!src || zip_file_add(FZip, name.c_str(), src, ZIP_FL_ENC_UTF_8) < 0)
            throw std::runtime_error("cannot add " + name);
    }
    void Close() {
        if (zip_close(FZip) != 0)
            throw std::runtime_error(zip_strerror(FZip));
        FZip = nullptr;
    }

private:
    zip_t* FZip = nullptr;
    std::vector<std::string> FKeep; // libzip reads the buffers at close
};

void Put16(std::string& b, std::uint16_t v) {
    b.push_back(static_cast<char>(v & 0xFF));
    b.push_back(static_cast<char>(v >> 8));
}
void Put32(std::string& b, std::uint32_t v) {
    Put16(b, static_cast<std::uint16_t>(v & 0xFFFF));
    Put16(b, static_cast<std::uint16_t>(v >> 16));
}

// A 32 x 32 cursor (.cur): an icon directory of type 2 holding one 32-bit DIB
// with its AND mask. `shape` draws the picture; hot spot in pixels.
std::string CurFile(const QImage& shape, int hotX, int hotY) {
    QImage img = shape.convertToFormat(QImage::Format_ARGB32).scaled(32, 32);
    std::string dib;
    Put32(dib, 40);
    Put32(dib, 32);
    Put32(dib, 64); // XOR and AND halves
    Put16(dib, 1);
    Put16(dib, 32);
    for (int i = 0; i < 6; ++i)
        Put32(dib, 0);
    for (int y = 31; y >= 0; --y)
        for (int x = 0; x < 32; ++x)
            Put32(dib, img.pixel(x, y));
    for (int y = 31; y >= 0; --y) // AND mask: transparent where alpha is 0
        for (int byte = 0; byte < 4; ++byte) {
            unsigned char bits = 0;
            for (int bit = 0; bit < 8; ++bit)
                if (qAlpha(img.pixel(byte * 8 + bit, y)) == 0)
                    bits |= static_cast<unsigned char>(0x80 >> bit);
            dib.push_back(static_cast<char>(bits));
        }
    std::string cur;
    Put16(cur, 0);
    Put16(cur, 2);
    Put16(cur, 1);
    cur.push_back(32);
    cur.push_back(32);
    cur.push_back(0);
    cur.push_back(0);
    Put16(cur, static_cast<std::uint16_t>(hotX));
    Put16(cur, static_cast<std::uint16_t>(hotY));
    Put32(cur, static_cast<std::uint32_t>(dib.size()));
    Put32(cur, 22);
    return cur + dib;
}

std::string Chunk(const char* id, const std::string& body) {
    std::string c(id, 4);
    Put32(c, static_cast<std::uint32_t>(body.size()));
    c += body;
    if (body.size() & 1)
        c.push_back('\0');
    return c;
}

// An animated cursor (.ani): RIFF "ACON" with its header and frames.
std::string AniFile(const std::vector<std::string>& frames, int jiffies) {
    std::string anih;
    Put32(anih, 36);
    Put32(anih, static_cast<std::uint32_t>(frames.size())); // frames
    Put32(anih, static_cast<std::uint32_t>(frames.size())); // steps
    Put32(anih, 0);
    Put32(anih, 0);
    Put32(anih, 0);
    Put32(anih, 0);
    Put32(anih, static_cast<std::uint32_t>(jiffies));
    Put32(anih, 1); // AF_ICON: frames are icon directories
    std::string list = "fram";
    for (const auto& f : frames)
        list += Chunk("icon", f);
    std::string body = "ACON" + Chunk("anih", anih) + Chunk("LIST", list);
    std::string riff = "RIFF";
    Put32(riff, static_cast<std::uint32_t>(body.size()));
    return riff + body;
}

QImage Arrow(const QColor& fill) {
    QImage img(32, 32, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    const QPointF pts[] = {{1, 1}, {1, 24}, {7, 18}, {12, 29}, {16, 27}, {11, 17}, {19, 17}};
    p.setPen(QPen(Qt::black, 1.2));
    p.setBrush(fill);
    p.drawPolygon(pts, 7);
    return img;
}

QImage Ring(double angle, const QColor& color) {
    QImage img(32, 32, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(color, 4));
    p.drawArc(QRectF(4, 4, 24, 24), static_cast<int>(angle * 16), 270 * 16);
    return img;
}

QImage Cross(const QColor& color, bool beam) {
    QImage img(32, 32, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setPen(QPen(color, 2));
    p.drawLine(16, 4, 16, 28);
    if (!beam)
        p.drawLine(4, 16, 28, 16);
    else {
        p.drawLine(12, 4, 20, 4);
        p.drawLine(12, 28, 20, 28);
    }
    return img;
}

// A theme file as theme editors write them; cursors is a ready
// "[Control Panel\Cursors]" section or empty.
std::string ThemeFile(const std::string& name, const std::string& wallpaper,
                      const std::string& cursors = "") {
    return "; " + name + "\r\n[Theme]\r\nDisplayName=" + name +
           "\r\n\r\n[Control Panel\\Desktop]\r\nWallpaper=" + wallpaper +
           "\r\nTileWallpaper=0\r\nWallpaperStyle=10\r\nPattern=\r\n\r\n" + cursors +
           "[VisualStyles]\r\nPath=%SystemRoot%\\resources\\themes\\Aero\\Aero.msstyles\r\n"
           "ColorStyle=NormalColor\r\nSize=NormalSize\r\n\r\n"
           "[MasterThemeSelector]\r\nMTSM=DABJDKT\r\n";
}

// Names in the mixed case real packages have: the theme file spells them
// otherwise than the files on disk, as Windows does not mind.
void WriteThemeZip(const fs::path& path, const TTheme& t, bool withCursors) {
    const std::string name = t.Name;
    const std::string dir = "%WINDIR%\\Resources\\Themes\\" + name + "\\";
    TZipWriter zip(path);
    std::string cursors;
    if (withCursors)
        cursors = "[Control Panel\\Cursors]\r\nDefaultValue=" + name + "\r\nArrow=" + dir +
                  "cursors\\arrow.cur\r\nHelp=" + dir + "cursors\\HELP.CUR\r\n\r\n";
    zip.Add(name + ".theme", Utf8ToCp936(ThemeFile(name, dir + "wallpaper.JPG", cursors)));
    zip.Add(name + "/Wallpaper.jpg", Encode(Picture(1024, 768, t.From, t.To, t.Name), "JPEG"));
    if (withCursors) {
        zip.Add(name + "/Cursors/Arrow.CUR", CurFile(Arrow(t.To.lighter(130)), 1, 1));
        zip.Add(name + "/Cursors/Help.cur", CurFile(Arrow(t.From.lighter(160)), 1, 1));
    }
    zip.Close();
}

void WriteThemePack(const fs::path& path, const TTheme& t) {
    const std::string name = t.Name;
    GCabCabinet* cab = gcab_cabinet_new();
    GCabFolder* folder = gcab_folder_new(GCAB_COMPRESSION_MSZIP);
    auto add = [&](const std::string& entry, const std::string& bytes) {
        GBytes* data = g_bytes_new(bytes.data(), bytes.size());
        GCabFile* file = gcab_file_new_with_bytes(entry.c_str(), data);
        gcab_folder_add_file(folder, file, FALSE, nullptr, nullptr);
        g_object_unref(file);
        g_bytes_unref(data);
    };
    add(name + ".theme", Utf8ToCp936(ThemeFile(name, "DesktopBackground\\" + name + ".JPG")));
    add("DesktopBackground\\" + name + ".jpg", Encode(Picture(1024, 768, t.From, t.To, t.Name), "JPEG"));
    gcab_cabinet_add_folder(cab, folder, nullptr);
    fs::create_directories(path.parent_path());
    GFile* out = g_file_new_for_path(path.c_str());
    GError* error = nullptr;
    GFileOutputStream* stream = g_file_replace(out, nullptr, FALSE, G_FILE_CREATE_NONE, nullptr, &error);
    bool ok = stream && gcab_cabinet_write_simple(cab, G_OUTPUT_STREAM(stream), nullptr, nullptr, nullptr, &error);
    if (stream) {
        g_output_stream_close(G_OUTPUT_STREAM(stream), nullptr, nullptr);
        g_object_unref(stream);
    }
    g_object_unref(out);
    g_object_unref(folder);
    g_object_unref(cab);
    if (!ok) {
        std::string why = error ? error->message : "unknown error";
        g_clear_error(&error);
        throw std::runtime_error("cannot write theme pack: " + why);
    }
}

void WriteCursorZip(const fs::path& path, const std::string& name, const QColor& color) {
    TZipWriter zip(path);
    std::vector<std::string> busy, work;
    for (int i = 0; i < 8; ++i) {
        busy.push_back(CurFile(Ring(i * 45.0, color), 16, 16));
        QImage w = Arrow(color);
        QPainter(&w).drawImage(14, 14, Ring(i * 45.0, color).scaled(18, 18));
        work.push_back(CurFile(w, 1, 1));
    }
    // Mixed-case names, as real packages have them: the installer lowers what
    // [Strings] names and Windows finds the files all the same.
    zip.Add("Pointer.CUR", CurFile(Arrow(color), 1, 1));
    zip.Add("Help.cur", CurFile(Arrow(color.lighter(140)), 1, 1));
    zip.Add("Working.ANI", AniFile(work, 6));
    zip.Add("Busy.ani", AniFile(busy, 6));
    zip.Add("Cross.Cur", CurFile(Cross(color, false), 16, 16));
    zip.Add("TEXT.CUR", CurFile(Cross(color, true), 16, 16));
    // The [Strings] section names each role's file; the rest is the usual
    // installer boilerplate of such a file.
    std::string inf =
        "[Version]\r\nsignature=\"$CHICAGO$\"\r\n\r\n"
        "[DefaultInstall]\r\nCopyFiles = Scheme.Cur\r\nAddReg = Scheme.Reg\r\n\r\n"
        "[DestinationDirs]\r\nScheme.Cur = 10,\"%CUR_DIR%\"\r\n\r\n"
        "[Scheme.Cur]\r\nPointer.CUR\r\nHelp.cur\r\nWorking.ANI\r\nBusy.ani\r\nCross.Cur\r\nTEXT.CUR\r\n\r\n"
        "[Strings]\r\nCUR_DIR = \"Cursors\\" + name + "\"\r\nSCHEME_NAME = \"" + name +
        "\"\r\npointer = \"Pointer.CUR\"\r\nhelp = \"Help.cur\"\r\nwork = \"Working.ANI\"\r\n"
        "busy = \"Busy.ani\"\r\nCross = \"Cross.Cur\"\r\nText = \"TEXT.CUR\"\r\n";
    zip.Add("Setup.inf", Utf8ToCp936(inf));
    zip.Close();
}

void WriteScreenSaverZip(const fs::path& path, const std::string& name) {
    TZipWriter zip(path);
    // The simulated Windows only records that a screen saver starts; the file
    // is a placeholder with the executable signature.
    zip.Add(name + ".Scr", std::string("MZ") + std::string(126, '\0') + "Velmora demo screen saver: " + name);
    zip.Close();
}

std::string Html(const std::string& title, const std::string& body, const char* background) {
    return "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>" + title +
           "</title></head><body style=\"margin:0;background:" + background +
           ";font:14px sans-serif;color:#fff\">" + body + "</body></html>";
}

// --- The search services' answers -------------------------------------------

struct TKeyword {
    const char* Text;
    const char* Slug;   // the pictures' file names
    bool Night;         // city lights instead of landscapes
    int Pictures;       // distinct pictures
    int BaiduResults;   // Baidu's listNum; its pages hold 15 each
    int SogouResults;   // Sogou pages: odd ones in layout A, even ones in layout B
    int YoudaoResults;
};

const std::vector<TKeyword> DemoKeywords = {
    {"风景", "landscape", false, 40, 40, 38, 26},
    {"城市 夜景", "city", true, 12, 20, 20, 20},
};

// Full pictures come in these sizes, in turn.
const QSize PictureSizes[] = {{1920, 1080}, {1280, 800}, {1024, 768},
                        {1600, 1200}, {1440, 900}, {2560, 1600}};

constexpr int PerPage = 15;
constexpr int ThumbWidth = 200;

// The picture's caption in its lower right corner.
void DrawCaption(QPainter& p, const QRect& area, const QString& caption) {
    const int h = area.height();
    QFont font("Noto Sans CJK SC");
    font.setPixelSize(std::max(10, h / 14));
    p.setFont(font);
    p.setPen(QColor(255, 255, 255, 220));
    p.drawText(area.adjusted(0, 0, -h / 30, -h / 40), Qt::AlignRight | Qt::AlignBottom, caption);
}

// Hills under a sky whose colours turn with the picture's number.
QImage Landscape(int w, int h, int n, const QString& caption) {
    QImage image(w, h, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const int hue = (n * 37) % 360;
    QLinearGradient sky(0, 0, 0, h);
    sky.setColorAt(0, QColor::fromHsv(hue, 120, 230));
    sky.setColorAt(1, QColor::fromHsv((hue + 30) % 360, 60, 255));
    p.fillRect(image.rect(), sky);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 240, 200, 200));
    p.drawEllipse(QPointF(w * (0.2 + 0.6 * ((n * 7) % 10) / 10.0), h * 0.25), h * 0.08, h * 0.08);
    for (int layer = 0; layer < 3; ++layer) {
        QPolygonF hill;
        hill << QPointF(0, h);
        const double base = h * (0.55 + 0.12 * layer);
        for (int i = 0; i <= 8; ++i) {
            const double wave = std::sin(i * 1.3 + n + layer * 2.1) * h * 0.08;
            hill << QPointF(w * i / 8.0, base + wave);
        }
        hill << QPointF(w, h);
        p.setBrush(QColor::fromHsv((hue + 90 + layer * 15) % 360, 110 + layer * 40, 170 - layer * 45));
        p.drawPolygon(hill);
    }
    DrawCaption(p, image.rect(), caption);
    return image;
}

// A skyline with lit windows under a night sky.
QImage NightCity(int w, int h, int n, const QString& caption) {
    QImage image(w, h, QImage::Format_RGB32);
    QPainter p(&image);
    QLinearGradient sky(0, 0, 0, h);
    sky.setColorAt(0, QColor(10, 10, 40 + (n * 13) % 60));
    sky.setColorAt(1, QColor(60 + (n * 29) % 80, 40, 90));
    p.fillRect(image.rect(), sky);
    std::uint32_t seed = 2166136261u ^ static_cast<std::uint32_t>(n);
    auto next = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    for (double x = 0; x < w;) {
        const double bw = w * (0.05 + (next() % 60) / 1000.0);
        const double bh = h * (0.25 + (next() % 45) / 100.0);
        p.fillRect(QRectF(x, h - bh, bw, bh), QColor(20, 20, 30));
        const double cell = std::max(4.0, w / 160.0);
        for (double wy = h - bh + cell; wy < h - cell; wy += cell * 2)
            for (double wx = x + cell; wx < x + bw - cell; wx += cell * 2)
                if (next() % 3 == 0)
                    p.fillRect(QRectF(wx, wy, cell, cell), QColor(255, 210, 120));
        x += bw + w * 0.005;
    }
    DrawCaption(p, image.rect(), caption);
    return image;
}

std::string PageFile(const fs::path& dir, const char* service, const std::string& keyword, int page) {
    return (dir / "search" / service / keyword / (std::to_string(page) + ".html")).string();
}

int PageCount(int results) {
    return (results + PerPage - 1) / PerPage;
}

// Sogou's bar: links for the other pages, the current one a bare number.
// Layout A writes "[n]" link texts; layout B spaces its items with &nbsp;
// and marks the current page <strong>.
std::string SogouBar(const std::string& escaped, int current, int pages, bool layoutA) {
    auto link = [&](int page, const std::string& text) {
        return "<a href=\"/pics?query=" + escaped + "&amp;mode=5&amp;page=" + std::to_string(page) +
               "\">" + text + "</a>";
    };
    const std::string gap = layoutA ? " " : "&nbsp;\t\r\n";
    std::string bar;
    if (current > 1)
        bar += link(current - 1, "上一页") + gap;
    for (int page = 1; page <= pages; ++page) {
        const std::string number = std::to_string(page);
        if (page == current)
            bar += layoutA ? number : "<strong>" + number + "</strong>";
        else
            bar += link(page, layoutA ? "[" + number + "]" : number);
        bar += gap;
    }
    if (current < pages)
        bar += link(current + 1, "下一页");
    return bar;
}

// Youdao's bar carries the keyword as it reads, in its links' query.
std::string YoudaoBar(const std::string& keyword, int current, int pages) {
    auto link = [&](int page, const std::string& text) {
        return "<a href=\"/search?q=" + keyword + "&amp;start=" + std::to_string((page - 1) * PerPage) +
               "\">" + text + "</a>";
    };
    std::string bar;
    if (current > 1)
        bar += link(current - 1, "上一页");
    for (int page = 1; page <= pages; ++page)
        bar += page == current ? "<span class=\"current-page\">" + std::to_string(page) + "</span>"
                               : link(page, std::to_string(page));
    if (current < pages)
        bar += link(current + 1, "下一页");
    return bar;
}

void GenerateSearch(const fs::path& dir, const std::string& base) {
    using velmora::pages::TPageItem;
    for (const TKeyword& k : DemoKeywords) {
        const std::string keyword = k.Text;
        std::vector<TPageItem> pool;
        for (int n = 0; n < k.Pictures; ++n) {
            const QSize size = PictureSizes[n % std::size(PictureSizes)];
            char name[64];
            std::snprintf(name, sizeof name, "%s-%02d.jpg", k.Slug, n + 1);
            const QString caption = QString::fromUtf8(k.Text) + QString(" %1  %2x%3").arg(n + 1).arg(size.width()).arg(size.height());
            const QImage full = k.Night ? NightCity(size.width(), size.height(), n, caption)
                                        : Landscape(size.width(), size.height(), n, caption);
            WriteBytes(dir / "wallpaper/full" / name, Encode(full, "JPEG", 88));
            const int thumbHeight = ThumbWidth * size.height() / size.width();
            WriteBytes(dir / "wallpaper/thumb" / name,
                       Encode(full.scaled(ThumbWidth, thumbHeight, Qt::IgnoreAspectRatio,
                                          Qt::SmoothTransformation),
                              "JPEG", 85));
            pool.push_back({base + "/wallpaper/thumb/" + name, base + "/wallpaper/full/" + name,
                            keyword + " " + std::to_string(n + 1), size.width(), size.height()});
        }
        // The results of a service, page by page; each service starts at
        // another picture so that the three do not look alike.
        auto results = [&](int total, int page, int shift) {
            std::vector<TPageItem> items;
            for (int i = (page - 1) * PerPage; i < std::min(total, page * PerPage); ++i)
                items.push_back(pool[static_cast<std::size_t>((i + shift) % k.Pictures)]);
            return items;
        };
        for (int page = 1; page <= PageCount(k.BaiduResults); ++page)
            WriteBytes(PageFile(dir, "baidu", keyword, page),
                       velmora::pages::BaiduPage(
                           velmora::pages::BaiduLiteral(k.BaiduResults, results(k.BaiduResults, page, 0), keyword),
                           keyword));
        const std::string escaped = velmora::UrlEncode(keyword, false);
        const int sogouPages = PageCount(k.SogouResults);
        for (int page = 1; page <= sogouPages; ++page) {
            std::vector<std::string> blocks;
            int id = page * 100;
            for (const TPageItem& item : results(k.SogouResults, page, 5))
                blocks.push_back(velmora::pages::SogouItem(item, id++));
            const bool layoutA = page % 2 == 1;
            const std::string bar = SogouBar(escaped, page, sogouPages, layoutA);
            WriteBytes(PageFile(dir, "sogou", keyword, page),
                       layoutA ? velmora::pages::SogouPageA(bar, blocks, keyword)
                               : velmora::pages::SogouPageB(bar, blocks, keyword));
        }
        const int youdaoPages = PageCount(k.YoudaoResults);
        for (int page = 1; page <= youdaoPages; ++page) {
            std::vector<std::string> blocks;
            int id = page * 100;
            for (const TPageItem& item : results(k.YoudaoResults, page, 11))
                blocks.push_back(velmora::pages::YoudaoItem(item, id++));
            WriteBytes(PageFile(dir, "youdao", keyword, page),
                       velmora::pages::YoudaoPage(YoudaoBar(keyword, page, youdaoPages), blocks, keyword));
        }
    }
    // What a keyword without pictures gets.
    WriteBytes(dir / "search/baidu/empty.html",
               velmora::pages::BaiduPage(velmora::pages::BaiduLiteral(0, {}, ""), ""));
    WriteBytes(dir / "search/sogou/empty.html", velmora::pages::SogouPageB("", {}, ""));
    WriteBytes(dir / "search/youdao/empty.html", velmora::pages::YoudaoPage("", {}, ""));
}

void Generate(const fs::path& dir) {
    const fs::path res = dir / "softdata/win7/res";
    std::string doc = "{\"themes\":[";
    bool firstGroup = true;
    for (const auto& g : Groups) {
        doc += std::string(firstGroup ? "" : ",") + "\n {\"name\":\"" + g.Title + "\",\"list\":[";
        firstGroup = false;
        bool first = true;
        for (const auto& t : g.Themes) {
            doc += std::string(first ? "" : ",") + "{\"name\":\"" + t.Name + "\",\"iszip\":" + (t.IsZip ? "true" : "false") + "}";
            first = false;
            WriteBytes(res / "theme" / (std::string(t.Name) + ".jpg"), Encode(Picture(400, 300, t.From, t.To, t.Name), "JPEG"));
            if (t.IsZip)
                WriteThemeZip(res / "theme" / (std::string(t.Name) + ".zip"), t,
                              std::string(t.Name) == "星空少女");
            else
                WriteThemePack(res / "theme" / (std::string(t.Name) + ".themepack"), t);
        }
        doc += "]}";
    }
    doc += "],\n\"cursors\":[";
    const QColor cursorColors[] = {{80, 170, 230}, {250, 250, 250}};
    for (std::size_t i = 0; i < Cursors.size(); ++i) {
        doc += std::string(i ? "," : "") + "\"" + Cursors[i] + "\"";
        QImage preview = Picture(400, 300, QColor(40, 40, 50), QColor(90, 90, 110), Cursors[i]);
        QPainter(&preview).drawImage(40, 40, Arrow(cursorColors[i]).scaled(64, 64));
        WriteBytes(res / "cursor" / (std::string(Cursors[i]) + ".jpg"), Encode(preview, "JPEG"));
        WriteCursorZip(res / "cursor" / (std::string(Cursors[i]) + ".zip"), Cursors[i], cursorColors[i]);
    }
    doc += "],\n\"screensave\":[";
    for (std::size_t i = 0; i < Savers.size(); ++i) {
        doc += std::string(i ? "," : "") + "\"" + Savers[i] + "\"";
        WriteBytes(res / "screensave" / (std::string(Savers[i]) + ".jpg"),
                   Encode(Picture(400, 300, QColor(0, 0, 30), QColor(30, 60, 120), Savers[i]), "JPEG"));
        WriteScreenSaverZip(res / "screensave" / (std::string(Savers[i]) + ".zip"), Savers[i]);
    }
    doc += "]}\n";
    WriteBytes(dir / "softdata/win7/config.txt", Utf8ToCp936(doc));

    WriteBytes(dir / "ad/201081153_1.html",
               Html("Velmora", "<div style=\"padding:18px 20px\">Velmora 演示目录 · 主题、鼠标指针与屏保</div>", "#3a7bd5"));
    WriteBytes(dir / "ad/201081153_2.html",
               Html("Velmora", "<div style=\"padding:10px\">Velmora 壁纸搜索</div>", "#5b8c3a"));
    WriteBytes(dir / "201081153.html",
               Html("Velmora", "<h1 style=\"padding:20px\">Velmora</h1><p style=\"padding:0 20px\">桌面个性化管理器</p>", "#334"));
    WriteBytes(dir / "SiteBack/updateTxt/53.txt", "version=0.1\n");
}

} // namespace

int main(int argc, char** argv) {
    std::string base = VELMORA_SERVER_BASE;
    if (argc == 4 && std::string(argv[2]) == "--base") {
        base = argv[3];
    } else if (argc != 2) {
        std::cerr << "usage: velmora-demo DIR [--base URL]\n";
        return 2;
    }
    while (!base.empty() && base.back() == '/')
        base.pop_back();
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    try {
        Generate(argv[1]);
        GenerateSearch(argv[1], base);
    } catch (const std::exception& e) {
        std::cerr << "velmora-demo: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
